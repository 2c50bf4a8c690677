#include "payload/extracted_package.h"

#include <cstring>
#include <vector>

#include "payload/embedded_package.h"
#include "payload/extract_payload.h"
#include "payload/full_path.h"
#include "payload/in_use.h"
#include "payload/temp_name.h"

namespace payload {
namespace {

using platform::Status;

// The check reads the file in blocks of this size: no second copy of the package in memory.
constexpr std::uint32_t kCheckBlock = 64 * 1024;
// Room for what a drive letter stands for ("\Device\HarddiskVolume3", "\??\C:\folder").
constexpr std::uint32_t kDeviceCapacity = 1024;

// Whether the open file holds exactly `package`, read from its start.
Status HoldsExactly(platform::Files& files, platform::FileHandle file,
                    std::span<const std::byte> package) {
  std::vector<std::byte> block(kCheckBlock);
  std::size_t offset = 0;
  for (;;) {
    const platform::Result<std::uint32_t> read = files.ReadFile(file, block.data(), kCheckBlock);
    if (!read.ok()) return read.status();
    const std::size_t count = read.value();
    if (count == 0) break;
    // memcmp, not std::equal: on bytes of an enum type that is a loop a byte at a time, which
    // takes a large package's check several times as long as reading it.
    if (count > package.size() - offset || std::memcmp(block.data(), package.data() + offset, count) != 0) {
      return Status::Failed(kErrorPackageNotAsWritten);
    }
    offset += count;
  }
  return offset == package.size() ? Status::Done() : Status::Failed(kErrorPackageNotAsWritten);
}

// The final path of the open file, however long, its volume named as `volume` asks.
Status FinalPath(platform::Files& files, platform::FileHandle file, platform::VolumeName volume,
                 std::u16string& final) {
  return ReadPathText(
      [&](char16_t* buffer, std::uint32_t capacity) {
        return files.GetFinalPathName(file, volume, buffer, capacity);
      },
      final);
}

// The device path `nt` ("\Device\HarddiskVolume3\Temp\MSP2") under the drive letter that
// stands for its device ("D:\Temp\MSP2"), into `path`; false when no drive does.
bool OnItsDrive(platform::Files& files, const std::u16string& nt, std::u16string& path) {
  char16_t target[kDeviceCapacity];
  for (std::u16string drive = u"A:"; drive[0] <= u'Z'; ++drive[0]) {
    if (!files.QueryDosDevice(drive, target, kDeviceCapacity).ok()) continue;
    // The first of the targets is the one in use.
    const std::u16string_view device(target);
    if (!device.empty() && nt.size() > device.size() && nt[device.size()] == u'\\' &&
        SameIgnoringCase(std::u16string_view(nt.data(), device.size()), device)) {
      path.assign(drive).append(nt, device.size());
      return true;
    }
  }
  return false;
}

}  // namespace

bool InstallerPathOf(std::u16string& path) {
  constexpr std::u16string_view kLong = u"\\\\?\\";
  constexpr std::u16string_view kLongUnc = u"\\\\?\\UNC\\";
  if (path.starts_with(kLongUnc)) {
    path.erase(2, kLongUnc.size() - 2);  // "\\?\UNC\server" is "\\server"
  } else if (path.starts_with(kLong)) {
    // Only a drive-letter path has a shorter form: "\\?\Volume{...}" has none.
    if (path.size() < kLong.size() + 3 || path[kLong.size() + 1] != u':' ||
        path[kLong.size() + 2] != u'\\') {
      return false;
    }
    path.erase(0, kLong.size());
  }
  // Beyond MAX_PATH only the long form opens, and a component ending in a dot or a space
  // ("." and ".." among them) names something else without it.
  if (path.empty() || path.size() >= platform::kMaxPath) return false;
  for (std::size_t end = path.find(u'\\'); end != std::u16string::npos; end = path.find(u'\\', end + 1)) {
    if (end > 0 && (path[end - 1] == u'.' || path[end - 1] == u' ')) return false;
  }
  return path.back() != u'.' && path.back() != u' ';
}

Status ExtractedPackage::Extract(run::Run& run) {
  process_ = &run.platform.process;
  std::u16string name;
  platform::FileIdentity written;
  if (const Status extracted = ExtractToTempName(run, name, &written); !extracted.ok()) {
    return extracted;
  }
  if (const Status locked = Lock(name, written); !locked.ok()) return locked;
  // From here on every ending removes the file, but one that finds other bytes in it.
  remove_ = true;
  const platform::ResourceBytes package = LockEmbeddedPackage(run.platform.resources, run.moduleInstance);
  if (package.state != platform::ResourceState::kFound) return Status::Failed(package.error);
  if (const Status same = HoldsExactly(files_, lock_.get(), package.bytes); !same.ok()) {
    // A file that could not be read through is still the launcher's.
    if (same.error() == kErrorPackageNotAsWritten) remove_ = false;
    return same;
  }
  return FindInstallerPath(name);
}

Status ExtractedPackage::Lock(const std::u16string& name, const platform::FileIdentity& written) {
  // Between the writer's handle and the lock the name is open to others: the lock is taken
  // only on the file written. Whatever else is there now is someone else's, and stays.
  platform::Result<platform::FileHandle> opened = platform::Result<platform::FileHandle>::Failed(0);
  if (const Status open = UnlessHeldByOthers(*process_, [&] {
        opened = files_.OpenForReadingDenyWrite(name);
        return opened.status();
      });
      !open.ok()) {
    return open;
  }
  platform::ScopedFile lock(files_, opened.value());
  const platform::Result<platform::FileIdentity> locked = files_.GetFileIdentity(lock.get());
  if (!locked.ok()) return locked.status();
  if (locked.value().reparsePoint || !(locked.value() == written)) {
    return Status::Failed(kErrorPackageNotAsWritten);
  }
  lock_ = std::move(lock);
  return Status::Done();
}

// The installer gets the path the system resolves from the lock, so that a junction on the
// way pointed elsewhere after the check leads nowhere else. A volume the system names with
// no drive letter (a RAM disk, one mounted in a folder) gives no such path: then the device
// path under the drive letter that stands for the device, or else the full path of the name
// written, which leads to the file the lock keeps where it is unless a junction on the way
// is changed.
Status ExtractedPackage::FindInstallerPath(const std::u16string& name) {
  if (!FinalPath(files_, lock_.get(), platform::VolumeName::kDos, path_).ok()) {
    std::u16string nt;
    if (!FinalPath(files_, lock_.get(), platform::VolumeName::kNt, nt).ok() || !OnItsDrive(files_, nt, path_)) {
      if (const Status full = FullPath(files_, name, path_); !full.ok()) return full;
    }
  }
  // The installer opens no path in the "\\?\" form.
  return InstallerPathOf(path_) ? Status::Done() : Status::Failed(platform::kErrorFilenameExcedRange);
}

void ExtractedPackage::Delete() {
  if (!lock_) return;
  if (!remove_) {
    lock_.Reset();
    return;
  }
  // Removed through the lock's own file, never by its name, which may by now lead elsewhere.
  // The lock shuts out every handle that may delete (the installer's readers share no
  // deletion, so the lock may not hold that right itself): a handle that shuts out nobody
  // keeps the file while the lock is let go, and the file is removed through one opened
  // again from it. A copy that cannot be removed stays in the temporary folder: the run's
  // outcome is the patch's, not its scratch file's.
  const platform::Result<platform::FileHandle> held = files_.Reopen(lock_.get(), platform::ReopenFor::kHolding);
  lock_.Reset();
  if (!held.ok()) return;
  platform::ScopedFile keeper(files_, held.value());
  platform::Result<platform::FileHandle> opened = platform::Result<platform::FileHandle>::Failed(0);
  if (!UnlessHeldByOthers(*process_, [&] {
         opened = files_.Reopen(keeper.get(), platform::ReopenFor::kRemoving);
         return opened.status();
       }).ok()) {
    return;
  }
  platform::ScopedFile removing(files_, opened.value());
  (void)files_.RemoveWhenClosed(removing.get());
}

}  // namespace payload
