#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32/windows_api.h"

namespace platform::win32 {

// Security attributes whose access list, shut off from what the folder passes on, lets the
// process's own account, SYSTEM and the Administrators in, and nobody else.
class CreatorOnlySecurity {
 public:
  CreatorOnlySecurity() = default;
  CreatorOnlySecurity(const CreatorOnlySecurity&) = delete;
  CreatorOnlySecurity& operator=(const CreatorOnlySecurity&) = delete;

  // ERROR_SUCCESS, or the error of the call that failed.
  DWORD Build();
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::vector<std::uint8_t> user_;  // TOKEN_USER of the process token
  std::uint8_t system_[SECURITY_MAX_SID_SIZE] = {};
  std::uint8_t administrators_[SECURITY_MAX_SID_SIZE] = {};
  std::vector<std::uint8_t> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace platform::win32
