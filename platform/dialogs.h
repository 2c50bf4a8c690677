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
};

}  // namespace platform
