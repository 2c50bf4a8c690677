#include "installer/patch_flow.h"

#include "installer/patch_application.h"
#include "installer/product_discovery.h"
#include "payload/extracted_package.h"
#include "payload/full_path.h"

namespace installer {
namespace {

// A verbose installer log, as msiexec's "/l*v" writes it.
constexpr std::uint32_t kVerboseLogMode =
    platform::kInstallLogModeFatalExit | platform::kInstallLogModeError |
    platform::kInstallLogModeWarning | platform::kInstallLogModeUser |
    platform::kInstallLogModeInfo | platform::kInstallLogModeResolveSource |
    platform::kInstallLogModeOutOfDiskSpace | platform::kInstallLogModeActionStart |
    platform::kInstallLogModeActionData | platform::kInstallLogModePropertyDump |
    platform::kInstallLogModeCommonData | platform::kInstallLogModeVerbose;
// Earlier runs stay, and the log is complete up to the last line even if the run is cut
// short.
constexpr std::uint32_t kLogAppendAndFlush =
    platform::kInstallLogAttributesAppend | platform::kInstallLogAttributesFlushEachLine;

// The installer is asked for its log only when the launcher could open that file itself: an
// installer that cannot write its log may refuse the install (1622), and a log must never
// change the run, so a log that cannot be had is done without.
void EnableInstallerLog(platform::Platform& p, const std::u16string& logPath) {
  std::u16string path;
  if (!payload::FullPath(p.files, logPath, path).ok()) return;
  const platform::Result<platform::FileHandle> probe = p.files.OpenForAppending(path);
  if (!probe.ok()) return;
  platform::ScopedFile(p.files, probe.value()).Reset();
  p.installer.EnableLog(kVerboseLogMode, path, kLogAppendAndFlush);
}

// With nobody to click them, the installer's own dialogs would hang a quiet run. A person
// who sees the run still gets UAC's elevation prompt, without which an unelevated run fails
// for every product; an installer that does not know that level (Wine's) answers "no
// change" and gets the plain silent one.
void SilenceInstaller(platform::Installer& msi, bool unattended) {
  if (!unattended && msi.SetInternalUI(platform::kInstallUiLevelNone | platform::kInstallUiLevelUacOnly) !=
                         platform::kInstallUiLevelNoChange) {
    return;
  }
  msi.SetInternalUI(platform::kInstallUiLevelNone);
}

}  // namespace

void RunPatchFlow(run::Run& run, const PatchFlowSettings& settings) {
  platform::Platform& p = run.platform;
  if (settings.quiet) SilenceInstaller(p.installer, settings.unattended);
  if (settings.installerLogPath) EnableInstallerLog(p, *settings.installerLogPath);
  payload::ExtractedPackage package(p.files);
  if (const platform::Status extracted = package.Extract(run); !extracted.ok()) {
    run.reporter.ReportFailure(IDS_INSTALL_ERROR, extracted.error());
    return;
  }
  std::optional<std::vector<ProductCandidate>> products =
      DiscoverInstalledProducts(run, package.path());
  // However the run ends, the package goes with `package`.
  if (products) ApplyPatchToInstalledProducts(run, package.path(), settings.suppressRestart, *products);
}

}  // namespace installer
