#include "display_menu.h"

#include <iterator>
#include <string>

#include "daemon_state.h"
#include "texts.h"
#include "worker_gate.h"
#include "window_text.h"

namespace {

constexpr int kHostMenuPosition = 2;  // the third top-level menu
// A title whose 8th character is a space gets the module letter there.
constexpr size_t kLetterPosition = 7;

// "Module " + letter when the module's window was not found; otherwise the
// title of the module's MDI child, with the letter put in front of its 8th
// character when that is a space. A window that does not answer gives an
// empty label.
std::wstring ModuleMenuLabel(WorkerGate& gate, int index) {
    const wchar_t letter = static_cast<wchar_t>(static_cast<unsigned char>(ModuleLetter(index)));
    HWND slotWindow = gate.slots[index];
    if (slotWindow == nullptr) {
        return kMissingWindowLabelPrefix + std::wstring(1, letter);
    }
    std::wstring label = gate.ReadWindowText(GetParent(slotWindow));
    if (label.size() > kLetterPosition && label[kLetterPosition] == L' ') {
        label.insert(kLetterPosition, 1, letter);
    }
    return label;
}

// False when the item could not be appended.
bool AppendWindowItem(HMENU popup, unsigned command, const wchar_t* text, bool checked) {
    if (!AppendMenuW(popup, MF_STRING, command, text)) {
        return false;
    }
    if (checked) {
        CheckMenuItem(popup, command, MF_BYCOMMAND | MF_CHECKED);
    }
    return true;
}

// A found window's item starts with the mark of what the window is now, read
// after its label: the hide pass has hidden the listed ones, and a command
// that reached the hook before the menu existed changed a window but no
// mark. A module whose window was not found starts checked unless it is
// listed as hidden.
bool StartsChecked(HWND slotWindow, bool listedHidden) {
    return slotWindow != nullptr ? IsWindowVisible(slotWindow) != FALSE : !listedHidden;
}

bool AppendModuleItems(WorkerGate& gate, HMENU popup) {
    for (int i = 0; i < kModuleCount; ++i) {
        if (InModuleSet(gate.enabledSet, i)) {
            const std::wstring label = ModuleMenuLabel(gate, i);
            if (!AppendWindowItem(popup, ModuleCommand(i), label.c_str(),
                                  StartsChecked(gate.slots[i], InModuleSet(gate.hiddenSet, i)))) {
                return false;
            }
        }
    }
    return true;
}

bool AppendFixedCommands(HMENU popup) {
    return AppendMenuW(popup, MF_SEPARATOR, 0, nullptr) && AppendMenuW(popup, MF_STRING, IDM_HIDE_ALL, kHideAllText) &&
           AppendMenuW(popup, MF_STRING, IDM_SHOW_ALL, kShowAllText) && AppendMenuW(popup, MF_SEPARATOR, 0, nullptr) &&
           AppendMenuW(popup, MF_STRING, IDM_SAVE_SETTINGS, kSaveSettingsText);
}

// Every item of the popup, in order; false when one could not be appended.
bool AppendAllItems(WorkerGate& gate, HMENU popup) {
    return AppendWindowItem(popup, IDM_CORE_WINDOW, kCoreWindowLabel, StartsChecked(gate.slots[kCoreSlot], false)) &&
           AppendModuleItems(gate, popup) && AppendFixedCommands(popup);
}

// The host's MDI client, the frame's child of the platform's class
// "MDIClient"; 0 when the frame has none.
HWND MdiClientOf(HWND frame) { return FindWindowExW(frame, nullptr, L"MDIClient", nullptr); }

// While an MDI child is maximised, the MDI client puts that child's system
// menu in front of the frame's own menus, so the host's third menu then
// stands at position 3 of the menu bar.
int HostMenuPosition(WorkerGate& gate, HWND mdiClient) {
    BOOL maximised = FALSE;
    if (mdiClient != nullptr && gate.Send(mdiClient, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximised)) != 0 &&
        maximised) {
        return kHostMenuPosition + 1;
    }
    return kHostMenuPosition;
}

// Asked for the item's type: GetMenuState's answer for a popup item carries
// the popup's item count in its high byte, where MF_SEPARATOR's bit lies too.
bool IsSeparator(HMENU menu, UINT position) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE;
    return GetMenuItemInfoW(menu, position, TRUE, &item) && (item.fType & MFT_SEPARATOR) != 0;
}

