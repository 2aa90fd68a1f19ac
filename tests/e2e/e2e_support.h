// Running norvhost.exe with orbwick.dll as a separate process for the
// end-to-end tests, and reading what it leaves behind: its log, its
// configuration file and its state report.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

// A fresh directory under the temporary directory, used as the host's base
// and current directory; removed with its files when the object goes.
class BaseDirectory {
public:
    BaseDirectory();
    ~BaseDirectory();
    BaseDirectory(const BaseDirectory&) = delete;
    BaseDirectory& operator=(const BaseDirectory&) = delete;

    const std::wstring& path() const { return path_; }  // ends in "\"
    std::wstring File(const wchar_t* name) const { return path_ + name; }
    void WriteFile(const wchar_t* name, const std::string& bytes) const;
    std::string ReadFile(const wchar_t* name) const;  // empty when missing
    bool Exists(const wchar_t* name) const;

private:
    std::wstring path_;
};

struct HostRun {
    bool finished = false;  // false: killed after the time limit
    DWORD exitCode = 0;
    std::string log;  // norvhost.log of the run
};

// Runs norvhost.exe (beside this test program, with orbwick.dll beside it)
// in `base`, with --base-dir, --log and --state added, and waits at most
// `limitMs` for it to end by itself.
HostRun RunHost(const BaseDirectory& base, const std::wstring& arguments, DWORD limitMs);

// The host's state report at exit.
struct MenuItem {
    unsigned id = 0;
    bool checked = false;
    std::string text;
};
struct HostState {
    std::map<std::string, bool> windowVisible;  // MDI child title -> visible
    bool menuPresent = false;
    int displayControlItems = 0;  // items of the host menu named "Display control"
    std::vector<MenuItem> items;  // separators left out
};
HostState ReadState(const BaseDirectory& base);

// Log lines whose text contains `part`.
std::vector<std::string> LogLinesWith(const std::string& log, const std::string& part);

}  // namespace e2e
