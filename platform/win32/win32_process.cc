#include "platform/win32/windows_api.h"

#include <cstdio>
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

void Win32Process::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform::win32
