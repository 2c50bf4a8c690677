#include "installer/patch_application.h"

#include "installer/four_part_version.h"
#include "installer/installer_result.h"
#include "installer/registration_fixup.h"

namespace installer {
namespace {

// A configuration file of the host product that goes stale when it is patched.
void RemoveStaleConfiguration(platform::Process& process) {
  const auto common = process.GetEnvironmentVariableNarrow("CommonProgramFiles");
  if (!common) return;  // no folder to look in
  process.RemoveFileNarrow(*common + "\\Brimfold Shared\\ B1E56000plu.cfg");
}

struct PatchCall {
  const std::u16string& packagePath;
  bool suppressRestart;
};

// What the run does after a product.
enum class Next {
  kNextProduct,
  kEnd,                // no other product is looked at
  kEndLoggingTheRest,  // as kEnd, with a log line for each product left
};

Next ApplyPatch(run::Run& run, ProductCandidate& product, const FourPartVersion& installed,
                const PatchCall& call) {
  platform::Platform& p = run.platform;
  // The installer would apply the stale transform the fix-up failed to remove.
  if (const platform::Status fixed = FixUpRegistration(p, product.productCode, installed); !fixed.ok()) {
    run.reporter.LogNote(product.productCode, u"Not patched: its stale \"Transforms\" stays.");
    run.reporter.ReportFailure(IDS_INSTALL_ERROR, fixed.error());
    return Next::kNextProduct;
  }
  product.commandLine = BuildPatchCommandLine(call.packagePath, call.suppressRestart);
  const std::uint32_t result = p.installer.ConfigureProductEx(
      product.productCode, platform::kInstallLevelDefault, platform::kInstallStateDefault, product.commandLine);
  const PatchOutcome outcome = MapInstallerResult(result);
  if (outcome.applied) {
    run.reporter.RecordOutcome(outcome.exitCode);
    RemoveStaleConfiguration(p.process);
    run.reporter.ReportMessage(IDS_INSTALLED);
  } else {
    run.reporter.RecordRefusal(outcome.exitCode);
    run.reporter.ReportMessage(IDS_INSTALL_ERROR, result);
  }
  // The machine is going down: patching more products during the shutdown could fail half-way.
  return outcome.stopsRun ? Next::kEndLoggingTheRest : Next::kNextProduct;
}

void ReportWrongVersion(run::Run& run) {
  run.reporter.RecordOutcome(platform::kErrorPatchTargetNotFound);
  run.reporter.ReportMessage(IDS_WRONG_VERSION);
}

// Walks the comma-terminated candidates; text after the last comma is never a candidate.
Next ProcessProduct(run::Run& run, ProductCandidate& product, const PatchCall& call,
                    std::size_t& upToDateCount) {
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
    if (candidate == installed) return ApplyPatch(run, product, installed, call);
    if (candidate == target) {
      run.reporter.ReportMessage(IDS_UP_TO_DATE);
      return Next::kEnd;
    }
  }
  ReportWrongVersion(run);
  return Next::kNextProduct;
}

}  // namespace

std::u16string BuildPatchCommandLine(const std::u16string& packagePath, bool suppressRestart) {
  std::u16string line = u"PATCH=\"" + packagePath + u"\"";
  if (suppressRestart) line += u" REBOOT=ReallySuppress";
  return line;
}

void ApplyPatchToInstalledProducts(run::Run& run, const std::u16string& packagePath,
                                   bool suppressRestart, std::vector<ProductCandidate>& products) {
  const PatchCall call{packagePath, suppressRestart};
  platform::Process& process = run.platform.process;
  std::size_t upToDateCount = 0;
  for (auto product = products.begin(); product != products.end(); ++product) {
    run.reporter.SetCurrentProduct(product->productName, product->productCode);
    process.SetThreadLocale(static_cast<std::uint32_t>(ConvertNumber(product->language)));
    const Next next = ProcessProduct(run, *product, call, upToDateCount);
    if (next == Next::kEnd) return;
    if (next == Next::kEndLoggingTheRest) {
      // The log names the products left as they were, for whoever runs it again later.
      for (++product; product != products.end(); ++product) {
        run.reporter.LogNote(product->productCode,
                             u"Not reached: the installer has started a restart of the machine.");
      }
      return;
    }
  }
  // From here on the messages are about the run: no product code in the log. The 306 that
  // may follow names the last product.
  run.reporter.SetCurrentProduct(products.empty() ? u"" : products.back().productName, u"");
  if (upToDateCount == products.size()) {
    process.SetThreadLocale(platform::kLocaleUserDefault);
    run.reporter.ReportMessage(IDS_UP_TO_DATE);
  }
}

}  // namespace installer
