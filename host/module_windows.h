// The MDI children of the host: one per running protocol module, the core
// process window, and the two system windows. Each module and core window is
// an "NVLMDICHILD" MDI child holding one dialog-like window of the module's
// "mdlg_" class as its first child. User-interface thread only.
#pragma once

#include <windows.h>

#include <string>

// The module's window title and dialog class, by module index (0 to 10).
const wchar_t* ModuleTitle(int index);
const wchar_t* ModuleDialogClass(int index);
// The index of a module letter, or -1.
int ModuleIndexOfLetter(char letter);

// Registers the window classes of the MDI children and their dialogs.
bool RegisterChildClasses(HINSTANCE instance);

// Creates the core window and the two system windows.
void CreateFixedChildren();

// Creates module `index`'s window and only then reports the module as
// started, so that a daemon that sees the module present finds its window.
void StartModule(int index);

// Starts the modules that start with the host (those of the run list that
// are neither late nor never), and logs which modules wait.
void StartInitialModules();

// Starts the late modules whose delay has passed (called from the script
// timer); `elapsedMs` counts from the host's start.
void StartDueLateModules(DWORD elapsedMs);

// Shows in "System Statistics" how many modules run.
void UpdateStatistics();

extern const wchar_t kMdiChildClass[];  // "NVLMDICHILD"
extern const wchar_t kSystemMessagesTitle[];
extern const wchar_t kSystemStatisticsTitle[];
extern const wchar_t kCoreTitle[];
