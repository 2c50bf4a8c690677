#pragma once

#include <string>

#include "platform/files.h"
#include "platform/status.h"

namespace payload {

// The full path of `path` into `full`, however long. The installer may run in another
// process, with another current folder and drive, so every path handed to it is full.
platform::Status FullPath(platform::Files& files, const std::u16string& path,
                          std::u16string& full);

}  // namespace payload
