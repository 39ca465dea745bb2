#ifndef NUMBER_TEXT_H
#define NUMBER_TEXT_H

#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

// Formats doubles in one fixed format, remembering the text of the values
// met lately. Formatting a double with a precision is slow (an eighth of a
// run's time went to it), while a model's transition values and rewards
// take few distinct values: rates times case probabilities, sums of a few
// of them, zeros and ones. A value is found by its exact bits, so a
// remembered text is always the one formatting would give. Each set holds
// two values, the one used last first, so that two values a state's
// transitions alternate between do not drive each other out when they fall
// in one set.
template <std::chars_format Format, int Precision>
class NumberText {
 public:
  // Long enough for every double: "-1.7976931349e+308" is 18 characters.
  static constexpr std::size_t kMaxLength = 24;

  // Writes the text of `value` at `out`, which has room for kMaxLength
  // characters; returns its end.
  char* write(double value, char* out) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    Set& set = sets_[indexOf(bits)];
    Entry* e = &set.way[0];
    if (!holds(*e, bits)) {
      if (holds(set.way[1], bits)) {
        std::swap(set.way[0], set.way[1]);
      } else {
        set.way[1] = set.way[0];
        const auto result = std::to_chars(e->text, e->text + sizeof e->text, value, Format, Precision);
        e->bits = bits;
        e->length = static_cast<std::uint8_t>(result.ptr - e->text);
      }
    }
    std::memcpy(out, e->text, sizeof e->text);  // whole entry: one fixed-size copy
    return out + e->length;
  }

 private:
  static constexpr int kIndexBits = 6;
  struct Entry {
    std::uint64_t bits = 0;
    std::uint8_t length = 0;  // 0: unused (no value formats to nothing)
    char text[kMaxLength - 1];
  };
  static_assert(sizeof(Entry) == 32);
  struct alignas(64) Set {
    Entry way[2];
  };
  // Decimal fractions such as 0.39, 0.42 and 0.91 share long runs of their
  // low bits, which a multiplication alone carries into the same top bits:
  // the high half is folded in first.
  static std::size_t indexOf(std::uint64_t bits) {
    return static_cast<std::size_t>(((bits ^ (bits >> 32)) * 0x9E3779B97F4A7C15ull) >> (64 - kIndexBits));
  }
  static bool holds(const Entry& e, std::uint64_t bits) { return e.length != 0 && e.bits == bits; }
  std::array<Set, std::size_t{1} << kIndexBits> sets_{};
};

// The state-space file's values ("%.10e") and the reward file's ("%g").
using ScientificText = NumberText<std::chars_format::scientific, 10>;
using GeneralText = NumberText<std::chars_format::general, 6>;

#endif
