#include "payload/full_path.h"

namespace payload {

platform::Status FullPath(platform::Files& files, const std::u16string& path,
                          std::u16string& full) {
  return ReadPathText(
      [&](char16_t* buffer, std::uint32_t capacity) { return files.GetFullPathName(path, buffer, capacity); },
      full);
}

}  // namespace payload
