#pragma once

// In-memory stand-ins for the platform, with knobs to make each call fail.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fakes {

class FakeProcess final : public platform::Process {
 public:
  // The command line as its arguments; CommandLine() quotes them as a caller would. None
  // gives an empty command line.
  std::optional<std::vector<std::u16string>> arguments = std::vector<std::u16string>{u"launcher.exe"};
  std::map<std::u16string, std::u16string> environment;
  std::uint32_t threadLocale = 1033;
  std::uint16_t userUILanguage = 1033;
  std::uint16_t systemUILanguage = 1033;
  std::vector<std::uint32_t> localesSet;
  std::map<std::string, std::string> narrowEnvironment;
  std::vector<std::string> removedNarrow;
  platform::UtcTime now{2026, 12, 8, 4, 10, 0};

  std::u16string CommandLine() override;
  std::optional<std::u16string> GetEnvironmentVariable(const std::u16string& name) override;
  bool SetThreadLocale(std::uint32_t locale) override;
  std::uint32_t GetThreadLocale() override { return threadLocale; }
  std::uint16_t GetUserDefaultUILanguage() override { return userUILanguage; }
  std::uint16_t GetSystemDefaultUILanguage() override { return systemUILanguage; }
  std::optional<std::string> GetEnvironmentVariableNarrow(const std::string& name) override;
  bool RemoveFileNarrow(const std::string& path) override;
  platform::UtcTime GetSystemTime() override { return now; }
  std::optional<std::uint32_t> sessionId = 1;
  std::optional<std::uint32_t> GetSessionId() override { return sessionId; }
  // The error SetTokenInformation(TokenVirtualizationEnabled) fails with, 0 when it works
  // (87 on a Windows without virtualization).
  std::uint32_t virtualizationRefusedWith = 0;
  bool virtualizationOn = true;  // as for a legacy 32-bit program run unelevated
  platform::Status TurnOffVirtualization() override;
  std::u16string tokenUser = u"S-1-5-21-1004336348-1177238915-682003330-1001";  // SID text
  bool RunsAsLocalSystem() override { return tokenUser == u"S-1-5-18"; }
  std::vector<std::uint32_t> sleeps;  // never slept: the waits asked for, in order
  void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
};

struct FakeResource {
  std::vector<std::byte> bytes;
  bool loadFails = false;
  bool lockFails = false;
};

class FakeResources final : public platform::Resources {
 public:
  // Keyed by type and name as the logic names them ("MSP", "IDR_MSP"; "TXT", "#206").
  std::map<std::pair<std::u16string, std::u16string>, FakeResource> resources;
  // String blocks keyed by block number and language, raw as the resource holds them.
  std::map<std::pair<std::uint16_t, std::uint16_t>, FakeResource> stringBlocks;

  void AddPackage(std::vector<std::byte> bytes) { resources[{u"MSP", u"IDR_MSP"}].bytes = std::move(bytes); }

  platform::ResourceBytes FindResourceBytes(platform::ModuleHandle module, const std::u16string& name,
                                            const std::u16string& type) override;
  platform::ResourceBytes FindStringBlockBytes(platform::ModuleHandle module, std::uint16_t block,
                                               std::uint16_t language) override;
};

struct FakeNode {
  bool directory = false;
  bool accessDenied = false;  // the attribute lookup fails with access denied
  std::vector<std::byte> bytes{};
  int readLocks = 0;  // open handles that deny writing and deleting
  bool readOnly = false;    // opening it for appending, or making a file in it, is denied
  std::uint64_t index = 0;  // the file's index on its volume; the fake numbers what it creates
  bool reparsePoint = false;
  bool creatorOnly = false;  // created for its creator, SYSTEM and the Administrators only
  // Stands for what the user set on the file (access list, attributes, alternate streams):
  // ReplaceFile keeps the replaced file's, MoveFile brings the moved file's.
  std::string settings{};
};

