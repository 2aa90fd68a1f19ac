// The host's window tree: an MDI frame with its menu bar, the MDI client
// (with or without a window menu), "NVLMDICHILD" children each holding one
// module window, and the host's module, core and system windows from its
// module table. A scenario says what differs (menus, the window menu, the
// program's own reactions); the frame records the WM_COMMAND identifiers it
// receives. User-interface thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace hostmodel {

struct MenuItemLayout {
    UINT id;
    const wchar_t* text;
};

struct PopupLayout {
    const wchar_t* name;
    std::vector<MenuItemLayout> items;
};

// What the frame's own window procedure does before the platform's default:
// returns true when it handled the message, with its result in `result`.
using FrameHandler = std::function<bool(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

struct FrameLayout {
    const wchar_t* title = L"Norvale test host";
    int width = 800;
    int height = 600;
    // The menu bar; daemons add to the third popup.
    std::vector<PopupLayout> menus = {
        {L"File", {{100, L"Item"}}}, {L"Edit", {{100, L"Item"}}}, {L"Window", {{100, L"Item"}}}};
    // The third popup is the MDI client's window menu, where the platform keeps
    // a separator and the list of the MDI children at the end.
    bool windowMenu = true;
    FrameHandler handler;
    // Called when the button kStartButtonId of a module window is clicked,
    // with the title of the module's MDI child.
    std::function<void(const std::wstring& title)> onStartButton;
    // The host's reaction to WM_COMMAND kReloadConfigCommand, which a daemon
    // sends after the host has merged a section: re-read the configuration.
    std::function<void()> onReloadConfig;
};

// The identifier of the first MDI child in the window menu's list.
constexpr UINT kFirstChildId = 50000;

// A shown child control of a predefined or registered class inside parent,
// with the given text, extra style, control id and place.
HWND CreateControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, const RECT& where);

class HostFrame {
public:
    explicit HostFrame(FrameLayout layout = FrameLayout());
    ~HostFrame();
    HostFrame(const HostFrame&) = delete;
    HostFrame& operator=(const HostFrame&) = delete;

    HWND frame() const { return frame_; }
    HWND client() const { return client_; }

    // An MDI child of class "NVLMDICHILD" with this title, at `where` (the
    // platform's default place when null), with this style (shown unless the
    // style says otherwise; the MDI client must allow a style without the
    // usual frame, see MDIS_ALLCHILDSTYLES).
    HWND AddMdiChild(const std::wstring& title, const RECT* where = nullptr,
                     DWORD style = WS_VISIBLE | WS_CLIPCHILDREN);
    // A child window of the given class (registered on first use) inside
    // parent, 200 by 100 at the top left unless `where` says otherwise.
    HWND AddChildWindow(HWND parent, const std::wstring& className, int controlId = 0, const RECT* where = nullptr);
    // An MDI child titled title holding one window of class className; returns
    // the inner window (the slot window). The inner window fills its MDI child.
    HWND AddModuleWindow(const std::wstring& title, const std::wstring& className, const RECT* where = nullptr);

    // The host's own windows from its module table; each returns the module
    // window inside the MDI child. Module D's window holds button 201.
    HWND AddHostModule(int index, const RECT* where = nullptr);
    HWND AddCoreWindow(const RECT* where = nullptr);
    // "System Messages" and "System Statistics"; return the MDI children.
    HWND AddSystemMessages(const RECT* where = nullptr);
    HWND AddSystemStatistics(const RECT* where = nullptr);

    // Destroys an MDI child of the client with the windows inside it, as the
    // host does when a module stops; false when `child` is no window.
    bool RemoveMdiChild(HWND child);
    // The host restarting module `index`: its MDI child `oldChild` (with the
    // module window) is destroyed, and a new one is made by AddHostModule at
    // the old child's place (restored place when it was minimised or
    // maximised), shown, where new children go in the window order. Returns
    // the new module window; null, with nothing made, when `oldChild` is no
    // window or its place cannot be read.
    HWND RestartHostModule(HWND oldChild, int index);

    const std::vector<unsigned>& commandsReceived() const { return commands_; }

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ModuleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    FrameLayout layout_;
    HWND frame_ = nullptr;
    HWND client_ = nullptr;
    std::vector<unsigned> commands_;
};

// The host's handling of one message: the message-filter hook chain first
// (CallMsgFilterW, where daemons see the frame's commands; a nonzero answer
// consumes it), then the MDI keys when a client is given, then dispatch.
void DispatchLikeHost(MSG& message, HWND client);
// The host's message loop until WM_QUIT; returns its exit code.
int RunHostLoop(HWND client);
// Pumps this thread's messages the way the host does until done() is true or
// timeoutMs passed, waking at least every pollMs. Returns done()'s last answer.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 10);
// Pumps for the given time.
void PumpFor(DWORD milliseconds);
// Posts a WM_COMMAND to window and pumps until it has been dispatched.
void SendMenuCommand(HWND window, unsigned command);

}  // namespace hostmodel
