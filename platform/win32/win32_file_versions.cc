#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

// version.dll is bound at run time from the system directory: see SystemLibrary.

std::uint32_t Win32FileVersions::GetFileVersionInfoSize(const std::u16string& path) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(version_, GetFileVersionInfoSizeW);
  DWORD ignored = 0;
  return call == nullptr ? 0 : call(Wide(path), &ignored);
}

bool Win32FileVersions::GetFileVersionInfo(const std::u16string& path, std::uint32_t size,
                                           void* block) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(version_, GetFileVersionInfoW);
  return call != nullptr && call(Wide(path), 0, size, block) != FALSE;
}

bool Win32FileVersions::QueryFixedFileVersion(const void* block, FixedFileVersion* version) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(version_, VerQueryValueW);
  if (call == nullptr) return false;
  void* fixed = nullptr;
  UINT length = 0;
  if (!call(block, L"\\", &fixed, &length) || fixed == nullptr) return false;
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  version->fileVersionMS = info->dwFileVersionMS;
  version->fileVersionLS = info->dwFileVersionLS;
  return true;
}

}  // namespace platform::win32
