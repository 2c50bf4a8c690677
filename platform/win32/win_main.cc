#include "platform/win32/windows_api.h"

#include "platform/entry.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"

// The process's only entry: hands the module and the real platform to the program.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::win32::RestrictDllSearchToSystem();
  platform::win32::Win32Platform windows;
  return static_cast<int>(
      platform::RunProgram(windows.platform(), reinterpret_cast<platform::ModuleHandle>(instance)));
}
