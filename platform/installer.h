#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// The Windows Installer service (msi.dll), one function per call.
class Installer {
 public:
  virtual ~Installer() = default;

  // MsiGetSummaryInformationW(0, path, 0, handle).
  virtual std::uint32_t GetSummaryInformation(const std::u16string& path, MsiHandle* handle) = 0;
  // MsiSummaryInfoGetPropertyW; the type, integer and time outputs are not wanted.
  virtual std::uint32_t SummaryInfoGetProperty(MsiHandle handle, std::uint32_t property,
                                               char16_t* buffer, std::uint32_t* size) = 0;
  virtual std::uint32_t CloseHandle(MsiHandle handle) = 0;
  virtual std::int32_t QueryProductState(const std::u16string& productCode) = 0;
  virtual std::uint32_t GetProductInfo(const std::u16string& productCode,
                                       const std::u16string& attribute, char16_t* buffer,
                                       std::uint32_t* size) = 0;
  virtual std::uint32_t ConfigureProductEx(const std::u16string& productCode, int installLevel,
                                           int installState,
                                           const std::u16string& commandLine) = 0;
  // MsiSetInternalUI(level, no window): the level before, or INSTALLUILEVEL_NOCHANGE when
  // `level` was refused and nothing changed.
  virtual int SetInternalUI(int level) = 0;
  // MsiEnableLogW: the installer logs the messages of `logMode` to `path` from here on.
  virtual std::uint32_t EnableLog(std::uint32_t logMode, const std::u16string& path,
                                  std::uint32_t attributes) = 0;
};

}  // namespace platform
