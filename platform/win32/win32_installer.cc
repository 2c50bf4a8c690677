#include "platform/win32/windows_api.h"
#include <msi.h>
#include <msiquery.h>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

// msi.dll is bound at run time from the system directory: see SystemLibrary.

std::uint32_t Win32Installer::GetSummaryInformation(const std::u16string& path, MsiHandle* handle) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiGetSummaryInformationW);
  if (call == nullptr) return ::GetLastError();
  MSIHANDLE summary = 0;
  const UINT result = call(0, Wide(path), 0, &summary);
  *handle = summary;
  return result;
}

std::uint32_t Win32Installer::SummaryInfoGetProperty(MsiHandle handle, std::uint32_t property,
                                                     char16_t* buffer, std::uint32_t* size) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiSummaryInfoGetPropertyW);
  if (call == nullptr) return ::GetLastError();
  UINT type = 0;
  INT number = 0;
  FILETIME time{};
  DWORD length = *size;
  const UINT result = call(handle, property, &type, &number, &time, Wide(buffer), &length);
  *size = length;
  return result;
}

std::uint32_t Win32Installer::CloseHandle(MsiHandle handle) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiCloseHandle);
  return call == nullptr ? ::GetLastError() : call(handle);
}

std::int32_t Win32Installer::QueryProductState(const std::u16string& productCode) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiQueryProductStateW);
  return call == nullptr ? INSTALLSTATE_UNKNOWN : call(Wide(productCode));
}

std::uint32_t Win32Installer::GetProductInfo(const std::u16string& productCode,
                                             const std::u16string& attribute, char16_t* buffer,
                                             std::uint32_t* size) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiGetProductInfoW);
  if (call == nullptr) return ::GetLastError();
  DWORD length = *size;
  const UINT result = call(Wide(productCode), Wide(attribute), Wide(buffer), &length);
  *size = length;
  return result;
}

std::uint32_t Win32Installer::ConfigureProductEx(const std::u16string& productCode,
                                                 int installLevel, int installState,
                                                 const std::u16string& commandLine) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiConfigureProductExW);
  if (call == nullptr) return ::GetLastError();
  return call(Wide(productCode), installLevel, static_cast<INSTALLSTATE>(installState),
              Wide(commandLine));
}

int Win32Installer::SetInternalUI(int level) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiSetInternalUI);
  return call == nullptr ? INSTALLUILEVEL_NOCHANGE : call(static_cast<INSTALLUILEVEL>(level), nullptr);
}

std::uint32_t Win32Installer::EnableLog(std::uint32_t logMode, const std::u16string& path,
                                        std::uint32_t attributes) {
  auto call = LAUNCHER_SYSTEM_FUNCTION(msi_, MsiEnableLogW);
  if (call == nullptr) return ::GetLastError();
  return call(logMode, Wide(path), attributes);
}

}  // namespace platform::win32
