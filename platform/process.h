#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace platform {

// A moment in UTC, to the second.
struct UtcTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
};

// State of the running process and thread.
class Process {
 public:
  virtual ~Process() = default;

  // The process's own command line as it was given (GetCommandLineW), not yet split.
  virtual std::u16string CommandLine() = 0;
  // Nothing when the variable is not set.
  virtual std::optional<std::u16string> GetEnvironmentVariable(const std::u16string& name) = 0;
  virtual bool SetThreadLocale(std::uint32_t locale) = 0;
  virtual std::uint32_t GetThreadLocale() = 0;
  virtual std::uint16_t GetUserDefaultUILanguage() = 0;
  virtual std::uint16_t GetSystemDefaultUILanguage() = 0;
  // The runtime's 8-bit environment lookup and file removal.
  virtual std::optional<std::string> GetEnvironmentVariableNarrow(const std::string& name) = 0;
  virtual bool RemoveFileNarrow(const std::string& path) = 0;
  // GetSystemTime: the current time in UTC.
  virtual UtcTime GetSystemTime() = 0;
  // ProcessIdToSessionId for this process: the session it runs in (0 is the services'
  // session, which no user sees since Windows Vista); nothing when it cannot be read.
  virtual std::optional<std::uint32_t> GetSessionId() = 0;
  // SetTokenInformation(TokenVirtualizationEnabled, 0) on the process's token: UAC stops
  // redirecting its writes into protected folders to the user's VirtualStore. Fails where
  // the system or the token knows no virtualization.
  virtual Status TurnOffVirtualization() = 0;
  // Whether the process's token is LocalSystem's (S-1-5-18); false when it cannot be read.
  virtual bool RunsAsLocalSystem() = 0;
  // Sleep: lets `milliseconds` pass.
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace platform
