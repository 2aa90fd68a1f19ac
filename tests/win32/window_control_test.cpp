// Window discovery, the Display control menu and its commands, seen as a host
// sees them: a real MDI frame with module windows, the built orbwick.dll
// started through STARTUP, commands delivered the way the host delivers them
// (through the message-filter hook chain, then to the frame).

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "daemon_session.h"
#include "import_patch.h"
#include "menu_reader.h"

using fixture::DaemonSession;
using fixture::IsChecked;
using fixture::kNewHost;
using fixture::kOldHost;
using fixture::MenuItem;
using fixture::ReadMenu;
using hostmodel::SendMenuCommand;

namespace {

constexpr char kScanComplete[] = "Orbwick: window scan complete";
constexpr char kLoaded[] = "Orbwick daemon loaded successfully";

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

std::vector<MenuItem> FixedTail() {
    return {
        {L"", 0, true, false, false},
        {L"Hide all", 1097, false, false, false},
        {L"Show all", 1098, false, false, false},
        {L"", 0, true, false, false},
        {L"Save settings", 1099, false, false, false},
    };
}

MenuItem WindowItem(const std::wstring& text, UINT id, bool checked) { return {text, id, false, checked, false}; }

BOOL CALLBACK AppendClassName(HWND window, LPARAM names) {
    char name[200] = {};
    GetClassNameA(window, name, sizeof name);
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(name);
    return TRUE;
}

// The class names of every descendant, in the platform's enumeration order.
std::vector<std::string> ClassNamesBelow(HWND frame) {
    std::vector<std::string> names;
    EnumChildWindows(frame, &AppendClassName, reinterpret_cast<LPARAM>(&names));
    return names;
}

struct WindowOfClass {
    const wchar_t* className;
    HWND last;
};

BOOL CALLBACK NoteWindowOfClass(HWND window, LPARAM search) {
    auto* wanted = reinterpret_cast<WindowOfClass*>(search);
    wchar_t name[200] = {};
    GetClassNameW(window, name, 199);
    if (std::wstring(name) == wanted->className)
        wanted->last = window;
    return TRUE;
}

// The window of this class that the platform's enumeration visits last.
HWND LastWindowOfClass(HWND frame, const wchar_t* className) {
    WindowOfClass search{className, nullptr};
    EnumChildWindows(frame, &NoteWindowOfClass, reinterpret_cast<LPARAM>(&search));
    return search.last;
}

// ---------------------------------------------------------------------------
// Discovery

struct MdiChildRow {
    const wchar_t* title;
    const wchar_t* innerClass;
};

// Windows a wrong rule would recognise; created first, so that the
// enumeration (newest MDI child first) visits them last and a wrong match
// would overwrite the right one.
const MdiChildRow kDecoys[] = {
    {L"norvale smtp server", L"inner_case"},
    {L"Norvale SMTP Server ", L"inner_blank"},
    {L"Gamma Window", L"mdlg_mcex"},
    {L"Delta Window", L"mdlg_mc"},
    // A class name beyond ASCII: its "Found window: " line is converted to
    // the host's code page rather than copied.
    {L"Accented Window", L"inner_\u00e9t\u00e9"},
};
const MdiChildRow kByClass[] = {
    {L"Alpha Server", L"mdlg_msc"}, {L"Beta Server", L"mdlg_mpp"}, {L"Core Console", L"mdlg_core"}};
const MdiChildRow kByTitle[] = {{L"Norvale SMTP Server", L"inner_smtp"},
                                {L"Norvale POP3 Server", L"inner_pop"},
                                {L"Norvale Core Process", L"inner_core"}};

TEST(Discovery, FillsSlotsByTheRulesOfEachFlag) {
    const struct {
        const char* name;
        fixture::HostVersion version;
        std::vector<std::wstring> moduleLabels;  // S, P, E
        const wchar_t* coreTitle;
        const wchar_t* module0Title;
    } rows[] = {
        {"flag clear (3.0)",
         kOldHost,
         {L"Alpha Server", L"Beta Server", L"Older Checker"},
         L"Core Console",
         L"Alpha Server"},
        {"flag set (4.61)",
         kNewHost,
         {L"NorvaleS SMTP Server", L"NorvaleP POP3 Server", L"Older Checker"},
         L"Norvale Core Process",
         L"Norvale SMTP Server"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("SPE", "", row.version);
        std::map<std::wstring, HWND> children;
        auto add = [&](const MdiChildRow& child) {
            HWND inner = s.frame.AddModuleWindow(child.title, child.innerClass);
            children[child.title] = GetParent(inner);
        };
        // Two windows for module E's slot: the older MDI child lies below the
        // newer one and is visited last, so its window fills the slot.
        add({L"Older Checker", L"mdlg_mce"});
        for (const MdiChildRow& child : kDecoys) add(child);
        // The group the row's flag ignores goes first, so it is visited after
        // the group it recognises.
        const bool newHost = row.version.major == kNewHost.major && row.version.minor == kNewHost.minor;
        for (const MdiChildRow& child : newHost ? kByClass : kByTitle) add(child);
        for (const MdiChildRow& child : newHost ? kByTitle : kByClass) add(child);
        add({L"Norvale Checker", L"mdlg_mce"});
        ASSERT_EQ(LastWindowOfClass(s.frame.frame(), L"mdlg_mce"), GetWindow(children[L"Older Checker"], GW_CHILD))
            << "the platform visits the older MDI child last";
        ASSERT_TRUE(s.StartAndWaitForMenu());

        const auto items = ReadMenu(s.DisplayMenu());
        ASSERT_EQ(items.size(), 4u + FixedTail().size()) << fixture::Describe(items);
        EXPECT_EQ(items[0], WindowItem(L"Norvale Core Process", 1090, true));
        for (size_t i = 0; i < row.moduleLabels.size(); ++i) {
            EXPECT_EQ(items[1 + i], WindowItem(row.moduleLabels[i], 1000 + static_cast<UINT>(i), true));
        }

        // Toggles show which MDI child each slot's window lies in.
        const struct {
            UINT command;
            const wchar_t* title;
        } toggles[] = {{1090, row.coreTitle}, {1000, row.module0Title}};
        for (const auto& toggle : toggles) {
            SCOPED_TRACE(testing::Message() << "command " << toggle.command);
            SendMenuCommand(s.frame.frame(), toggle.command);
            for (const auto& [title, child] : children) {
                EXPECT_EQ(IsWindowVisible(child) != FALSE, title != toggle.title) << Narrow(title);
            }
            SendMenuCommand(s.frame.frame(), toggle.command);
            EXPECT_TRUE(IsWindowVisible(children[toggle.title]));
        }

        std::vector<std::string> detail;
        if (!newHost) {
            for (const std::string& name : ClassNamesBelow(s.frame.frame())) {
                detail.push_back("Found window: " + name);
            }
        }
        detail.push_back(kScanComplete);
        EXPECT_EQ(s.host.LogLines(25), detail);
        for (const hostmodel::HostCall& line : s.host.CallsOf(hostmodel::Op::WriteLog)) {
            EXPECT_EQ(line.fileName, "10") << "the log source of " << line.text;
        }
        EXPECT_EQ(s.host.LogLines(15), std::vector<std::string>{kLoaded});
        EXPECT_NE(fixture::ThreadOfLogLine(s.host, kScanComplete), GetCurrentThreadId())
            << "the scan runs on the daemon's own thread";
    }
}

// On a new host the slot window of a titled MDI child is its first child, the
// top of its children's Z order; without any child the title fills no slot.
TEST(Discovery, NewHostTakesTheFirstChildOfATitledMdiChild) {
    const struct {
        const char* name;
        int children;    // windows inside the "Norvale SMTP Server" MDI child
        bool hideFirst;  // the host hides the first child itself, or else the other one
        const wchar_t* label;
        bool shownAfterToggle;
    } rows[] = {
        {"no child window", 0, false, L"Module S", true},
        {"two children, the first hidden by the host", 2, true, L"NorvaleS SMTP Server", true},
        {"two children, the other hidden by the host", 2, false, L"NorvaleS SMTP Server", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("S", "", kNewHost);
        HWND smtp = s.frame.AddMdiChild(L"Norvale SMTP Server");
        for (int i = 0; i < row.children; ++i) s.frame.AddChildWindow(smtp, L"inner_any");
        if (row.children > 0) {
            HWND first = GetWindow(smtp, GW_CHILD);
            ShowWindow(row.hideFirst ? first : GetWindow(first, GW_HWNDNEXT), SW_HIDE);
        }
        ASSERT_TRUE(s.StartAndWaitForMenu());
        EXPECT_EQ(fixture::ItemText(s.DisplayMenu(), 1000), row.label);
        // A toggle hides the MDI child only when its slot window counts as shown.
        SendMenuCommand(s.frame.frame(), 1000);
        EXPECT_EQ(IsWindowVisible(smtp) != FALSE, row.shownAfterToggle);
        EXPECT_EQ(IsChecked(s.DisplayMenu(), 1000), row.shownAfterToggle);
        EXPECT_TRUE(IsWindowVisible(s.frame.client()));
    }
}

// Records WM_NCPAINT with wParam 1 sent from another thread (the daemon's
// worker); the window's own redraws come from its own thread.
std::map<HWND, int> g_foreignFramePaints;
std::map<HWND, WNDPROC> g_originalProcs;

LRESULT CALLBACK CountForeignFramePaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCPAINT && wParam == 1 && InSendMessage()) {
        ++g_foreignFramePaints[window];
    }
    return CallWindowProcW(g_originalProcs[window], window, message, wParam, lParam);
}

void WatchFramePaints(HWND window) {
    g_originalProcs[window] = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountForeignFramePaints)));
}

