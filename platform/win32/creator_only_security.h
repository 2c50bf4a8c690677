#pragma once

#include <cstdint>

#include "platform/win32/system_library.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

// Security attributes whose access list, shut off from what the folder passes on, lets the
// process's own account, SYSTEM and the Administrators in, and nobody else.
class CreatorOnlySecurity {
 public:
  CreatorOnlySecurity() = default;
  CreatorOnlySecurity(const CreatorOnlySecurity&) = delete;
  CreatorOnlySecurity& operator=(const CreatorOnlySecurity&) = delete;

  // ERROR_SUCCESS, or the error of the call that failed; the calls are taken from
  // `advapi32`.
  DWORD Build(SystemLibrary& advapi32);
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  // Fixed sizes, each the most a SID can take: no allocation, and no vector code in the
  // executable for them.
  static constexpr DWORD kAceSize = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + SECURITY_MAX_SID_SIZE;
  union {
    TOKEN_USER tokenUser;
    std::uint8_t bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } user_ = {};  // the process token's user
  std::uint8_t system_[SECURITY_MAX_SID_SIZE] = {};
  std::uint8_t administrators_[SECURITY_MAX_SID_SIZE] = {};
  union {
    ACL header;
    std::uint8_t bytes[sizeof(ACL) + 3 * kAceSize];
  } acl_ = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace platform::win32
