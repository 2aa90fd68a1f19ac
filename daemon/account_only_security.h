// The security a file gets when only the account the process runs under may
// open it: an explicit descriptor instead of what the folder would hand down.
#pragma once

#include <windows.h>

// What that account may do with such a file: read it, write it, and delete it
// (a left-over file is removed by the next save).
inline constexpr DWORD kAccountOnlyFileAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

// A security descriptor whose DACL is protected (nothing is inherited from
// the folder, now or when the folder's permissions change later) and holds
// one entry: kAccountOnlyFileAccess allowed to the process token's user.
// SYSTEM and Administrators get no entry: the file is read and written only
// inside this process, so a service running as SYSTEM is its own user, and an
// administrator removes a file left behind through the folder's rights or by
// taking ownership; an entry would only let every program an administrator
// runs write it too. The owner is the token's default owner, as for any file
// the process creates.
// The descriptor points into the struct itself: build it in place and pass
// &attributes to CreateFile; never copy it.
struct AccountOnlySecurity {
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    DWORD acl[(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1];
    DWORD tokenUser[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1];
};

// Fills *security and points its attributes at its descriptor (handles are
// not inherited). False when the process token's user cannot be read or the
// descriptor not built; then *security must not be used.
bool BuildAccountOnlySecurity(AccountOnlySecurity* security);
