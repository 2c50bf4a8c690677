#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/files.h"
#include "platform/process.h"

namespace payload {

enum class WriteResult {
  kWritten,
  kNameTaken,  // something (a file, a directory, a link) is already there: try another name
  kFailed,
};

// Creates `path`, which must not exist, and writes `bytes` to it in one request. On any
// failure after the file was created it is removed again. The thread's last error tells why
// a write failed and is left as the failing call set it.
WriteResult WriteNewFile(platform::Files& files, platform::Process& process,
                         const std::u16string& path, std::span<const std::byte> bytes);

}  // namespace payload
