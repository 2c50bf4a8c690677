#include "payload/extracted_package.h"

#include <algorithm>
#include <vector>

#include "payload/embedded_package.h"
#include "payload/extract_payload.h"
#include "payload/full_path.h"

namespace payload {
namespace {

using platform::Status;

// The check reads the file in blocks of this size: no second copy of the package in memory.
constexpr std::uint32_t kCheckBlock = 64 * 1024;

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
    if (count > package.size() - offset ||
        !std::equal(block.begin(), block.begin() + count, package.begin() + offset)) {
      return Status::Failed(kErrorPackageReplaced);
    }
    offset += count;
  }
  return offset == package.size() ? Status::Done() : Status::Failed(kErrorPackageReplaced);
}

// The final path of the open file, however long.
Status FinalPath(platform::Files& files, platform::FileHandle file, std::u16string& final) {
  return ReadPathText(
      [&](char16_t* buffer, std::uint32_t capacity) { return files.GetFinalPathName(file, buffer, capacity); },
      final);
}

}  // namespace

std::u16string InstallerPathOf(const std::u16string& final) {
  constexpr std::u16string_view kLong = u"\\\\?\\";
  constexpr std::u16string_view kLongUnc = u"\\\\?\\UNC\\";
  std::u16string shorter;
  if (final.starts_with(kLongUnc)) {
    shorter = u"\\\\" + final.substr(kLongUnc.size());
  } else if (final.starts_with(kLong) && final.size() >= kLong.size() + 3 &&
             final[kLong.size() + 1] == u':' && final[kLong.size() + 2] == u'\\') {
    shorter = final.substr(kLong.size());
  } else {
    return final;
  }
  // Beyond MAX_PATH only the long form opens, and a component ending in a dot or a space
  // ("." and ".." among them) names something else without it: those keep the prefix.
  if (shorter.size() >= platform::kMaxPath) return final;
  for (std::size_t end = shorter.find(u'\\'); end != std::u16string::npos;
       end = shorter.find(u'\\', end + 1)) {
    if (end > 0 && (shorter[end - 1] == u'.' || shorter[end - 1] == u' ')) return final;
  }
  if (shorter.back() == u'.' || shorter.back() == u' ') return final;
  return shorter;
}

Status ExtractedPackage::Extract(run::Run& run) {
  std::u16string name;
  platform::FileIdentity written;
  if (const Status extracted = ExtractToTempName(run, name, &written); !extracted.ok()) {
    return extracted;
  }
  const platform::ResourceBytes package = LockEmbeddedPackage(run.platform.resources, run.moduleInstance);
  if (package.state != platform::ResourceState::kFound) {
    (void)files_.DeleteFile(name);  // just written from it: the launcher's
    return Status::Failed(package.error);
  }
  return LockAndCheck(name, written, package.bytes);
}

Status ExtractedPackage::LockAndCheck(const std::u16string& name,
                                      const platform::FileIdentity& written,
                                      std::span<const std::byte> package) {
  // Between the writer's handle and the lock the name is open to others: whatever the lock
  // holds is taken only if it is the file written, and what it holds only if it is the
  // package. A file that fails either is someone else's now, and stays.
  const platform::Result<platform::FileHandle> opened = files_.OpenForReadingDenyWrite(name);
  if (!opened.ok()) return opened.status();
  platform::ScopedFile lock(files_, opened.value());
  const platform::Result<platform::FileIdentity> locked = files_.GetFileIdentity(lock.get());
  if (!locked.ok()) return locked.status();
  if (locked.value().reparsePoint || !(locked.value() == written)) {
    return Status::Failed(kErrorPackageReplaced);
  }
  if (const Status same = HoldsExactly(files_, lock.get(), package); !same.ok()) {
    // A file that could not be read through is still the one written.
    if (same.error() != kErrorPackageReplaced) owned_ = name;
    return same;
  }
  owned_ = name;
  std::u16string final;
  if (const Status resolved = FinalPath(files_, lock.get(), final); !resolved.ok()) return resolved;
  path_ = InstallerPathOf(final);
  owned_ = path_;  // the name as the system resolves it: a junction changed since leads nowhere else
  lock_ = std::move(lock);
  return Status::Done();
}

void ExtractedPackage::Delete() {
  lock_.Reset();
  if (owned_.empty()) return;
  // A copy that cannot be removed stays in the temporary folder; the run's outcome is the
  // patch's, not its scratch file's.
  (void)files_.DeleteFile(owned_);
  owned_.clear();
}

}  // namespace payload
