#include "installer/product_discovery.h"

#include <vector>

#include "installer/full_path.h"
#include "installer/patch_targets.h"
#include "launcher/report_message.h"
#include "payload/extract_payload.h"

namespace installer {
namespace {

constexpr std::uint32_t kAttributeCapacity = 1024;
// Bounds the second read: no product attribute is anywhere near this long.
constexpr std::uint32_t kMaxAttributeLength = 1u << 20;
constexpr int kVersionCapacity = 256;

// An attribute that cannot be read is empty. One too long for the first buffer is read once
// more into a buffer of the size the installer asked for: not every installer leaves a cut
// text in a buffer that is too small (messages cut a long name to the room they have).
std::u16string ReadAttribute(platform::Installer& msi, const std::u16string& productCode,
                             const std::u16string& attribute, std::vector<char16_t>& buffer) {
  buffer.assign(kAttributeCapacity, u'\0');
  std::uint32_t size = kAttributeCapacity;
  std::uint32_t result = msi.GetProductInfo(productCode, attribute, buffer.data(), &size);
  if (result == platform::kErrorMoreData && size >= kAttributeCapacity && size < kMaxAttributeLength) {
    buffer.assign(size + 1, u'\0');
    size += 1;
    result = msi.GetProductInfo(productCode, attribute, buffer.data(), &size);
  }
  if (result != 0 && result != platform::kErrorMoreData) return u"";
  buffer.back() = u'\0';
  return std::u16string(buffer.data());
}

}  // namespace

bool IsProductInstalled(platform::Installer& msi, const std::u16string& productCode) {
  const std::int32_t state = msi.QueryProductState(productCode);
  return state == platform::kInstallStateAdvertised || state == platform::kInstallStateDefault;
}

std::u16string ReadInstalledVersion(platform::Installer& msi, const std::u16string& productCode) {
  std::vector<char16_t> buffer;
  return ReadAttribute(msi, productCode, u"VersionString", buffer);
}

bool ReadProductNameAndLanguage(platform::Installer& msi, const std::u16string& productCode,
                                std::u16string& productName, std::u16string& language) {
  std::vector<char16_t> buffer;
  productName = ReadAttribute(msi, productCode, u"ProductName", buffer);
  language = ReadAttribute(msi, productCode, u"Language", buffer);
  return true;
}

bool DiscoverInstalledProducts(launcher::Context& context, std::u16string& packagePath,
                               platform::ScopedFile& packageLock) {
  platform::Platform& p = context.platform;
  if (const platform::Status extracted = payload::ExtractPayload(context, packagePath);
      !extracted.ok()) {
    launcher::ReportFailure(context, launcher::kMessageInstallError, extracted.error());
    return false;
  }
  // The run may be elevated and the temporary folder writable by others: from here on the
  // package the installer reads is the one just written.
  packageLock = platform::ScopedFile(p.files, p.files.OpenForReadingDenyWrite(packagePath));
  if (!packageLock) {
    launcher::ReportFailure(context, launcher::kMessageInstallError, p.process.GetLastError());
    return false;
  }
  // A temporary name may be relative ("\MSP2" when only the drive's root exists); the rest
  // of the run, the installer's PATCH property above all, names the package by its full path.
  std::u16string fullPath;
  if (const platform::Status made = FullPath(p.files, p.process, packagePath, fullPath);
      !made.ok()) {
    launcher::ReportFailure(context, launcher::kMessageInstallError, made.error());
    return false;
  }
  packagePath = std::move(fullPath);
  ProductCandidate candidate;
  if (launcher::LoadLocalizedString(context, launcher::kTargetVersion, candidate.targetVersion,
                                    kVersionCapacity) == 0 ||
      launcher::LoadLocalizedString(context, launcher::kCandidateVersions,
                                    candidate.candidateVersions, kVersionCapacity) == 0) {
    // A missing string leaves no error code of its own.
    launcher::ReportFailure(context, launcher::kMessageInstallError, platform::kErrorInstallFailure);
    return false;
  }
  std::u16string targets;
  std::uint32_t error = 0;
  if (!ReadPatchTargets(p.files, p.installer, packagePath, targets, &error)) {
    launcher::ReportFailure(context, launcher::kMessageInstallError, error);
    return false;
  }

  auto& installed = context.state.installedProducts;
  ForEachTargetCode(targets, [&](const std::u16string& code) {
    if (!IsProductInstalled(p.installer, code)) return;
    ProductCandidate record = candidate;
    record.productCode = code;
    record.installedVersion = ReadInstalledVersion(p.installer, code);
    ReadProductNameAndLanguage(p.installer, code, record.productName, record.language);
    installed.push_back(std::move(record));
  });
  if (installed.empty()) {
    context.state.exitStatus.Record(platform::kErrorPatchTargetNotFound);
    launcher::ReportMessage(context, launcher::kMessageProductNotFound);
    return false;
  }
  return true;
}

}  // namespace installer
