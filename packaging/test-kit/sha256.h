// SHA-256 of a file, for the kit's summary: the checksum of the orbwick.dll
// the kit tested, to compare with the release's SHA256SUMS. Written out here
// because the platform's own SHA-256 (CryptoAPI's AES provider) is missing on
// Windows Server 2003 without an update, and certutil cannot compute it there.
#pragma once

#include <windows.h>

#include <string>

// The checksum in 64 lower-case hexadecimal digits, or an empty text when the
// file cannot be opened or read.
std::string FileSha256(const wchar_t* path);
