#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {

// Sizes, loads and locks a resource that was looked up, reading each failing call's error
// at once. An empty resource and a failed lock report no error of their own.
ResourceBytes Bytes(HMODULE module, HRSRC found) {
  if (found == nullptr) return {ResourceState::kMissing, {}, ::GetLastError()};
  const DWORD size = ::SizeofResource(module, found);
  if (size == 0) return {ResourceState::kUnusable, {}};
  HGLOBAL loaded = ::LoadResource(module, found);
  if (loaded == nullptr) return {ResourceState::kUnusable, {}, ::GetLastError()};
  const void* bytes = ::LockResource(loaded);
  if (bytes == nullptr) return {ResourceState::kUnusable, {}};
  return {ResourceState::kFound, {static_cast<const std::byte*>(bytes), size}};
}

HMODULE Module(ModuleHandle module) { return reinterpret_cast<HMODULE>(module); }

}  // namespace

ResourceBytes Win32Resources::FindResourceBytes(ModuleHandle module, const std::u16string& name,
                                                const std::u16string& type) {
  return Bytes(Module(module), ::FindResourceW(Module(module), Wide(name), Wide(type)));
}

ResourceBytes Win32Resources::FindStringBlockBytes(ModuleHandle module, std::uint16_t block,
                                                   std::uint16_t language) {
  return Bytes(Module(module),
               ::FindResourceExW(Module(module), RT_STRING, MAKEINTRESOURCEW(block), language));
}

}  // namespace platform::win32
