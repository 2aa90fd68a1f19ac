#include "recording_host.h"

#include <cstdio>
#include <cstring>

namespace hostmodel {

namespace {

RecordingHost* g_host = nullptr;

std::string ReadWholeFile(const char* name, bool* existed) {
    std::string bytes;
    FILE* file = std::fopen(name, "rb");
    *existed = file != nullptr;
    if (file == nullptr) {
        return bytes;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, got);
    }
    std::fclose(file);
    return bytes;
}

}  // namespace

// The host operations handed to the daemon; each records its call and answers
// from the current RecordingHost.
struct HostThunks {
    static int32_t __cdecl QueryValue(int32_t index) {
        HostCall call;
        call.op = Op::QueryValue;
        call.number = index;
        g_host->Record(call);
        std::lock_guard<HostLock> lock(g_host->mutex_);
        if (index == kQueryMainWindow) {
            return static_cast<int32_t>(reinterpret_cast<intptr_t>(g_host->mainWindow_));
        }
        if (index == kQueryBaseDirectory) {
            return g_host->baseDirectory_
                       ? static_cast<int32_t>(reinterpret_cast<intptr_t>(g_host->baseDirectory_->c_str()))
                       : 0;
        }
        return 0;
    }

    static int32_t __cdecl MergeSection(const char* section, const char* fileName) {
        HostCall call;
        call.op = Op::MergeSection;
        call.text = section != nullptr ? section : "";
        call.fileName = fileName != nullptr ? fileName : "";
        if (g_host->IsRecording() && fileName != nullptr) {
            call.fileBytes = ReadWholeFile(fileName, &call.fileExisted);
        }
        g_host->Record(call);
        std::function<void()> onMerge;
        std::function<int32_t(const char*, const char*)> handler;
        int32_t answer;
        {
            std::lock_guard<HostLock> lock(g_host->mutex_);
            onMerge = g_host->onMerge_;
            handler = g_host->mergeHandler_;
            answer = g_host->mergeAnswer_;
        }
        if (onMerge) {
            onMerge();
        }
        return handler ? handler(section, fileName) : answer;
    }

    static int32_t __cdecl ModuleState(const char* moduleName, int32_t zero1, int32_t zero2) {
        HostCall call;
        call.op = Op::ModuleState;
        call.text = moduleName != nullptr ? moduleName : "";
        call.number = zero1 | zero2;
        g_host->Record(call);
        std::lock_guard<HostLock> lock(g_host->mutex_);
        const size_t length = moduleName != nullptr ? std::strlen(moduleName) : 0;
        const unsigned char letter = length > 0 ? static_cast<unsigned char>(moduleName[length - 1]) : 0;
        if (length == 8 && std::strncmp(moduleName, "NORVALE", 7) == 0 && letter >= 'A' && letter <= 'Z') {
            return g_host->moduleStates_[letter - 'A'];
        }
        return kModuleAbsent;
    }

    static int32_t __cdecl WriteLog(int32_t ten, int32_t level, const char* text) {
        if (g_host->IsRecording()) {
            HostCall call;
            call.op = Op::WriteLog;
            call.number = level;
            call.text = text != nullptr ? text : "";
            call.fileName = std::to_string(ten);
            g_host->Record(call);
        }
        std::function<void(int32_t, const char*)> onLog;
        {
            std::lock_guard<HostLock> lock(g_host->mutex_);
            onLog = g_host->onLog_;
        }
        if (onLog && text != nullptr) {
            onLog(level, text);
        }
        return 0;
    }
};

RecordingHost::RecordingHost() {
    for (int32_t& state : moduleStates_) {
        state = kModuleAbsent;
    }
    g_host = this;
}

RecordingHost::~RecordingHost() { g_host = nullptr; }

HostRecord RecordingHost::MakeRecord(uint8_t major, uint8_t minor) const {
    HostRecord record;
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (size_t i = 0; i < sizeof record; ++i) {
        bytes[i] = static_cast<unsigned char>(0xA5 ^ i);
    }
    record.majorVersion = major;
    record.minorVersion = minor;
    record.QueryValue = &HostThunks::QueryValue;
    record.MergeSection = &HostThunks::MergeSection;
    record.ModuleState = &HostThunks::ModuleState;
    record.WriteLog = &HostThunks::WriteLog;
    return record;
}

void RecordingHost::SetBaseDirectory(std::optional<std::string> directory) {
    std::lock_guard<HostLock> lock(mutex_);
    baseDirectory_ = std::move(directory);
}

void RecordingHost::SetMainWindow(HWND window) {
    std::lock_guard<HostLock> lock(mutex_);
    mainWindow_ = window;
}

void RecordingHost::SetMergeAnswer(int32_t answer) {
    std::lock_guard<HostLock> lock(mutex_);
    mergeAnswer_ = answer;
}

void RecordingHost::SetModuleState(char letter, int32_t answer) {
    std::lock_guard<HostLock> lock(mutex_);
    moduleStates_[letter - 'A'] = answer;
}

void RecordingHost::SetOnMerge(std::function<void()> callback) {
    std::lock_guard<HostLock> lock(mutex_);
    onMerge_ = std::move(callback);
}

double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void RecordingHost::SetMergeHandler(std::function<int32_t(const char*, const char*)> handler) {
    std::lock_guard<HostLock> lock(mutex_);
    mergeHandler_ = std::move(handler);
}

void RecordingHost::SetOnLog(std::function<void(int32_t, const char*)> callback) {
    std::lock_guard<HostLock> lock(mutex_);
    onLog_ = std::move(callback);
}

void RecordingHost::SetRecording(bool recording) { recording_ = recording; }

bool RecordingHost::IsRecording() const { return recording_; }

void RecordingHost::Record(HostCall call) {
    if (!IsRecording()) {
        return;
    }
    call.threadId = GetCurrentThreadId();
    call.timeMs = NowMs();
    std::function<void(const HostCall&)> onCall;
    {
        std::lock_guard<HostLock> lock(mutex_);
        calls_.push_back(call);
        onCall = onCall_;
    }
    if (onCall) {
        onCall(call);
    }
}

void RecordingHost::SetOnCall(std::function<void(const HostCall&)> callback) {
    std::lock_guard<HostLock> lock(mutex_);
    onCall_ = std::move(callback);
}

std::vector<HostCall> RecordingHost::Calls() const {
    std::lock_guard<HostLock> lock(mutex_);
    return calls_;
}

std::vector<HostCall> RecordingHost::CallsOf(Op op) const {
    std::vector<HostCall> matching;
    for (const HostCall& call : Calls()) {
        if (call.op == op) {
            matching.push_back(call);
        }
    }
    return matching;
}

std::vector<std::string> RecordingHost::LogLines(int32_t level) const {
    std::vector<std::string> lines;
    for (const HostCall& call : CallsOf(Op::WriteLog)) {
        if (call.number == level) {
            lines.push_back(call.text);
        }
    }
    return lines;
}

void RecordingHost::ClearCalls() {
    std::lock_guard<HostLock> lock(mutex_);
    calls_.clear();
}

}  // namespace hostmodel