std::vector<UINT> SystemMenuIds(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    std::vector<UINT> ids;
    ids.reserve(static_cast<size_t>(std::max(GetMenuItemCount(menu), 0)));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        ids.push_back(GetMenuItemID(menu, i));
    }
    return ids;
}

// Pumps until the daemon has logged its scan-complete line `count` times and
// the worker that logged the last one has ended.
bool WaitForScans(const hostmodel::RecordingHost& host, int count) {
    DWORD lastScanner = 0;
    auto scanned = [&] {
        int seen = 0;
        for (const auto& call : host.CallsOf(hostmodel::Op::WriteLog)) {
            if (call.text == kScanComplete && ++seen == count)
                lastScanner = call.threadId;
        }
        return seen >= count;
    };
    return hostmodel::PumpUntil(scanned, fixture::kWaitMs) && fixture::WaitForThreadEnd(lastScanner);
}

TEST(Discovery, TrimsOnlyNineItemSystemMenusOfModuleMdiChildren) {
    const std::vector<UINT> standard = {SC_RESTORE, SC_MOVE,  SC_SIZE, SC_MINIMIZE,  SC_MAXIMIZE,
                                        0,          SC_CLOSE, 0,       SC_NEXTWINDOW};

    for (const fixture::HostVersion version : {kOldHost, kNewHost}) {
        SCOPED_TRACE(testing::Message() << "host " << int(version.major) << "." << int(version.minor));
        DaemonSession s("", "", version);
        g_foreignFramePaints.clear();
        g_originalProcs.clear();
        struct Child {
            const char* name;
            HWND window;
            int change;  // -1: Next removed, +1: an item appended, 2: the separator after Close made an item
            bool trimmedExpected;
        };
        std::vector<Child> children = {
            {"nine items", s.frame.AddMdiChild(L"Some Module"), 0, true},
            {"nine items, titled core window", s.frame.AddMdiChild(L"Norvale Core Process"), 0, true},
            {"nine items, an item after Close", s.frame.AddMdiChild(L"Changed"), 2, true},
            {"eight items", s.frame.AddMdiChild(L"Eight"), -1, false},
            {"ten items", s.frame.AddMdiChild(L"Ten"), +1, false},
            {"System Messages", s.frame.AddMdiChild(L"System Messages"), 0, false},
            {"System Statistics", s.frame.AddMdiChild(L"System Statistics"), 0, false},
            {"no system menu", s.AddMdiChildWithStyle(L"Bare", WS_VISIBLE | WS_CAPTION), 0, false},
        };
        for (Child& child : children) {
            s.frame.AddChildWindow(child.window, L"inner_any");
            HMENU menu = GetSystemMenu(child.window, FALSE);
            if (child.change < 0) {
                RemoveMenu(menu, SC_NEXTWINDOW, MF_BYCOMMAND);
            } else if (child.change == 1) {
                AppendMenuW(menu, MF_STRING, 0x7770, L"Extra");
            } else if (child.change == 2) {
                ModifyMenuW(menu, 7, MF_BYPOSITION | MF_STRING, 0x7771, L"Host's own");
            }
            WatchFramePaints(child.window);
        }
        ASSERT_EQ(SystemMenuIds(children[0].window), standard) << "the platform's standard MDI child system menu";
        ASSERT_EQ(GetSystemMenu(children.back().window, FALSE), nullptr);

        // Trimmed: Close and the separator ahead of it gone, whatever else the menu holds.
        std::map<HWND, std::vector<UINT>> before, trimmed;
        for (const Child& child : children) {
            before[child.window] = trimmed[child.window] = SystemMenuIds(child.window);
            if (child.trimmedExpected)
                trimmed[child.window].erase(trimmed[child.window].begin() + 5, trimmed[child.window].begin() + 7);
        }

        // A second start scans the same windows again: seven items stay seven.
        for (int run = 1; run <= 2; ++run) {
            SCOPED_TRACE(testing::Message() << "scan " << run);
            ASSERT_EQ(s.Start() & 0xFF, 1);
            ASSERT_TRUE(WaitForScans(s.host, run));
            for (const Child& child : children) {
                SCOPED_TRACE(child.name);
                EXPECT_EQ(SystemMenuIds(child.window), trimmed[child.window]);
                EXPECT_EQ(g_foreignFramePaints[child.window], child.trimmedExpected ? 1 : 0)
                    << "frame redraws asked for by the daemon";
            }
            ASSERT_TRUE(s.CloseAndUnload());
        }
        for (const Child& child : children) {
            SetWindowLongPtrW(child.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_originalProcs[child.window]));
        }
    }
}

