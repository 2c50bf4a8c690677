#include "installer/patch_targets.h"

#include <vector>

#include "installer/installer_handle.h"

namespace installer {
namespace {

constexpr std::uint32_t kFullPathCapacity = 260;
constexpr std::uint32_t kFirstReadCapacity = 2048;

}  // namespace

platform::MsiHandle OpenSummaryInformation(platform::Files& files, platform::Installer& msi,
                                           const std::u16string& packagePath,
                                           std::uint32_t* error) {
  std::vector<char16_t> fullPath(kFullPathCapacity, u'\0');
  const std::uint32_t length =
      files.GetFullPathName(packagePath, fullPath.data(), kFullPathCapacity);
  // A path that cannot be made full, or does not fit, is a package we cannot open.
  if (length == 0 || length >= kFullPathCapacity) {
    if (error) *error = platform::kErrorInstallFailure;
    return 0;
  }
  platform::MsiHandle handle = 0;
  const std::uint32_t status = msi.GetSummaryInformation(std::u16string(fullPath.data()), &handle);
  if (status != 0) {
    if (error) *error = status;
    return 0;
  }
  return handle;
}

bool ReadPatchTargets(platform::Files& files, platform::Installer& msi,
                      const std::u16string& packagePath, std::u16string& result,
                      std::uint32_t* error) {
  InstallerHandle summary(msi, OpenSummaryInformation(files, msi, packagePath, error));
  if (!summary) return false;

  std::vector<char16_t> buffer(kFirstReadCapacity, u'\0');
  std::uint32_t size = kFirstReadCapacity;
  std::uint32_t status =
      msi.SummaryInfoGetProperty(summary.get(), kPidTemplate, buffer.data(), &size);
  if (status == platform::kErrorMoreData) {
    // One retry with exactly the reported length; a list that grew again is a failure.
    const std::uint32_t needed = size + 1;
    buffer.assign(needed, u'\0');
    size = needed;
    status = msi.SummaryInfoGetProperty(summary.get(), kPidTemplate, buffer.data(), &size);
  }
  if (status != 0) {
    if (error) *error = status;
    return false;
  }
  // The text ends at its first zero; a buffer without one is taken whole.
  std::size_t length = 0;
  while (length < buffer.size() && buffer[length] != u'\0') ++length;
  result.assign(buffer.data(), length);
  return true;
}

}  // namespace installer
