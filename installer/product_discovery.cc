#include "installer/product_discovery.h"

#include <vector>

#include "installer/patch_targets.h"

namespace installer {
namespace {

constexpr std::uint32_t kAttributeCapacity = 1024;
// Bounds the second read: no product attribute is anywhere near this long.
constexpr std::uint32_t kMaxAttributeLength = 1u << 20;

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

// Advertised (1) or installed (5).
bool IsInstalledState(std::int32_t state) {
  return state == platform::kInstallStateAdvertised || state == platform::kInstallStateDefault;
}

}  // namespace

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

std::optional<std::vector<ProductCandidate>> DiscoverInstalledProducts(
    run::Run& run, const std::u16string& packagePath) {
  platform::Platform& p = run.platform;
  ProductCandidate candidate;
  candidate.targetVersion = run.reporter.LoadString(IDS_TARGET_VERSION);
  candidate.candidateVersions = run.reporter.LoadString(IDS_CANDIDATE_VERSIONS);
  if (candidate.targetVersion.empty() || candidate.candidateVersions.empty()) {
    // A missing string leaves no error code of its own.
    run.reporter.ReportFailure(IDS_INSTALL_ERROR, platform::kErrorInstallFailure);
    return std::nullopt;
  }
  std::u16string targets;
  std::uint32_t error = 0;
  if (!ReadPatchTargets(p.files, p.installer, packagePath, targets, &error)) {
    run.reporter.ReportFailure(IDS_INSTALL_ERROR, error);
    return std::nullopt;
  }

  std::vector<ProductCandidate> installed;
  ForEachTargetCode(targets, [&](const std::u16string& code) {
    const std::int32_t state = p.installer.QueryProductState(code);
    if (state == platform::kInstallStateAbsent) {
      // As SYSTEM sees every installation made per user: the log says why it is left.
      run.reporter.LogNote(code, u"Installed for another user only: not patched by this run.");
    }
    if (!IsInstalledState(state)) return;
    ProductCandidate record = candidate;
    record.productCode = code;
    record.installedVersion = ReadInstalledVersion(p.installer, code);
    ReadProductNameAndLanguage(p.installer, code, record.productName, record.language);
    installed.push_back(std::move(record));
  });
  if (installed.empty()) {
    run.reporter.RecordOutcome(platform::kErrorPatchTargetNotFound);
    run.reporter.ReportMessage(IDS_PRODUCT_NOT_FOUND);
    return std::nullopt;
  }
  return installed;
}

}  // namespace installer