class FakeFiles final : public platform::Files {
 public:
  std::map<std::u16string, FakeNode> nodes;
  std::u16string tempPath = u"C:\\Temp\\";
  // What GetTempPath2W gives SYSTEM; none on a Windows that lacks the call.
  std::optional<std::u16string> systemTempPath = u"C:\\Windows\\SystemTemp\\";
  std::optional<std::uint32_t> tempPathResult;  // overrides the returned length
  std::u16string currentDirectory = u"C:\\work";
  std::optional<std::uint32_t> fullPathResult;  // overrides the returned length
  // The one way a write goes wrong: the `nth` WriteFile call (counted from 1 over the fake's
  // life; 0 for every call), to `path` only when one is given, writes at most `bytes` bytes;
  // a write left short then fails with `error`, or, when that is 0, reports success with the
  // short count.
  struct WriteFault {
    std::size_t nth = 0;
    std::u16string path;
    std::uint32_t bytes = 0;
    std::uint32_t error = 112;  // ERROR_DISK_FULL
  };
  std::optional<WriteFault> writeFault;
  std::uint32_t openFailsWith = 0;       // OpenOrCreateFile fails with this error
  bool seekFails = false;                // SeekToEnd fails
  // ReplaceFile fails with this error, leaving the files as Windows documents for it: 1177
  // moves the replaced file to the backup name, 1175, 1176 and any other change nothing.
  std::uint32_t replaceFailsWith = 0;
  std::uint32_t moveFailsWith = 0;  // MoveFile fails with this error, changing nothing
  std::u16string moveFailsFrom;     // ... only when it moves this file, when given
  std::uint32_t flushFailsWith = 0;  // FlushFile fails with this error
  std::uint32_t readFailsWith = 0;   // ReadFile fails with this error
  // The final path of a file opened at a path, where the system resolves it elsewhere (a
  // junction on the way); otherwise the path it was opened at, behind "\\?\".
  std::map<std::u16string, std::u16string> finalPaths;
  // A volume without a drive letter, as Windows answers for it: the final path with the
  // drive fails with this error (1, 3 or 1005 by the driver).
  std::uint32_t dosFinalPathFailsWith = 0;
  // The device path of a file opened at a path; otherwise drive C:'s device and the rest.
  std::map<std::u16string, std::u16string> ntPaths;
  std::uint32_t ntFinalPathFailsWith = 0;
  // What each drive letter stands for (QueryDosDevice); a letter not here is not defined.
  std::map<std::u16string, std::u16string> dosDevices{{u"C:", u"\\Device\\HarddiskVolume1"}};
  // Another program (a scanner) holding the file at a path so that this many of the calls
  // that need it (the lock, a reopen for deletion, a replace, a move or deletion of it) fail
  // with ERROR_SHARING_VIOLATION before it lets go.
  std::map<std::u16string, int> heldByOthers;
  // Runs just after the lock is taken: another process (outside the share modes) writing.
  std::function<void(const std::u16string&)> afterLock;
  std::vector<std::u16string> flushed;  // the paths of the files flushed, in order
  // Runs just before CreateNewFile looks at the name: another process planting a file.
  std::function<void(const std::u16string&)> beforeCreate;
  // Runs just before OpenForReadingDenyWrite looks at the file.
  std::function<void(const std::u16string&)> beforeLock;
  int openFiles = 0;
  std::vector<std::uint32_t> writeSizes;

  bool Exists(const std::u16string& path) const { return nodes.count(path) != 0; }
  std::vector<std::byte> Contents(const std::u16string& path) const { return nodes.at(path).bytes; }

