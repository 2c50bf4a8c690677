#include "installer/patch_application.h"

#include "installer/four_part_version.h"
#include "installer/installer_result.h"
#include "installer/registration_fixup.h"
#include "launcher/report_message.h"

namespace installer {
namespace {

// A configuration file of the host product that goes stale when it is patched.
void RemoveStaleConfiguration(platform::Process& process) {
  const auto common = process.GetEnvironmentVariableNarrow("CommonProgramFiles");
  if (!common) return;  // no folder to look in
  process.RemoveFileNarrow(*common + "\\Brimfold Shared\\ B1E56000plu.cfg");
}

void ApplyPatch(launcher::Context& context, installer::ProductCandidate& product,
                const FourPartVersion& installed, const std::u16string& packagePath) {
  platform::Platform& p = context.platform;
  FixUpRegistration(context, product.productCode, installed);
  product.commandLine = BuildPatchCommandLine(packagePath);
  const std::uint32_t result = p.installer.ConfigureProductEx(
      product.productCode, platform::kInstallLevelDefault, platform::kInstallStateDefault, product.commandLine);
  const PatchOutcome outcome = MapInstallerResult(result);
  context.state.exitStatus.Record(outcome.exitCode);
  if (outcome.applied) {
    RemoveStaleConfiguration(p.process);
    launcher::ReportMessage(context, launcher::kMessageInstalled);
  } else {
    p.process.SetLastError(result);
    launcher::ReportMessage(context, launcher::kMessageInstallError);
  }
}

void ReportWrongVersion(launcher::Context& context) {
  context.state.exitStatus.Record(platform::kErrorPatchTargetNotFound);
  launcher::ReportMessage(context, launcher::kMessageWrongVersion);
}

enum class Next { kNextProduct, kStopRun };

// Walks the comma-terminated candidates; text after the last comma is never a candidate.
Next ProcessProduct(launcher::Context& context, installer::ProductCandidate& product,
                    const std::u16string& packagePath, std::size_t& upToDateCount) {
  const FourPartVersion installed = ParseFourPartVersion(product.installedVersion);
  const FourPartVersion target = ParseFourPartVersion(product.targetVersion);
  if (installed == target) {
    ++upToDateCount;
    return Next::kNextProduct;
  }
  const std::u16string& candidates = product.candidateVersions;
  std::size_t start = 0;
  for (std::size_t comma; (comma = candidates.find(u',', start)) != std::u16string::npos;
       start = comma + 1) {
    const FourPartVersion candidate =
        ParseFourPartVersion(candidates.substr(start, comma - start));
    if (candidate == installed) {
      ApplyPatch(context, product, installed, packagePath);
      return Next::kNextProduct;
    }
    if (candidate == target) {
      launcher::ReportMessage(context, launcher::kMessageUpToDate);
      return Next::kStopRun;
    }
  }
  ReportWrongVersion(context);
  return Next::kNextProduct;
}

}  // namespace

std::u16string BuildPatchCommandLine(const std::u16string& packagePath) {
  return u"PATCH=\"" + packagePath + u"\"";
}

bool ApplyPatchToInstalledProducts(launcher::Context& context, const std::u16string& packagePath,
                                   platform::ScopedFile& packageLock) {
  platform::Process& process = context.platform.process;
  auto& products = context.state.installedProducts;
  std::size_t upToDateCount = 0;
  for (installer::ProductCandidate& product : products) {
    context.state.currentProductName = product.productName;
    context.state.currentProductCode = product.productCode;
    process.SetThreadLocale(static_cast<std::uint32_t>(ConvertNumber(product.language)));
    if (ProcessProduct(context, product, packagePath, upToDateCount) == Next::kStopRun) {
      return false;  // the package stays on disk
    }
  }
  // What follows is about the run, not one product.
  context.state.currentProductCode.clear();
  if (upToDateCount == products.size()) {
    process.SetThreadLocale(platform::kLocaleUserDefault);
    launcher::ReportMessage(context, launcher::kMessageUpToDate);
  }
  packageLock.Reset();
  context.platform.files.DeleteFile(packagePath);
  return true;
}

}  // namespace installer
