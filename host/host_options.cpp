#include "host_options.h"

#include <cstring>
#include <cwctype>
#include <functional>
#include <map>

#include "host_modules.h"

namespace {

const wchar_t kUsage[] =
    L"usage: norvhost.exe [options]\n"
    L"A stand-in Norvale host: an MDI frame with module windows that loads daemons.\n"
    L"  --base-dir <dir>        base directory with norvale.ini (default: current directory)\n"
    L"  --host-version <maj>.<min>  host version reported to daemons (default 4.70)\n"
    L"  --modules <letters>     modules that run, from SPECDHFWXIB (default: [Protocols] of norvale.ini)\n"
    L"  --late <letter>=<ms>    start that module <ms> after the host (repeatable)\n"
    L"  --never <letters>       these modules never start\n"
    L"  --restart <letter>=<ms> at script time <ms>, destroy that module's window and make it anew\n"
    L"                          (repeatable)\n"
    L"  --daemon <path>         daemon DLL to load (repeatable; default orbwick.dll beside the program)\n"
    L"  --run-ms <ms>           close by itself after <ms> (default: run until closed)\n"
    L"  --commands <list>       scripted WM_COMMANDs: \"<ms>:<id>,<ms>:<id>,...\"\n"
    L"  --open-menu <ms>        open the \"Display control\" menu at <ms>\n"
    L"  --screenshot <file>     write a PNG of the host once that menu is open (or at --screenshot-ms)\n"
    L"  --screenshot-ms <ms>    time of the screenshot when no menu is opened\n"
    L"  --after-menu <ms>       script times count from the appearance of the daemon's menu\n"
    L"                          (waiting at most <ms> for it) instead of from the start\n"
    L"  --merge-fails           MergeSection refuses every update (answers 0)\n"
    L"  --auto-close-boxes      log the text of every message box and press its OK button\n"
    L"  --window-menu           the \"Window\" menu is the MDI client's window menu (the list\n"
    L"                          of MDI children at its end), with its viewer commands\n"
    L"  --log <file>            log file (default norvhost.log in the base directory)\n"
    L"  --state <file>          at exit, write the MDI children's visibility and the\n"
    L"                          Display control menu's items to <file>\n"
    L"  --version               print norvhost's own version\n"
    L"  --help                  this text\n";

bool ParseNumber(const std::wstring& text, uint32_t& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    uint32_t result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        result = result * 10 + static_cast<uint32_t>(c - L'0');
    }
    value = result;
    return true;
}

bool ParseByte(const std::wstring& text, uint8_t& value) {
    uint32_t number = 0;
    if (!ParseNumber(text, number) || number > 255) {
        return false;
    }
    value = static_cast<uint8_t>(number);
    return true;
}

bool ParseVersion(const std::wstring& text, HostOptions& options) {
    const size_t dot = text.find(L'.');
    return dot != std::wstring::npos && ParseByte(text.substr(0, dot), options.majorVersion) &&
           ParseByte(text.substr(dot + 1), options.minorVersion);
}

bool ParseLetter(wchar_t c, char& letter) {
    const wchar_t upper = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    if (upper > 127 || upper == 0 || std::strchr(hostmodel::kModuleLetters, static_cast<char>(upper)) == nullptr) {
        return false;
    }
    letter = static_cast<char>(upper);
    return true;
}

bool ParseLetters(const std::wstring& text, std::string& letters) {
    letters.clear();
    for (wchar_t c : text) {
        char letter = 0;
        if (!ParseLetter(c, letter)) {
            return false;
        }
        if (letters.find(letter) == std::string::npos) {
            letters += letter;
        }
    }
    return true;
}

// "<letter>=<ms>", as --late and --restart take it.
bool ParseLetterTime(const std::wstring& text, char& letter, uint32_t& ms) {
    return text.size() >= 3 && text[1] == L'=' && ParseLetter(text[0], letter) && ParseNumber(text.substr(2), ms);
}

bool ParseLate(const std::wstring& text, HostOptions& options) {
    LateStart late{};
    if (!ParseLetterTime(text, late.letter, late.delayMs)) {
        return false;
    }
    options.late.push_back(late);
    return true;
}

