#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

int Win32Dialogs::MessageBox(const std::u16string& text, const std::u16string& caption,
                             std::uint32_t style) {
  return ::MessageBoxW(nullptr, Wide(text), Wide(caption), style);
}

}  // namespace platform::win32
