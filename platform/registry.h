#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"
#include "platform/types.h"

namespace platform {

// Where a key path starts. kLocalMachine: HKEY_LOCAL_MACHINE in the view a 32-bit program
// has, where the 32-bit host product keeps its keys. kLocalMachineShared: HKEY_LOCAL_MACHINE
// for a key Windows shares between the two views (the installer's registration), opened in
// the 64-bit one, where Wine, which shares nothing, keeps it too.
enum class RegistryRoot { kLocalMachine, kLocalMachineShared };

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW: the open key, or the error it answered (2 for a key that is not there).
  virtual Result<RegistryKey> OpenKey(RegistryRoot root, const std::u16string& path,
                                      std::uint32_t access) = 0;
  // RegQueryValueExW into `data`; `size` is the capacity in bytes and receives the stored size.
  virtual std::uint32_t QueryValue(RegistryKey key, const std::u16string& name, void* data,
                                   std::uint32_t* size) = 0;
  virtual std::uint32_t DeleteValue(RegistryKey key, const std::u16string& name) = 0;
  virtual std::uint32_t CloseKey(RegistryKey key) = 0;
};

}  // namespace platform
