#ifndef UMB_UMBOUTCOME_H
#define UMB_UMBOUTCOME_H

#include <string>
#include <utility>
#include <variant>

// Errors travel up as values; only main turns one into a message and an exit
// status.
namespace umb {

struct Error {
  std::string message;
};

template <typename T>
class Outcome {
 public:
  Outcome(T value) : v_(std::move(value)) {}
  Outcome(Error error) : v_(std::move(error)) {}
  bool ok() const { return std::holds_alternative<T>(v_); }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<T>(v_); }
  const T& value() const { return std::get<T>(v_); }
  T& operator*() { return value(); }
  T* operator->() { return &value(); }
  const Error& error() const { return std::get<Error>(v_); }

 private:
  std::variant<T, Error> v_;
};

// An operation that yields nothing but may fail.
using Status = Outcome<std::monostate>;
inline Status okStatus() { return Status(std::monostate{}); }

}  // namespace umb

#endif
