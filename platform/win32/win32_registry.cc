#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
}

// The host product is a 32-bit program; a 64-bit build of the launcher reads its machine
// keys in the view the 32-bit launcher sees. The installer's registration is not redirected.
REGSAM View(RegistryRoot root, std::uint32_t access) {
#ifdef _WIN64
  if (root == RegistryRoot::kLocalMachine) return access | KEY_WOW64_32KEY;
#endif
  (void)root;
  return access;
}

}  // namespace

RegistryKey Win32Registry::OpenKey(RegistryRoot root, const std::u16string& path,
                                   std::uint32_t access) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(RootKey(root), Wide(path), 0, View(root, access), &key) != ERROR_SUCCESS) return 0;
  return reinterpret_cast<RegistryKey>(key);
}

std::uint32_t Win32Registry::QueryValue(RegistryKey key, const std::u16string& name, void* data,
                                        std::uint32_t* size) {
  DWORD length = *size;
  const LONG result = ::RegQueryValueExW(reinterpret_cast<HKEY>(key), Wide(name), nullptr,
                                         nullptr, static_cast<BYTE*>(data), &length);
  *size = length;
  return static_cast<std::uint32_t>(result);
}

std::uint32_t Win32Registry::DeleteValue(RegistryKey key, const std::u16string& name) {
  return static_cast<std::uint32_t>(::RegDeleteValueW(reinterpret_cast<HKEY>(key), Wide(name)));
}

std::uint32_t Win32Registry::CloseKey(RegistryKey key) {
  return static_cast<std::uint32_t>(::RegCloseKey(reinterpret_cast<HKEY>(key)));
}

}  // namespace platform::win32
