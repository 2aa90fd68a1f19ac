// The command line of norvhost: what a demo or a test asks of the stand-in
// host. Parsing is free of platform calls; see HostUsageText for the options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ScriptedCommand {
    uint32_t atMs;       // counted from the start of the script
    uint32_t commandId;  // posted to the frame as WM_COMMAND
};

struct LateStart {
    char letter;       // module letter, upper case
    uint32_t delayMs;  // counted from the host's start
};

struct ModuleRestart {
    char letter;    // module letter, upper case
    uint32_t atMs;  // counted from the start of the script
};

struct HostOptions {
    std::wstring baseDir;  // empty: the current directory
    uint8_t majorVersion = 4;
    uint8_t minorVersion = 70;
    std::optional<std::string> modules;  // letters; absent: [Protocols] decides
    std::vector<LateStart> late;
    std::string never;                      // letters of modules that never start
    uint32_t runMs = 0;                     // 0: run until closed
    std::vector<ScriptedCommand> commands;  // in the order given
    std::vector<ModuleRestart> restarts;    // in the order given
    std::optional<uint32_t> openMenuMs;
    std::wstring screenshot;  // PNG file; empty: none
    std::optional<uint32_t> screenshotMs;
    std::optional<uint32_t> afterMenuTimeoutMs;  // script counts from the daemon's menu
    bool mergeFails = false;
    bool autoCloseBoxes = false;
    bool windowMenu = false;            // "Window" is the MDI client's window menu
    std::wstring logFile;               // empty: norvhost.log in the base directory
    std::wstring stateFile;             // empty: no report
    std::vector<std::wstring> daemons;  // empty: orbwick.dll beside the program
    bool help = false;
    bool version = false;  // print norvhost's own version and exit
};

// Parses the arguments after the program name. Returns false and an error text
// naming the offending argument when an option is unknown, lacks its value or
// has a malformed one; `options` may then be partly filled. Module letters are
// accepted in either case and stored in upper case.
bool ParseHostOptions(const std::vector<std::wstring>& args, HostOptions& options, std::wstring& error);

// The usage text printed by --help and after a command-line error.
const wchar_t* HostUsageText();