bool IsMdiChildCommand(HWND mdiClient, UINT command) {
    if (mdiClient == nullptr || command == static_cast<UINT>(-1)) {
        return false;
    }
    HWND child = GetDlgItem(mdiClient, static_cast<int>(command));
    return child != nullptr && GetParent(child) == mdiClient;
}

// Where the separator and the popup go in the host menu. When the host menu
// is the MDI client's window menu, it ends with the client's list of its
// children: a separator followed by their command ids, which the client
// deletes and rebuilds from that separator on whenever a child is activated,
// created or destroyed. The daemon's items then go ahead of that separator,
// out of the list's way; otherwise at the end.
UINT InsertPosition(HMENU hostMenu, HWND mdiClient) {
    const int count = GetMenuItemCount(hostMenu);
    for (int i = 0; i + 1 < count; ++i) {
        if (IsSeparator(hostMenu, static_cast<UINT>(i)) &&
            IsMdiChildCommand(mdiClient, GetMenuItemID(hostMenu, i + 1))) {
            return static_cast<UINT>(i);
        }
    }
    return count < 0 ? 0 : static_cast<UINT>(count);
}

// What an item of the host's menus is to a restart: an earlier Display
// control, something else, or not known because it could not be read.
enum class ItemKind { DisplayControl, Other, Unreadable };

// Whether a popup named Display control is the daemon's: it holds the
// fixed commands Hide all and Save settings. Its items are read one by one,
// by position, so an item that cannot be read is told apart from a command
// that is not there.
ItemKind KindOfPopup(HMENU popup) {
    const int count = GetMenuItemCount(popup);
    if (count < 0) {
        return ItemKind::Unreadable;
    }
    bool hideAll = false;
    bool save = false;
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID;
        if (!GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &item)) {
            return ItemKind::Unreadable;
        }
        hideAll = hideAll || item.wID == IDM_HIDE_ALL;
        save = save || item.wID == IDM_SAVE_SETTINGS;
    }
    return hideAll && save ? ItemKind::DisplayControl : ItemKind::Other;
}

// A Display control popup: an item with exactly that text whose popup holds
// the daemon's fixed commands.
ItemKind KindOfItem(HMENU menu, int position) {
    constexpr size_t kLength = std::size(kDisplayControlText) - 1;
    wchar_t text[kLength + 2] = {};  // room for one character more, to tell a longer text
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING | MIIM_SUBMENU;
    item.dwTypeData = text;
    item.cch = static_cast<UINT>(std::size(text));
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item)) {
        return ItemKind::Unreadable;
    }
    if (item.hSubMenu == nullptr || item.cch != kLength) {
        return ItemKind::Other;
    }
    for (size_t i = 0; i < kLength; ++i) {
        if (text[i] != kDisplayControlText[i]) {
            return ItemKind::Other;
        }
    }
    return KindOfPopup(item.hSubMenu);
}

// The popup of a menu bar's item (0 for a plain command); false when the item
// could not be read. GetSubMenu answers 0 for both.
bool ReadSubMenu(HMENU menuBar, int position, HMENU* popup) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_SUBMENU;
    if (!GetMenuItemInfoW(menuBar, static_cast<UINT>(position), TRUE, &item)) {
        return false;
    }
    *popup = item.hSubMenu;
    return true;
}

// Removes the earlier Display controls from one host menu; false when an item
// could not be read or removed, so one may be left.
bool RemoveFromHostMenu(HMENU hostMenu) {
    const int count = GetMenuItemCount(hostMenu);
    bool complete = count >= 0;
    for (int i = count - 1; i >= 0; --i) {
        const ItemKind kind = KindOfItem(hostMenu, i);
        complete = complete && kind != ItemKind::Unreadable;
        if (kind != ItemKind::DisplayControl) {
            continue;
        }
        // A popup still in the menu is never destroyed: the host would show
        // an item whose popup is gone, and no second one may join it.
        HMENU earlier = GetSubMenu(hostMenu, i);
        if (!RemoveMenu(hostMenu, static_cast<UINT>(i), MF_BYPOSITION)) {
            complete = false;
            continue;
        }
        DestroyMenu(earlier);
        if (i > 0 && IsSeparator(hostMenu, static_cast<UINT>(i - 1))) {
            RemoveMenu(hostMenu, static_cast<UINT>(i - 1), MF_BYPOSITION);
            --i;
        }
    }
    return complete;
}

