#include "fakes/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/types.h"

namespace fakes {

std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> bytes(text.size());
  if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size());
  return bytes;
}

std::vector<std::byte> Utf16Bytes(const std::u16string& text, bool terminated) {
  std::vector<std::byte> bytes((text.size() + (terminated ? 1 : 0)) * 2);
  std::memcpy(bytes.data(), text.c_str(), bytes.size());
  return bytes;
}

std::u16string U16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void SetTmpTooLongForAName(FakePlatform& f) {
  const std::u16string tmp(250, u't');  // 250 + "\MSP" + ten digits + terminator > 260
  f.files.nodes[tmp] = FakeNode{.directory = true};
  f.process.environment[u"TMP"] = tmp;
}

void MakeFirstWriteComeUpShort(FakePlatform& f) {
  f.files.writeFault = FakeFiles::WriteFault{.nth = 1, .bytes = 3, .error = 0};
}

// --- process ---

namespace {

// One argument written so that CommandLineToArgvW's rules give it back unchanged.
std::u16string Quoted(const std::u16string& argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string::npos) {
    return argument;
  }
  std::u16string out = u"\"";
  std::size_t slashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++slashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    out.append(c == u'"' ? slashes * 2 + 1 : slashes, u'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, u'\\');  // before the closing quote
  return out + u"\"";
}

}  // namespace

std::u16string FakeProcess::CommandLine() {
  if (!arguments || arguments->empty()) return u"";
  // The program's path is quoted without escapes, as the system reads it.
  std::u16string line = u"\"" + arguments->front() + u"\"";
  for (std::size_t i = 1; i < arguments->size(); ++i) line += u" " + Quoted((*arguments)[i]);
  return line;
}

std::optional<std::u16string> FakeProcess::GetEnvironmentVariable(const std::u16string& name) {
  auto it = environment.find(name);
  if (it == environment.end()) return std::nullopt;
  return it->second;
}

bool FakeProcess::SetThreadLocale(std::uint32_t locale) {
  localesSet.push_back(locale);
  // Like Windows, a number that is no locale leaves the current one in force.
  if (locale == 0 || locale > 0xFFFF) return false;
  threadLocale = locale == 0x400 ? userUILanguage : locale;
  return true;
}

std::optional<std::string> FakeProcess::GetEnvironmentVariableNarrow(const std::string& name) {
  auto it = narrowEnvironment.find(name);
  if (it == narrowEnvironment.end()) return std::nullopt;
  return it->second;
}

bool FakeProcess::RemoveFileNarrow(const std::string& path) {
  removedNarrow.push_back(path);
  return true;
}

platform::Status FakeProcess::TurnOffVirtualization() {
  if (virtualizationRefusedWith != 0) return platform::Status::Failed(virtualizationRefusedWith);
  virtualizationOn = false;
  return platform::Status::Done();
}

// --- resources ---

namespace {
// As the loader answers: the error of a failed load; none for an empty resource or a
// failed lock.
template <typename Map>
platform::ResourceBytes Lookup(Map& map, const typename Map::key_type& key,
                               std::uint32_t missingError) {
  using platform::ResourceState;
  auto it = map.find(key);
  if (it == map.end()) return {ResourceState::kMissing, {}, missingError};
  const FakeResource& r = it->second;
  if (r.bytes.empty()) return {ResourceState::kUnusable, {}};
  if (r.loadFails) return {ResourceState::kUnusable, {}, 1812};  // ERROR_RESOURCE_DATA_NOT_FOUND
  if (r.lockFails) return {ResourceState::kUnusable, {}};
  return {ResourceState::kFound, r.bytes};
}
}  // namespace

