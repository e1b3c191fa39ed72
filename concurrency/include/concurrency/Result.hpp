#pragma once

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace zirudeze::concurrency {

// Either the value an operation produced or the exception it threw.
template <class T>
class Result {
 public:
  static Result success(T value) { return Result(std::move(value), nullptr); }
  static Result failure(std::exception_ptr error) { return Result(std::nullopt, std::move(error)); }

  bool isSuccess() const { return !error_; }
  std::exception_ptr error() const { return error_; }

  // The value, or the stored exception rethrown.
  const T& get() const& {
    if (error_) std::rethrow_exception(error_);
    return *value_;
  }
  T get() && {
    if (error_) std::rethrow_exception(error_);
    return std::move(*value_);
  }

 private:
  Result(std::optional<T> value, std::exception_ptr error) : value_(std::move(value)), error_(std::move(error)) {}
  std::optional<T> value_;
  std::exception_ptr error_;
};

template <>
class Result<void> {
 public:
  static Result success() { return Result(nullptr); }
  static Result failure(std::exception_ptr error) { return Result(std::move(error)); }

  bool isSuccess() const { return !error_; }
  std::exception_ptr error() const { return error_; }
  void get() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  explicit Result(std::exception_ptr error) : error_(std::move(error)) {}
  std::exception_ptr error_;
};

// Runs `operation` and captures its value or its exception.
template <class Operation>
auto resultOf(Operation&& operation) -> Result<std::invoke_result_t<Operation>> {
  using T = std::invoke_result_t<Operation>;
  try {
    if constexpr (std::is_void_v<T>) {
      std::forward<Operation>(operation)();
      return Result<void>::success();
    } else {
      return Result<T>::success(std::forward<Operation>(operation)());
    }
  } catch (...) {
    return Result<T>::failure(std::current_exception());
  }
}

}  // namespace zirudeze::concurrency

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
