#pragma once

#include <cstdint>

#include "platform/process.h"

namespace launcher {

// Puts the thread's last error back when it goes out of scope: for work (the log) that must
// not change the code a later step reports.
class KeepLastError {
 public:
  explicit KeepLastError(platform::Process& process)
      : process_(process), error_(process.GetLastError()) {}
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;
  ~KeepLastError() { process_.SetLastError(error_); }

 private:
  platform::Process& process_;
  std::uint32_t error_;
};

}  // namespace launcher
