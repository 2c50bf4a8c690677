#include "installer/patch_flow.h"

#include "installer/full_path.h"
#include "installer/patch_application.h"
#include "installer/product_discovery.h"
#include "launcher/keep_last_error.h"

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

// The installer's own log goes beside the launcher's, as "<log path>.msi.log". It is asked
// for only when the launcher's log is open and the launcher could open that file itself: an
// installer that cannot write its log may refuse the install (1622), and a log must never
// change the run.
void EnableInstallerLog(launcher::Context& context) {
  if (!context.state.outcomeLog.IsOpen()) return;
  platform::Platform& p = context.platform;
  launcher::KeepLastError keep(p.process);
  std::u16string path;
  bool writable = false;
  if (FullPath(p.files, p.process, context.state.launchOptions.logPath + u".msi.log", path).ok()) {
    platform::ScopedFile probe(p.files, p.files.OpenForAppending(path));
    writable = static_cast<bool>(probe);
  }
  if (writable) p.installer.EnableLog(kVerboseLogMode, path, kLogAppendAndFlush);
}

}  // namespace

bool RunPatchFlow(launcher::Context& context) {
  // With nobody to click them, the installer's own dialogs would hang a quiet run.
  if (context.state.launchOptions.quiet) context.platform.installer.SetInternalUI(platform::kInstallUiLevelNone);
  EnableInstallerLog(context);
  std::u16string packagePath;
  platform::ScopedFile packageLock(context.platform.files, 0);
  if (!DiscoverInstalledProducts(context, packagePath, packageLock)) return false;
  return ApplyPatchToInstalledProducts(context, packagePath, packageLock);
}

}  // namespace installer
