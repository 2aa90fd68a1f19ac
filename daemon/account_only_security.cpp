#include "account_only_security.h"

namespace {

// The process token's user, copied into buffer (a TOKEN_USER and its SID).
PSID ProcessTokenUser(DWORD* buffer, DWORD bufferSize) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return nullptr;
    }
    DWORD needed = 0;
    const BOOL read = GetTokenInformation(token, TokenUser, buffer, bufferSize, &needed);
    CloseHandle(token);
    return read ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid : nullptr;
}

}  // namespace

bool BuildAccountOnlySecurity(AccountOnlySecurity* security) {
    PSID user = ProcessTokenUser(security->tokenUser, sizeof security->tokenUser);
    if (user == nullptr) {
        return false;
    }
    auto* acl = reinterpret_cast<ACL*>(security->acl);
    // The ACE's SID starts at its last DWORD (SidStart).
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(user);
    if (aclSize > sizeof security->acl || !InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, kAccountOnlyFileAccess, user)) {
        return false;
    }
    SECURITY_DESCRIPTOR* descriptor = &security->descriptor;
    if (!InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        return false;
    }
    security->attributes = {sizeof security->attributes, descriptor, FALSE};
    return true;
}
