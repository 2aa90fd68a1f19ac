// The host's MDI children as norvhost lays them out: one per running
// protocol module, the core process window and the two system windows, built
// by the host model (host_frame.h) from its module table. User-interface
// thread only.
#pragma once

#include <windows.h>

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

// The host restarts module `index`: ModuleState reports it not started while
// its MDI child (with the module window) is destroyed and made anew at the
// same place, then running again. A module that does not run is left alone;
// a module whose window could not be made anew counts as stopped. Each case
// is logged.
void RestartModule(int index);

// Shows in "System Statistics" how many modules run.
void UpdateStatistics();

// Opens and closes the extra message viewer (an "NVLMDICHILD" child of its
// own); closing without one open does nothing.
void OpenMessageViewer();
void CloseMessageViewer();
