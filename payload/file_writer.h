#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/files.h"
#include "platform/types.h"

namespace payload {

enum class WriteState {
  kWritten,
  kNameTaken,  // something (a file, a directory, a link) is already there: try another name
  kFailed,
};

struct WriteResult {
  WriteState state;
  // Why it failed: the failing call's Windows error, kErrorSuccess when none reported one.
  std::uint32_t error = platform::kErrorSuccess;
};

// Creates `path`, which must not exist, with `access`, and writes `bytes` to it in one
// request. When `identity` is given it receives the identity of the file written, read
// through the handle that wrote it. On any failure after the file was created it is removed
// again.
WriteResult WriteNewFile(platform::Files& files, const std::u16string& path,
                         std::span<const std::byte> bytes, platform::NewFileAccess access,
                         platform::FileIdentity* identity = nullptr);

}  // namespace payload
