#pragma once
// A value or an error message: what fallible operations return; callers log the text.
#include <string>
#include <utility>
#include <variant>

namespace velmora {

struct Error {
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(Error error) : v_(std::move(error)) {}

  bool ok() const noexcept { return v_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const T& value() const& { return std::get<0>(v_); }
  const std::string& error() const { return std::get<1>(v_).message; }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : err_(std::move(error.message)), failed_(true) {}

  bool ok() const noexcept { return !failed_; }
  explicit operator bool() const noexcept { return ok(); }
  const std::string& error() const { return err_; }

 private:
  std::string err_;
  bool failed_ = false;
};

}  // namespace velmora
