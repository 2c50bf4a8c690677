#include "installer/patch_targets.h"

#include <string>
#include <utility>
#include <vector>

#include "installer/installer_handle.h"
#include "payload/full_path.h"

namespace installer {
namespace {

constexpr std::uint32_t kFirstReadCapacity = 2048;

}  // namespace

platform::MsiHandle OpenSummaryInformation(platform::Files& files, platform::Installer& msi,
                                           const std::u16string& packagePath,
                                           std::uint32_t* error) {
  std::u16string fullPath;
  // A path that cannot be made full, or does not fit MAX_PATH, is a package we cannot open.
  if (!payload::FullPath(files, packagePath, fullPath).ok() || fullPath.size() >= platform::kMaxPath) {
    if (error) *error = platform::kErrorInstallFailure;
    return 0;
  }
  platform::MsiHandle handle = 0;
  const std::uint32_t status = msi.GetSummaryInformation(fullPath, &handle);
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

  // Read into a string that becomes the result: a long list is not copied once more.
  std::u16string text(kFirstReadCapacity, u'\0');
  std::uint32_t size = kFirstReadCapacity;
  std::uint32_t status =
      msi.SummaryInfoGetProperty(summary.get(), platform::kPidTemplate, text.data(), &size);
  if (status == platform::kErrorMoreData) {
    // One retry with exactly the reported length; a list that grew again is a failure.
    const std::uint32_t needed = size + 1;
    text.assign(needed, u'\0');
    size = needed;
    status = msi.SummaryInfoGetProperty(summary.get(), platform::kPidTemplate, text.data(), &size);
  }
  if (status != 0) {
    if (error) *error = status;
    return false;
  }
  // The text ends at its first zero; a buffer without one is taken whole.
  const std::size_t zero = text.find(u'\0');
  if (zero != std::u16string::npos) text.resize(zero);
  result = std::move(text);
  return true;
}

}  // namespace installer