  platform::Result<std::uint32_t> GetTempPath(char16_t* buffer, std::uint32_t capacity) override;
  platform::Result<std::uint32_t> GetTempPath2(char16_t* buffer, std::uint32_t capacity) override;
  platform::Result<std::uint32_t> GetFileAttributes(const std::u16string& path) override;
  platform::Result<std::uint32_t> GetFullPathName(const std::u16string& path, char16_t* buffer,
                                                  std::uint32_t capacity) override;
  platform::Result<platform::FileHandle> CreateNewFile(const std::u16string& path,
                                                       platform::NewFileAccess access) override;
  platform::Result<platform::FileHandle> OpenOrCreateFile(const std::u16string& path) override;
  platform::Result<platform::FileHandle> OpenForAppending(const std::u16string& path) override;
  platform::Result<platform::FileHandle> OpenForReadingDenyWrite(const std::u16string& path) override;
  platform::Result<platform::FileIdentity> GetFileIdentity(platform::FileHandle file) override;
  platform::Result<std::uint64_t> SeekToEnd(platform::FileHandle file) override;
  platform::Status SeekTo(platform::FileHandle file, std::uint64_t position) override;
  platform::Status SetEndOfFile(platform::FileHandle file) override;
  platform::Result<std::uint32_t> WriteFile(platform::FileHandle file, const void* data,
                                            std::uint32_t size) override;
  platform::Result<std::uint32_t> ReadFile(platform::FileHandle file, void* buffer,
                                           std::uint32_t size) override;
  platform::Status FlushFile(platform::FileHandle file) override;
  platform::Result<std::uint32_t> GetFinalPathName(platform::FileHandle file, platform::VolumeName volume,
                                                   char16_t* buffer, std::uint32_t capacity) override;
  platform::Result<std::uint32_t> QueryDosDevice(const std::u16string& name, char16_t* buffer,
                                                 std::uint32_t capacity) override;
  platform::Result<platform::FileHandle> Reopen(platform::FileHandle file, platform::ReopenFor purpose) override;
  platform::Status RemoveWhenClosed(platform::FileHandle file) override;
  bool CloseHandle(platform::FileHandle file) override;
  platform::Status DeleteFile(const std::u16string& path) override;
  platform::Status ReplaceFile(const std::u16string& replaced, const std::u16string& replacement,
                               const std::u16string& backup) override;
  platform::Status MoveFile(const std::u16string& from, const std::u16string& to) override;

 private:
  struct OpenFile {
    std::u16string path;
    std::size_t position = 0;
    bool append = false;  // every write goes to the end of the file
    std::uint64_t index = 0;      // the file opened, whatever is at the path later
    bool mayDelete = false;       // opened for deletion
    bool removeWhenClosed = false;
  };
  bool HeldByOthers(const std::u16string& path);
  const FakeNode* Parent(const std::u16string& path) const;  // the folder a path lies in
  std::u16string Full(const std::u16string& path) const;     // against the current folder
  bool ParentExists(const std::u16string& path) const;
  platform::FileHandle Open(const std::u16string& path, bool mayDelete = false);
  std::uint64_t nextIndex_ = 1;
  std::map<platform::FileHandle, OpenFile> handles_;
  std::set<platform::FileHandle> readLockHandles_;
  platform::FileHandle nextHandle_ = 100;
};

class FakeInstaller final : public platform::Installer {
 public:
  // Summary information by full path; the template property's text.
  std::map<std::u16string, std::u16string> templates;
  std::uint32_t openFailsWith = 0;
  // When set, answers property reads in turn (status, reported size) instead of the template.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> scriptedReads;
  std::vector<std::uint32_t> readCapacities;
  std::vector<std::u16string> openedPaths;
  std::map<platform::MsiHandle, int> closeCounts;
  platform::MsiHandle lastHandle = 0;

  struct Product {
    std::int32_t state = 5;
    std::map<std::u16string, std::u16string> info;
    std::uint32_t configureResult = 0;
  };
  std::map<std::u16string, Product> products;
  std::vector<std::u16string> stateQueries;
  // Like Wine: a product attribute too long for the buffer leaves the buffer as it was.
  bool untouchedOnMoreData = false;
  struct Configure {
    std::u16string code;
    int level;
    int state;
    std::u16string commandLine;
  };
  std::vector<Configure> configureCalls;
  std::function<void(const std::u16string&)> onConfigure;
  std::vector<int> uiLevels;  // every level asked for
  int uiLevel = 1;            // INSTALLUILEVEL_DEFAULT
  // Like Wine: INSTALLUILEVEL_UACONLY is refused with INSTALLUILEVEL_NOCHANGE.
  bool refusesUacOnly = false;

