#pragma once

#include <cstdint>
#include <string>

#include "platform/scoped_handle.h"
#include "platform/status.h"
#include "platform/types.h"

namespace platform {

// Who may open a file that is created.
enum class NewFileAccess {
  // As the folder passes on to what is made in it.
  kInherited,
  // Only the account that creates it, SYSTEM and the Administrators: for a file that a
  // process with more rights than its folder's other users will act on.
  kCreatorOnly,
};

// What tells one file from another whatever its name: the volume and the file's index on it
// (GetFileInformationByHandle), and whether it is a reparse point (a link of some kind).
struct FileIdentity {
  std::uint32_t volumeSerial = 0;
  std::uint64_t fileIndex = 0;
  bool reparsePoint = false;

  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// How a final path names the volume.
enum class VolumeName {
  kDos,  // with its drive letter: "\\?\C:\..."
  kNt,   // with its device: "\Device\HarddiskVolume3\..."
};

// What an open file is opened again for (ReOpenFile), the new handle sharing it with everyone.
enum class ReopenFor {
  kHolding,   // no access to its data: holds on to the file without keeping anyone out
  kRemoving,  // deletion, for RemoveWhenClosed
};

// Files and paths. A failing call returns the Windows error it left, read at once.
class Files {
 public:
  virtual ~Files() = default;

  // GetTempPathW: the length written, or the size needed when it does not fit.
  virtual Result<std::uint32_t> GetTempPath(char16_t* buffer, std::uint32_t capacity) = 0;
  // GetTempPath2W, the same but for SYSTEM, which it gives a folder of its own; fails with
  // 127 where kernel32 lacks it.
  virtual Result<std::uint32_t> GetTempPath2(char16_t* buffer, std::uint32_t capacity) = 0;
  // GetFileAttributesW.
  virtual Result<std::uint32_t> GetFileAttributes(const std::u16string& path) = 0;
  // GetFullPathNameW: the length written, or the size needed when it does not fit.
  virtual Result<std::uint32_t> GetFullPathName(const std::u16string& path, char16_t* buffer,
                                                std::uint32_t capacity) = 0;
  // Creates a file that must not exist yet (never opens, truncates or follows what is there),
  // for writing and for RemoveWhenClosed, shared with nobody.
  virtual Result<FileHandle> CreateNewFile(const std::u16string& path, NewFileAccess access) = 0;
  // Opens a file for reading and writing, creating it when absent (OPEN_ALWAYS); others may
  // read it meanwhile but not write.
  virtual Result<FileHandle> OpenOrCreateFile(const std::u16string& path) = 0;
  // Opens a file for appending only (FILE_APPEND_DATA), creating it when absent and never
  // truncating it: every write lands at the end of the file as it is then, so several
  // processes appending to one file never overwrite each other. Others may read and write
  // it meanwhile.
  virtual Result<FileHandle> OpenForAppending(const std::u16string& path) = 0;
  // Opens an existing file for reading, sharing it with readers only: while the handle is
  // open nobody can change, replace or delete the file, yet others may read it. Never follows
  // a link: a link at the path is opened itself.
  virtual Result<FileHandle> OpenForReadingDenyWrite(const std::u16string& path) = 0;
  // The identity of the open file.
  virtual Result<FileIdentity> GetFileIdentity(FileHandle file) = 0;
  // Moves the file pointer to the end of the file; its new position.
  virtual Result<std::uint64_t> SeekToEnd(FileHandle file) = 0;
  // Moves the file pointer to `position`, counted from the start.
  virtual Status SeekTo(FileHandle file, std::uint64_t position) = 0;
  // Makes the file end at the file pointer.
  virtual Status SetEndOfFile(FileHandle file) = 0;
  // Writes in one request; the count written, which may be short of `size` without a failure.
  virtual Result<std::uint32_t> WriteFile(FileHandle file, const void* data,
                                          std::uint32_t size) = 0;
  // Reads in one request from the file pointer on; the count read, 0 at the end of the file.
  virtual Result<std::uint32_t> ReadFile(FileHandle file, void* buffer, std::uint32_t size) = 0;
  // FlushFileBuffers: returns once what was written is on the disk.
  virtual Status FlushFile(FileHandle file) = 0;
  // GetFinalPathNameByHandleW (normalized): the path of the open file as the system resolves
  // it now, the volume named as `volume` asks; the length written, or the size needed when it
  // does not fit. A volume the system cannot name with a drive letter fails kDos.
  virtual Result<std::uint32_t> GetFinalPathName(FileHandle file, VolumeName volume,
                                                 char16_t* buffer, std::uint32_t capacity) = 0;
  // QueryDosDeviceW: what the device name `name` ("C:") stands for, each target ended by a
  // null and the last by two, the current one first; the count of characters stored.
  virtual Result<std::uint32_t> QueryDosDevice(const std::u16string& name, char16_t* buffer,
                                               std::uint32_t capacity) = 0;
  // ReOpenFile: the same file, whatever its name now leads to, under a new handle.
  virtual Result<FileHandle> Reopen(FileHandle file, ReopenFor purpose) = 0;
  // SetFileInformationByHandle(FileDispositionInfo): the file is removed once its last handle
  // is closed. The handle must have been opened for deletion.
  virtual Status RemoveWhenClosed(FileHandle file) = 0;
  virtual bool CloseHandle(FileHandle file) = 0;
  virtual Status DeleteFile(const std::u16string& path) = 0;
  // ReplaceFileW: puts `replacement` in the place of the existing file `replaced`, which
  // keeps its access list, attributes and alternate streams, and moves what was there to
  // `backup`; merge errors are ignored. Its failures leave the files as Windows documents:
  // 1175 all as they were; 1176 with a backup name too; 1177 the old file under `backup`,
  // the replacement under its own name, and nothing at `replaced`.
  virtual Status ReplaceFile(const std::u16string& replaced, const std::u16string& replacement,
                             const std::u16string& backup) = 0;
  // MoveFileExW: moves `from` to `to`, replacing a file that is there; a move to another
  // volume (a copy and a delete) is on the disk before it returns.
  virtual Status MoveFile(const std::u16string& from, const std::u16string& to) = 0;
};

// Owns one open file and closes it once.
using ScopedFile = ScopedHandle<FileHandle, Files, &Files::CloseHandle>;

}  // namespace platform
