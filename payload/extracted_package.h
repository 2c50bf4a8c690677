#pragma once

#include <string>

#include "platform/files.h"
#include "platform/status.h"
#include "run/run.h"

namespace payload {

// The error of a package that is no longer the file the launcher wrote: ERROR_FILE_INVALID,
// "the opened file is no longer valid".
inline constexpr std::uint32_t kErrorPackageReplaced = platform::kErrorFileInvalid;

// The default run's copy of the patch package, owned by the launcher from its first byte
// until the run is done with it. The run may be elevated (an administrator, or SYSTEM under a
// deployment tool) while others may create, rename and link files in the temporary folder:
// the file is made so that only the launcher's account, SYSTEM and the Administrators may
// open it, and it is locked against change only after the lock has been checked to hold the
// very file that was written, so the installer applies the package the launcher carries.
class ExtractedPackage {
 public:
  explicit ExtractedPackage(platform::Files& files) : files_(files), lock_(files, 0) {}
  ExtractedPackage(const ExtractedPackage&) = delete;
  ExtractedPackage& operator=(const ExtractedPackage&) = delete;

  // Writes the package to a fresh temporary file and locks it. A lock that finds another
  // file (another volume or index, or a link) under the name fails with
  // kErrorPackageReplaced, and the file is left alone.
  platform::Status Extract(run::Run& run);
  // Its full path: the installer may run in another process, with another current folder.
  const std::u16string& path() const { return path_; }
  // Lets go of the package and removes it.
  void Delete();
  // Lets go of the package and leaves it where it is, for the run's early endings.
  void Keep() { lock_.Reset(); }

 private:
  platform::Files& files_;
  platform::ScopedFile lock_;
  std::u16string path_;
};

}  // namespace payload
