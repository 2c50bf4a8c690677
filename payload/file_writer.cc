#include "payload/file_writer.h"

#include <limits>

#include "platform/scoped_handle.h"
#include "platform/types.h"

namespace payload {
namespace {

using platform::ScopedFile;

// Cleanup must not hide why the write failed.
void DeleteKeepingLastError(platform::Files& files, platform::Process& process,
                            const std::u16string& path) {
  const std::uint32_t error = process.GetLastError();
  files.DeleteFile(path);
  process.SetLastError(error);
}

}  // namespace

WriteResult WriteNewFile(platform::Files& files, platform::Process& process,
                         const std::u16string& path, std::span<const std::byte> bytes) {
  ScopedFile file(files, files.CreateNewFile(path));
  if (!file) {
    const std::uint32_t error = process.GetLastError();
    const bool taken = error == platform::kErrorFileExists ||
                       error == platform::kErrorAlreadyExists ||
                       error == platform::kErrorAccessDenied;
    return taken ? WriteResult::kNameTaken : WriteResult::kFailed;
  }
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    file.Reset();
    DeleteKeepingLastError(files, process, path);
    return WriteResult::kFailed;
  }
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::uint32_t written = 0;
  const bool ok = files.WriteFile(file.get(), bytes.data(), size, &written) && written == size;
  file.Reset();
  if (!ok) {
    DeleteKeepingLastError(files, process, path);
    return WriteResult::kFailed;
  }
  return WriteResult::kWritten;
}

}  // namespace payload
