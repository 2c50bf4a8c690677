#include "payload/extract_payload.h"

#include <optional>
#include <vector>

#include "payload/embedded_package.h"
#include "payload/file_writer.h"
#include "payload/temp_name.h"

namespace payload {
namespace {

using platform::Status;

constexpr std::uint32_t kTempPathCapacity = 1024;
// The launcher's temporary names, and the copy it writes beside a file it replaces.
constexpr char16_t kNamePrefix[] = u"MSP";

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

// Writes the package to a new file under the first name from `makeName` that is still free
// when the file is created; each name tried goes into `path`. A name is only tested when it
// is made; another process may take it before the file is created, so a taken name sends us
// on to the next number.
template <typename MakeName>
Status WriteUnderAFreshName(run::Run& run, MakeName makeName, platform::NewFileAccess access,
                            std::u16string& path, platform::FileIdentity* identity) {
  platform::Platform& p = run.platform;
  std::optional<platform::ResourceBytes> package;
  std::uint32_t takenError = platform::kErrorSuccess;  // why the last name was taken
  for (std::uint32_t attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
    // Names that ran out, or one too long for a path, leave no Windows error.
    auto name = makeName();
    if (!name) return Status::Failed(platform::kErrorSuccess);
    path = std::move(*name);
    if (!package) {
      package = LockEmbeddedPackage(p.resources, run.moduleInstance);
      if (package->state != platform::ResourceState::kFound) return Status::Failed(package->error);
    }
    const WriteResult written = WriteNewFile(p.files, path, package->bytes, access, identity);
    switch (written.state) {
      case WriteState::kWritten: return Status::Done();
      case WriteState::kFailed: return Status::Failed(written.error);
      case WriteState::kNameTaken: takenError = written.error; break;
    }
  }
  return Status::Failed(takenError);
}

// Where names beside the file at `path` begin: up to and with its last separator, else its
// drive ("C:name"), else nothing, the current folder.
std::u16string FolderOf(const std::u16string& path) {
  const std::size_t separator = path.find_last_of(u"\\/");
  if (separator != std::u16string::npos) return path.substr(0, separator + 1);
  if (path.size() >= 2 && path[1] == u':') return path.substr(0, 2);
  return {};
}

// Moves the finished copy `side` to `target`; a copy that cannot be moved there is removed.
Status MoveInto(platform::Files& files, const std::u16string& target, const std::u16string& side) {
  const Status moved = files.MoveFile(side, target);
  if (!moved.ok()) (void)files.DeleteFile(side);
  return moved;
}

bool IsFolderOrLink(platform::Files& files, const std::u16string& path) {
  const platform::Result<std::uint32_t> attributes = files.GetFileAttributes(path);
  return attributes.ok() && (attributes.value() & (platform::kFileAttributeDirectory |
                                                   platform::kFileAttributeReparsePoint)) != 0;
}

// Puts the finished copy `side` in the place of `target`. Whatever happens, `side` is gone
// afterwards.
Status TakeThePlaceOf(platform::Files& files, const std::u16string& target,
                      const std::u16string& side) {
  // A folder or a link is never handed to ReplaceFileW: Wine's moves a folder out of the way
  // and deletes the file a link points to. A move replaces a link itself and fails on a folder.
  if (IsFolderOrLink(files, target)) return MoveInto(files, target, side);
  // ReplaceFileW keeps what the user set on the file there (access list, attributes,
  // alternate streams), which a move would drop. Whether there is a file to replace is its
  // own answer, not the look above, which may be out of date by the time the replace runs.
  const Status replaced = files.ReplaceFile(target, side);
  if (replaced.ok()) return replaced;
  switch (replaced.error()) {
    // Nothing there to replace.
    case platform::kErrorFileNotFound:
    // 1176: the file there is gone already; 1177: it was moved to another name. Either way
    // the copy still has its own name, and the path would be left empty without the move.
    case platform::kErrorUnableToMoveReplacement:
    case platform::kErrorUnableToMoveReplacement2:
      return MoveInto(files, target, side);
    // 1175 (the file there could not be removed) and every other error leave both files
    // under their own names: the target as it was.
    default:
      (void)files.DeleteFile(side);
      return replaced;
  }
}

// An existing file at `path` is replaced only once the whole package is written beside it,
// so a failed write leaves it as it was. The copy gets a temporary name in the same folder (a
// replace never crosses volumes); "MSP<n>" is shorter than all but the shortest names, so a
// name or path at the file system's limit still leaves room for it.
Status ExtractToGivenPath(run::Run& run, const std::u16string& path) {
  platform::Platform& p = run.platform;
  const std::u16string folder = FolderOf(path);
  std::u16string side;
  const Status written = WriteUnderAFreshName(
      run, [&] { return MakeTempNameIn(p.files, run.tempNames, folder, kNamePrefix); },
      platform::NewFileAccess::kInherited, side, nullptr);
  // A copy that was not written whole has been removed already.
  if (!written.ok()) return written;
  return TakeThePlaceOf(p.files, path, side);
}

}  // namespace

Status ExtractToTempName(run::Run& run, std::u16string& path, platform::FileIdentity* identity) {
  platform::Platform& p = run.platform;
  std::u16string directory;
  if (const Status found = TempDirectory(p, directory); !found.ok()) return found;
  return WriteUnderAFreshName(
      run, [&] { return MakeTempName(p.files, p.process, run.tempNames, directory, kNamePrefix); },
      platform::NewFileAccess::kCreatorOnly, path, identity);
}

Status ExtractPayload(run::Run& run, std::u16string& path) {
  return path.empty() ? ExtractToTempName(run, path) : ExtractToGivenPath(run, path);
}

}  // namespace payload
