#ifndef OPTION_VALUE_H
#define OPTION_VALUE_H

#include <cstring>

// How gen, solve and simulate read the value of an option: attached to its
// letter (-m gs as -mgs), or else the next word, but never a next word that
// begins with '-': that is the next option, and the value is missing.
struct OptionValue {
  const char* text;  // null when missing
  bool nextWord;     // the value is the next word, which the caller skips
};

// `word` is the option ("-m" or "-mgs"), `next` the word after it or null.
inline OptionValue optionValue(const char* word, const char* next) {
  const std::size_t length = std::strlen(word);
  if (length > 2) return {word + 2, false};
  if (length == 2 && next && next[0] != '-') return {next, true};
  return {nullptr, false};
}

#endif
