#include "platform/win32/creator_only_security.h"

namespace platform::win32 {
namespace {

// The advapi32 calls the access list is built with, bound on first use.
struct SecurityCalls {
  decltype(&::OpenProcessToken) openProcessToken;
  decltype(&::GetTokenInformation) getTokenInformation;
  decltype(&::CreateWellKnownSid) createWellKnownSid;
  decltype(&::InitializeAcl) initializeAcl;
  decltype(&::AddAccessAllowedAce) addAccessAllowedAce;
  decltype(&::InitializeSecurityDescriptor) initializeSecurityDescriptor;
  decltype(&::SetSecurityDescriptorDacl) setSecurityDescriptorDacl;
  decltype(&::SetSecurityDescriptorControl) setSecurityDescriptorControl;

  explicit SecurityCalls(SystemLibrary& advapi32)
      : openProcessToken(LAUNCHER_SYSTEM_FUNCTION(advapi32, OpenProcessToken)),
        getTokenInformation(LAUNCHER_SYSTEM_FUNCTION(advapi32, GetTokenInformation)),
        createWellKnownSid(LAUNCHER_SYSTEM_FUNCTION(advapi32, CreateWellKnownSid)),
        initializeAcl(LAUNCHER_SYSTEM_FUNCTION(advapi32, InitializeAcl)),
        addAccessAllowedAce(LAUNCHER_SYSTEM_FUNCTION(advapi32, AddAccessAllowedAce)),
        initializeSecurityDescriptor(LAUNCHER_SYSTEM_FUNCTION(advapi32, InitializeSecurityDescriptor)),
        setSecurityDescriptorDacl(LAUNCHER_SYSTEM_FUNCTION(advapi32, SetSecurityDescriptorDacl)),
        setSecurityDescriptorControl(LAUNCHER_SYSTEM_FUNCTION(advapi32, SetSecurityDescriptorControl)) {}

  bool complete() const {
    return openProcessToken && getTokenInformation && createWellKnownSid &&
           initializeAcl && addAccessAllowedAce && initializeSecurityDescriptor &&
           setSecurityDescriptorDacl && setSecurityDescriptorControl;
  }
};

// Into `user`, which holds any TOKEN_USER: one call, no asking for the size first.
DWORD ReadTokenUser(const SecurityCalls& calls, void* user, DWORD capacity) {
  HANDLE token = nullptr;
  if (!calls.openProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return ::GetLastError();
  DWORD size = 0;
  const DWORD error =
      calls.getTokenInformation(token, TokenUser, user, capacity, &size) ? ERROR_SUCCESS : ::GetLastError();
  ::CloseHandle(token);
  return error;
}

DWORD WellKnownSid(const SecurityCalls& calls, WELL_KNOWN_SID_TYPE type,
                   std::uint8_t (&sid)[SECURITY_MAX_SID_SIZE]) {
  DWORD size = sizeof sid;
  return calls.createWellKnownSid(type, nullptr, sid, &size) ? ERROR_SUCCESS : ::GetLastError();
}

}  // namespace

DWORD CreatorOnlySecurity::Build(SystemLibrary& advapi32) {
  const SecurityCalls calls(advapi32);
  if (!calls.complete()) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_PROC_NOT_FOUND;
  }
  if (DWORD error = ReadTokenUser(calls, user_.bytes, sizeof user_.bytes); error != ERROR_SUCCESS) {
    return error;
  }
  if (DWORD error = WellKnownSid(calls, WinLocalSystemSid, system_); error != ERROR_SUCCESS) {
    return error;
  }
  if (DWORD error = WellKnownSid(calls, WinBuiltinAdministratorsSid, administrators_);
      error != ERROR_SUCCESS) {
    return error;
  }
  PSID sids[] = {user_.tokenUser.User.Sid, system_, administrators_};
  ACL* acl = &acl_.header;
  if (!calls.initializeAcl(acl, sizeof acl_.bytes, ACL_REVISION)) return ::GetLastError();
  for (PSID sid : sids) {
    if (!calls.addAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) return ::GetLastError();
  }
  if (!calls.initializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !calls.setSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      !calls.setSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return ::GetLastError();
  }
  attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  return ERROR_SUCCESS;
}

}  // namespace platform::win32
