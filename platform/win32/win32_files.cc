#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {

std::uint32_t Win32Files::GetTempPath(char16_t* buffer, std::uint32_t capacity) {
  return ::GetTempPathW(capacity, Wide(buffer));
}

std::uint32_t Win32Files::GetFileAttributes(const std::u16string& path) {
  return ::GetFileAttributesW(Wide(path));
}

std::uint32_t Win32Files::GetFullPathName(const std::u16string& path, char16_t* buffer,
                                          std::uint32_t capacity) {
  return ::GetFullPathNameW(Wide(path), capacity, Wide(buffer), nullptr);
}

FileHandle Win32Files::CreateNewFile(const std::u16string& path) {
  // CREATE_NEW fails on anything already there, a link included, so nothing is followed;
  // no sharing keeps others out while the file is written.
  HANDLE file = ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(file);
}

FileHandle Win32Files::OpenOrCreateFile(const std::u16string& path) {
  HANDLE file = ::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(file);
}

FileHandle Win32Files::OpenForAppending(const std::u16string& path) {
  // Append data without write data: the system puts each write at the current end of file.
  HANDLE file = ::CreateFileW(Wide(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(file);
}

FileHandle Win32Files::OpenForReadingDenyWrite(const std::u16string& path) {
  HANDLE file = ::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(file);
}

// The 64-bit form: a file past 4 GiB has a position, and failure is never a valid position.
std::optional<std::uint64_t> Win32Files::SeekToEnd(FileHandle file) {
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(reinterpret_cast<HANDLE>(file), LARGE_INTEGER{}, &position, FILE_END)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(position.QuadPart);
}

bool Win32Files::SeekTo(FileHandle file, std::uint64_t position) {
  LARGE_INTEGER distance{};
  distance.QuadPart = static_cast<LONGLONG>(position);
  return ::SetFilePointerEx(reinterpret_cast<HANDLE>(file), distance, nullptr, FILE_BEGIN) !=
         FALSE;
}

bool Win32Files::SetEndOfFile(FileHandle file) {
  return ::SetEndOfFile(reinterpret_cast<HANDLE>(file)) != FALSE;
}

bool Win32Files::WriteFile(FileHandle file, const void* data, std::uint32_t size,
                           std::uint32_t* written) {
  DWORD count = 0;
  const BOOL ok = ::WriteFile(reinterpret_cast<HANDLE>(file), data, size, &count, nullptr);
  *written = count;
  return ok == TRUE;
}

bool Win32Files::CloseHandle(FileHandle file) {
  return ::CloseHandle(reinterpret_cast<HANDLE>(file)) != FALSE;
}

bool Win32Files::DeleteFile(const std::u16string& path) {
  return ::DeleteFileW(Wide(path)) != FALSE;
}

bool Win32Files::ReplaceFile(const std::u16string& from, const std::u16string& to) {
  return ::MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
         FALSE;
}

}  // namespace platform::win32
