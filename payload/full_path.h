#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/status.h"

namespace payload {

// The text of a Windows call that writes a path into a buffer and answers the length written,
// or the size needed when it does not fit (`read(buffer, capacity)`): a MAX_PATH buffer first,
// then one of the size asked for.
template <typename Read>
platform::Status ReadPathText(Read read, std::u16string& text) {
  std::vector<char16_t> buffer(platform::kMaxPath, u'\0');
  platform::Result<std::uint32_t> length = read(buffer.data(), platform::kMaxPath);
  if (length.ok() && length.value() >= buffer.size()) {
    buffer.assign(length.value() + 1, u'\0');
    length = read(buffer.data(), length.value() + 1);
  }
  if (!length.ok()) return length.status();
  // The path grew between the two calls: a failure without an error of its own.
  if (length.value() >= buffer.size()) return platform::Status::Failed(platform::kErrorSuccess);
  text.assign(buffer.data(), length.value());
  return platform::Status::Done();
}

// The full path of `path` into `full`, however long. The installer may run in another
// process, with another current folder and drive, so every path handed to it is full.
platform::Status FullPath(platform::Files& files, const std::u16string& path,
                          std::u16string& full);

}  // namespace payload
