// Stand-in for the launcher when proving the end-to-end harness: it shows
// known message boxes in order and ends with a known exit code.
//
//   showbox.exe <exit-code> [<style-hex> <caption> <text>]...
//   showbox.exe ARGS <argument>...    one box per argument, caption "argv[i]"
//
// Special texts: "HANG" sleeps for ever (to provoke a time-out);
// "SPAWN:<arguments>" starts another copy of this program with those
// arguments and goes on without waiting (to give the watcher a grandchild).
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

[[noreturn]] void Hang() {
  for (;;) Sleep(INFINITE);
}

void SpawnSelf(const wchar_t* arguments) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

void Show(UINT style, const wchar_t* caption, const wchar_t* text) {
  if (wcscmp(text, L"HANG") == 0) Hang();
  if (wcsncmp(text, L"SPAWN:", 6) == 0) {
    SpawnSelf(text + 6);
    return;
  }
  MessageBoxW(nullptr, text, caption, style);
}

}  // namespace

// The arguments are split with CommandLineToArgvW, as the launcher does, so
// that what arrives here is what the launcher would see.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 2;

  if (wcscmp(argv[1], L"ARGS") == 0) {
    for (int i = 2; i < argc; ++i) {
      std::wstring caption = L"argv[" + std::to_wstring(i) + L"]";
      MessageBoxW(nullptr, argv[i], caption.c_str(), MB_OK);
    }
    ExitProcess(0);
  }

  UINT exit_code = wcstoul(argv[1], nullptr, 0);
  for (int i = 2; i + 2 < argc; i += 3)
    Show(wcstoul(argv[i], nullptr, 16), argv[i + 1], argv[i + 2]);
  ExitProcess(exit_code);
}
