#include "BaseStudyClass.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>

#include "PVModel.h"

BaseStudyClass::BaseStudyClass()
    : GVNames(nullptr), GVTypes(nullptr), NumGVs(0), NumExps(0), DefaultRoot(new char[1]{'\0'}) {}

BaseStudyClass::~BaseStudyClass() {
  for (int i = 0; i < NumGVs; i++) {
    if (GVNames) std::free(GVNames[i]);
    if (GVTypes) std::free(GVTypes[i]);
  }
  delete[] GVNames;
  delete[] GVTypes;
  delete[] DefaultRoot;
}

std::unique_ptr<PVModel> BaseStudyClass::GetPVModel(bool) { return nullptr; }

void BaseStudyClass::SetGVs(int) { std::cout << "basestudyclass::SetGVs\n"; }

void BaseStudyClass::PrintGlobalValues(int) {}

void* BaseStudyClass::GetGVValue(const char*) { return nullptr; }

void BaseStudyClass::OverrideGVValue(const char*, const void*) {}

std::string BaseStudyClass::GetExpName(int experiment) {
  // Widen before adding one so that no experiment number can overflow.
  return "Experiment " + std::to_string(static_cast<long long>(experiment) + 1);
}

void BaseStudyClass::SetDefaultTarvelRoot(const char* path) {
  if (!path) path = "";
  size_t length = std::strlen(path);
  char* copy = new char[length + 1];
  std::memcpy(copy, path, length + 1);
  delete[] DefaultRoot;
  DefaultRoot = copy;
}

int BaseStudyClass::FindGV(std::string_view name) const {
  for (int i = 0; i < NumGVs; i++)
    if (GVNames && GVNames[i] && name == GVNames[i]) return i;
  return -1;
}

const char* OverrideTypeName(char letter) {
  switch (letter) {
    case 'b': return "bool";
    case 'c': return "char";
    case 'd': return "double";
    case 'f': return "float";
    case 'i': return "int";
    case 'l': return "long";
    case 's': return "short";
    default: return nullptr;
  }
}

namespace {

// Splits the override text at ':' the way strtok does: runs of colons count as
// one separator and leading or trailing colons yield no field, so a field is
// never empty.
class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : rest_(text) {}
  bool next(std::string& field) {
    size_t start = rest_.find_first_not_of(':');
    if (start == std::string_view::npos) {
      rest_ = {};
      return false;
    }
    rest_.remove_prefix(start);
    size_t end = rest_.find(':');
    field.assign(rest_.substr(0, end));
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end);
    return true;
  }

 private:
  std::string_view rest_;
};

// The values of one override entry, converted according to its type letter.
// The conversions accept exactly the text of the scanf conversions "%hi",
// "%i", "%li" (strtol with base 0: decimal, 0 octal, 0x hexadecimal), "%f",
// "%lf" (strtod) and "%c", but the whole field must be consumed and a value
// outside the range of the target type is refused instead of being truncated.
union OverrideValue {
  bool b;
  char c;
  double d;
  float f;
  int i;
  long l;
  short s;
};

bool parseInteger(const std::string& text, long min, long max, long& out) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(begin, &end, 0);
  if (end == begin || *end != '\0' || errno == ERANGE || v < min || v > max) return false;
  out = v;
  return true;
}

bool parseValue(char letter, const std::string& text, OverrideValue& value) {
  const char* begin = text.c_str();
  char* end = nullptr;
  long integer = 0;
  switch (letter) {
    case 'b':
      if (!parseInteger(text, -32768, 32767, integer)) return false;
      value.b = integer != 0;
      return true;
    case 's':
      if (!parseInteger(text, -32768, 32767, integer)) return false;
      value.s = static_cast<short>(integer);
      return true;
    case 'i':
      if (!parseInteger(text, -2147483647L - 1, 2147483647L, integer)) return false;
      value.i = static_cast<int>(integer);
      return true;
    case 'l':
      if (!parseInteger(text, std::numeric_limits<long>::min(), std::numeric_limits<long>::max(), integer))
        return false;
      value.l = integer;
      return true;
    case 'c':
      if (text.size() != 1) return false;
      value.c = text[0];
      return true;
    case 'd': {
      errno = 0;
      double v = std::strtod(begin, &end);
      if (end == begin || *end != '\0' || (errno == ERANGE && std::isinf(v))) return false;
      value.d = v;
      return true;
    }
    case 'f': {
      errno = 0;
      float v = std::strtof(begin, &end);
      if (end == begin || *end != '\0' || (errno == ERANGE && std::isinf(v))) return false;
      value.f = v;
      return true;
    }
    default: return false;
  }
}

void reportSkipped(const std::string& typeField, const std::string& name, const std::string& valueText,
                   const std::string& reason) {
  std::cerr << "!! BaseStudyClass::overrideGVs: " << reason << "; entry " << typeField << ':' << name << ':'
            << valueText << " ignored.\n";
}

}  // namespace

void BaseStudyClass::overrideGVs(const char* overrides) {
  if (!overrides) return;
  // Work on a private copy; the caller's string stays untouched.
  const std::string copy(overrides);
  FieldReader fields(copy);
  std::string typeField, name, valueText;
  while (fields.next(typeField)) {
    if (!fields.next(name) || !fields.next(valueText)) {
      std::cout << "Not enough double override tokens";
      return;
    }
    const char letter = typeField[0];
    const char* letterType = OverrideTypeName(letter);
    if (!letterType) {
      std::cout << "Type " << letter << " not recognized\n";
      continue;
    }
    // The study copies a value of the variable's own type from the address it
    // is given. An entry whose letter names another type is read in the
    // variable's own type instead, when its text is a value of that type
    // (in range): f:lambda:0.1 for a double, i:n:3 for a short.
    const int index = FindGV(name);
    if (index >= 0 && GVTypes && GVTypes[index] && std::strcmp(GVTypes[index], letterType) != 0) {
      std::string reason = name + " is a " + GVTypes[index] + " variable";
      char own = 0;
      for (char candidate : std::string_view("bcdfils"))
        if (std::strcmp(OverrideTypeName(candidate), GVTypes[index]) == 0) own = candidate;
      OverrideValue converted{};
      if (own && parseValue(own, valueText, converted)) {
        OverrideGVValue(name.c_str(), &converted);
        continue;
      }
      reason += own ? std::string(" and takes type letter ") + own + ", not " + letter : " and cannot be overridden";
      reportSkipped(typeField, name, valueText, reason);
      continue;
    }
    OverrideValue value{};
    if (!parseValue(letter, valueText, value)) {
      reportSkipped(typeField, name, valueText, "the value " + valueText + " is not a valid " + letterType);
      continue;
    }
    OverrideGVValue(name.c_str(), &value);
  }
}
