#include "platform/win32/windows_api.h"
#include <msi.h>
#include <msiquery.h>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

std::uint32_t Win32Installer::GetSummaryInformation(const std::u16string& path, MsiHandle* handle) {
  MSIHANDLE summary = 0;
  const UINT result = ::MsiGetSummaryInformationW(0, Wide(path), 0, &summary);
  *handle = summary;
  return result;
}

std::uint32_t Win32Installer::SummaryInfoGetProperty(MsiHandle handle, std::uint32_t property,
                                                     char16_t* buffer, std::uint32_t* size) {
  UINT type = 0;
  INT number = 0;
  FILETIME time{};
  DWORD length = *size;
  const UINT result =
      ::MsiSummaryInfoGetPropertyW(handle, property, &type, &number, &time, Wide(buffer), &length);
  *size = length;
  return result;
}

std::uint32_t Win32Installer::CloseHandle(MsiHandle handle) { return ::MsiCloseHandle(handle); }

std::int32_t Win32Installer::QueryProductState(const std::u16string& productCode) {
  return ::MsiQueryProductStateW(Wide(productCode));
}

std::uint32_t Win32Installer::GetProductInfo(const std::u16string& productCode,
                                             const std::u16string& attribute, char16_t* buffer,
                                             std::uint32_t* size) {
  DWORD length = *size;
  const UINT result =
      ::MsiGetProductInfoW(Wide(productCode), Wide(attribute), Wide(buffer), &length);
  *size = length;
  return result;
}

std::uint32_t Win32Installer::ConfigureProductEx(const std::u16string& productCode,
                                                 int installLevel, int installState,
                                                 const std::u16string& commandLine) {
  return ::MsiConfigureProductExW(Wide(productCode), installLevel,
                                  static_cast<INSTALLSTATE>(installState), Wide(commandLine));
}

void Win32Installer::SetInternalUI(int level) {
  ::MsiSetInternalUI(static_cast<INSTALLUILEVEL>(level), nullptr);
}

}  // namespace platform::win32
