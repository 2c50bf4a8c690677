#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

// user32.dll is bound at run time from the system directory: some systems' user32 loads
// version.dll, which is not a KnownDLL, and at process start that would come from the
// launcher's folder.
int Win32Dialogs::MessageBox(const std::u16string& text, const std::u16string& caption,
                             std::uint32_t style) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(user32_, MessageBoxW);
  return call == nullptr ? 0 : call(nullptr, Wide(text), Wide(caption), style);
}

bool Win32Dialogs::WindowStationVisible() {
  auto station = LAUNCHER_SYSTEM_FUNCTION(user32_, GetProcessWindowStation);
  auto read = LAUNCHER_SYSTEM_FUNCTION(user32_, GetUserObjectInformationW);
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (station == nullptr || read == nullptr ||
      !read(station(), UOI_FLAGS, &flags, sizeof flags, &needed)) {
    return true;  // unknown: as every run was before the question was asked
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace platform::win32
