#include "platform/win32/windows_api.h"

#include "platform/win32/creator_only_security.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

Result<std::uint32_t> Length(DWORD length) {
  return length == 0 ? Result<std::uint32_t>::Failed(::GetLastError())
                     : Result<std::uint32_t>::Done(length);
}

Result<FileHandle> Opened(HANDLE file) {
  return file == INVALID_HANDLE_VALUE ? Result<FileHandle>::Failed(::GetLastError())
                                      : Result<FileHandle>::Done(reinterpret_cast<FileHandle>(file));
}

Status Done(BOOL ok) { return ok ? Status::Done() : Status::Failed(::GetLastError()); }

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

Result<std::uint32_t> Win32Files::GetTempPath(char16_t* buffer, std::uint32_t capacity) {
  return Length(::GetTempPathW(capacity, Wide(buffer)));
}

Result<std::uint32_t> Win32Files::GetTempPath2(char16_t* buffer, std::uint32_t capacity) {
  // Only on Windows 11, Server 2022, and Windows 10 or Server 2016 updated since March 2025:
  // looked up, not imported.
  using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);
  auto call = reinterpret_cast<GetTempPath2Function>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
  if (call == nullptr) return Result<std::uint32_t>::Failed(::GetLastError());
  return Length(call(capacity, Wide(buffer)));
}

Result<std::uint32_t> Win32Files::GetFileAttributes(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path));
  return attributes == INVALID_FILE_ATTRIBUTES ? Result<std::uint32_t>::Failed(::GetLastError())
                                               : Result<std::uint32_t>::Done(attributes);
}

Result<std::uint32_t> Win32Files::GetFullPathName(const std::u16string& path, char16_t* buffer,
                                                  std::uint32_t capacity) {
  return Length(::GetFullPathNameW(Wide(path), capacity, Wide(buffer), nullptr));
}

Result<FileHandle> Win32Files::CreateNewFile(const std::u16string& path, NewFileAccess access) {
  CreatorOnlySecurity security;
  SECURITY_ATTRIBUTES* attributes = nullptr;
  if (access == NewFileAccess::kCreatorOnly) {
    if (const DWORD error = security.Build(advapi32_); error != ERROR_SUCCESS) {
      return Result<FileHandle>::Failed(error);
    }
    attributes = security.attributes();
  }
  // CREATE_NEW fails on anything already there, a link included, so nothing is followed;
  // no sharing keeps others out while the file is written.
  return Opened(::CreateFileW(Wide(path), GENERIC_WRITE | DELETE, 0, attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

Result<FileHandle> Win32Files::OpenOrCreateFile(const std::u16string& path) {
  return Opened(::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Result<FileHandle> Win32Files::OpenForAppending(const std::u16string& path) {
  // Append data without write data: the system puts each write at the current end of file.
  return Opened(::CreateFileW(Wide(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Result<FileHandle> Win32Files::OpenForReadingDenyWrite(const std::u16string& path) {
  return Opened(::CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

Result<FileIdentity> Win32Files::GetFileIdentity(FileHandle file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(Handle(file), &info)) {
    return Result<FileIdentity>::Failed(::GetLastError());
  }
  return Result<FileIdentity>::Done(
      {info.dwVolumeSerialNumber,
       (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
       (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
}

// The 64-bit form: a file past 4 GiB has a position, and failure is never a valid position.
Result<std::uint64_t> Win32Files::SeekToEnd(FileHandle file) {
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(Handle(file), LARGE_INTEGER{}, &position, FILE_END)) {
    return Result<std::uint64_t>::Failed(::GetLastError());
  }
  return Result<std::uint64_t>::Done(static_cast<std::uint64_t>(position.QuadPart));
}

Status Win32Files::SeekTo(FileHandle file, std::uint64_t position) {
  LARGE_INTEGER distance{};
  distance.QuadPart = static_cast<LONGLONG>(position);
  return Done(::SetFilePointerEx(Handle(file), distance, nullptr, FILE_BEGIN));
}

Status Win32Files::SetEndOfFile(FileHandle file) { return Done(::SetEndOfFile(Handle(file))); }

Result<std::uint32_t> Win32Files::WriteFile(FileHandle file, const void* data,
                                            std::uint32_t size) {
  DWORD count = 0;
  if (!::WriteFile(Handle(file), data, size, &count, nullptr)) {
    return Result<std::uint32_t>::Failed(::GetLastError());
  }
  return Result<std::uint32_t>::Done(count);
}

Result<std::uint32_t> Win32Files::ReadFile(FileHandle file, void* buffer, std::uint32_t size) {
  DWORD count = 0;
  if (!::ReadFile(Handle(file), buffer, size, &count, nullptr)) {
    return Result<std::uint32_t>::Failed(::GetLastError());
  }
  return Result<std::uint32_t>::Done(count);
}

Status Win32Files::FlushFile(FileHandle file) { return Done(::FlushFileBuffers(Handle(file))); }

Result<std::uint32_t> Win32Files::GetFinalPathName(FileHandle file, VolumeName volume,
                                                   char16_t* buffer, std::uint32_t capacity) {
  return Length(::GetFinalPathNameByHandleW(
      Handle(file), Wide(buffer), capacity,
      FILE_NAME_NORMALIZED | (volume == VolumeName::kNt ? VOLUME_NAME_NT : VOLUME_NAME_DOS)));
}

Result<std::uint32_t> Win32Files::QueryDosDevice(const std::u16string& name, char16_t* buffer,
                                                 std::uint32_t capacity) {
  return Length(::QueryDosDeviceW(Wide(name), Wide(buffer), capacity));
}

Result<FileHandle> Win32Files::Reopen(FileHandle file, ReopenFor purpose) {
  const DWORD access = purpose == ReopenFor::kRemoving ? DELETE : FILE_READ_ATTRIBUTES;
  return Opened(::ReOpenFile(Handle(file), access,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
}

Status Win32Files::RemoveWhenClosed(FileHandle file) {
  // Its one member is named DeleteFile, which the SDK also defines as a macro.
  FILE_DISPOSITION_INFO disposition{TRUE};
  return Done(::SetFileInformationByHandle(Handle(file), FileDispositionInfo, &disposition,
                                           sizeof disposition));
}

bool Win32Files::CloseHandle(FileHandle file) { return ::CloseHandle(Handle(file)) != FALSE; }

Status Win32Files::DeleteFile(const std::u16string& path) {
  return Done(::DeleteFileW(Wide(path)));
}

// Merge errors are ignored: a file that cannot take on all of the old one's attributes is
// still the file asked for, where failing would leave the old one in its place.
Status Win32Files::ReplaceFile(const std::u16string& replaced, const std::u16string& replacement,
                               const std::u16string& backup) {
  return Done(::ReplaceFileW(Wide(replaced), Wide(replacement), Wide(backup),
                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
}

Status Win32Files::MoveFile(const std::u16string& from, const std::u16string& to) {
  return Done(::MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

}  // namespace platform::win32
