#ifndef RATE_INFO_TYPE_H
#define RATE_INFO_TYPE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "OutputFile.h"

class MemoryBudget;

// A list of state numbers kept compactly: each number is stored as its
// difference to the one before (a state is filed while it is explored, so
// numbers mostly repeat or grow by a little), in a variable-length code of
// 7 bits a byte, so that a typical number takes one byte instead of four.
// The bytes live in chunks that are added, never moved: no growth keeps an
// old and a new copy alive together. Reading is sequential (forEach).
class StateNumberList {
 public:
  static constexpr std::size_t kFirstChunk = 16;                  // bytes
  static constexpr std::size_t kMaxChunk = std::size_t{1} << 20;  // bytes

  StateNumberList() = default;
  StateNumberList(StateNumberList&& other) noexcept { *this = std::move(other); }
  StateNumberList& operator=(StateNumberList&& other) noexcept;

  void push_back(std::uint32_t number, MemoryBudget* budget);
  // The i-th number (decodes from the start: for tests and diagnostics).
  std::uint32_t operator[](std::size_t i) const;
  std::size_t size() const { return size_; }
  // Bytes of the chunks allocated.
  std::size_t bytes() const { return bytes_; }
  // Calls f(number) for each number in order.
  template <typename F>
  void forEach(F f) const {
    std::uint32_t last = 0;
    for (const Chunk& chunk : chunks_) {
      const unsigned char* p = chunk.bytes.get();
      const unsigned char* const end = p + chunk.used;
      while (p < end) {
        std::uint64_t code = 0;
        for (unsigned shift = 0;; shift += 7) {
          const unsigned char byte = *p++;
          code |= std::uint64_t{byte & 0x7Fu} << shift;
          if (byte < 0x80) break;
        }
        const auto delta = static_cast<std::uint32_t>(code >> 1);
        last = (code & 1) ? last - delta : last + delta;
        f(last);
      }
    }
  }

 private:
  // Longest code of one number: 33 bits (difference and sign) in 7-bit groups.
  static constexpr std::size_t kMaxCode = 5;
  struct Chunk {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size;
    std::size_t used;
  };
  void addChunk(MemoryBudget* budget);

  std::vector<Chunk> chunks_;
  std::size_t size_ = 0;
  std::size_t bytes_ = 0;
  std::uint32_t last_ = 0;
};

// The states filed under one deterministic delay value: the numbers of the
// states in which a deterministic action with that delay is enabled, in the
// order recorded (a number repeats when several such actions are enabled in
// one state).
class RateInfoType {
 public:
  RateInfoType();  // value 0
  explicit RateInfoType(double value);
  RateInfoType(const RateInfoType&) = delete;
  RateInfoType& operator=(const RateInfoType&) = delete;
  virtual ~RateInfoType();

  void insertState(std::uint32_t number);
  // Takes over the value and the state list of `other`, which gives up its
  // list.
  void takeFrom(RateInfoType& other);
  // Growths of the state list are accounted to `budget` (may be null).
  void setMemoryBudget(MemoryBudget* budget) { budget_ = budget; }

  // Text: the value (scientific, 10 digits after the point), each state
  // number, then "0", one per line. Binary: 8 bytes value, 4 bytes per state
  // number, 2 zero bytes.
  void writeStates(OutputFile& out, OutputFileType type) const;
  // Diagnostic listing on standard output: "[i] number" per state.
  void printStates() const;

  std::uint64_t count = 0;
  double value = 0.0;
  StateNumberList states;
  bool ownsStates = true;

 private:
  MemoryBudget* budget_ = nullptr;
};

#endif
