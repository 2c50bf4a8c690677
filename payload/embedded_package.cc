#include "payload/embedded_package.h"

namespace payload {

std::optional<std::span<const std::byte>> LockResourceBytes(platform::Resources& resources,
                                                            platform::ModuleHandle module,
                                                            const std::u16string& name,
                                                            const std::u16string& type) {
  const platform::ResourceHandle found = resources.FindResource(module, name, type);
  if (found == 0) return std::nullopt;
  const std::uint32_t size = resources.SizeofResource(module, found);
  if (size == 0) return std::nullopt;
  const platform::ResourceData loaded = resources.LoadResource(module, found);
  if (loaded == 0) return std::nullopt;
  const void* bytes = resources.LockResource(loaded);
  if (bytes == nullptr) return std::nullopt;
  return std::span<const std::byte>(static_cast<const std::byte*>(bytes), size);
}

std::optional<std::span<const std::byte>> LockEmbeddedPackage(platform::Resources& resources,
                                                              platform::ModuleHandle module) {
  return LockResourceBytes(resources, module, u"IDR_MSP", u"MSP");
}

}  // namespace payload