TEST(Discovery, WithoutMainWindowLogsOnceAndFindsNothing) {
    DaemonSession s("S", "S");
    HWND smtp = s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc");
    const int hostItems = GetMenuItemCount(s.HostMenu());
    s.host.SetMainWindow(nullptr);
    ASSERT_EQ(s.Start() & 0xFF, 1);
    const std::string noMainWindow = "Orbwick daemon could not find main window";
    ASSERT_TRUE(
        hostmodel::PumpUntil([&] { return fixture::ThreadOfLogLine(s.host, noMainWindow) != 0; }, fixture::kWaitMs));
    ASSERT_TRUE(fixture::WaitForThreadEnd(fixture::ThreadOfLogLine(s.host, noMainWindow)));
    EXPECT_EQ(s.host.LogLines(15), (std::vector<std::string>{kLoaded, noMainWindow}));
    EXPECT_TRUE(s.host.LogLines(25).empty()) << "no window visited, no completion line";
    EXPECT_TRUE(IsWindowVisible(GetParent(smtp))) << "nothing found, so nothing hidden";
    EXPECT_EQ(GetMenuItemCount(s.HostMenu()), hostItems);
    // A thread message has no window either; it is not taken for one sent to
    // the missing main window.
    for (UINT command : {1099u, 1097u}) {
        SCOPED_TRACE(testing::Message() << "thread message " << command);
        PostThreadMessageW(GetCurrentThreadId(), WM_COMMAND, command, 0);
        hostmodel::PumpFor(50);
    }
    EXPECT_TRUE(s.host.CallsOf(hostmodel::Op::MergeSection).empty()) << "no save";
}

