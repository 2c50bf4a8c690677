#include "payload/file_writer.h"

#include <limits>

#include "platform/scoped_handle.h"

namespace payload {

using platform::ScopedFile;

WriteResult WriteNewFile(platform::Files& files, platform::Process& process,
                         const std::u16string& path, std::span<const std::byte> bytes) {
  ScopedFile file(files, files.CreateNewFile(path));
  if (!file) {
    const std::uint32_t error = process.GetLastError();
    const bool taken = error == platform::kErrorFileExists ||
                       error == platform::kErrorAlreadyExists ||
                       error == platform::kErrorAccessDenied;
    return {taken ? WriteState::kNameTaken : WriteState::kFailed, error};
  }
  WriteResult result{WriteState::kWritten};
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    result.state = WriteState::kFailed;
  } else {
    const auto size = static_cast<std::uint32_t>(bytes.size());
    std::uint32_t written = 0;
    if (!files.WriteFile(file.get(), bytes.data(), size, &written)) {
      result = {WriteState::kFailed, process.GetLastError()};
    } else if (written != size) {
      result.state = WriteState::kFailed;  // reported as success: no error of its own
    }
  }
  file.Reset();
  if (result.state == WriteState::kFailed) files.DeleteFile(path);
  return result;
}

}  // namespace payload