platform::ResourceBytes FakeResources::FindResourceBytes(platform::ModuleHandle,
                                                         const std::u16string& name,
                                                         const std::u16string& type) {
  return Lookup(resources, {type, name}, 1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
}

platform::ResourceBytes FakeResources::FindStringBlockBytes(platform::ModuleHandle,
                                                            std::uint16_t block,
                                                            std::uint16_t language) {
  return Lookup(stringBlocks, {block, language}, 1815);  // ERROR_RESOURCE_LANG_NOT_FOUND
}

// --- files ---

namespace {

using platform::FileHandle;
using platform::Result;
using platform::Status;

template <typename T>
Result<T> Fail(std::uint32_t error) { return Result<T>::Failed(error); }

constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kFilenameExcedRange = 206;

// Like Windows without long paths: no name of more than 255 characters, no path of more
// than MAX_PATH with its terminator.
bool TooLong(const std::u16string& path) {
  const auto slash = path.find_last_of(u"\\/");
  const std::size_t name = slash == std::u16string::npos ? path.size() : path.size() - slash - 1;
  return name > 255 || path.size() + 1 > 260;
}

}  // namespace

Result<std::uint32_t> FakeFiles::GetTempPath2(char16_t* buffer, std::uint32_t) {
  if (!systemTempPath) return Fail<std::uint32_t>(127);  // ERROR_PROC_NOT_FOUND
  std::copy(systemTempPath->begin(), systemTempPath->end(), buffer);
  return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(systemTempPath->size()));
}

Result<std::uint32_t> FakeFiles::GetTempPath(char16_t* buffer, std::uint32_t capacity) {
  if (tempPathResult) {
    // 0 as for a TMP too long for a path.
    if (*tempPathResult == 0) return Fail<std::uint32_t>(206);
    return Result<std::uint32_t>::Done(*tempPathResult);
  }
  if (tempPath.size() + 1 > capacity) return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(tempPath.size() + 1));
  std::copy(tempPath.begin(), tempPath.end(), buffer);
  buffer[tempPath.size()] = u'\0';
  return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(tempPath.size()));
}

Result<std::uint32_t> FakeFiles::GetFileAttributes(const std::u16string& path) {
  auto it = nodes.find(path);
  if (it == nodes.end()) return Fail<std::uint32_t>(platform::kErrorFileNotFound);
  if (it->second.accessDenied) return Fail<std::uint32_t>(platform::kErrorAccessDenied);
  return Result<std::uint32_t>::Done(
      (it->second.directory ? platform::kFileAttributeDirectory : platform::kFileAttributeNormal) |
      (it->second.reparsePoint ? platform::kFileAttributeReparsePoint : 0));
}

std::u16string FakeFiles::Full(const std::u16string& path) const {
  if (path.starts_with(u"\\")) return currentDirectory.substr(0, 2) + path;  // "\x" lies on the current drive
  if (path.size() < 2 || path[1] != u':') return currentDirectory + u"\\" + path;
  return path;
}

Result<std::uint32_t> FakeFiles::GetFullPathName(const std::u16string& path, char16_t* buffer,
                                                 std::uint32_t capacity) {
  const std::u16string full = Full(path);
  if (fullPathResult) {
    if (*fullPathResult == 0) return Fail<std::uint32_t>(kPathNotFound);
    return Result<std::uint32_t>::Done(*fullPathResult);
  }
  if (full.size() + 1 > capacity) return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(full.size() + 1));
  std::copy(full.begin(), full.end(), buffer);
  buffer[full.size()] = u'\0';
  return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(full.size()));
}

const FakeNode* FakeFiles::Parent(const std::u16string& path) const {
  static const FakeNode kCurrentDirectory{.directory = true};
  const auto slash = path.find_last_of(u"\\/");
  if (slash == std::u16string::npos) return &kCurrentDirectory;
  const std::u16string parent = path.substr(0, slash);
  for (const std::u16string& name : {parent, parent + u"\\"}) {
    auto it = nodes.find(name);
    if (it != nodes.end() && it->second.directory) return &it->second;
  }
  return nullptr;
}

bool FakeFiles::ParentExists(const std::u16string& path) const { return Parent(path) != nullptr; }

Result<FileHandle> FakeFiles::CreateNewFile(const std::u16string& path, platform::NewFileAccess access) {
  if (beforeCreate) beforeCreate(path);
  if (TooLong(path)) return Fail<FileHandle>(kFilenameExcedRange);
  if (nodes.count(path)) return Fail<FileHandle>(platform::kErrorFileExists);
  const FakeNode* parent = Parent(path);
  // Access is denied in a folder nobody may write to.
  if (parent == nullptr) return Fail<FileHandle>(kPathNotFound);
  if (parent->readOnly) return Fail<FileHandle>(platform::kErrorAccessDenied);
  nodes[path] = FakeNode{.index = nextIndex_++,
                         .creatorOnly = access == platform::NewFileAccess::kCreatorOnly};
  return Result<FileHandle>::Done(Open(path, true));
}

