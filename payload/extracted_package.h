#pragma once

#include <span>
#include <string>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/status.h"
#include "run/run.h"

namespace payload {

// The error of a temporary package that is not as the launcher wrote it: another file (or a
// folder, or a link) under its name, or other bytes in it. ERROR_FILE_INVALID, "the opened
// file is no longer valid".
inline constexpr std::uint32_t kErrorPackageNotAsWritten = platform::kErrorFileInvalid;

// A temporary copy of the patch package, owned by the launcher from its first byte until the
// run is done with it, and removed then, however the run ends.
//
// The run may be elevated (an administrator, or SYSTEM under a deployment tool) while others
// may create, rename and link files in the temporary folder, and the administrator's own
// unelevated processes may open the file. So the file is made for the launcher's account,
// SYSTEM and the Administrators only; then it is opened again and held so that nobody may
// change, move or delete it, and checked through that handle: the file written, holding
// exactly the bytes the launcher carries. The installer is handed the path the system
// resolves from that handle, and the file is removed through it.
class ExtractedPackage {
 public:
  explicit ExtractedPackage(platform::Files& files) : files_(files), lock_(files, 0) {}
  ExtractedPackage(const ExtractedPackage&) = delete;
  ExtractedPackage& operator=(const ExtractedPackage&) = delete;
  ~ExtractedPackage() { Delete(); }

  // Writes the package to a fresh temporary file, locks and checks it. Another file under
  // the name, or other bytes in it, fail with kErrorPackageNotAsWritten, and what was found
  // is left alone: it is not the launcher's. A path only the "\\?\" form reaches fails with
  // ERROR_FILENAME_EXCED_RANGE: the installer takes none.
  platform::Status Extract(run::Run& run);
  // The path to hand the installer, full: it may run in another process, with another
  // current folder.
  const std::u16string& path() const { return path_; }

 private:
  platform::Status Lock(const std::u16string& name, const platform::FileIdentity& written);
  platform::Status FindInstallerPath(const std::u16string& name);
  // Lets go of the package, removing it when it is the launcher's.
  void Delete();

  platform::Files& files_;
  platform::Process* process_ = nullptr;  // waits while others hold the file
  platform::ScopedFile lock_;
  bool remove_ = false;  // the lock holds the file written, not changed by others
  std::u16string path_;
};

// Turns `path`, a final path ("\\?\" in front) or a full one, into the path the installer
// gets: the drive-letter or UNC form, when it opens the same file without that prefix. False
// when only the long form reaches it (a path of MAX_PATH or more, a component ending in a dot
// or a space, a volume without a drive letter).
bool InstallerPathOf(std::u16string& path);

}  // namespace payload
