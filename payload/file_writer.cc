#include "payload/file_writer.h"

#include <limits>

#include "platform/scoped_handle.h"

namespace payload {
namespace {

// What went wrong with a file that is open: the failing call's error, or kErrorSuccess for a
// write that reported success with fewer bytes.
platform::Status WriteAll(platform::Files& files, platform::FileHandle file,
                          std::span<const std::byte> bytes, const NewFile& how) {
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    return platform::Status::Failed(platform::kErrorSuccess);
  }
  const auto size = static_cast<std::uint32_t>(bytes.size());
  const platform::Result<std::uint32_t> written = files.WriteFile(file, bytes.data(), size);
  if (!written.ok()) return written.status();
  if (written.value() != size) return platform::Status::Failed(platform::kErrorSuccess);
  // A power cut after a rename must not leave a file whose bytes never reached the disk.
  if (how.flush) {
    if (const platform::Status flushed = files.FlushFile(file); !flushed.ok()) return flushed;
  }
  if (how.identity != nullptr) {
    const platform::Result<platform::FileIdentity> read = files.GetFileIdentity(file);
    if (!read.ok()) return read.status();
    *how.identity = read.value();
  }
  return platform::Status::Done();
}

}  // namespace

WriteResult WriteNewFile(platform::Files& files, const std::u16string& path,
                         std::span<const std::byte> bytes, const NewFile& how) {
  const platform::Result<platform::FileHandle> created = files.CreateNewFile(path, how.access);
  if (!created.ok()) {
    const std::uint32_t error = created.error();
    const bool taken = error == platform::kErrorFileExists ||
                       error == platform::kErrorAlreadyExists ||
                       error == platform::kErrorAccessDenied;
    return {taken ? WriteState::kNameTaken : WriteState::kFailed, error};
  }
  platform::ScopedFile file(files, created.value());
  const platform::Status written = WriteAll(files, file.get(), bytes, how);
  if (written.ok()) return {WriteState::kWritten};
  // Removed through the writer's handle, which shares the file with nobody: what goes is
  // what was written. The failure that matters is the write's.
  (void)files.RemoveWhenClosed(file.get());
  return {WriteState::kFailed, written.error()};
}

}  // namespace payload
