#pragma once

#include <span>
#include <string>

#include "platform/files.h"
#include "platform/status.h"
#include "run/run.h"

namespace payload {

// The error of a package that is no longer the file the launcher wrote: ERROR_FILE_INVALID,
// "the opened file is no longer valid".
inline constexpr std::uint32_t kErrorPackageReplaced = platform::kErrorFileInvalid;

// A temporary copy of the patch package, owned by the launcher from its first byte until the
// run is done with it, and removed then, however the run ends. The run may be elevated (an
// administrator, or SYSTEM under a deployment tool) while others may create, rename and link
// files in the temporary folder, and the administrator's own unelevated processes may open
// the file: it is made so that only the launcher's account, SYSTEM and the Administrators may
// open it, locked against change, and then checked through the lock to be the very file
// written and to hold exactly the bytes the launcher carries. The installer is handed the
// path of the locked file as the system resolves it, so that a junction changed after the
// check leads nowhere else.
class ExtractedPackage {
 public:
  explicit ExtractedPackage(platform::Files& files) : files_(files), lock_(files, 0) {}
  ExtractedPackage(const ExtractedPackage&) = delete;
  ExtractedPackage& operator=(const ExtractedPackage&) = delete;
  ~ExtractedPackage() { Delete(); }

  // Writes the package to a fresh temporary file, locks and checks it. Another file under
  // the name, or other bytes in it, fail with kErrorPackageReplaced, and what was found is
  // left alone: it is not the launcher's.
  platform::Status Extract(run::Run& run);
  // The path to hand the installer, full: it may run in another process, with another
  // current folder.
  const std::u16string& path() const { return path_; }

 private:
  platform::Status LockAndCheck(const std::u16string& name, const platform::FileIdentity& written,
                                std::span<const std::byte> package);
  // Lets go of the package and removes it, when it is the launcher's.
  void Delete();

  platform::Files& files_;
  platform::ScopedFile lock_;
  std::u16string owned_;  // the name of a file the launcher wrote and has checked
  std::u16string path_;
};

// The path the installer gets for the final path `final` (GetFinalPathNameByHandleW's,
// "\\?\" in front): a drive-letter or UNC path where it is short enough to be opened without
// that prefix, the final path as it is otherwise.
std::u16string InstallerPathOf(const std::u16string& final);

}  // namespace payload
