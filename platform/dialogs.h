#pragma once

#include <cstdint>
#include <string>

namespace platform {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal MessageBoxW without owner window; returns when the user dismissed it.
  virtual int MessageBox(const std::u16string& text, const std::u16string& caption,
                         std::uint32_t style) = 0;
  // Whether the process's window station is visible (WSF_VISIBLE in the UOI_FLAGS of
  // GetProcessWindowStation): a service's usually is not, and a box there waits for a click
  // that never comes. Session 0 is unseen even where its WinSta0 says it is visible; the
  // session is the process's question, not this one. True when the flags cannot be read.
  virtual bool WindowStationVisible() = 0;
};

}  // namespace platform
