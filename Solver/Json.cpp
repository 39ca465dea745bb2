#include "Json.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace solver {

const JsonValue* JsonValue::find(std::string_view name) const {
  if (kind != Kind::Object) return nullptr;
  for (const auto& [key, value] : members)
    if (key == name) return &value;
  return nullptr;
}

bool JsonValue::asCount(unsigned long long& out) const {
  if (kind != Kind::Number || text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  out = v;
  return true;
}

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  Outcome<JsonValue> document() {
    JsonValue v;
    if (!value(v, 0)) return Error{error_};
    skipSpace();
    if (pos_ != s_.size()) return fail("text after the end of the document");
    return v;
  }

 private:
  Outcome<JsonValue> fail(const std::string& what) { return Error{message(what)}; }
  std::string message(const std::string& what) const {
    return "index.json: " + what + " at byte " + std::to_string(pos_);
  }
  bool setError(const std::string& what) {
    error_ = message(what);
    return false;
  }

  void skipSpace() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) pos_++;
  }

  bool literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return setError("unexpected text");
    pos_ += word.size();
    return true;
  }

  bool value(JsonValue& v, int depth) {
    if (depth > kMaxDepth) return setError("nesting too deep");
    skipSpace();
    if (pos_ >= s_.size()) return setError("unexpected end");
    const char c = s_[pos_];
    if (c == '{') return object(v, depth);
    if (c == '[') return array(v, depth);
    if (c == '"') {
      v.kind = JsonValue::Kind::String;
      return string(v.text);
    }
    if (c == 't') {
      v.kind = JsonValue::Kind::Bool;
      v.boolean = true;
      return literal("true");
    }
    if (c == 'f') {
      v.kind = JsonValue::Kind::Bool;
      return literal("false");
    }
    if (c == 'n') return literal("null");
    return number(v);
  }

  bool object(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::Object;
    pos_++;
    skipSpace();
    if (pos_ < s_.size() && s_[pos_] == '}') {
      pos_++;
      return true;
    }
    for (;;) {
      skipSpace();
      if (pos_ >= s_.size() || s_[pos_] != '"') return setError("expected a member name");
      std::string key;
      if (!string(key)) return false;
      skipSpace();
      if (pos_ >= s_.size() || s_[pos_] != ':') return setError("expected ':'");
      pos_++;
      JsonValue member;
      if (!value(member, depth + 1)) return false;
      v.members.emplace_back(std::move(key), std::move(member));
      skipSpace();
      if (pos_ < s_.size() && s_[pos_] == ',') {
        pos_++;
        continue;
      }
      if (pos_ < s_.size() && s_[pos_] == '}') {
        pos_++;
        return true;
      }
      return setError("expected ',' or '}'");
    }
  }

  bool array(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::Array;
    pos_++;
    skipSpace();
    if (pos_ < s_.size() && s_[pos_] == ']') {
      pos_++;
      return true;
    }
    for (;;) {
      JsonValue item;
      if (!value(item, depth + 1)) return false;
      v.items.push_back(std::move(item));
      skipSpace();
      if (pos_ < s_.size() && s_[pos_] == ',') {
        pos_++;
        continue;
      }
      if (pos_ < s_.size() && s_[pos_] == ']') {
        pos_++;
        return true;
      }
      return setError("expected ',' or ']'");
    }
  }

  static void appendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool hex4(unsigned& out) {
    if (pos_ + 4 > s_.size()) return setError("short \\u escape");
    out = 0;
    for (int i = 0; i < 4; i++) {
      const char h = s_[pos_++];
      out <<= 4;
      if (h >= '0' && h <= '9') out |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') out |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') out |= static_cast<unsigned>(h - 'A' + 10);
      else return setError("bad \\u escape");
    }
    return true;
  }

  bool string(std::string& out) {
    pos_++;  // the opening quote
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return setError("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) break;
      const char e = s_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned cp = 0;
          if (!hex4(cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            unsigned low = 0;
            if (!hex4(low)) return false;
            if (low < 0xDC00 || low >= 0xE000) return setError("bad surrogate pair");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          appendUtf8(out, cp);
          break;
        }
        default: return setError("bad escape");
      }
    }
    return setError("unterminated string");
  }

  bool number(JsonValue& v) {
    const size_t start = pos_;
    if (pos_ < s_.size() && s_[pos_] == '-') pos_++;
    auto digits = [&] {
      const size_t from = pos_;
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') pos_++;
      return pos_ > from;
    };
    if (!digits()) return setError("unexpected character");
    if (pos_ < s_.size() && s_[pos_] == '.') {
      pos_++;
      if (!digits()) return setError("bad number");
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      pos_++;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) pos_++;
      if (!digits()) return setError("bad number");
    }
    v.kind = JsonValue::Kind::Number;
    v.text = std::string(s_.substr(start, pos_ - start));
    v.number = std::strtod(v.text.c_str(), nullptr);
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

Outcome<JsonValue> parseJson(std::string_view text) { return Parser(text).document(); }

}  // namespace solver
