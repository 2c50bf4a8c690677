#include "installer/registration_fixup.h"

#include <vector>

#include "platform/scoped_handle.h"

namespace installer {
namespace {

using ScopedKey = platform::ScopedHandle<platform::RegistryKey, platform::Registry,
                                         &platform::Registry::CloseKey>;

constexpr std::uint32_t kLocationBytes = 2048;

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The text of a registry string value: up to its terminator, or its stored length without one.
std::u16string StoredText(const std::vector<char16_t>& units, std::uint32_t storedBytes) {
  const std::size_t count = std::min<std::size_t>(storedBytes / 2, units.size());
  std::size_t length = 0;
  while (length < count && units[length] != u'\0') ++length;
  return std::u16string(units.data(), length);
}

// What is already gone needs no removing.
platform::Status Removed(std::uint32_t error) {
  return error == platform::kErrorSuccess || error == platform::kErrorFileNotFound
             ? platform::Status::Done()
             : platform::Status::Failed(error);
}

}  // namespace

bool IsBracedGuid(std::u16string_view code) {
  if (code.size() != 38 || code.front() != u'{' || code.back() != u'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? code[i] != u'-' : !IsHexDigit(code[i])) return false;
  }
  return true;
}

std::optional<std::u16string> PackProductCode(std::u16string_view code) {
  if (!IsBracedGuid(code)) return std::nullopt;
  std::u16string packed;
  packed.reserve(32);
  for (std::size_t i = 8; i >= 1; --i) packed += code[i];
  for (std::size_t i = 13; i >= 10; --i) packed += code[i];
  for (std::size_t i = 18; i >= 15; --i) packed += code[i];
  for (std::size_t start : {20, 22, 25, 27, 29, 31, 33, 35}) {
    packed += code[start + 1];
    packed += code[start];
  }
  return packed;
}

std::optional<std::u16string> HostKeyPath(std::u16string_view code) {
  if (!IsBracedGuid(code)) return std::nullopt;
  const std::size_t u = code.find(u'-');
  std::u16string path = u"Software\\Brimfold\\Tessary\\R16.0\\Vorn-";
  path += code.substr(u + 2, 3);
  path += u':';
  path += code.substr(u + 7, 3);
  return path;
}

platform::Status FixUpRegistration(platform::Platform& platform, const std::u16string& productCode,
                                   const FourPartVersion& installedVersion) {
  platform::Registry& registry = platform.registry;
  const auto hostKeyPath = HostKeyPath(productCode);
  const auto packed = PackProductCode(productCode);
  if (!hostKeyPath || !packed) return platform::Status::Done();

  ScopedKey hostKey(registry, registry.OpenKey(platform::RegistryRoot::kLocalMachine, *hostKeyPath,
                                               platform::kKeyQueryValue).value());
  if (!hostKey) return platform::Status::Done();
  std::vector<char16_t> location(kLocationBytes / 2, u'\0');
  std::uint32_t size = kLocationBytes;
  if (registry.QueryValue(hostKey.get(), u"VornLocation", location.data(), &size) != 0) {
    return platform::Status::Done();
  }

  const std::u16string modulePath = StoredText(location, size) + u"\\mainmod.vxm";
  std::u16string moduleVersion;
  // Without the module's version there is nothing to compare: the registration stays.
  if (!ReadModuleVersion(platform.fileVersions, modulePath, moduleVersion) ||
      ParseFourPartVersion(moduleVersion) == installedVersion) {
    return platform::Status::Done();
  }

  const platform::Result<platform::RegistryKey> opened =
      registry.OpenKey(platform::RegistryRoot::kLocalMachineShared,
                       u"SOFTWARE\\Classes\\Installer\\Products\\" + *packed, platform::kKeyWrite);
  if (!opened.ok()) return Removed(opened.error());
  ScopedKey productKey(registry, opened.value());
  return Removed(registry.DeleteValue(productKey.get(), u"Transforms"));
}

}  // namespace installer
