#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace platform {

// Files and paths. Failing calls leave their reason in the thread's last error.
class Files {
 public:
  virtual ~Files() = default;

  // GetTempPathW: the length written, 0 on failure, or the size needed when it does not fit.
  virtual std::uint32_t GetTempPath(char16_t* buffer, std::uint32_t capacity) = 0;
  // GetFileAttributesW: kInvalidFileAttributes when the lookup fails.
  virtual std::uint32_t GetFileAttributes(const std::u16string& path) = 0;
  // GetFullPathNameW: the length written, 0 on failure, or the size needed when it does not fit.
  virtual std::uint32_t GetFullPathName(const std::u16string& path, char16_t* buffer,
                                        std::uint32_t capacity) = 0;
  // Creates a file that must not exist yet (never opens, truncates or follows what is there),
  // for writing, shared with nobody. 0 on failure.
  virtual FileHandle CreateNewFile(const std::u16string& path) = 0;
  // Opens a file for reading and writing, creating it when absent (OPEN_ALWAYS); others may
  // read it meanwhile but not write. 0 on failure.
  virtual FileHandle OpenOrCreateFile(const std::u16string& path) = 0;
  // Opens a file for appending only (FILE_APPEND_DATA), creating it when absent and never
  // truncating it: every write lands at the end of the file as it is then, so several
  // processes appending to one file never overwrite each other. Others may read and write
  // it meanwhile. 0 on failure.
  virtual FileHandle OpenForAppending(const std::u16string& path) = 0;
  // Opens an existing file for reading, sharing it with readers only: while the handle is
  // open nobody can change, replace or delete the file. Never follows a link. 0 on failure.
  virtual FileHandle OpenForReadingDenyWrite(const std::u16string& path) = 0;
  // Moves the file pointer to the end of the file; its new position, nothing on failure.
  virtual std::optional<std::uint64_t> SeekToEnd(FileHandle file) = 0;
  // Moves the file pointer to `position`, counted from the start.
  virtual bool SeekTo(FileHandle file, std::uint64_t position) = 0;
  // Makes the file end at the file pointer.
  virtual bool SetEndOfFile(FileHandle file) = 0;
  virtual bool WriteFile(FileHandle file, const void* data, std::uint32_t size,
                         std::uint32_t* written) = 0;
  virtual bool CloseHandle(FileHandle file) = 0;
  virtual bool DeleteFile(const std::u16string& path) = 0;
  // Moves `from` onto `to`, replacing a file that is there.
  virtual bool ReplaceFile(const std::u16string& from, const std::u16string& to) = 0;
};

// Owns one open file and closes it once.
using ScopedFile = ScopedHandle<FileHandle, Files, &Files::CloseHandle>;

}  // namespace platform
