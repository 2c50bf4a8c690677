#pragma once

#include "platform/platform.h"
#include "platform/win32/system_library.h"

namespace platform::win32 {

// Each method is one Win32 or msi.dll call, with no decisions of its own; a resource
// lookup is the loader's fixed find, size, load and lock. Only kernel32 and the C runtime
// are imported: every other DLL is bound on first use, so a run loads only what it calls.

class Win32Resources final : public Resources {
 public:
  ResourceBytes FindResourceBytes(ModuleHandle module, const std::u16string& name,
                                  const std::u16string& type) override;
  ResourceBytes FindStringBlockBytes(ModuleHandle module, std::uint16_t block,
                                     std::uint16_t language) override;
};

class Win32Files final : public Files {
 public:
  // `advapi32` builds the creator-only access list.
  explicit Win32Files(SystemLibrary& advapi32) : advapi32_(advapi32) {}
  Result<std::uint32_t> GetTempPath(char16_t* buffer, std::uint32_t capacity) override;
  Result<std::uint32_t> GetTempPath2(char16_t* buffer, std::uint32_t capacity) override;
  Result<std::uint32_t> GetFileAttributes(const std::u16string& path) override;
  Result<std::uint32_t> GetFullPathName(const std::u16string& path, char16_t* buffer,
                                        std::uint32_t capacity) override;
  Result<FileHandle> CreateNewFile(const std::u16string& path, NewFileAccess access) override;
  Result<FileHandle> OpenOrCreateFile(const std::u16string& path) override;
  Result<FileHandle> OpenForAppending(const std::u16string& path) override;
  Result<FileHandle> OpenForReadingDenyWrite(const std::u16string& path) override;
  Result<FileIdentity> GetFileIdentity(FileHandle file) override;
  Result<std::uint64_t> SeekToEnd(FileHandle file) override;
  Status SeekTo(FileHandle file, std::uint64_t position) override;
  Status SetEndOfFile(FileHandle file) override;
  Result<std::uint32_t> WriteFile(FileHandle file, const void* data, std::uint32_t size) override;
  Result<std::uint32_t> ReadFile(FileHandle file, void* buffer, std::uint32_t size) override;
  Status FlushFile(FileHandle file) override;
  Result<std::uint32_t> GetFinalPathName(FileHandle file, VolumeName volume, char16_t* buffer,
                                         std::uint32_t capacity) override;
  Result<std::uint32_t> QueryDosDevice(const std::u16string& name, char16_t* buffer,
                                       std::uint32_t capacity) override;
  Result<FileHandle> Reopen(FileHandle file, ReopenFor purpose) override;
  Status RemoveWhenClosed(FileHandle file) override;
  bool CloseHandle(FileHandle file) override;
  Status DeleteFile(const std::u16string& path) override;
  Status ReplaceFile(const std::u16string& replaced, const std::u16string& replacement,
                     const std::u16string& backup) override;
  Status MoveFile(const std::u16string& from, const std::u16string& to) override;

 private:
  SystemLibrary& advapi32_;
};

class Win32Installer final : public Installer {
 public:
  std::uint32_t GetSummaryInformation(const std::u16string& path, MsiHandle* handle) override;
  std::uint32_t SummaryInfoGetProperty(MsiHandle handle, std::uint32_t property, char16_t* buffer,
                                       std::uint32_t* size) override;
  std::uint32_t CloseHandle(MsiHandle handle) override;
  std::int32_t QueryProductState(const std::u16string& productCode) override;
  std::uint32_t GetProductInfo(const std::u16string& productCode, const std::u16string& attribute,
                               char16_t* buffer, std::uint32_t* size) override;
  std::uint32_t ConfigureProductEx(const std::u16string& productCode, int installLevel,
                                   int installState, const std::u16string& commandLine) override;
  int SetInternalUI(int level) override;
  std::uint32_t EnableLog(std::uint32_t logMode, const std::u16string& path,
                          std::uint32_t attributes) override;

 private:
  SystemLibrary msi_{L"msi.dll"};
};

class Win32Dialogs final : public Dialogs {
 public:
  int MessageBox(const std::u16string& text, const std::u16string& caption,
                 std::uint32_t style) override;
  bool WindowStationVisible() override;

 private:
  SystemLibrary user32_{L"user32.dll"};
};

class Win32Process final : public Process {
 public:
  // `advapi32` holds the token calls.
  explicit Win32Process(SystemLibrary& advapi32) : advapi32_(advapi32) {}
  std::u16string CommandLine() override;
  std::optional<std::u16string> GetEnvironmentVariable(const std::u16string& name) override;
  bool SetThreadLocale(std::uint32_t locale) override;
  std::uint32_t GetThreadLocale() override;
  std::uint16_t GetUserDefaultUILanguage() override;
  std::uint16_t GetSystemDefaultUILanguage() override;
  std::optional<std::string> GetEnvironmentVariableNarrow(const std::string& name) override;
  bool RemoveFileNarrow(const std::string& path) override;
  UtcTime GetSystemTime() override;
  std::optional<std::uint32_t> GetSessionId() override;
  Status TurnOffVirtualization() override;
  bool RunsAsLocalSystem() override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  SystemLibrary& advapi32_;
};

class Win32Registry final : public Registry {
 public:
  explicit Win32Registry(SystemLibrary& advapi32) : advapi32_(advapi32) {}
  Result<RegistryKey> OpenKey(RegistryRoot root, const std::u16string& path,
                              std::uint32_t access) override;
  std::uint32_t QueryValue(RegistryKey key, const std::u16string& name, void* data,
                           std::uint32_t* size) override;
  std::uint32_t DeleteValue(RegistryKey key, const std::u16string& name) override;
  std::uint32_t CloseKey(RegistryKey key) override;

 private:
  SystemLibrary& advapi32_;
};

class Win32FileVersions final : public FileVersions {
 public:
  std::uint32_t GetFileVersionInfoSize(const std::u16string& path) override;
  bool GetFileVersionInfo(const std::u16string& path, std::uint32_t size, void* block) override;
  bool QueryFixedFileVersion(const void* block, FixedFileVersion* version) override;

 private:
  SystemLibrary version_{L"version.dll"};
};

// The real Windows behind the Platform interfaces.
class Win32Platform {
 public:
  Platform& platform() { return platform_; }

 private:
  // Bound on first use, for the files' access lists, the token and the registry alike.
  SystemLibrary advapi32_{L"advapi32.dll"};
  Win32Resources resources_;
  Win32Files files_{advapi32_};
  Win32Installer installer_;
  Win32Dialogs dialogs_;
  Win32Process process_{advapi32_};
  Win32Registry registry_{advapi32_};
  Win32FileVersions fileVersions_;
  Platform platform_{resources_, files_,    installer_,    dialogs_,
                     process_,   registry_, fileVersions_};
};

}  // namespace platform::win32