// ---------------------------------------------------------------------------
// The menu

// The window whose menu bar the daemon (its worker) redrew last, and whether
// the Display control was in the bar by then.
bool g_redrawnWithMenu = false;
std::atomic<HWND> g_redrawnBar{nullptr};
BOOL WINAPI RecordMenuBarRedraw(HWND window) {
    g_redrawnWithMenu = fixture::FindPopup(GetSubMenu(GetMenu(window), 2), L"Display control") != nullptr;
    g_redrawnBar = window;
    return DrawMenuBar(window);
}

TEST(Menu, ItemsIdentifiersAndFirstCheckMarks) {
    std::vector<MenuItem> allModules;
    allModules.reserve(11);
    for (int i = 0; i < 11; ++i) {
        allModules.push_back(
            WindowItem(L"Window " + std::wstring(1, static_cast<wchar_t>(hostmodel::ModuleLetter(i))), 1000 + i, true));
    }
    const struct {
        const char* name;
        std::string enabled, hidden, withWindow;
        std::vector<MenuItem> moduleItems;
    } rows[] = {
        {"no module enabled", "", "", "SPE", {}},
        {"all enabled, none hidden", "SPECDHFWXIB", "", "SPECDHFWXIB", allModules},
        {"hidden, missing and not enabled",
         "SEDB",
         "EBP",
         "SEP",
         {WindowItem(L"Window S", 1000, true), WindowItem(L"Window E", 1002, false),
          WindowItem(L"Module D", 1004, true), WindowItem(L"Module B", 1010, false)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s(row.enabled, row.hidden);
        for (char letter : row.withWindow) {
            const int index = hostmodel::ModuleIndexOfLetter(letter);
            s.frame.AddModuleWindow(L"Window " + std::wstring(1, static_cast<wchar_t>(letter)),
                                    hostmodel::ModuleDialogClass(index));
        }
        const auto hostBefore = ReadMenu(s.HostMenu());
        g_redrawnBar = nullptr;
        ASSERT_EQ(s.Start() & 0xFF, 1);
        fixture::ImportPatch redraw(s.library()->module(), "DrawMenuBar",
                                    reinterpret_cast<void*>(&RecordMenuBarRedraw));
        ASSERT_TRUE(s.WaitForMenu() && hostmodel::PumpUntil([] { return g_redrawnBar != nullptr; }, fixture::kWaitMs));
        EXPECT_TRUE(g_redrawnBar == s.frame.frame() && g_redrawnWithMenu)
            << "the frame's menu bar redrawn with the menu";

        std::vector<MenuItem> expected = {WindowItem(L"Norvale Core Process", 1090, true)};
        expected.insert(expected.end(), row.moduleItems.begin(), row.moduleItems.end());
        const auto tail = FixedTail();
        expected.insert(expected.end(), tail.begin(), tail.end());
        const auto items = ReadMenu(s.DisplayMenu());
        EXPECT_EQ(items, expected) << "got:\n"
                                   << fixture::Describe(items) << "expected:\n"
                                   << fixture::Describe(expected);

        // The host menu is the MDI client's window menu here: with children,
        // it ends with their list (a separator, then ids from 50000), and the
        // daemon's two items go ahead of that list instead of after it.
        auto hostAfter = hostBefore;
        auto listStart = hostAfter.end();
        for (auto item = hostAfter.begin(); item + 1 < hostAfter.end(); ++item) {
            if (item->separator && (item + 1)->id >= 50000) {
                listStart = item;
                break;
            }
        }
        EXPECT_EQ(listStart != hostAfter.end(), !row.withWindow.empty()) << fixture::Describe(hostBefore);
        listStart = hostAfter.insert(listStart, {L"Display control", 0, false, false, true});
        hostAfter.insert(listStart, {L"", 0, true, false, false});
        EXPECT_EQ(ReadMenu(s.HostMenu()), hostAfter) << fixture::Describe(ReadMenu(s.HostMenu()));
        const auto bar = ReadMenu(GetMenu(s.frame.frame()));
        EXPECT_EQ(bar.size(), 3u) << "the menu bar itself keeps its three popups";
    }
}

// The menu lands in the host's third own menu, "Window" here (the MDI
// client's window menu), and stays usable as the MDI windows change.
TEST(Menu, InTheHostsThirdMenuWhateverTheMdiWindowsDo) {
    const struct {
        const char* name;
        bool maximiseFirst;  // a module window maximised before STARTUP
    } rows[] = {{"all children restored", false}, {"one child maximised", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DaemonSession s("SE", "");
        HWND smtp = GetParent(s.frame.AddModuleWindow(L"Norvale SMTP Server", hostmodel::ModuleDialogClass(0)));
        HWND ext = GetParent(s.frame.AddModuleWindow(L"Norvale Ext Server", hostmodel::ModuleDialogClass(2)));
        if (row.maximiseFirst)
            SendMessageW(s.frame.client(), WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(smtp), 0);
        HMENU bar = GetMenu(s.frame.frame());
        HMENU window = fixture::FindPopup(bar, L"Window");
        ASSERT_NE(window, nullptr);
        // A popup the host fills only as it opens is empty until then.
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"Tools");
        ASSERT_EQ(GetSubMenu(bar, row.maximiseFirst ? 3 : 2), window) << "the child's system menu comes first";
        ASSERT_EQ(s.Start() & 0xFF, 1);
        ASSERT_TRUE(s.WaitForWorker("Display control in the Window menu", [&] {
            return fixture::FindPopup(window, L"Display control") != nullptr;
        })) << fixture::Describe(ReadMenu(window));
        for (int i = 0; i < GetMenuItemCount(bar); ++i) {
            if (GetSubMenu(bar, i) != window) {
                EXPECT_EQ(fixture::FindPopup(GetSubMenu(bar, i), L"Display control"), nullptr) << "menu " << i;
            }
        }
        // The MDI client rebuilds its list of children in that menu.
        SendMessageW(s.frame.client(), WM_MDIRESTORE, reinterpret_cast<WPARAM>(smtp), 0);
        SendMessageW(s.frame.client(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(ext), 0);
        HWND extra = s.frame.AddMdiChild(L"Extra");
        SendMessageW(s.frame.client(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(extra), 0);
        hostmodel::PumpFor(50);
        int popups = 0;
        for (const MenuItem& item : ReadMenu(window)) popups += item.text == L"Display control";
        EXPECT_EQ(popups, 1) << fixture::Describe(ReadMenu(window));
        HMENU display = fixture::FindPopup(window, L"Display control");
        SendMenuCommand(s.frame.frame(), 1002);
        EXPECT_FALSE(IsWindowVisible(ext));
        EXPECT_FALSE(IsChecked(display, 1002));
        EXPECT_TRUE(IsWindowVisible(smtp));
    }
}

// A submenu of 8 to 15 items ahead of an item whose id is an MDI child's is
// no separator, whatever GetMenuState's bits say for a popup (its item count
// in the high byte): the menu still goes ahead of the client's real list.
TEST(Menu, ASubmenuIsNotTakenForTheWindowListsSeparator) {
    for (int submenuItems : {8, 15}) {
        SCOPED_TRACE(testing::Message() << submenuItems << " items");
        DaemonSession s("S", "");
        s.AddModule(0);
        HMENU window = s.HostMenu();
        HMENU submenu = CreatePopupMenu();
        for (int i = 0; i < submenuItems; ++i) AppendMenuW(submenu, MF_STRING, 200 + i, L"Sub");
        InsertMenuW(window, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), L"Arrange");
        InsertMenuW(window, 1, MF_BYPOSITION | MF_STRING, hostmodel::kFirstChildId, L"First window");
        ASSERT_TRUE(s.StartAndWaitForMenu());
        const std::vector<MenuItem> items = ReadMenu(window);
        size_t display = 0;
        while (display < items.size() && items[display].text != L"Display control") ++display;
        ASSERT_LT(display, items.size());
        EXPECT_GT(display, 2u) << fixture::Describe(items);
        EXPECT_TRUE(items[display - 1].separator) << fixture::Describe(items);
    }
}

TEST(Menu, LabelsFromModuleWindowTitles) {
    const std::wstring long143 = L"Norvale " + std::wstring(135, L'c');
    const std::wstring long144 = L"Norvale " + std::wstring(136, L'd');
    const std::wstring long300 = L"Norvale " + std::wstring(292, L'h');
    const struct {
        const char* name;
        bool hasWindow;
        std::wstring title;
        std::wstring label;
    } rows[11] = {
        {"S: space at position 8", true, L"Norvale SMTP Server", L"NorvaleS SMTP Server"},
        {"P: exactly 7 characters", true, L"Norvale", L"Norvale"},
        {"E: non-ASCII text", true, L"Pr\u00fcfung Stra\u00dfe", L"Pr\u00fcfungE Stra\u00dfe"},
        {"C: 143 characters", true, long143, L"NorvaleC " + std::wstring(135, L'c')},
        {"D: 144 characters cut to 143", true, long144, L"NorvaleD " + std::wstring(135, L'd')},
        {"H: 300 characters cut to 143", true, long300, L"NorvaleH " + std::wstring(135, L'h')},
        {"F: 8 characters ending in a space", true, L"Norvale ", L"NorvaleF "},
        {"W: empty title", true, L"", L""},
        {"X: 7 characters with a space", true, L"Short X", L"Short X"},
        {"I: 8th character not a space", true, L"Norvale-Checker", L"Norvale-Checker"},
        {"B: no window", false, L"", L"Module B"},
    };
    DaemonSession s("SPECDHFWXIB", "");
    for (int i = 0; i < 11; ++i) {
        if (rows[i].hasWindow)
            s.frame.AddModuleWindow(rows[i].title, hostmodel::ModuleDialogClass(i));
    }
    ASSERT_TRUE(s.StartAndWaitForMenu());
    const auto items = ReadMenu(s.DisplayMenu());
    ASSERT_EQ(items.size(), 1u + 11u + 5u) << fixture::Describe(items);
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(items[1 + i].id, 1000u + i);
        EXPECT_EQ(items[1 + i].text.size(), rows[i].label.size());
        EXPECT_TRUE(items[1 + i].text == rows[i].label) << fixture::Describe({items[1 + i]});
    }
}

// ---------------------------------------------------------------------------
// Commands

// Modules S, P (no window), E and B enabled; C found but not enabled; the core
// window present.
struct CommandBed {
    DaemonSession s{"SPEB", ""};
    HWND smtp, checker, backup, cache, core;
    CommandBed() {
        smtp = GetParent(s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc"));
        checker = GetParent(s.frame.AddModuleWindow(L"Norvale Checker", L"mdlg_mce"));
        backup = GetParent(s.frame.AddModuleWindow(L"Norvale Backup", L"mdlg_mbs"));
        cache = GetParent(s.frame.AddModuleWindow(L"Norvale Cache", L"mdlg_mcc"));
        core = GetParent(s.frame.AddModuleWindow(L"Norvale Core Process", L"mdlg_core"));
    }
    // Visibility of the five MDI children and the marks of the five items.
    std::string State() const {
        std::string state;
        for (HWND window : {smtp, checker, backup, cache, core}) state += IsWindowVisible(window) ? 'V' : 'h';
        state += ' ';
        for (UINT id : {1090u, 1000u, 1001u, 1002u, 1010u}) state += IsChecked(s.DisplayMenu(), id) ? 'x' : '-';
        return state;
    }
};

TEST(Commands, ToggleHidesThenShowsOneWindowAndItsMark) {
    const struct {
        UINT command;
        const char* hidden;  // the State() after the first toggle
    } rows[] = {
        {1000, "hVVVV x-xxx"},  // S: item 1000 is the second mark
        {1010, "VVhVV xxxx-"},
        {1090, "VVVVh -xxxx"},
        {1002, "VhVVV xxx-x"},
    };
    CommandBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    const std::string shown = "VVVVV xxxxx";
    ASSERT_EQ(bed.State(), shown);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "command " << row.command);
        SendMenuCommand(bed.s.frame.frame(), row.command);
        EXPECT_EQ(bed.State(), row.hidden);
        EXPECT_EQ(bed.s.frame.commandsReceived().back(), row.command) << "the frame still receives the command";
        SendMenuCommand(bed.s.frame.frame(), row.command);
        EXPECT_EQ(bed.State(), shown);
    }
}

TEST(Commands, HideAllAndShowAllActOnEnabledFoundWindowsAndCore) {
    CommandBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    SendMenuCommand(bed.s.frame.frame(), 1097);
    // Module P has no window: its mark stays. C is not enabled: its window stays.
    EXPECT_EQ(bed.State(), "hhhVh --x--");
    SendMenuCommand(bed.s.frame.frame(), 1098);
    EXPECT_EQ(bed.State(), "VVVVV xxxxx");
    EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1097, 1098}));
}

