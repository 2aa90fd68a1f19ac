#include "host_operations.h"

#include <windows.h>

#include <string>

#include "config_file.h"
#include "host_log.h"
#include "host_modules.h"
#include "host_state.h"
#include "recording_host.h"
#include "section_merge.h"

namespace {

constexpr int32_t kModuleRunning = 3;  // status bits 0 and 1: present and serving
constexpr int32_t kModuleNotStarted = -1;

hostmodel::RecordingHost& Operations() {
    static hostmodel::RecordingHost operations;
    return operations;
}

int32_t RefuseMerge(const std::string& why) {
    LogLine(kHostLevelError, L"MergeSection refused: " + FromAnsi(why));
    return 0;
}

// Reads the update file (relative to the current directory), merges its lines
// into the named section of norvale.ini and writes the file atomically.
int32_t MergeIntoConfiguration(const char* section, const char* fileName) {
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
    LogLine(kHostLevelInfo, L"MergeSection: " + FromAnsi(section) + L" of " + configPath +
                                L" replaced with the lines of " + FromAnsi(fileName));
    return 1;
}

HostRecord MakeRecord() {
    hostmodel::RecordingHost& operations = Operations();
    operations.SetRecording(false);
    operations.SetMainWindow(Host().frame);
    operations.SetBaseDirectory(Host().baseDirAnsi);
    operations.SetOnLog([](int32_t level, const char* text) { LogAnsi(level, text); });
    operations.SetMergeHandler(&MergeIntoConfiguration);
    return operations.MakeRecord(Host().options.majorVersion, Host().options.minorVersion);
}

}  // namespace

const HostRecord& HostInterfaceRecord() {
    static const HostRecord record = MakeRecord();
    return record;
}

void ReportModuleRunning(int index) { Operations().SetModuleState(hostmodel::ModuleLetter(index), kModuleRunning); }

void ReportModuleStopped(int index) { Operations().SetModuleState(hostmodel::ModuleLetter(index), kModuleNotStarted); }