FileHandle FakeFiles::Open(const std::u16string& path, bool mayDelete) {
  ++openFiles;
  auto node = nodes.find(path);
  handles_[nextHandle_] = OpenFile{.path = path, .index = node == nodes.end() ? 0 : node->second.index,
                                   .mayDelete = mayDelete};
  return nextHandle_++;
}

bool FakeFiles::HeldByOthers(const std::u16string& path) {
  auto held = heldByOthers.find(path);
  if (held == heldByOthers.end() || held->second == 0) return false;
  --held->second;
  return true;
}

Result<FileHandle> FakeFiles::OpenOrCreateFile(const std::u16string& path) {
  if (openFailsWith != 0) return Fail<FileHandle>(openFailsWith);
  auto it = nodes.find(path);
  if (it != nodes.end()) {
    if (it->second.directory) return Fail<FileHandle>(platform::kErrorAccessDenied);
    return Result<FileHandle>::Done(Open(path));
  }
  if (!ParentExists(path)) return Fail<FileHandle>(kPathNotFound);
  nodes[path] = FakeNode{.index = nextIndex_++};
  return Result<FileHandle>::Done(Open(path));
}

Result<FileHandle> FakeFiles::OpenForAppending(const std::u16string& path) {
  auto it = nodes.find(path);
  if (it != nodes.end() && (it->second.directory || it->second.readOnly)) {
    return Fail<FileHandle>(platform::kErrorAccessDenied);
  }
  if (path.empty() || (it == nodes.end() && !ParentExists(path))) {
    return Fail<FileHandle>(kPathNotFound);
  }
  if (it == nodes.end()) nodes[path] = FakeNode{.index = nextIndex_++};
  const FileHandle handle = Open(path);
  handles_[handle].append = true;
  return Result<FileHandle>::Done(handle);
}

Result<FileHandle> FakeFiles::OpenForReadingDenyWrite(const std::u16string& path) {
  if (beforeLock) beforeLock(path);
  if (HeldByOthers(path)) return Fail<FileHandle>(kSharingViolation);
  auto it = nodes.find(path);
  if (it == nodes.end() || it->second.directory) {
    return Fail<FileHandle>(platform::kErrorFileNotFound);
  }
  ++it->second.readLocks;
  readLockHandles_.insert(nextHandle_);
  const FileHandle handle = Open(path);
  if (afterLock) afterLock(path);
  return Result<FileHandle>::Done(handle);
}

Result<platform::FileIdentity> FakeFiles::GetFileIdentity(FileHandle file) {
  const FakeNode& node = nodes.at(handles_.at(file).path);
  return Result<platform::FileIdentity>::Done({0x5EED, node.index, node.reparsePoint});
}

Result<std::uint64_t> FakeFiles::SeekToEnd(FileHandle file) {
  if (seekFails) return Fail<std::uint64_t>(6);  // ERROR_INVALID_HANDLE
  OpenFile& open = handles_.at(file);
  open.position = nodes.at(open.path).bytes.size();
  return Result<std::uint64_t>::Done(open.position);
}

Status FakeFiles::SeekTo(FileHandle file, std::uint64_t position) {
  handles_.at(file).position = static_cast<std::size_t>(position);
  return Status::Done();
}

Status FakeFiles::SetEndOfFile(FileHandle file) {
  const OpenFile& open = handles_.at(file);
  nodes.at(open.path).bytes.resize(open.position);
  return Status::Done();
}

Result<std::uint32_t> FakeFiles::WriteFile(FileHandle file, const void* data, std::uint32_t size) {
  writeSizes.push_back(size);
  OpenFile& open = handles_.at(file);
  const bool faulty = writeFault && (writeFault->nth == 0 || writeFault->nth == writeSizes.size()) &&
                      (writeFault->path.empty() || writeFault->path == open.path);
  const std::uint32_t count = faulty ? std::min(writeFault->bytes, size) : size;
  // Written at the file pointer, over what is there and on past the end.
  auto& bytes = nodes[open.path].bytes;
  if (open.append) open.position = bytes.size();
  if (bytes.size() < open.position + count) bytes.resize(open.position + count);
  if (count != 0) std::memcpy(bytes.data() + open.position, data, count);
  open.position += count;
  if (count < size && writeFault->error != 0) return Fail<std::uint32_t>(writeFault->error);
  return Result<std::uint32_t>::Done(count);
}