// Class names the daemon reads: a search for a lost window reads every one.
int g_classReads = 0;
int WINAPI CountClassRead(HWND window, wchar_t* name, int size) {
    ++g_classReads;
    return GetClassNameW(window, name, size);
}

// Module P is enabled but has no window, so its slot stays lost: the host's
// own commands must not make the daemon look for it.
TEST(Commands, IgnoresOtherIdentifiersMessagesAndWindows) {
    CommandBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    SendMenuCommand(bed.s.frame.frame(), 1010);  // start from a mixed state
    const std::string before = bed.State();
    fixture::ImportPatch classReads(bed.s.library()->module(), "GetClassNameW",
                                    reinterpret_cast<void*>(&CountClassRead));
    ASSERT_TRUE(classReads.applied());
    const struct {
        const char* name;
        HWND target;
        UINT message;
        WPARAM wParam;
    } rows[] = {
        {"999", bed.s.frame.frame(), WM_COMMAND, 999},
        {"1011", bed.s.frame.frame(), WM_COMMAND, 1011},
        {"1089", bed.s.frame.frame(), WM_COMMAND, 1089},
        {"1091", bed.s.frame.frame(), WM_COMMAND, 1091},
        {"1096", bed.s.frame.frame(), WM_COMMAND, 1096},
        {"1100", bed.s.frame.frame(), WM_COMMAND, 1100},
        {"1097 to the MDI client", bed.s.frame.client(), WM_COMMAND, 1097},
        {"1097 to a module window", bed.smtp, WM_COMMAND, 1097},
        {"another message to the frame", bed.s.frame.frame(), WM_USER, 1097},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PostMessageW(row.target, row.message, row.wParam, 0);
        hostmodel::PumpFor(50);
        EXPECT_EQ(bed.State(), before);
    }
    // Hide all's identifier in the high word only (as a notification code).
    SendMenuCommand(bed.s.frame.frame(), MAKEWPARAM(10, 1097));
    EXPECT_EQ(bed.State(), before);
    EXPECT_EQ(g_classReads, 0) << "the host's own commands made the daemon look for P's window";
    // The notification code is not examined.
    SendMenuCommand(bed.s.frame.frame(), MAKEWPARAM(1097, 1));
    EXPECT_EQ(bed.State(), "hhhVh --x--");
    EXPECT_GT(g_classReads, 0) << "the daemon's own command looks for P's window";
    EXPECT_EQ(bed.s.frame.commandsReceived(),
              (std::vector<unsigned>{1010, 999, 1011, 1089, 1091, 1096, 1100, 10, 1097}));
}