  std::uint32_t GetSummaryInformation(const std::u16string& path, platform::MsiHandle* handle) override;
  std::uint32_t SummaryInfoGetProperty(platform::MsiHandle handle, std::uint32_t property,
                                       char16_t* buffer, std::uint32_t* size) override;
  std::uint32_t CloseHandle(platform::MsiHandle handle) override;
  std::int32_t QueryProductState(const std::u16string& productCode) override;
  std::uint32_t GetProductInfo(const std::u16string& productCode, const std::u16string& attribute,
                               char16_t* buffer, std::uint32_t* size) override;
  std::uint32_t ConfigureProductEx(const std::u16string& productCode, int installLevel,
                                   int installState, const std::u16string& commandLine) override;
  int SetInternalUI(int level) override;
  struct EnableLogCall {
    std::uint32_t mode;
    std::u16string path;
    std::uint32_t attributes;
  };
  std::vector<EnableLogCall> logCalls;
  std::uint32_t EnableLog(std::uint32_t logMode, const std::u16string& path,
                          std::uint32_t attributes) override {
    logCalls.push_back({logMode, path, attributes});
    return 0;
  }

 private:
  std::map<platform::MsiHandle, std::u16string> open_;
};

struct ShownBox {
  std::u16string text;
  std::u16string caption;
  std::uint32_t style;
  std::uint32_t threadLocale;
};

class FakeDialogs final : public platform::Dialogs {
 public:
  explicit FakeDialogs(FakeProcess& process) : process_(process) {}
  std::vector<ShownBox> shown;
  bool stationVisible = true;
  int stationQuestions = 0;
  bool WindowStationVisible() override {
    ++stationQuestions;
    return stationVisible;
  }
  int MessageBox(const std::u16string& text, const std::u16string& caption, std::uint32_t style) override {
    shown.push_back({text, caption, style, process_.threadLocale});
    return 1;
  }

 private:
  FakeProcess& process_;
};

class FakeRegistry final : public platform::Registry {
 public:
  struct Value {
    std::vector<std::byte> data;
  };
  struct Key {
    std::map<std::u16string, Value> values;
    std::uint32_t openFailsWith = 0;    // RegOpenKeyExW's error, as 5 for access denied
    std::uint32_t deleteFailsWith = 0;  // RegDeleteValueW's, changing nothing
  };
  std::map<std::pair<platform::RegistryRoot, std::u16string>, Key> keys;
  std::vector<std::pair<std::u16string, std::uint32_t>> opened;  // path and access
  std::vector<std::u16string> deleted;
  int openKeys = 0;

  platform::Result<platform::RegistryKey> OpenKey(platform::RegistryRoot root, const std::u16string& path,
                                                  std::uint32_t access) override;
  std::uint32_t QueryValue(platform::RegistryKey key, const std::u16string& name, void* data,
                           std::uint32_t* size) override;
  std::uint32_t DeleteValue(platform::RegistryKey key, const std::u16string& name) override;
  std::uint32_t CloseKey(platform::RegistryKey key) override;

 private:
  std::map<platform::RegistryKey, std::pair<platform::RegistryRoot, std::u16string>> handles_;
  platform::RegistryKey next_ = 1;
};

class FakeFileVersions final : public platform::FileVersions {
 public:
  struct Module {
    platform::FixedFileVersion version;
    bool readFails = false;
    bool noFixedInfo = false;
  };
  std::map<std::u16string, Module> modules;

  std::uint32_t GetFileVersionInfoSize(const std::u16string& path) override;
  bool GetFileVersionInfo(const std::u16string& path, std::uint32_t size, void* block) override;
  bool QueryFixedFileVersion(const void* block, platform::FixedFileVersion* version) override;
};

// A whole fake machine, wired the way the logic expects it.
struct FakePlatform {
  FakeProcess process;
  FakeResources resources;
  FakeFiles files;
  FakeInstaller installer;
  FakeDialogs dialogs{process};
  FakeRegistry registry;
  FakeFileVersions fileVersions;
  platform::Platform platform{resources, files, installer, dialogs, process, registry, fileVersions};
};

std::vector<std::byte> Bytes(std::string_view text);
// A registry string's bytes, with its terminator or without.
std::vector<std::byte> Utf16Bytes(const std::u16string& text, bool terminated = true);
std::u16string U16(std::string_view ascii);

// Failures that leave no Windows error of their own:
// TMP names an existing folder too long for a temporary name in it;
void SetTmpTooLongForAName(FakePlatform& f);
// the first write reports success, with fewer bytes than asked.
void MakeFirstWriteComeUpShort(FakePlatform& f);

}  // namespace fakes
