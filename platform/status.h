#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

// How a step ended: done, or failed with the Windows error of the call that failed, read
// right after that call. A failure no Windows call reported (a name that could not be made,
// a write that came up short) carries kErrorSuccess; wherever a code must be shown it
// becomes 1603. The thread's last error is never consulted later, as by then it may hold
// anything.
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

}  // namespace platform