// Only the sign of the hook code counts: the platform's codes for messages of
// dialog boxes (0), menus (2) and others are all acted on.
TEST(Commands, NegativeHookCodeRunsNoAction) {
    const struct {
        int code;
        bool acts;
    } rows[] = {{-1, false}, {-5, false}, {0, true}, {MSGF_MENU, true}, {MSGF_SCROLLBAR, true}, {MSGF_USER, true}};
    CommandBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "code " << row.code);
        MSG message = {};
        message.hwnd = bed.s.frame.frame();
        message.message = WM_COMMAND;
        message.wParam = 1097;
        EXPECT_FALSE(CallMsgFilterW(&message, row.code)) << "not consumed";
        EXPECT_EQ(bed.State(), row.acts ? "hhhVh --x--" : "VVVVV xxxxx");
        SendMenuCommand(bed.s.frame.frame(), 1098);
    }
}

// Showing puts back what hiding took away and nothing more: a minimised
// module window comes back minimised.
TEST(Commands, ShowingAgainKeepsAMinimisedWindowMinimised) {
    const struct {
        const char* name;
        UINT hide, show;
    } rows[] = {{"toggled twice", 1000, 1000}, {"Hide all, Show all", 1097, 1098}};
    CommandBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ShowWindow(bed.smtp, SW_MINIMIZE);
        ASSERT_TRUE(IsIconic(bed.smtp));
        SendMenuCommand(bed.s.frame.frame(), row.hide);
        EXPECT_FALSE(IsWindowVisible(bed.smtp));
        SendMenuCommand(bed.s.frame.frame(), row.show);
        EXPECT_TRUE(IsWindowVisible(bed.smtp));
        EXPECT_TRUE(IsIconic(bed.smtp)) << "still minimised";
        ShowWindow(bed.smtp, SW_RESTORE);
    }
}

