#pragma once

#include <cstdint>
#include <utility>

#include "platform/types.h"

namespace platform {

// How a step ended: done, or failed with the Windows error of the call that failed, read
// right after that call inside the platform layer. A failure no Windows call reported (a
// name that could not be made, a write that came up short) carries kErrorSuccess; wherever a
// code must be shown it becomes 1603. The error travels as this value, never through the
// thread's last error, which by the time anyone reads it may hold anything.
class [[nodiscard]] Status {
 public:
  static constexpr Status Done() { return Status(true, kErrorSuccess); }
  static constexpr Status Failed(std::uint32_t error) { return Status(false, error); }

  constexpr bool ok() const { return ok_; }
  // The failing call's Windows error; kErrorSuccess when the step succeeded or has none.
  constexpr std::uint32_t error() const { return error_; }

 private:
  constexpr Status(bool ok, std::uint32_t error) : ok_(ok), error_(error) {}
  bool ok_;
  std::uint32_t error_;
};

// A call's value, or the Windows error of its failure. On failure the value is T's zero (a
// handle of 0), so it may be handed to an owner that ignores zero handles.
template <typename T>
class [[nodiscard]] Result {
 public:
  static Result Done(T value) { return Result(Status::Done(), std::move(value)); }
  static Result Failed(std::uint32_t error) { return Result(Status::Failed(error), T{}); }

  bool ok() const { return status_.ok(); }
  std::uint32_t error() const { return status_.error(); }
  Status status() const { return status_; }
  const T& value() const { return value_; }
  T& value() { return value_; }

 private:
  Result(Status status, T value) : status_(status), value_(std::move(value)) {}
  Status status_;
  T value_;
};

}  // namespace platform