Result<std::uint32_t> FakeFiles::ReadFile(FileHandle file, void* buffer, std::uint32_t size) {
  if (readFailsWith != 0) return Fail<std::uint32_t>(readFailsWith);
  OpenFile& open = handles_.at(file);
  const auto& bytes = nodes.at(open.path).bytes;
  const std::size_t count = open.position >= bytes.size() ? 0 : std::min<std::size_t>(size, bytes.size() - open.position);
  if (count != 0) std::memcpy(buffer, bytes.data() + open.position, count);
  open.position += count;
  return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(count));
}

Status FakeFiles::FlushFile(FileHandle file) {
  if (flushFailsWith != 0) return Status::Failed(flushFailsWith);
  flushed.push_back(handles_.at(file).path);
  return Status::Done();
}

Result<std::uint32_t> FakeFiles::GetFinalPathName(FileHandle file, platform::VolumeName volume,
                                                  char16_t* buffer, std::uint32_t capacity) {
  const std::u16string& path = handles_.at(file).path;
  std::u16string final;
  if (volume == platform::VolumeName::kNt) {
    if (ntFinalPathFailsWith != 0) return Fail<std::uint32_t>(ntFinalPathFailsWith);
    const auto device = ntPaths.find(path);
    final = device != ntPaths.end() ? device->second : dosDevices.at(u"C:") + Full(path).substr(2);
  } else {
    if (dosFinalPathFailsWith != 0) return Fail<std::uint32_t>(dosFinalPathFailsWith);
    const auto redirected = finalPaths.find(path);
    final = redirected != finalPaths.end() ? redirected->second : u"\\\\?\\" + Full(path);
  }
  if (final.size() >= capacity) return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(final.size() + 1));
  final.copy(buffer, final.size());
  buffer[final.size()] = u'\0';
  return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(final.size()));
}

Result<std::uint32_t> FakeFiles::QueryDosDevice(const std::u16string& name, char16_t* buffer,
                                                std::uint32_t capacity) {
  const auto device = dosDevices.find(name);
  if (device == dosDevices.end()) return Fail<std::uint32_t>(platform::kErrorFileNotFound);
  const std::u16string targets = device->second + u'\0' + u'\0';
  if (targets.size() > capacity) return Fail<std::uint32_t>(122);  // ERROR_INSUFFICIENT_BUFFER
  targets.copy(buffer, targets.size());
  return Result<std::uint32_t>::Done(static_cast<std::uint32_t>(targets.size()));
}

Result<FileHandle> FakeFiles::Reopen(FileHandle file, platform::ReopenFor purpose) {
  const OpenFile open = handles_.at(file);
  if (purpose == platform::ReopenFor::kRemoving) {
    auto node = nodes.find(open.path);
    // A handle that may delete is refused while a lock shares no deletion.
    if (HeldByOthers(open.path) || (node != nodes.end() && node->second.readLocks > 0)) {
      return Fail<FileHandle>(kSharingViolation);
    }
  }
  const FileHandle handle = Open(open.path, purpose == platform::ReopenFor::kRemoving);
  handles_[handle].index = open.index;
  return Result<FileHandle>::Done(handle);
}

Status FakeFiles::RemoveWhenClosed(FileHandle file) {
  OpenFile& open = handles_.at(file);
  if (!open.mayDelete) return Status::Failed(platform::kErrorAccessDenied);
  open.removeWhenClosed = true;
  return Status::Done();
}

bool FakeFiles::CloseHandle(FileHandle file) {
  --openFiles;
  auto open = handles_.find(file);
  if (open == handles_.end()) return false;
  auto it = nodes.find(open->second.path);
  if (readLockHandles_.erase(file) == 1 && it != nodes.end()) --it->second.readLocks;
  // What goes is the file the handle has, not whatever its path leads to now.
  if (open->second.removeWhenClosed && it != nodes.end() && it->second.index == open->second.index) {
    nodes.erase(it);
  }
  handles_.erase(open);
  return true;
}

Status FakeFiles::DeleteFile(const std::u16string& path) {
  auto it = nodes.find(path);
  if (it == nodes.end()) return Status::Failed(platform::kErrorFileNotFound);
  if (HeldByOthers(path)) return Status::Failed(kSharingViolation);
  if (it->second.readLocks > 0) return Status::Failed(kSharingViolation);
  nodes.erase(it);
  return Status::Done();
}