TEST(Commands, ShownModuleWithHiddenSlotWindowCountsAsHidden) {
    DaemonSession s("S", "");
    HWND slot = s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc");
    HWND child = GetParent(slot);
    ASSERT_TRUE(s.StartAndWaitForMenu());
    ShowWindow(slot, SW_HIDE);  // the host hides the inner window itself
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(testing::Message() << "toggle " << round);
        SendMenuCommand(s.frame.frame(), 1000);
        EXPECT_TRUE(IsWindowVisible(child));
        EXPECT_TRUE(IsChecked(s.DisplayMenu(), 1000));
    }
    SendMenuCommand(s.frame.frame(), 1097);
    EXPECT_FALSE(IsWindowVisible(child)) << "Hide all still hides it";
    EXPECT_FALSE(IsChecked(s.DisplayMenu(), 1000));
}

TEST(Commands, WithoutCoreWindowOnlyTheCoreMarkChanges) {
    DaemonSession s("S", "");
    HWND smtp = GetParent(s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc"));
    ASSERT_TRUE(s.StartAndWaitForMenu());
    const struct {
        UINT command;
        bool coreChecked;
        bool smtpVisible;
    } rows[] = {
        {1097, false, false}, {1098, true, true}, {1097, false, false}, {1090, true, false}, {1090, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "command " << row.command);
        SendMenuCommand(s.frame.frame(), row.command);
        EXPECT_EQ(IsChecked(s.DisplayMenu(), 1090), row.coreChecked);
        EXPECT_EQ(IsWindowVisible(smtp) != FALSE, row.smtpVisible);
    }
}

// Before the worker has built the menu no module window is known: a save
// then would hand the host an empty list and erase the saved choice.
TEST(Commands, SaveSettingsBeforeTheMenuExistsDoesNothing) {
    CommandBed bed;
    bed.s.host.SetModuleState('P', -1);  // the worker keeps waiting
    ASSERT_EQ(bed.s.Start() & 0xFF, 1);
    ASSERT_TRUE(hostmodel::PumpUntil([&] { return !bed.s.host.CallsOf(hostmodel::Op::ModuleState).empty(); },
                                     fixture::kWaitMs));
    SendMenuCommand(bed.s.frame.frame(), 1099);
    EXPECT_TRUE(bed.s.host.CallsOf(hostmodel::Op::MergeSection).empty());
    EXPECT_EQ(GetFileAttributesA("IniUpdate.tmp"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1099})) << "the host's frame still gets it";
    bed.s.host.SetModuleState('P', 1);
    ASSERT_TRUE(bed.s.WaitForMenu());
    SendMenuCommand(bed.s.frame.frame(), 1099);
    EXPECT_EQ(bed.s.host.CallsOf(hostmodel::Op::MergeSection).size(), 1u) << "once the menu exists, it saves";
}

