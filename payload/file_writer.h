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

// How a new file is written: who may open it, whether it must be on the disk before it is
// closed (a copy that will take another file's place), and where the identity of the file
// written goes (read through the handle that wrote it), if anywhere.
struct NewFile {
  platform::NewFileAccess access = platform::NewFileAccess::kInherited;
  bool flush = false;
  platform::FileIdentity* identity = nullptr;
};

// Creates `path`, which must not exist, and writes `bytes` to it in one request. On any
// failure after the file was created, a failed flush included, it is removed again, through
// the handle that wrote it.
WriteResult WriteNewFile(platform::Files& files, const std::u16string& path,
                         std::span<const std::byte> bytes, const NewFile& how);

}  // namespace payload
