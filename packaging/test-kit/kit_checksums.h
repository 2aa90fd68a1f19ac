// The kit's own check that it holds the files of its release: the build
// writes the SHA-256 of orbwick.dll and of every program of the kit into
// kit-checksums.txt, one "<64 hexadecimal digits>  <file name>" a line as
// sha256sum writes them, orbwick.dll's line first (the same line as in the
// release's SHA256SUMS). run-tests.cmd has run_limited check them before any
// test program runs, so that a changed DLL or a replaced program cannot pass
// for the release.
#pragma once

// What CheckKitChecksums found.
enum class KitCheck {
    Release,     // every listed file that is there has its listed checksum
    OtherDll,    // only the file named as allowed differs (a DLL tested on purpose)
    NotRelease,  // some other listed file differs or cannot be read
    NoList,      // the list is missing, unreadable or not in its form
};

// Checks the files of the list that lie in the current folder; a file that
// is not there is left to the run, which counts it as missing. Prints one
// line for each file that differs, naming it with both checksums, or a line
// saying that the list cannot be used; then one line with the outcome.
// allowedOther names the file that may differ (nullptr: none may).
KitCheck CheckKitChecksums(const wchar_t* listPath, const wchar_t* allowedOther);
