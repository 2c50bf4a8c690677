#include "platform/win32/windows_api.h"

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace platform::win32 {
namespace {
HMODULE Module(ModuleHandle module) { return reinterpret_cast<HMODULE>(module); }
}  // namespace

ResourceHandle Win32Resources::FindResource(ModuleHandle module, const std::u16string& name,
                                            const std::u16string& type) {
  return reinterpret_cast<ResourceHandle>(::FindResourceW(Module(module), Wide(name), Wide(type)));
}

ResourceHandle Win32Resources::FindStringBlock(ModuleHandle module, std::uint16_t block,
                                               std::uint16_t language) {
  return reinterpret_cast<ResourceHandle>(
      ::FindResourceExW(Module(module), RT_STRING, MAKEINTRESOURCEW(block), language));
}

std::uint32_t Win32Resources::SizeofResource(ModuleHandle module, ResourceHandle resource) {
  return ::SizeofResource(Module(module), reinterpret_cast<HRSRC>(resource));
}

ResourceData Win32Resources::LoadResource(ModuleHandle module, ResourceHandle resource) {
  return reinterpret_cast<ResourceData>(
      ::LoadResource(Module(module), reinterpret_cast<HRSRC>(resource)));
}

const void* Win32Resources::LockResource(ResourceData data) {
  return ::LockResource(reinterpret_cast<HGLOBAL>(data));
}

}  // namespace platform::win32
