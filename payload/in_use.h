#pragma once

#include <cstdint>

#include "platform/process.h"
#include "platform/status.h"
#include "platform/windows_numbers.h"

namespace payload {

// Anti-virus programs and indexers open a file the moment it is written, for a moment, and
// some share it with nobody meanwhile: a step that meets them is tried again, for about a
// second in all, before its failure stands.
inline constexpr int kInUseRetries = 10;
inline constexpr std::uint32_t kInUseWaitMilliseconds = 100;

// `step(context)`, again after each wait while another program holds the file it needs.
inline platform::Status RetryWhileHeld(platform::Process& process,
                                       platform::Status (*step)(void* context), void* context) {
  platform::Status result = step(context);
  for (int retry = 0; retry < kInUseRetries && !result.ok() &&
                      (result.error() == platform::kErrorSharingViolation ||
                       result.error() == platform::kErrorLockViolation);
       ++retry) {
    process.Sleep(kInUseWaitMilliseconds);
    result = step(context);
  }
  return result;
}

// The same for a step of any kind that answers a Status; one copy of the loop serves all.
template <typename Step>
platform::Status UnlessHeldByOthers(platform::Process& process, Step step) {
  return RetryWhileHeld(
      process, [](void* context) { return (*static_cast<Step*>(context))(); }, &step);
}

}  // namespace payload
