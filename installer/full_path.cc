#include "installer/full_path.h"

#include <vector>

namespace installer {
namespace {

constexpr std::uint32_t kFullPathCapacity = platform::kMaxPath;

}  // namespace

platform::Status FullPath(platform::Files& files, platform::Process& process,
                          const std::u16string& path, std::u16string& full) {
  std::vector<char16_t> buffer(kFullPathCapacity, u'\0');
  std::uint32_t length = files.GetFullPathName(path, buffer.data(), kFullPathCapacity);
  if (length >= kFullPathCapacity) {
    buffer.assign(length + 1, u'\0');
    length = files.GetFullPathName(path, buffer.data(), length + 1);
  }
  if (length == 0) return platform::Status::Failed(process.GetLastError());
  // Grown between the two calls: a path that will not hold still has no error of its own.
  if (length >= buffer.size()) return platform::Status::Failed(platform::kErrorSuccess);
  full.assign(buffer.data(), length);
  return platform::Status::Done();
}

}  // namespace installer
