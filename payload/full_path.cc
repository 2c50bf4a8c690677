#include "payload/full_path.h"

#include <vector>

namespace payload {
namespace {

constexpr std::uint32_t kFullPathCapacity = platform::kMaxPath;

}  // namespace

platform::Status FullPath(platform::Files& files, const std::u16string& path,
                          std::u16string& full) {
  std::vector<char16_t> buffer(kFullPathCapacity, u'\0');
  platform::Result<std::uint32_t> length =
      files.GetFullPathName(path, buffer.data(), kFullPathCapacity);
  if (length.ok() && length.value() >= kFullPathCapacity) {
    buffer.assign(length.value() + 1, u'\0');
    length = files.GetFullPathName(path, buffer.data(), length.value() + 1);
  }
  if (!length.ok()) return length.status();
  // Grown between the two calls: a path that will not hold still has no error of its own.
  if (length.value() >= buffer.size()) return platform::Status::Failed(platform::kErrorSuccess);
  full.assign(buffer.data(), length.value());
  return platform::Status::Done();
}

}  // namespace payload
