#include "platform/win32/windows_api.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

// The host product is a 32-bit program, and a 32-bit process's CommonProgramFiles names the
// 32-bit common files folder. A 64-bit build of the launcher reads that folder where a 64-bit
// process finds it, so that both builds remove the same file.
std::string ThirtyTwoBitName(const std::string& name) {
#ifdef _WIN64
  if (name == "CommonProgramFiles") return "CommonProgramFiles(x86)";
#endif
  return name;
}

// Closes the process token it was handed, once.
class TokenHandle {
 public:
  TokenHandle() = default;
  TokenHandle(const TokenHandle&) = delete;
  TokenHandle& operator=(const TokenHandle&) = delete;
  ~TokenHandle() {
    if (handle_ != nullptr) ::CloseHandle(handle_);
  }
  HANDLE* receive() { return &handle_; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

// A token function from kernelbase.dll, which every process has loaded already (Windows 8
// on, and Wine), else from advapi32.dll: loading advapi32 only to turn virtualization off
// would cost "/e", which needs nothing else of it, a megabyte of memory.
FARPROC TokenFunction(SystemLibrary& advapi32, const char* name) {
  if (HMODULE loaded = ::GetModuleHandleA("kernelbase.dll")) {
    if (FARPROC found = ::GetProcAddress(loaded, name)) return found;
  }
  return advapi32.Function<FARPROC>(name);
}

}  // namespace

std::u16string Win32Process::CommandLine() { return FromWide(::GetCommandLineW()); }

std::optional<std::u16string> Win32Process::GetEnvironmentVariable(const std::u16string& name) {
  const DWORD needed = ::GetEnvironmentVariableW(Wide(name), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::vector<wchar_t> buffer(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(Wide(name), buffer.data(), needed);
  if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
  return FromWide(buffer.data());
}

bool Win32Process::SetThreadLocale(std::uint32_t locale) { return ::SetThreadLocale(locale); }

std::uint32_t Win32Process::GetThreadLocale() { return ::GetThreadLocale(); }

std::uint16_t Win32Process::GetUserDefaultUILanguage() { return ::GetUserDefaultUILanguage(); }

std::uint16_t Win32Process::GetSystemDefaultUILanguage() { return ::GetSystemDefaultUILanguage(); }

std::optional<std::string> Win32Process::GetEnvironmentVariableNarrow(const std::string& name) {
  const char* value = std::getenv(ThirtyTwoBitName(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool Win32Process::RemoveFileNarrow(const std::string& path) {
  return std::remove(path.c_str()) == 0;
}

UtcTime Win32Process::GetSystemTime() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::optional<std::uint32_t> Win32Process::GetSessionId() {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return std::nullopt;
  return session;
}

// The token call `name`, as TokenFunction finds it.
#define LAUNCHER_TOKEN_FUNCTION(name) \
  reinterpret_cast<decltype(&::name)>(reinterpret_cast<void*>(TokenFunction(advapi32_, #name)))

Status Win32Process::TurnOffVirtualization() {
  auto open = LAUNCHER_TOKEN_FUNCTION(OpenProcessToken);
  auto set = LAUNCHER_TOKEN_FUNCTION(SetTokenInformation);
  if (open == nullptr || set == nullptr) return Status::Failed(::GetLastError());
  TokenHandle token;
  DWORD off = 0;
  if (!open(::GetCurrentProcess(), TOKEN_ADJUST_DEFAULT, token.receive()) ||
      !set(token.get(), TokenVirtualizationEnabled, &off, sizeof off)) {
    return Status::Failed(::GetLastError());
  }
  return Status::Done();
}

bool Win32Process::RunsAsLocalSystem() {
  auto open = LAUNCHER_TOKEN_FUNCTION(OpenProcessToken);
  auto query = LAUNCHER_TOKEN_FUNCTION(GetTokenInformation);
  if (open == nullptr || query == nullptr) return false;
  TokenHandle token;
  // Room for any TOKEN_USER: one call, no asking for the size first.
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD size = 0;
  if (!open(::GetCurrentProcess(), TOKEN_QUERY, token.receive()) ||
      !query(token.get(), TokenUser, buffer.bytes, sizeof buffer.bytes, &size)) {
    return false;
  }
  // S-1-5-18 as it is stored: revision 1, one part, the NT authority (5), 18.
  static constexpr BYTE kLocalSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  return std::memcmp(buffer.user.User.Sid, kLocalSystem, sizeof kLocalSystem) == 0;
}

void Win32Process::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform::win32
