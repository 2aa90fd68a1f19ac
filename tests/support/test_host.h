// Test host for the Win32 tests: stands in for the Norvale host as far as a
// daemon can see it. It hands out a real 918-byte host interface record whose
// four operations record every call (what, in which order, with which texts,
// from which thread) and answer as configured; it builds a real MDI frame with
// a menu bar, an MDI client and module windows; and it loads the built
// orbwick.dll afresh for each test, so the daemon's state starts zeroed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host_record.h"

namespace testhost {

enum class Op { QueryValue, MergeSection, ModuleState, WriteLog };

struct HostCall {
    Op op = Op::QueryValue;
    int32_t number = 0;       // QueryValue index / WriteLog level
    std::string text;         // module name, log text or section
    std::string fileName;     // MergeSection's file
    std::string fileBytes;    // MergeSection: the file's bytes at the time of the call
    bool fileExisted = false; // MergeSection: whether the file existed then
    DWORD threadId = 0;
    double timeMs = 0;        // NowMs() when the call arrived
};

// The host's clock: milliseconds from an arbitrary start, fine-grained
// (performance counter), comparable across threads.
double NowMs();

// The recording host operations. One instance at a time (the operations are
// plain function pointers without a context argument).
class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    // A record with the four operations set and every other byte patterned,
    // so a daemon that reads the wrong offset is caught.
    HostRecord MakeRecord(uint8_t major, uint8_t minor) const;

    // Answers. The base directory may be absent (a null pointer).
    void SetBaseDirectory(std::optional<std::string> directory);
    void SetMainWindow(HWND window);
    void SetMergeAnswer(int32_t answer);
    void SetModuleState(char letter, int32_t answer);  // default: -1, absent
    void SetOnMerge(std::function<void()> callback);   // runs inside MergeSection

    std::vector<HostCall> Calls() const;
    std::vector<HostCall> CallsOf(Op op) const;
    std::vector<std::string> LogLines(int32_t level) const;  // texts of WriteLog at that level
    void ClearCalls();

private:
    friend struct HostThunks;
    void Record(HostCall call);

    mutable std::mutex mutex_;
    std::vector<HostCall> calls_;
    std::optional<std::string> baseDirectory_;
    HWND mainWindow_ = nullptr;
    int32_t mergeAnswer_ = 1;
    int32_t moduleStates_[26];
    std::function<void()> onMerge_;
};

// The built orbwick.dll (or a test build of the daemon by another name),
// loaded for the lifetime of this object.
class DaemonLibrary {
public:
    explicit DaemonLibrary(const wchar_t* name = L"orbwick.dll");
    ~DaemonLibrary();
    DaemonLibrary(const DaemonLibrary&) = delete;
    DaemonLibrary& operator=(const DaemonLibrary&) = delete;

    HMODULE module() const { return module_; }
    int32_t Startup(const HostRecord& record) const;
    int32_t Daemon() const;
    int32_t Closedown() const;
    void Unload();  // FreeLibrary now instead of at destruction

private:
    HMODULE module_ = nullptr;
    using StartupFn = int32_t(__cdecl*)(const HostRecord*);
    using PlainFn = int32_t(__cdecl*)();
    StartupFn startup_ = nullptr;
    PlainFn daemon_ = nullptr;
    PlainFn closedown_ = nullptr;
};

// A real MDI frame window like the host's: a menu bar of three popups
// ("File", "Edit", "Window"), an MDI client, and module windows added on
// request. Records the WM_COMMAND identifiers its window procedure receives.
class HostFrame {
public:
    HostFrame();
    ~HostFrame();
    HostFrame(const HostFrame&) = delete;
    HostFrame& operator=(const HostFrame&) = delete;

    HWND frame() const { return frame_; }
    HWND client() const { return client_; }

    // An MDI child of class "NVLMDICHILD" with this title, shown.
    HWND AddMdiChild(const std::wstring& title);
    // A child window of the given class (registered on first use) inside parent.
    HWND AddChildWindow(HWND parent, const std::wstring& className, int controlId = 0);
    // An MDI child titled title holding one window of class className; returns
    // the inner window (the slot window).
    HWND AddModuleWindow(const std::wstring& title, const std::wstring& className);

    const std::vector<unsigned>& commandsReceived() const { return commands_; }

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND frame_ = nullptr;
    HWND client_ = nullptr;
    std::vector<unsigned> commands_;
};

// Pumps this thread's messages the way the host does (every message through
// CallMsgFilterW before dispatch) until done() is true or timeoutMs passed.
// Returns done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Pumps for the given time.
void PumpFor(DWORD milliseconds);

// Posts a WM_COMMAND to window and pumps until it has been dispatched.
void SendMenuCommand(HWND window, unsigned command);

}  // namespace testhost