Status FakeFiles::ReplaceFile(const std::u16string& replaced, const std::u16string& replacement,
                              const std::u16string& backup) {
  auto target = nodes.find(replaced);
  if (target == nodes.end() || !nodes.count(replacement)) {
    return Status::Failed(platform::kErrorFileNotFound);
  }
  if (target->second.readLocks > 0 || HeldByOthers(replacement)) return Status::Failed(kSharingViolation);
  // A read-only file may not be deleted.
  if (target->second.readOnly) return Status::Failed(platform::kErrorAccessDenied);
  if (target->second.directory || target->second.reparsePoint) {
    // Like Wine: a folder or a link there is moved out of the way (and a link's file deleted).
    nodes[replaced.substr(0, replaced.find_last_of(u"\\/") + 1) + u"rf.tmp"] = target->second;
  }
  // As documented: with a backup name 1176 leaves both files under their names and 1177 has
  // moved the replaced file to the backup name; without one 1176 has removed the replaced
  // file and 1177 moved it to a name the system chose.
  const std::u16string oldName = backup.empty() ? replaced + u"~" : backup;
  if (replaceFailsWith == platform::kErrorUnableToMoveReplacement && backup.empty()) {
    nodes.erase(target);
  } else if (replaceFailsWith == platform::kErrorUnableToMoveReplacement2) {
    nodes[oldName] = target->second;
    nodes.erase(replaced);
  }
  if (replaceFailsWith != 0) return Status::Failed(replaceFailsWith);
  FakeNode node = nodes.at(replacement);
  node.settings = target->second.settings;
  if (!backup.empty()) nodes[backup] = target->second;
  nodes[replaced] = std::move(node);
  nodes.erase(replacement);
  return Status::Done();
}

Status FakeFiles::MoveFile(const std::u16string& from, const std::u16string& to) {
  auto target = nodes.find(to);
  if ((target != nodes.end() && target->second.readLocks > 0) || HeldByOthers(from)) {
    return Status::Failed(kSharingViolation);
  }
  if (moveFailsWith != 0 && (moveFailsFrom.empty() || moveFailsFrom == from)) {
    return Status::Failed(moveFailsWith);
  }
  if (target != nodes.end() && target->second.directory) return Status::Failed(platform::kErrorAccessDenied);
  auto source = nodes.find(from);
  if (source == nodes.end()) return Status::Failed(platform::kErrorFileNotFound);
  FakeNode node = std::move(source->second);
  nodes.erase(source);
  nodes[to] = std::move(node);
  return Status::Done();
}

// --- installer ---

std::uint32_t FakeInstaller::GetSummaryInformation(const std::u16string& path, platform::MsiHandle* handle) {
  openedPaths.push_back(path);
  if (openFailsWith != 0) return openFailsWith;
  if (!templates.count(path)) return 110;  // ERROR_OPEN_FAILED
  *handle = ++lastHandle;
  open_[*handle] = path;
  return 0;
}

std::uint32_t FakeInstaller::SummaryInfoGetProperty(platform::MsiHandle handle, std::uint32_t property,
                                                    char16_t* buffer, std::uint32_t* size) {
  readCapacities.push_back(*size);
  if (property != 7 || !open_.count(handle)) return 6;  // ERROR_INVALID_HANDLE
  if (!scriptedReads.empty()) {
    auto [status, reported] = scriptedReads.front();
    scriptedReads.erase(scriptedReads.begin());
    // Like the installer: a too-small buffer is filled to the brim with no terminator.
    std::fill(buffer, buffer + *size, u'X');
    *size = reported;
    return status;
  }
  const std::u16string& text = templates.at(open_.at(handle));
  if (text.size() + 1 > *size) {
    std::fill(buffer, buffer + *size, u'X');
    *size = static_cast<std::uint32_t>(text.size());
    return platform::kErrorMoreData;
  }
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  *size = static_cast<std::uint32_t>(text.size());
  return 0;
}

std::uint32_t FakeInstaller::CloseHandle(platform::MsiHandle handle) {
  ++closeCounts[handle];
  return open_.erase(handle) == 1 ? 0 : 6;
}

int FakeInstaller::SetInternalUI(int level) {
  uiLevels.push_back(level);
  if (refusesUacOnly && (level & platform::kInstallUiLevelUacOnly) != 0) return platform::kInstallUiLevelNoChange;
  return std::exchange(uiLevel, level);
}

