#include "state_report.h"

#include <string>

#include "config_file.h"
#include "host_log.h"
#include "host_state.h"
#include "host_modules.h"

namespace {

const wchar_t kDisplayControlText[] = L"Display control";
constexpr int kHostMenuPosition = 2;
constexpr int kTextCapacity = 256;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring MenuItemText(HMENU menu, UINT position) {
    wchar_t text[kTextCapacity] = {};
    GetMenuStringW(menu, position, text, kTextCapacity - 1, MF_BYPOSITION);
    return text;
}

std::string WindowLines() {
    std::string lines;
    for (HWND child = GetWindow(Host().client, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[kTextCapacity] = {};
        wchar_t title[kTextCapacity] = {};
        GetClassNameW(child, className, kTextCapacity - 1);
        if (lstrcmpW(className, hostmodel::kMdiChildClass) != 0) {
            continue;
        }
        GetWindowTextW(child, title, kTextCapacity - 1);
        lines += "window\t" + ToUtf8(title) + (IsWindowVisible(child) ? "\tvisible\n" : "\thidden\n");
    }
    return lines;
}

// How many items of the host menu read "Display control".
int DisplayControlItems() {
    const HMENU hostMenu = GetSubMenu(GetMenu(Host().frame), kHostMenuPosition);
    const int count = hostMenu != nullptr ? GetMenuItemCount(hostMenu) : 0;
    int found = 0;
    for (int i = 0; i < count; ++i) {
        found += MenuItemText(hostMenu, static_cast<UINT>(i)) == kDisplayControlText ? 1 : 0;
    }
    return found;
}

std::string MenuLines(HMENU menu) {
    std::string lines = std::string("menu\tDisplay control\t") + (menu != nullptr ? "present\n" : "absent\n");
    lines += "count\tDisplay control\t" + std::to_string(DisplayControlItems()) + "\n";
    const int count = menu != nullptr ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        if (state & MF_SEPARATOR) {
            lines += "separator\n";
            continue;
        }
        const UINT id = GetMenuItemID(menu, i);
        lines += "item\t" + std::to_string(id) + ((state & MF_CHECKED) ? "\tchecked\t" : "\tunchecked\t") +
                 ToUtf8(MenuItemText(menu, static_cast<UINT>(i))) + "\n";
    }
    return lines;
}

}  // namespace

// By its text: with --window-menu the MDI client's list of children follows it.
HMENU FindDisplayControlMenu() {
    const HMENU hostMenu = GetSubMenu(GetMenu(Host().frame), kHostMenuPosition);
    const int count = hostMenu != nullptr ? GetMenuItemCount(hostMenu) : 0;
    for (int i = 0; i < count; ++i) {
        if (MenuItemText(hostMenu, static_cast<UINT>(i)) == kDisplayControlText) {
            return GetSubMenu(hostMenu, i);
        }
    }
    return nullptr;
}

bool WriteStateReport(const std::wstring& path) {
    const std::string report = WindowLines() + MenuLines(FindDisplayControlMenu());
    if (!WriteFileAtomically(path, report)) {
        LogLine(kHostLevelError, L"State report could not be written to " + path);
        return false;
    }
    LogLine(kHostLevelInfo, L"State report written to " + path);
    return true;
}
