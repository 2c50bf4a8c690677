#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

// The host product is a 32-bit program; a 64-bit build of the launcher reads its machine
// keys in the view the 32-bit launcher sees. Windows ignores the flag of a shared key and
// 32-bit Windows both flags.
REGSAM View(RegistryRoot root, std::uint32_t access) {
  if (root == RegistryRoot::kLocalMachineShared) return access | KEY_WOW64_64KEY;
#ifdef _WIN64
  return access | KEY_WOW64_32KEY;
#else
  return access;
#endif
}

}  // namespace

Result<RegistryKey> Win32Registry::OpenKey(RegistryRoot root, const std::u16string& path,
                                           std::uint32_t access) {
  auto open = LAUNCHER_SYSTEM_FUNCTION(advapi32_, RegOpenKeyExW);
  if (open == nullptr) return Result<RegistryKey>::Failed(::GetLastError());
  HKEY key = nullptr;
  const LONG result = open(HKEY_LOCAL_MACHINE, Wide(path), 0, View(root, access), &key);
  if (result != ERROR_SUCCESS) return Result<RegistryKey>::Failed(static_cast<std::uint32_t>(result));
  return Result<RegistryKey>::Done(reinterpret_cast<RegistryKey>(key));
}

std::uint32_t Win32Registry::QueryValue(RegistryKey key, const std::u16string& name, void* data,
                                        std::uint32_t* size) {
  auto query = LAUNCHER_SYSTEM_FUNCTION(advapi32_, RegQueryValueExW);
  if (query == nullptr) return ::GetLastError();
  DWORD length = *size;
  const LONG result = query(reinterpret_cast<HKEY>(key), Wide(name), nullptr, nullptr,
                            static_cast<BYTE*>(data), &length);
  *size = length;
  return static_cast<std::uint32_t>(result);
}

std::uint32_t Win32Registry::DeleteValue(RegistryKey key, const std::u16string& name) {
  auto erase = LAUNCHER_SYSTEM_FUNCTION(advapi32_, RegDeleteValueW);
  if (erase == nullptr) return ::GetLastError();
  return static_cast<std::uint32_t>(erase(reinterpret_cast<HKEY>(key), Wide(name)));
}

std::uint32_t Win32Registry::CloseKey(RegistryKey key) {
  auto close = LAUNCHER_SYSTEM_FUNCTION(advapi32_, RegCloseKey);
  if (close == nullptr) return ::GetLastError();
  return static_cast<std::uint32_t>(close(reinterpret_cast<HKEY>(key)));
}

}  // namespace platform::win32