std::int32_t FakeInstaller::QueryProductState(const std::u16string& productCode) {
  stateQueries.push_back(productCode);
  auto it = products.find(productCode);
  return it == products.end() ? -1 : it->second.state;  // INSTALLSTATE_UNKNOWN
}

std::uint32_t FakeInstaller::GetProductInfo(const std::u16string& productCode, const std::u16string& attribute,
                                            char16_t* buffer, std::uint32_t* size) {
  auto product = products.find(productCode);
  if (product == products.end()) return 1605;  // ERROR_UNKNOWN_PRODUCT
  auto value = product->second.info.find(attribute);
  if (value == product->second.info.end()) return 1608;  // ERROR_UNKNOWN_PROPERTY
  const std::u16string& text = value->second;
  if (text.size() + 1 > *size) {
    if (*size > 0 && !untouchedOnMoreData) {
      std::copy(text.begin(), text.begin() + (*size - 1), buffer);
      buffer[*size - 1] = u'\0';
    }
    *size = static_cast<std::uint32_t>(text.size());
    return platform::kErrorMoreData;
  }
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  *size = static_cast<std::uint32_t>(text.size());
  return 0;
}

std::uint32_t FakeInstaller::ConfigureProductEx(const std::u16string& productCode, int installLevel,
                                                int installState, const std::u16string& commandLine) {
  configureCalls.push_back({productCode, installLevel, installState, commandLine});
  if (onConfigure) onConfigure(productCode);
  auto it = products.find(productCode);
  return it == products.end() ? 1605 : it->second.configureResult;
}

// --- registry ---

platform::Result<platform::RegistryKey> FakeRegistry::OpenKey(platform::RegistryRoot root, const std::u16string& path,
                                                    std::uint32_t access) {
  opened.emplace_back(path, access);
  auto it = keys.find({root, path});
  if (it == keys.end()) return Fail<platform::RegistryKey>(platform::kErrorFileNotFound);
  if (it->second.openFailsWith != 0) return Fail<platform::RegistryKey>(it->second.openFailsWith);
  ++openKeys;
  handles_[next_] = {root, path};
  return Result<platform::RegistryKey>::Done(next_++);
}

std::uint32_t FakeRegistry::QueryValue(platform::RegistryKey key, const std::u16string& name, void* data,
                                       std::uint32_t* size) {
  auto& values = keys.at(handles_.at(key)).values;
  auto it = values.find(name);
  if (it == values.end()) return platform::kErrorFileNotFound;
  const auto stored = static_cast<std::uint32_t>(it->second.data.size());
  if (stored > *size) {
    *size = stored;
    return platform::kErrorMoreData;
  }
  std::memcpy(data, it->second.data.data(), stored);
  *size = stored;
  return 0;
}

std::uint32_t FakeRegistry::DeleteValue(platform::RegistryKey key, const std::u16string& name) {
  Key& found = keys.at(handles_.at(key));
  if (found.deleteFailsWith != 0) return found.deleteFailsWith;
  deleted.push_back(name);
  return found.values.erase(name) == 1 ? 0 : platform::kErrorFileNotFound;
}

std::uint32_t FakeRegistry::CloseKey(platform::RegistryKey key) {
  --openKeys;
  return handles_.erase(key) == 1 ? 0 : 6;
}

// --- file versions: the block holds the module's path so the query can find it ---

std::uint32_t FakeFileVersions::GetFileVersionInfoSize(const std::u16string& path) {
  return modules.count(path) ? static_cast<std::uint32_t>((path.size() + 1) * sizeof(char16_t)) : 0;
}

bool FakeFileVersions::GetFileVersionInfo(const std::u16string& path, std::uint32_t size, void* block) {
  auto it = modules.find(path);
  if (it == modules.end() || it->second.readFails) return false;
  std::memcpy(block, path.c_str(), std::min<std::size_t>(size, (path.size() + 1) * sizeof(char16_t)));
  return true;
}

bool FakeFileVersions::QueryFixedFileVersion(const void* block, platform::FixedFileVersion* version) {
  const Module& module = modules.at(std::u16string(static_cast<const char16_t*>(block)));
  if (module.noFixedInfo) return false;
  *version = module.version;
  return true;
}

}  // namespace fakes