TEST(Commands, SaveSettingsReachesTheHostThenTheFrame) {
    CommandBed bed;
    ASSERT_TRUE(bed.s.StartAndWaitForMenu());
    SendMenuCommand(bed.s.frame.frame(), 1010);
    SendMenuCommand(bed.s.frame.frame(), 1099);
    const auto merges = bed.s.host.CallsOf(hostmodel::Op::MergeSection);
    ASSERT_EQ(merges.size(), 1u);
    EXPECT_EQ(merges[0].text, "[HiddenWindows]");
    EXPECT_EQ(merges[0].fileName, "IniUpdate.tmp");
    EXPECT_EQ(merges[0].fileBytes, "NORVALEB\r\n");
    EXPECT_EQ(merges[0].threadId, GetCurrentThreadId()) << "saves run on the host's thread";
    // The daemon's 499 reaches the frame while the hook runs, before the
    // frame's own copy of 1099.
    EXPECT_EQ(bed.s.frame.commandsReceived(), (std::vector<unsigned>{1010, 499, 1099}));
    EXPECT_EQ(GetFileAttributesA("IniUpdate.tmp"), INVALID_FILE_ATTRIBUTES);
}

// ---------------------------------------------------------------------------
// The hook chain: a hook installed on the host's thread before STARTUP (such
// as another plug-in's) still sees every message, and its answer is the
// chain's answer.

struct SeenMessage {
    int code;
    UINT message;
    WPARAM wParam;
    bool smtpVisible;  // the SMTP module window when the earlier hook ran
};
std::vector<SeenMessage> g_seen;
HWND g_smtpWindow = nullptr;
constexpr WPARAM kConsumedCommand = 1234;

LRESULT CALLBACK EarlierHook(int code, WPARAM wParam, LPARAM lParam) {
    const MSG& message = *reinterpret_cast<const MSG*>(lParam);
    if (message.message == WM_COMMAND) {
        g_seen.push_back({code, message.message, message.wParam, IsWindowVisible(g_smtpWindow) != FALSE});
        if (code >= 0 && (LOWORD(message.wParam) == kConsumedCommand || LOWORD(message.wParam) == 1098)) {
            return 1;  // this plug-in takes the message: the window never gets it
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(HookChain, HookInstalledBeforeStartupStillSeesEveryCommand) {
    g_seen.clear();
    DaemonSession s("S", "");
    g_smtpWindow = GetParent(s.frame.AddModuleWindow(L"Norvale SMTP Server", L"mdlg_msc"));
    HHOOK earlier = SetWindowsHookExW(WH_MSGFILTER, &EarlierHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(earlier, nullptr);
    ASSERT_TRUE(s.StartAndWaitForMenu());

    SendMenuCommand(s.frame.frame(), 1000);              // the daemon hides, then the earlier hook sees it
    SendMenuCommand(s.frame.frame(), 999);               // not the daemon's
    SendMenuCommand(s.frame.frame(), kConsumedCommand);  // taken by the earlier hook
    SendMenuCommand(s.frame.frame(), 1098);              // acted on by the daemon, then taken
    MSG negative = {s.frame.frame(), WM_COMMAND, 1097, 0, 0, {0, 0}};
    CallMsgFilterW(&negative, -5);
    UnhookWindowsHookEx(earlier);

    ASSERT_EQ(g_seen.size(), 5u);
    const struct {
        int code;
        WPARAM wParam;
        bool smtpVisible;
    } expected[] = {{0, 1000, false}, {0, 999, false}, {0, kConsumedCommand, false}, {0, 1098, true}, {-5, 1097, true}};
    for (size_t i = 0; i < g_seen.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "message " << i << " (" << expected[i].wParam << ")");
        EXPECT_EQ(g_seen[i].code, expected[i].code);
        EXPECT_EQ(g_seen[i].wParam, expected[i].wParam);
        EXPECT_EQ(g_seen[i].smtpVisible, expected[i].smtpVisible) << "the daemon had acted before";
    }
    EXPECT_EQ(s.frame.commandsReceived(), (std::vector<unsigned>{1000, 999}))
        << "messages the earlier hook took never reach the frame";
    EXPECT_TRUE(IsWindowVisible(g_smtpWindow)) << "the negative code ran no Hide all";
}

}  // namespace
