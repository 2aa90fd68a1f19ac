// Every text of the daemon that the host or its operator sees, in one place so
// that their exact bytes are easy to check: the log lines, the Display control
// menu, the save failure message box, and the names of the files and sections
// handed to the host or read from its configuration.
#pragma once

// Log lines, written through the host's WriteLog.
inline constexpr wchar_t kLogVersionError[] = L"Orbwick daemon could not load (version error)";
inline constexpr wchar_t kLogLoaded[] = L"Orbwick daemon loaded successfully";
inline constexpr wchar_t kLogOutOfMemory[] = L"Orbwick daemon could not load (out of memory)";
// A start refused because what it needs could not be made: the message hook,
// or the start-up worker (its stop event, a reference to the library for
// it, its thread).
inline constexpr wchar_t kLogNoHook[] = L"Orbwick daemon could not load (message hook not installed)";
inline constexpr wchar_t kLogNoWorker[] = L"Orbwick daemon could not load (start-up worker not started)";
// The daemon runs, but its Display control popup could not be made or put
// into the host menu.
inline constexpr wchar_t kLogNoMenu[] = L"Orbwick: Display control menu could not be made";
// The start-up worker ran out of memory: the rest of its pass (scan, hiding,
// menu, start-up click) is not done.
inline constexpr wchar_t kLogPassOutOfMemory[] = L"Orbwick: start-up pass stopped (out of memory)";
// norvale.ini was missing or could not be read completely at start: only
// what was read counts, and a save is refused (kLogSaveNotRead).
inline constexpr wchar_t kLogConfigNotRead[] = L"Orbwick: norvale.ini could not be read";
inline constexpr wchar_t kLogNoMainWindow[] = L"Orbwick daemon could not find main window";
inline constexpr wchar_t kLogScanComplete[] = L"Orbwick: window scan complete";
// A restart found an earlier Display control it could not take out of the
// host's menu: no second one is added, and this start runs without one.
inline constexpr wchar_t kLogEarlierMenuKept[] =
    L"Orbwick: Display control not added (an earlier one could not be removed)";
// A command of the Display control menu ran out of memory before it acted:
// it changed nothing (a save shows the failure box too).
inline constexpr wchar_t kLogCommandOutOfMemory[] = L"Orbwick: command not carried out (out of memory)";
// The host handed over its folder as 8-bit text with "?" in it: the folder's
// name has characters the system's code page cannot hold, so norvale.ini
// cannot be found under that name.
inline constexpr wchar_t kLogBaseDirectoryNotInCodePage[] =
    L"Orbwick: the server's folder name has characters outside the system's code page";
inline constexpr wchar_t kLogNoThirdMenu[] = L"Orbwick: no third menu to attach Display control to";
inline constexpr wchar_t kLogFoundWindowPrefix[] = L"Found window: ";  // followed by the class name
// Followed by the host module names of the enabled modules still absent,
// in index order, separated by kLogWaitingSeparator.
inline constexpr wchar_t kLogWaitingForPrefix[] = L"Orbwick: waiting for ";
inline constexpr wchar_t kLogWaitingSeparator[] = L", ";
// One line for each save that fails: the update file could not be written
// completely; or its name was taken by a link (a hard link, symbolic link or
// junction someone planted), which the save leaves as it is; or the host
// refused the merge; or the configuration was not read completely at start,
// so the daemon does not know which modules the host runs.
inline constexpr wchar_t kLogSaveNotWritten[] = L"Orbwick: settings not saved (update file could not be written)";
inline constexpr wchar_t kLogSaveLinkLeftAlone[] =
    L"Orbwick: settings not saved (update file is a link, left as it is)";
inline constexpr wchar_t kLogSaveRefused[] = L"Orbwick: settings not saved (the server refused the merge)";
inline constexpr wchar_t kLogSaveNotRead[] = L"Orbwick: settings not saved (norvale.ini was not read at start)";

// The Display control menu.
inline constexpr wchar_t kDisplayControlText[] = L"Display control";
inline constexpr wchar_t kCoreWindowLabel[] = L"Norvale Core Process";
inline constexpr wchar_t kMissingWindowLabelPrefix[] = L"Module ";  // followed by the module letter
inline constexpr wchar_t kHideAllText[] = L"Hide all";
inline constexpr wchar_t kShowAllText[] = L"Show all";
inline constexpr wchar_t kSaveSettingsText[] = L"Save settings";

// The message box of a failed save.
inline constexpr wchar_t kSaveFailedText[] = L"Failed to save settings";
inline constexpr wchar_t kMessageCaption[] = L"Orbwick";

// Files and sections. The configuration file lies in the host's base
// directory; the update file has no directory, so it lies in the current one.
inline constexpr wchar_t kConfigFileName[] = L"norvale.ini";
inline constexpr char kUpdateFileName[] = "IniUpdate.tmp";
inline constexpr char kHiddenWindowsHeader[] = "[HiddenWindows]";  // as handed to MergeSection
inline constexpr char kProtocolsSection[] = "Protocols";           // as read from norvale.ini
inline constexpr char kHiddenWindowsSection[] = "HiddenWindows";
