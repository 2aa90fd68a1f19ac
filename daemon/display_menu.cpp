#include "display_menu.h"

#include <string>

#include "daemon_state.h"

namespace {

const wchar_t kDisplayControlText[] = L"Display control";
const wchar_t kHideAllText[] = L"Hide all";
const wchar_t kShowAllText[] = L"Show all";
const wchar_t kSaveSettingsText[] = L"Save settings";
const wchar_t kMissingWindowLabelPrefix[] = L"Module ";

constexpr int kHostMenuPosition = 2;  // the third top-level menu
// A title is read into a buffer one longer than the read allows: at most 143
// characters and the terminating zero arrive.
constexpr int kTitleBufferLength = 145;
constexpr int kTitleReadLength = 144;
// A title whose 8th character is a space gets the module letter there.
constexpr size_t kLetterPosition = 7;

// "Module " + letter when the module's window was not found; otherwise the
// title of the module's MDI child, with the letter put in front of its 8th
// character when that is a space. A window that does not answer gives an
// empty label.
std::wstring ModuleMenuLabel(int index) {
    const wchar_t letter = static_cast<wchar_t>(static_cast<unsigned char>(ModuleLetter(index)));
    HWND slotWindow = SlotWindow(index);
    if (slotWindow == nullptr) {
        return kMissingWindowLabelPrefix + std::wstring(1, letter);
    }
    wchar_t buffer[kTitleBufferLength] = {};
    SendMessageW(GetParent(slotWindow), WM_GETTEXT, kTitleReadLength, reinterpret_cast<LPARAM>(buffer));
    std::wstring label = buffer;
    if (label.size() > kLetterPosition && label[kLetterPosition] == L' ') {
        label.insert(kLetterPosition, 1, letter);
    }
    return label;
}

void AppendWindowItem(HMENU popup, unsigned command, const wchar_t* text, bool checked) {
    AppendMenuW(popup, MF_STRING, command, text);
    if (checked) {
        CheckMenuItem(popup, command, MF_BYCOMMAND | MF_CHECKED);
    }
}

void AppendModuleItems(HMENU popup) {
    for (int i = 0; i < kModuleCount; ++i) {
        if (InModuleSet(g_daemon.enabledSet, i)) {
            AppendWindowItem(popup, ModuleCommand(i), ModuleMenuLabel(i).c_str(),
                             !InModuleSet(g_daemon.hiddenSet, i));
        }
    }
}

void AppendFixedCommands(HMENU popup) {
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(popup, MF_STRING, IDM_HIDE_ALL, kHideAllText);
    AppendMenuW(popup, MF_STRING, IDM_SHOW_ALL, kShowAllText);
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(popup, MF_STRING, IDM_SAVE_SETTINGS, kSaveSettingsText);
}

}  // namespace

void BuildDisplayMenu(std::atomic<HMENU>& menu) {
    if (menu.load() != nullptr) {
        return;
    }
    // With no frame, no menu bar or no third popup this is 0, and the two
    // appends to it below change nothing.
    HMENU hostMenu = GetSubMenu(GetMenu(g_daemon.mainWindow), kHostMenuPosition);
    AppendMenuW(hostMenu, MF_SEPARATOR, 0, nullptr);

    HMENU popup = CreatePopupMenu();
    menu = popup;
    AppendWindowItem(popup, IDM_CORE_WINDOW, kCoreWindowLabel, true);
    AppendModuleItems(popup);
    AppendFixedCommands(popup);

    AppendMenuW(hostMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), kDisplayControlText);
    DrawMenuBar(g_daemon.mainWindow);
}
