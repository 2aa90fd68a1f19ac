#include "host_operations.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "config_file.h"
#include "host_log.h"
#include "host_state.h"
#include "module_windows.h"
#include "section_merge.h"

namespace {

constexpr int32_t kModuleRunning = 3;  // status bits 0 and 1: present and serving
const char kModuleNamePrefix[] = "NORVALE";
constexpr size_t kModuleNameLength = 8;

int32_t __cdecl QueryValue(int32_t index) {
    switch (index) {
    case kQueryMainWindow:
        return static_cast<int32_t>(reinterpret_cast<intptr_t>(Host().frame));
    case kQueryBaseDirectory:
        return static_cast<int32_t>(reinterpret_cast<intptr_t>(Host().baseDirAnsi.c_str()));
    default:
        return 0;
    }
}

// "NORVALE" + one module letter, exactly; case as the daemon sends it.
int32_t __cdecl ModuleState(const char* moduleName, int32_t, int32_t) {
    if (moduleName == nullptr || std::strlen(moduleName) != kModuleNameLength ||
        std::strncmp(moduleName, kModuleNamePrefix, kModuleNameLength - 1) != 0) {
        return kModuleAbsent;
    }
    const int index = ModuleIndexOfLetter(moduleName[kModuleNameLength - 1]);
    if (index < 0 || !Host().moduleStarted[index].load()) {
        return kModuleAbsent;
    }
    return kModuleRunning;
}

int32_t __cdecl WriteLog(int32_t, int32_t level, const char* text) {
    LogAnsi(level, text);
    return 0;
}

int32_t RefuseMerge(const std::string& why) {
    LogLine(kHostLevelError, L"MergeSection refused: " + FromAnsi(why));
    return 0;
}

// Reads the update file (relative to the current directory), merges its lines
// into the named section of norvale.ini and writes the file atomically.
int32_t __cdecl MergeSection(const char* section, const char* fileName) {
    if (section == nullptr || fileName == nullptr) {
        return RefuseMerge("missing section or file name");
    }
    if (Host().options.mergeFails) {
        return RefuseMerge(std::string(section) + " from " + fileName + " (--merge-fails)");
    }
    const auto name = SectionNameFromHeader(section);
    if (!name) {
        return RefuseMerge(std::string("not a section header: ") + section);
    }
    std::string lines;
    if (!ReadWholeFile(FromAnsi(fileName), lines, false)) {
        return RefuseMerge(std::string("cannot read ") + fileName);
    }
    std::string config;
    const std::wstring configPath = ConfigFilePath();
    if (!ReadWholeFile(configPath, config, true)) {
        return RefuseMerge("cannot read " + ToAnsi(configPath));
    }
    if (!WriteFileAtomically(configPath, MergeSectionText(config, *name, lines))) {
        return RefuseMerge("cannot write " + ToAnsi(configPath));
    }
    LogLine(kHostLevelInfo, L"MergeSection: " + FromAnsi(section) + L" of " + configPath + L" replaced with the lines of " +
                                FromAnsi(fileName));
    return 1;
}

HostRecord MakeRecord() {
    HostRecord record;
    std::memset(&record, 0, sizeof record);
    record.majorVersion = Host().options.majorVersion;
    record.minorVersion = Host().options.minorVersion;
    record.QueryValue = QueryValue;
    record.MergeSection = MergeSection;
    record.ModuleState = ModuleState;
    record.WriteLog = WriteLog;
    return record;
}

}  // namespace

const HostRecord& HostInterfaceRecord() {
    static const HostRecord record = MakeRecord();
    return record;
}
