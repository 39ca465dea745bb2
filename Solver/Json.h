#ifndef SOLVER_JSON_H
#define SOLVER_JSON_H

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Outcome.h"

// A small JSON reader for the .umb index: the index is a few kilobytes, and
// only a handful of its keys matter here.
namespace solver {

class JsonValue {
 public:
  enum class Kind { Null, Bool, Number, String, Array, Object };

  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // the string's value, or a number's own digits
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;  // in file order

  // The member of that name, or nullptr (also when this is not an object).
  const JsonValue* find(std::string_view name) const;
  bool isNumber() const { return kind == Kind::Number; }
  bool isString() const { return kind == Kind::String; }
  bool isArray() const { return kind == Kind::Array; }
  bool isObject() const { return kind == Kind::Object; }
  // A non-negative integer that a double holds exactly, with the digits of
  // an integer (no fraction or exponent).
  bool asCount(unsigned long long& out) const;
};

// Parses one JSON document (RFC 8259; nesting limited to 64 levels).
Outcome<JsonValue> parseJson(std::string_view text);

}  // namespace solver

#endif
