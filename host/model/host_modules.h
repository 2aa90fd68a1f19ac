// The host's module table: the protocol modules the host runs, by index in
// the order of their letters "SPECDHFWXIB", with the title of each module's
// "NVLMDICHILD" window and the "mdlg_" class of the module window inside it;
// the core window and the two system windows. This is the host's side of the
// interface: what the host shows, not how a daemon recognises it.
// Free of platform calls.
#pragma once

namespace hostmodel {

constexpr int kHostModuleCount = 11;

extern const char kModuleLetters[];  // "SPECDHFWXIB"

extern const wchar_t kMdiChildClass[];          // "NVLMDICHILD"
extern const wchar_t kCoreTitle[];              // "Norvale Core Process"
extern const wchar_t kCoreDialogClass[];        // "mdlg_core"
extern const wchar_t kSystemMessagesTitle[];    // "System Messages"
extern const wchar_t kSystemStatisticsTitle[];  // "System Statistics"

// The module whose window holds the button with id kStartButtonId (module D).
constexpr int kModuleWithStartButton = 4;
constexpr int kStartButtonId = 201;

// The command a daemon sends the host's frame after the host has merged a
// section of its configuration file; the host then re-reads the file.
constexpr unsigned kReloadConfigCommand = 499;

// Index in 0 .. kHostModuleCount-1.
char ModuleLetter(int index);
const wchar_t* ModuleTitle(int index);
const wchar_t* ModuleDialogClass(int index);
// The index of an upper-case module letter, or -1.
int ModuleIndexOfLetter(char letter);

}  // namespace hostmodel
