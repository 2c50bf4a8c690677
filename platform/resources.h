#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// The executable's own resources. Each call is one resource-loader call.
class Resources {
 public:
  virtual ~Resources() = default;

  // Finds a resource by name and type; a name "#206" stands for the numeric id 206.
  virtual ResourceHandle FindResource(ModuleHandle module, const std::u16string& name,
                                      const std::u16string& type) = 0;
  // Finds the string-table block `block` (ids 16*(block-1) .. 16*block-1) of exactly `language`.
  virtual ResourceHandle FindStringBlock(ModuleHandle module, std::uint16_t block,
                                         std::uint16_t language) = 0;
  virtual std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) = 0;
  virtual ResourceData LoadResource(ModuleHandle module, ResourceHandle resource) = 0;
  // Resource memory belongs to the module image: it is never freed or closed.
  virtual const void* LockResource(ResourceData data) = 0;
};

}  // namespace platform
