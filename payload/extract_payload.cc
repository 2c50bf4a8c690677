#include "payload/extract_payload.h"

#include <vector>

#include "payload/embedded_package.h"
#include "payload/file_writer.h"
#include "payload/temp_name.h"
#include "run/decimal_text.h"

namespace payload {
namespace {

using platform::Status;

constexpr std::uint32_t kTempPathCapacity = 1024;
// Bounds the search for a name beside an existing file.
constexpr int kMaxSideNameTries = 1000;

// Asks the platform for its temporary directory. A directory too long for the buffer is
// a failure without an error of its own.
Status TempDirectory(platform::Platform& p, std::u16string& directory) {
  std::vector<char16_t> buffer(kTempPathCapacity, u'\0');
  const platform::Result<std::uint32_t> length = p.files.GetTempPath(buffer.data(), kTempPathCapacity);
  if (!length.ok()) return length.status();
  if (length.value() > kTempPathCapacity) return Status::Failed(platform::kErrorSuccess);
  directory = buffer.data();
  return Status::Done();
}

}  // namespace

// A temporary name is only tested when it is made; another process may take it before the
// file is created, so a taken name sends us on to the next number.
Status ExtractToTempName(run::Run& run, std::u16string& path, platform::FileIdentity* identity) {
  platform::Platform& p = run.platform;
  std::u16string directory;
  if (const Status found = TempDirectory(p, directory); !found.ok()) return found;

  std::optional<LockedResource> package;
  std::uint32_t takenError = platform::kErrorSuccess;  // why the last name was taken
  for (std::uint32_t attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
    // Names that ran out, or one too long for a path, leave no Windows error.
    auto name = MakeTempName(p.files, p.process, run.tempNames, directory, u"MSP");
    if (!name) return Status::Failed(platform::kErrorSuccess);
    path = std::move(*name);
    if (!package) {
      package = LockEmbeddedPackage(p.resources, p.process, run.moduleInstance);
      if (package->state != ResourceState::kFound) return Status::Failed(package->error);
    }
    const WriteResult written = WriteNewFile(p.files, path, package->bytes,
                                             platform::NewFileAccess::kCreatorOnly, identity);
    switch (written.state) {
      case WriteState::kWritten: return Status::Done();
      case WriteState::kFailed: return Status::Failed(written.error);
      case WriteState::kNameTaken: takenError = written.error; break;
    }
  }
  return Status::Failed(takenError);
}

namespace {

// An existing file at `path` is replaced only once the whole package is written beside it,
// so a failed write leaves it as it was.
Status ExtractToGivenPath(run::Run& run, const std::u16string& path) {
  platform::Platform& p = run.platform;
  const LockedResource package = LockEmbeddedPackage(p.resources, p.process, run.moduleInstance);
  if (package.state != ResourceState::kFound) return Status::Failed(package.error);

  // Access denied counts as a name taken, so a folder nobody may write to ends here, with
  // that error.
  std::uint32_t takenError = platform::kErrorSuccess;
  for (int n = 1; n <= kMaxSideNameTries; ++n) {
    const std::u16string side = path + u".part" + run::DecimalText(static_cast<std::uint64_t>(n));
    const WriteResult written =
        WriteNewFile(p.files, side, package.bytes, platform::NewFileAccess::kInherited);
    switch (written.state) {
      case WriteState::kNameTaken: takenError = written.error; continue;
      case WriteState::kFailed: return Status::Failed(written.error);
      case WriteState::kWritten: break;
    }
    const Status replaced = p.files.MoveFile(side, path);
    // The copy beside is of no use once it cannot take the file's place.
    if (!replaced.ok()) (void)p.files.DeleteFile(side);
    return replaced;
  }
  return Status::Failed(takenError);
}

}  // namespace

Status ExtractPayload(run::Run& run, std::u16string& path) {
  return path.empty() ? ExtractToTempName(run, path) : ExtractToGivenPath(run, path);
}

}  // namespace payload
