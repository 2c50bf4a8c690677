#include "platform/win32/system_library.h"

#include <cwchar>

namespace platform::win32 {

SystemLibrary::~SystemLibrary() {
  if (module_ != nullptr) ::FreeLibrary(module_);
}

FARPROC SystemLibrary::Find(const char* name) {
  if (!tried_) {
    tried_ = true;
    module_ = ::LoadLibraryExW(name_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 7 without its loader update knows no search flags; the full path into the
    // system directory keeps the launcher's folder out there too.
    if (module_ == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
      // A fixed buffer: a std::wstring here would bring a string class of its own.
      wchar_t path[MAX_PATH];
      const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
      if (length == 0 || length + 1 + std::wcslen(name_) >= MAX_PATH) return nullptr;
      path[length] = L'\\';
      std::wcscpy(path + length + 1, name_);
      module_ = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
  }
  if (module_ == nullptr) return nullptr;
  return ::GetProcAddress(module_, name);
}

void RestrictDllSearchToSystem() {
  // Present from Windows 8 on (and Windows 7 with its update); looked up, not imported.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetDllDirectoryW(L"");
}

}  // namespace platform::win32
