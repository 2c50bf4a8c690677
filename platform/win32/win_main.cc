#include "platform/win32/windows_api.h"

#include "launcher/launcher.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"

// The process's only entry: hands the module and the real platform to the launcher.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::win32::RestrictDllSearchToSystem();
  platform::win32::Win32Platform windows;
  launcher::ProcessState state;
  state.moduleInstance = reinterpret_cast<platform::ModuleHandle>(instance);
  launcher::Context context{windows.platform(), state};
  return static_cast<int>(launcher::RunLauncher(context));
}
