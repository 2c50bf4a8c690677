#include "payload/extract_payload.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "payload/embedded_package.h"
#include "payload/file_writer.h"
#include "payload/in_use.h"
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

// How many free names may be refused with "access denied" before the attempts end: a folder
// the launcher may not write to refuses every name so.
constexpr int kMaxDeniedFreeNames = 4;

// Writes the package to a new file under the first name from `makeName` that is still free
// when the file is created; each name tried goes into `path`. A name is free when it is made,
// not reserved: another process may take it before the file is created, and then the next
// number is tried.
template <typename MakeName>
Status WriteUnderAFreshName(run::Run& run, MakeName makeName, const NewFile& how,
                            std::u16string& path) {
  platform::Platform& p = run.platform;
  std::optional<platform::ResourceBytes> package;
  std::uint32_t takenError = platform::kErrorSuccess;  // why the last name was taken
  int deniedFreeNames = 0;
  for (std::uint32_t attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
    // No name left, or one too long for a path: a failure without an error of its own.
    auto name = makeName();
    if (!name) return Status::Failed(platform::kErrorSuccess);
    path = std::move(*name);
    if (!package) {
      package = LockEmbeddedPackage(p.resources, run.moduleInstance);
      if (package->state != platform::ResourceState::kFound) return Status::Failed(package->error);
    }
    const WriteResult written = WriteNewFile(p.files, path, package->bytes, how);
    switch (written.state) {
      case WriteState::kWritten: return Status::Done();
      case WriteState::kFailed: return Status::Failed(written.error);
      case WriteState::kNameTaken:
        takenError = written.error;
        // Access denied on a name that was free when it was made is the folder's answer,
        // not another file's, and the next name would get it too.
        if (written.error == platform::kErrorAccessDenied &&
            ++deniedFreeNames == kMaxDeniedFreeNames) {
          return Status::Failed(takenError);
        }
        break;
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

// `path` as Windows opens it, for a path whose last component is a name: one in the "\\?\"
// form as written; any other without the name's trailing dots and spaces ("MSP2. " opens
// MSP2).
std::u16string_view AsOpened(std::u16string_view path) {
  if (path.starts_with(u"\\\\?\\")) return path;
  while (!path.empty() && (path.back() == u'.' || path.back() == u' ')) path.remove_suffix(1);
  return path;
}

// Whether two paths in one folder open the same file.
bool SameName(std::u16string_view a, std::u16string_view b) { return SameIgnoringCase(AsOpened(a), AsOpened(b)); }

// A fresh name in `folder` that does not open `target`: a free name that opened the target
// would make the copy its own target. The names made only count up, so a later one is never
// an earlier one: the backup never takes the copy's name.
std::optional<std::u16string> NameBeside(run::Run& run, const std::u16string& folder,
                                         const std::u16string& target) {
  for (;;) {
    auto name = MakeTempNameIn(run.platform.files, run.tempNames, folder, kNamePrefix);
    if (!name || !SameName(*name, target)) return name;
  }
}

// The steps that put the copy in place, each tried again while another program holds a file
// it needs (a scanner looking at the new copy or at the old file).
Status Move(platform::Platform& p, const std::u16string& from, const std::u16string& to) {
  return UnlessHeldByOthers(p.process, [&] { return p.files.MoveFile(from, to); });
}
// A file of ours that cannot be removed is no reason to fail what was asked.
void Remove(platform::Platform& p, const std::u16string& path) {
  (void)UnlessHeldByOthers(p.process, [&] { return p.files.DeleteFile(path); });
}

// Moves the finished copy `side` to `target`; a copy that cannot be moved there is removed.
Status MoveInto(platform::Platform& p, const std::u16string& target, const std::u16string& side) {
  const Status moved = Move(p, side, target);
  if (!moved.ok()) Remove(p, side);
  return moved;
}

bool IsFolderOrLink(platform::Files& files, const std::u16string& path) {
  const platform::Result<std::uint32_t> attributes = files.GetFileAttributes(path);
  return attributes.ok() && (attributes.value() & (platform::kFileAttributeDirectory |
                                                   platform::kFileAttributeReparsePoint)) != 0;
}

// Puts the finished copy `side` in the place of `target`. Whatever happens, `target` holds
// its old file or the whole package afterwards, and neither `side` nor a backup stays.
Status TakeThePlaceOf(run::Run& run, const std::u16string& target, const std::u16string& side) {
  platform::Platform& p = run.platform;
  // A folder or a link is never handed to ReplaceFileW: Wine's moves a folder out of the way
  // and deletes the file a link points to. A move replaces a link itself and fails on a folder.
  if (IsFolderOrLink(p.files, target)) return MoveInto(p, target, side);
  // The old file goes to a name of ours beside it while the copy takes its place, so that it
  // can be put back if the copy cannot.
  const std::optional<std::u16string> backup = NameBeside(run, FolderOf(target), target);
  if (!backup) {
    Remove(p, side);
    return Status::Failed(platform::kErrorSuccess);
  }
  // ReplaceFileW keeps what the user set on the file there (access list, attributes,
  // alternate streams), which a move would drop. The look above may be out of date by now:
  // whether there is a file to replace is the replace's own answer.
  const Status replaced =
      UnlessHeldByOthers(p.process, [&] { return p.files.ReplaceFile(target, side, *backup); });
  if (replaced.ok()) {
    // Only now is the old file the user's to lose.
    Remove(p, *backup);
    return replaced;
  }
  if (replaced.error() == platform::kErrorFileNotFound) return MoveInto(p, target, side);
  // 1177: the old file is under the backup name and nothing at the path. The copy is moved
  // there after all, or else the old file goes back. 1175, 1176 (with a backup name) and
  // every other error leave the old file where it was.
  if (!Exists(p.files, target) && Exists(p.files, *backup)) {
    if (Move(p, side, target).ok()) {
      Remove(p, *backup);
      return Status::Done();
    }
    (void)Move(p, *backup, target);
  }
  Remove(p, side);
  return replaced;
}

// An existing file at `path` is replaced only once the whole package is written beside it
// and on the disk, so a failed write leaves it as it was. The copy gets a temporary name in
// the same folder (a replace never crosses volumes); "MSP<n>" is shorter than all but the
// shortest names, so a name or path at the file system's limit still leaves room for it.
Status ExtractToGivenPath(run::Run& run, const std::u16string& path) {
  const std::u16string folder = FolderOf(path);
  std::u16string side;
  const Status written = WriteUnderAFreshName(
      run, [&] { return NameBeside(run, folder, path); }, NewFile{.flush = true}, side);
  // A copy that was not written whole has been removed already.
  if (!written.ok()) return written;
  return TakeThePlaceOf(run, path, side);
}

}  // namespace

Status ExtractToTempName(run::Run& run, std::u16string& path, platform::FileIdentity* identity) {
  platform::Platform& p = run.platform;
  std::u16string directory;
  if (const Status found = TempDirectory(p, directory); !found.ok()) return found;
  return WriteUnderAFreshName(
      run, [&] { return MakeTempName(p.files, p.process, run.tempNames, directory, kNamePrefix); },
      NewFile{.access = platform::NewFileAccess::kCreatorOnly, .identity = identity}, path);
}

Status ExtractPayload(run::Run& run, std::u16string& path) {
  return path.empty() ? ExtractToTempName(run, path) : ExtractToGivenPath(run, path);
}

}  // namespace payload
