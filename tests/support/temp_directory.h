// A fresh directory under the temp directory for one test, and the two file
// questions the tests ask of what the daemon leaves behind.
#pragma once

#include <string>

namespace fixture {

// A directory of its own (its name holds the process identifier, the tick
// count and a counter), removed with everything in it at destruction.
// Throws std::runtime_error when no such directory can be created (after a
// bounded number of tries), which fails the test that asked for it.
// Path() ends in "\".
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return path_; }
    // Writes bytes to Path() + name, replacing the file; false when the file
    // could not be created or written completely.
    [[nodiscard]] bool WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// A plain file (not a directory) of this name exists.
bool FileExists(const std::string& name);
// A directory of this name exists.
bool DirectoryExists(const std::string& name);

}  // namespace fixture
