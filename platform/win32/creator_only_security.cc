#include "platform/win32/creator_only_security.h"

namespace platform::win32 {
namespace {

DWORD ReadTokenUser(std::vector<std::uint8_t>& user) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return ::GetLastError();
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  user.assign(size, 0);
  DWORD error = ERROR_SUCCESS;
  if (size == 0 || !::GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
    error = ::GetLastError();
    if (error == ERROR_SUCCESS) error = ERROR_INVALID_DATA;
  }
  ::CloseHandle(token);
  return error;
}

DWORD WellKnownSid(WELL_KNOWN_SID_TYPE type, std::uint8_t (&sid)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof sid;
  return ::CreateWellKnownSid(type, nullptr, sid, &size) ? ERROR_SUCCESS : ::GetLastError();
}

}  // namespace

DWORD CreatorOnlySecurity::Build() {
  if (DWORD error = ReadTokenUser(user_); error != ERROR_SUCCESS) return error;
  if (DWORD error = WellKnownSid(WinLocalSystemSid, system_); error != ERROR_SUCCESS) return error;
  if (DWORD error = WellKnownSid(WinBuiltinAdministratorsSid, administrators_);
      error != ERROR_SUCCESS) {
    return error;
  }
  PSID sids[] = {reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid, system_, administrators_};
  DWORD aclSize = sizeof(ACL);
  for (PSID sid : sids) aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(sid);
  acl_.assign(aclSize, 0);
  auto* acl = reinterpret_cast<ACL*>(acl_.data());
  if (!::InitializeAcl(acl, aclSize, ACL_REVISION)) return ::GetLastError();
  for (PSID sid : sids) {
    if (!::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) return ::GetLastError();
  }
  if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return ::GetLastError();
  }
  attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  return ERROR_SUCCESS;
}

}  // namespace platform::win32
