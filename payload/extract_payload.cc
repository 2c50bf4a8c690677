#include "payload/extract_payload.h"

#include <algorithm>
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

// Names refused with "access denied" though nothing was there: a folder the launcher may not
// write to answers so for every name, and after this many the attempts end.
constexpr int kMaxDeniedFreeNames = 4;

// Writes the package to a new file under the first name from `makeName` that is still free
// when the file is created; each name tried goes into `path`. A name is only tested when it
// is made; another process may take it before the file is created, so a taken name sends us
// on to the next number.
template <typename MakeName>
Status WriteUnderAFreshName(run::Run& run, MakeName makeName, const NewFile& how,
                            std::u16string& path) {
  platform::Platform& p = run.platform;
  std::optional<platform::ResourceBytes> package;
  std::uint32_t takenError = platform::kErrorSuccess;  // why the last name was taken
  int deniedFreeNames = 0;
  for (std::uint32_t attempt = 0; attempt < kMaxTempNameTries; ++attempt) {
    // Names that ran out, or one too long for a path, leave no Windows error.
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

// Whether two names in one folder are the same to Windows (A-Z folded only, as the file
// system's upper-case table does for the names made here).
bool SameName(const std::u16string& a, const std::u16string& b) {
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

// A fresh name beside `target` that is not `target` itself nor `other` (a free name equal
// to the target would make the copy its own target).
std::optional<std::u16string> NameBeside(run::Run& run, const std::u16string& folder,
                                         const std::u16string& target, const std::u16string& other) {
  for (;;) {
    auto name = MakeTempNameIn(run.platform.files, run.tempNames, folder, kNamePrefix);
    if (!name || (!SameName(*name, target) && !SameName(*name, other))) return name;
  }
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

bool Exists(platform::Files& files, const std::u16string& path) {
  return files.GetFileAttributes(path).ok();
}

// Puts the finished copy `side` in the place of `target`. Whatever happens, `target` holds
// its old file or the whole package afterwards, and neither `side` nor a backup stays.
Status TakeThePlaceOf(run::Run& run, const std::u16string& target, const std::u16string& side) {
  platform::Files& files = run.platform.files;
  // A folder or a link is never handed to ReplaceFileW: Wine's moves a folder out of the way
  // and deletes the file a link points to. A move replaces a link itself and fails on a folder.
  if (IsFolderOrLink(files, target)) return MoveInto(files, target, side);
  // The old file goes to a name of ours beside it while the copy takes its place, so that it
  // can be put back if the copy cannot.
  const std::optional<std::u16string> backup = NameBeside(run, FolderOf(target), target, side);
  if (!backup) {
    (void)files.DeleteFile(side);
    return Status::Failed(platform::kErrorSuccess);
  }
  // ReplaceFileW keeps what the user set on the file there (access list, attributes,
  // alternate streams), which a move would drop. Whether there is a file to replace is its
  // own answer, not the look above, which may be out of date by the time the replace runs.
  const Status replaced = files.ReplaceFile(target, side, *backup);
  if (replaced.ok()) {
    // The old file is the user's to lose only now; a backup that cannot be removed is
    // no reason to call the extraction failed.
    (void)files.DeleteFile(*backup);
    return replaced;
  }
  if (replaced.error() == platform::kErrorFileNotFound) return MoveInto(files, target, side);
  // 1177: the old file is under the backup name and nothing at the path. The copy is moved
  // there after all, or else the old file goes back. 1175, 1176 (with a backup name) and
  // every other error leave the old file where it was.
  if (!Exists(files, target) && Exists(files, *backup)) {
    if (files.MoveFile(side, target).ok()) {
      (void)files.DeleteFile(*backup);
      return Status::Done();
    }
    (void)files.MoveFile(*backup, target);
  }
  (void)files.DeleteFile(side);
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
      run, [&] { return NameBeside(run, folder, path, path); }, NewFile{.flush = true}, side);
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
