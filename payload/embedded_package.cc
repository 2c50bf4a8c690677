#include "payload/embedded_package.h"

namespace payload {

LockedResource LockResourceBytes(platform::Resources& resources, platform::ModuleHandle module,
                                 const std::u16string& name, const std::u16string& type) {
  const platform::ResourceHandle found = resources.FindResource(module, name, type);
  if (found == 0) return {ResourceState::kMissing, {}};
  const std::uint32_t size = resources.SizeofResource(module, found);
  if (size == 0) return {ResourceState::kUnusable, {}};
  const platform::ResourceData loaded = resources.LoadResource(module, found);
  if (loaded == 0) return {ResourceState::kUnusable, {}};
  const void* bytes = resources.LockResource(loaded);
  if (bytes == nullptr) return {ResourceState::kUnusable, {}};
  return {ResourceState::kFound, {static_cast<const std::byte*>(bytes), size}};
}

std::optional<std::span<const std::byte>> LockEmbeddedPackage(platform::Resources& resources,
                                                              platform::ModuleHandle module) {
  const LockedResource package = LockResourceBytes(resources, module, u"IDR_MSP", u"MSP");
  if (package.state != ResourceState::kFound) return std::nullopt;
  return package.bytes;
}

}  // namespace payload
