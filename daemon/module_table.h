// The fixed table of the host's eleven protocol modules (index 0 to 10) and its
// core window: letters, host module names, menu commands and the rules by which
// the window scan recognises each entry's slot window. Pure data: no windows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr int kModuleCount = 11;
constexpr int kCoreSlot = kModuleCount;  // slot index of the core window
constexpr int kNoSlot = -1;

// Command identifiers of the Display control menu.
constexpr unsigned IDM_FIRST_MODULE = 1000;  // module i has 1000 + i
constexpr unsigned IDM_CORE_WINDOW = 1090;
constexpr unsigned IDM_HIDE_ALL = 1097;
constexpr unsigned IDM_SHOW_ALL = 1098;
constexpr unsigned IDM_SAVE_SETTINGS = 1099;

// The module whose window gets the start-up click.
constexpr int kStartupClickModule = 4;

// Character i of "SPECDHFWXIB".
char ModuleLetter(int index);

// "NORVALE" followed by the module letter: exactly 8 characters.
std::string HostModuleName(int index);

// 1000 + index.
unsigned ModuleCommand(int index);

// The module a command designates (0..10 for 1000..1010), kCoreSlot for 1090,
// kNoSlot for every other identifier.
int SlotOfCommand(unsigned command);

// Sets of modules: bit i for module i; bits 11 to 15 stay clear.
using ModuleSet = uint16_t;
inline bool InModuleSet(ModuleSet set, int index) { return (set >> index) & 1u; }

// The MDI child class of the host's module windows and the titles of the two
// system windows that belong to no entry.
extern const wchar_t kMdiChildClass[];  // "NVLMDICHILD"
extern const wchar_t kSystemMessagesTitle[];
extern const wchar_t kSystemStatisticsTitle[];

// The slot a window of this exact class fills (0..10 or kCoreSlot), kNoSlot
// if none. Hosts with the new-host flag set do not recognise "mdlg_core",
// "mdlg_msc" and "mdlg_mpp" by class.
int SlotOfClassName(std::wstring_view className, bool newHost);

// The slot filled by the first child of the "NVLMDICHILD" window with this
// exact title (only hosts with the new-host flag set recognise titles): 0 for
// "Norvale SMTP Server", 1 for "Norvale POP3 Server", kCoreSlot for "Norvale
// Core Process"; kNoSlot otherwise and always when newHost is false.
int SlotOfMdiChildTitle(std::wstring_view title, bool newHost);
