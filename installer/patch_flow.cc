#include "installer/patch_flow.h"

#include "installer/patch_application.h"
#include "installer/product_discovery.h"
#include "payload/extracted_package.h"
#include "payload/full_path.h"

namespace installer {
namespace {

// With nobody to click them, the installer's own dialogs would hang a quiet run.
constexpr int kInstallUILevelNone = 2;

// A verbose installer log, as msiexec's "/l*v" writes it: FATALEXIT, ERROR, WARNING, USER,
// INFO, RESOLVESOURCE, OUTOFDISKSPACE, ACTIONSTART, ACTIONDATA, PROPERTYDUMP, COMMONDATA and
// VERBOSE.
constexpr std::uint32_t kVerboseLogMode = 0x1FDF;
// INSTALLLOGATTRIBUTES_APPEND | INSTALLLOGATTRIBUTES_FLUSHEACHLINE: earlier runs stay, and
// the log is complete up to the last line even if the run is cut short.
constexpr std::uint32_t kLogAppendAndFlush = 0x3;

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

}  // namespace

bool RunPatchFlow(run::Run& run, const PatchFlowSettings& settings) {
  platform::Platform& p = run.platform;
  if (settings.quiet) p.installer.SetInternalUI(kInstallUILevelNone);
  if (settings.installerLogPath) EnableInstallerLog(p, *settings.installerLogPath);
  payload::ExtractedPackage package(p.files);
  if (const platform::Status extracted = package.Extract(run); !extracted.ok()) {
    run.reporter.ReportFailure(IDS_INSTALL_ERROR, extracted.error());
    return false;
  }
  std::optional<std::vector<ProductCandidate>> products =
      DiscoverInstalledProducts(run, package.path());
  // The early endings leave the package where it is.
  if (!products || !ApplyPatchToInstalledProducts(run, package.path(), *products)) {
    package.Keep();
    return false;
  }
  package.Delete();
  return true;
}

}  // namespace installer
