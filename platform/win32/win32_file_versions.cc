#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

std::uint32_t Win32FileVersions::GetFileVersionInfoSize(const std::u16string& path) {
  DWORD ignored = 0;
  return ::GetFileVersionInfoSizeW(Wide(path), &ignored);
}

bool Win32FileVersions::GetFileVersionInfo(const std::u16string& path, std::uint32_t size,
                                           void* block) {
  return ::GetFileVersionInfoW(Wide(path), 0, size, block) != FALSE;
}

bool Win32FileVersions::QueryFixedFileVersion(const void* block, FixedFileVersion* version) {
  void* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block, L"\\", &fixed, &length) || fixed == nullptr) return false;
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  version->fileVersionMS = info->dwFileVersionMS;
  version->fileVersionLS = info->dwFileVersionLS;
  return true;
}

}  // namespace platform::win32
