#include "payload/extracted_package.h"

#include "payload/extract_payload.h"
#include "payload/full_path.h"

namespace payload {

platform::Status ExtractedPackage::Extract(run::Run& run) {
  std::u16string name;
  platform::FileIdentity written;
  if (const platform::Status extracted = ExtractToTempName(run, name, &written); !extracted.ok()) {
    return extracted;
  }
  // Between the writer's handle and the lock the name is open to others: whatever the lock
  // holds is taken only if it is the file written.
  const platform::Result<platform::FileHandle> opened = files_.OpenForReadingDenyWrite(name);
  if (!opened.ok()) return opened.status();
  platform::ScopedFile lock(files_, opened.value());
  const platform::Result<platform::FileIdentity> locked = files_.GetFileIdentity(lock.get());
  if (!locked.ok()) return locked.status();
  if (locked.value().reparsePoint || !(locked.value() == written)) {
    return platform::Status::Failed(kErrorPackageReplaced);
  }
  // A temporary name may be relative ("\MSP2" when only the drive's root exists).
  if (const platform::Status made = FullPath(files_, name, path_); !made.ok()) return made;
  lock_ = std::move(lock);
  return platform::Status::Done();
}

void ExtractedPackage::Delete() {
  lock_.Reset();
  // A copy that cannot be removed stays in the temporary folder; the run's outcome is the
  // patch's, not its scratch file's.
  (void)files_.DeleteFile(path_);
}

}  // namespace payload
