#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

enum class RegistryRoot { kLocalMachine, kClassesRoot };

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW; 0 when the key cannot be opened.
  virtual RegistryKey OpenKey(RegistryRoot root, const std::u16string& path,
                              std::uint32_t access) = 0;
  // RegQueryValueExW into `data`; `size` is the capacity in bytes and receives the stored size.
  virtual std::uint32_t QueryValue(RegistryKey key, const std::u16string& name, void* data,
                                   std::uint32_t* size) = 0;
  virtual std::uint32_t DeleteValue(RegistryKey key, const std::u16string& name) = 0;
  virtual std::uint32_t CloseKey(RegistryKey key) = 0;
};

}  // namespace platform