// A daemon started again (also after the host reloaded the library, when
// nothing of the earlier start is remembered) replaces the Display control
// an earlier start attached, wherever it stands in the menu bar now: the
// popup is removed and destroyed with the separator ahead of it, so the host
// shows one Display control, whose marks follow the windows. False when the
// menu bar could not be looked through completely: an earlier Display
// control may then still be there (also when one could not be removed),
// and no second one is added.
bool RemoveEarlierDisplayMenus(HMENU menuBar) {
    const int menus = GetMenuItemCount(menuBar);
    bool complete = menus >= 0;
    for (int m = 0; m < menus; ++m) {
        HMENU hostMenu = nullptr;
        if (!ReadSubMenu(menuBar, m, &hostMenu)) {
            complete = false;
        } else if (hostMenu != nullptr) {
            complete = RemoveFromHostMenu(hostMenu) && complete;
        }
    }
    return complete;
}

enum class Attach { Done, NoHostMenu, EarlierKept, Failed, RunEnded };

// The separator and the popup, both or neither.
bool InsertIntoHostMenu(HMENU hostMenu, UINT position, HMENU popup) {
    if (!InsertMenuW(hostMenu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr)) {
        return false;
    }
    if (!InsertMenuW(hostMenu, position + 1, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                     kDisplayControlText)) {
        RemoveMenu(hostMenu, position, MF_BYPOSITION);
        return false;
    }
    return true;
}

// Puts the separator and the popup into the host's third menu in place of
// any earlier Display control, all under the run lock, so that a worker
// whose run has ended changes no menu. Without a third menu the operator is
// told once: the menu is what the daemon is for.
Attach AttachToHostMenu(WorkerGate& gate, HMENU popup) {
    HWND mdiClient = MdiClientOf(gate.mainWindow);
    HMENU menuBar = GetMenu(gate.mainWindow);
    HMENU hostMenu = GetSubMenu(menuBar, HostMenuPosition(gate, mdiClient));
    if (hostMenu == nullptr) {
        if (gate.mainWindow != nullptr) {
            gate.Log(kLogLevelOutcome, kLogNoThirdMenu);
        }
        return gate.Open() ? Attach::NoHostMenu : Attach::RunEnded;
    }
    Attach attached = Attach::EarlierKept;
    const bool published = gate.Publish([&] {
        if (RemoveEarlierDisplayMenus(menuBar)) {
            attached = InsertIntoHostMenu(hostMenu, InsertPosition(hostMenu, mdiClient), popup) ? Attach::Done
                                                                                                : Attach::Failed;
        }
    });
    return published ? attached : Attach::RunEnded;
}

// A popup that never reached the host menu belongs to nobody else: it is
// destroyed, and the hook's handle no longer names it.
void DiscardPopup(std::atomic<HMENU>& menu, HMENU popup) {
    {
        RunLock lock;
        ForgetMenu(menu, popup);
    }
    DestroyMenu(popup);
}

}  // namespace

bool RemoveEarlierDisplayControls(WorkerGate& gate) {
    return gate.Publish([&] { RemoveEarlierDisplayMenus(GetMenu(gate.mainWindow)); }) &&
           gate.Pass([&] { DrawMenuBar(gate.mainWindow); });
}

bool BuildDisplayMenu(std::atomic<HMENU>& menu, WorkerGate& gate) {
    if (menu.load() != nullptr) {
        return true;
    }
    HMENU popup = CreatePopupMenu();
    if (popup == nullptr) {
        gate.Log(kLogLevelOutcome, kLogNoMenu);
        return RemoveEarlierDisplayControls(gate);
    }
    if (!gate.Publish([&] { menu = popup; })) {
        DestroyMenu(popup);
        return false;
    }
    Attach attached = Attach::Failed;
    try {
        if (AppendAllItems(gate, popup)) {
            attached = AttachToHostMenu(gate, popup);
        }
    } catch (...) {
        DiscardPopup(menu, popup);
        throw;
    }
    // A popup kept without a host menu is handed over to the state, which
    // destroys it when this run ends; the hook's saves still see a menu.
    if (attached == Attach::NoHostMenu && !gate.Publish([&] { g_daemon.unattachedMenu = popup; })) {
        attached = Attach::RunEnded;
    }
    if (attached != Attach::Done && attached != Attach::NoHostMenu) {
        DiscardPopup(menu, popup);
        if (attached == Attach::RunEnded || (attached == Attach::Failed && !RemoveEarlierDisplayControls(gate))) {
            return false;
        }
        gate.Log(kLogLevelOutcome, attached == Attach::EarlierKept ? kLogEarlierMenuKept : kLogNoMenu);
        return gate.Open();
    }
    return gate.Pass([&] { DrawMenuBar(gate.mainWindow); });
}
