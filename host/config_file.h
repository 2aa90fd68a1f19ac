// The host's configuration file "norvale.ini" in its base directory: reading
// it, the module list of its [Protocols] section, and the atomic rewrite that
// MergeSection uses.
#pragma once

#include <string>

// The full path of "norvale.ini" in the base directory.
std::wstring ConfigFilePath();

// Reads a whole file. A missing file gives true and empty bytes when
// `missingIsEmpty`; every other failure gives false.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, bool missingIsEmpty);

// Replaces the file at `path` with `bytes` so that the file is at every moment
// either the old or the new one: the bytes go to a new file in the same
// directory, are flushed to disk, and that file is then moved over the old.
// On failure the old file is untouched and the new one removed.
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes);

// The module letters, in module order, whose host module name ("NORVALE" +
// letter) occurs in any letter case in section `section` of the configuration
// text (comments left out).
std::string ModulesListedIn(const std::string& configText, const char* section);