bool ParseRestart(const std::wstring& text, HostOptions& options) {
    ModuleRestart restart{};
    if (!ParseLetterTime(text, restart.letter, restart.atMs)) {
        return false;
    }
    options.restarts.push_back(restart);
    return true;
}

bool ParseOneCommand(const std::wstring& item, HostOptions& options) {
    const size_t colon = item.find(L':');
    ScriptedCommand command{};
    if (colon == std::wstring::npos || !ParseNumber(item.substr(0, colon), command.atMs) ||
        !ParseNumber(item.substr(colon + 1), command.commandId) || command.commandId > 0xFFFF) {
        return false;
    }
    options.commands.push_back(command);
    return true;
}

bool ParseCommands(const std::wstring& text, HostOptions& options) {
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(L',', start);
        if (!ParseOneCommand(text.substr(start, comma - start), options)) {
            return false;
        }
        if (comma == std::wstring::npos) {
            return true;
        }
        start = comma + 1;
    }
}

bool SetOptional(const std::wstring& text, std::optional<uint32_t>& target) {
    uint32_t value = 0;
    if (!ParseNumber(text, value)) {
        return false;
    }
    target = value;
    return true;
}

bool ParseModules(const std::wstring& text, HostOptions& options) {
    std::string letters;
    if (!ParseLetters(text, letters)) {
        return false;
    }
    options.modules = letters;
    return true;
}

using ValueParser = std::function<bool(const std::wstring&, HostOptions&)>;

const std::map<std::wstring, ValueParser>& ValueOptions() {
    static const std::map<std::wstring, ValueParser> table = {
        {L"--base-dir",
         [](const std::wstring& v, HostOptions& o) {
             o.baseDir = v;
             return !v.empty();
         }},
        {L"--host-version", ParseVersion},
        {L"--modules", ParseModules},
        {L"--late", ParseLate},
        {L"--restart", ParseRestart},
        {L"--never", [](const std::wstring& v, HostOptions& o) { return ParseLetters(v, o.never); }},
        {L"--daemon",
         [](const std::wstring& v, HostOptions& o) {
             o.daemons.push_back(v);
             return !v.empty();
         }},
        {L"--run-ms", [](const std::wstring& v, HostOptions& o) { return ParseNumber(v, o.runMs); }},
        {L"--commands", ParseCommands},
        {L"--open-menu", [](const std::wstring& v, HostOptions& o) { return SetOptional(v, o.openMenuMs); }},
        {L"--screenshot",
         [](const std::wstring& v, HostOptions& o) {
             o.screenshot = v;
             return !v.empty();
         }},
        {L"--screenshot-ms", [](const std::wstring& v, HostOptions& o) { return SetOptional(v, o.screenshotMs); }},
        {L"--after-menu", [](const std::wstring& v, HostOptions& o) { return SetOptional(v, o.afterMenuTimeoutMs); }},
        {L"--log",
         [](const std::wstring& v, HostOptions& o) {
             o.logFile = v;
             return !v.empty();
         }},
        {L"--state",
         [](const std::wstring& v, HostOptions& o) {
             o.stateFile = v;
             return !v.empty();
         }},
    };
    return table;
}

bool ParseFlag(const std::wstring& arg, HostOptions& options) {
    if (arg == L"--merge-fails") {
        options.mergeFails = true;
    } else if (arg == L"--auto-close-boxes") {
        options.autoCloseBoxes = true;
    } else if (arg == L"--window-menu") {
        options.windowMenu = true;
    } else if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
        options.help = true;
    } else if (arg == L"--version") {
        options.version = true;
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool ParseHostOptions(const std::vector<std::wstring>& args, HostOptions& options, std::wstring& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (ParseFlag(arg, options)) {
            continue;
        }
        const auto found = ValueOptions().find(arg);
        if (found == ValueOptions().end()) {
            error = L"unknown option: " + arg;
            return false;
        }
        if (i + 1 == args.size()) {
            error = L"missing value after " + arg;
            return false;
        }
        ++i;
        if (!found->second(args[i], options)) {
            error = L"bad value for " + arg + L": " + args[i];
            return false;
        }
    }
    return true;
}

const wchar_t* HostUsageText() { return kUsage; }
