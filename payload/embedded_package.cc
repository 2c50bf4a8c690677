#include "payload/embedded_package.h"

namespace payload {

LockedResource LockResourceBytes(platform::Resources& resources, platform::Process& process,
                                 platform::ModuleHandle module, const std::u16string& name,
                                 const std::u16string& type) {
  const platform::ResourceHandle found = resources.FindResource(module, name, type);
  if (found == 0) return {ResourceState::kMissing, {}, process.GetLastError()};
  const std::uint32_t size = resources.SizeofResource(module, found);
  if (size == 0) return {ResourceState::kUnusable, {}};
  const platform::ResourceData loaded = resources.LoadResource(module, found);
  if (loaded == 0) return {ResourceState::kUnusable, {}, process.GetLastError()};
  const void* bytes = resources.LockResource(loaded);
  if (bytes == nullptr) return {ResourceState::kUnusable, {}};
  return {ResourceState::kFound, {static_cast<const std::byte*>(bytes), size}};
}

LockedResource LockEmbeddedPackage(platform::Resources& resources, platform::Process& process,
                                   platform::ModuleHandle module) {
  return LockResourceBytes(resources, process, module, u"IDR_MSP", u"MSP");
}

}  // namespace payload
