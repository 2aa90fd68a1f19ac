// The host's four operations behind a real 918-byte host interface record.
// Each call may be recorded (what, in which order, with which texts, from
// which thread, at what time) and answers as configured. One instance at a
// time: the operations are plain function pointers without a context
// argument. Every member may be called from any thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host_lock.h"
#include "host_record.h"

namespace hostmodel {

enum class Op { QueryValue, MergeSection, ModuleState, WriteLog };

struct HostCall {
    Op op = Op::QueryValue;
    int32_t number = 0;        // QueryValue index / WriteLog level
    std::string text;          // module name, log text or section
    std::string fileName;      // MergeSection's file
    std::string fileBytes;     // MergeSection: the file's bytes at the time of the call
    bool fileExisted = false;  // MergeSection: whether the file existed then
    DWORD threadId = 0;
    double timeMs = 0;  // NowMs() when the call arrived
};

// The host's clock: milliseconds from an arbitrary start, fine-grained
// (performance counter), comparable across threads.
double NowMs();

class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    // A record with the four operations set and every other byte patterned,
    // so a daemon that reads the wrong offset is caught.
    HostRecord MakeRecord(uint8_t major, uint8_t minor) const;

    // Answers. QueryValue 8 answers the base directory, or 0 when it is absent;
    // QueryValue 6 the main window. ModuleState answers, for "NORVALE" and an
    // upper-case letter, what was set for the letter (default -1, absent).
    void SetBaseDirectory(std::optional<std::string> directory);
    void SetMainWindow(HWND window);
    void SetMergeAnswer(int32_t answer);  // default 1
    void SetModuleState(char letter, int32_t answer);
    void SetOnMerge(std::function<void()> callback);  // runs inside MergeSection
    // Runs inside MergeSection after the OnMerge callback; its result is the answer.
    void SetMergeHandler(std::function<int32_t(const char* section, const char* fileName)> handler);
    // Receives every WriteLog line (level, text) on the calling thread.
    void SetOnLog(std::function<void(int32_t level, const char* text)> callback);
    // Runs inside every recorded call of the four operations, on the calling
    // thread, before the operation answers.
    void SetOnCall(std::function<void(const HostCall&)> callback);
    // Whether calls are recorded (default true); off, the operations cost next to nothing.
    void SetRecording(bool recording);

    std::vector<HostCall> Calls() const;
    std::vector<HostCall> CallsOf(Op op) const;
    std::vector<std::string> LogLines(int32_t level) const;  // texts of WriteLog at that level
    void ClearCalls();

private:
    friend struct HostThunks;
    bool IsRecording() const;
    void Record(HostCall call);

    mutable HostLock mutex_;
    std::vector<HostCall> calls_;
    std::atomic<bool> recording_{true};
    std::optional<std::string> baseDirectory_;
    HWND mainWindow_ = nullptr;
    int32_t mergeAnswer_ = 1;
    int32_t moduleStates_[26];
    std::function<void()> onMerge_;
    std::function<int32_t(const char*, const char*)> mergeHandler_;
    std::function<void(int32_t, const char*)> onLog_;
    std::function<void(const HostCall&)> onCall_;
};

}  // namespace hostmodel
