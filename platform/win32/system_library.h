#pragma once

#include "platform/win32/windows_api.h"

namespace platform::win32 {

// A DLL loaded only from the system directory, never from the launcher's own folder,
// where a planted copy would run with the launcher's rights. Loaded on first use, freed
// with the owner.
class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* name) : name_(name) {}
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;
  ~SystemLibrary();

  // The exported function `name` as a `Pointer`; null when the library or the function
  // cannot be had (the last error then says why).
  template <typename Pointer>
  Pointer Function(const char* name) {
    return reinterpret_cast<Pointer>(reinterpret_cast<void*>(Find(name)));
  }

 private:
  FARPROC Find(const char* name);

  const wchar_t* name_;
  HMODULE module_ = nullptr;
  bool tried_ = false;
};

// The function `name` of `library`, typed from its declaration without importing it.
#define LAUNCHER_SYSTEM_FUNCTION(library, name) (library).Function<decltype(&::name)>(#name)

// Takes the launcher's folder and the current directory out of the DLL search path for
// everything loaded later, including what the system DLLs load themselves.
void RestrictDllSearchToSystem();

}  // namespace platform::win32
