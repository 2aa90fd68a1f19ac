// The kit's own check that it holds the files it was built with: the build
// writes the SHA-256 of orbwick.dll and of every program of the kit into
// kit-checksums.txt, one "<64 hexadecimal digits>  <file name>" a line as
// sha256sum writes them, orbwick.dll's line first (the same line as in the
// release's SHA256SUMS). run-tests.cmd has run_limited check them before any
// test program runs, so that a changed, damaged or missing file stops the
// kit. The check cannot vouch for the list itself, nor for run_limited.exe
// and run-tests.cmd, which do the checking: only the kit's zip, checked
// against the release's SHA256SUMS.txt, can.
#pragma once

// What CheckKitChecksums found.
enum class KitCheck {
    Release,     // every listed file is there with its listed checksum
    OtherDll,    // the same, but for the DLL, which differs (a DLL tested on purpose)
    NotRelease,  // a file differs, cannot be read, is missing, listed twice or not listed
    NoList,      // the list is missing, unreadable or not in its form
};

// Checks every file of the list, which lies in the current folder; each of
// the count names in required (the DLL among them) must be listed. Fails
// closed: a listed file that is missing, a file listed twice and a required
// name the list lacks each make it NotRelease. Prints one line for each
// file found wrong, naming it (with both checksums when it differs), or a
// line saying that the list cannot be used; then, unless NotRelease or
// NoList, one line with the number of files that match.
KitCheck CheckKitChecksums(const wchar_t* listPath, const wchar_t* dll, const wchar_t* const* required, int count);
