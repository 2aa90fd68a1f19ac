// Every text of the daemon that the host or its operator sees, in one place so
// that their exact bytes are easy to check: the log lines, the Display control
// menu, the save failure message box, and the names of the files and sections
// handed to the host or read from its configuration.
#pragma once

// Log lines, written through the host's WriteLog.
inline constexpr wchar_t kLogVersionError[] = L"Orbwick daemon could not load (version error)";
inline constexpr wchar_t kLogLoaded[] = L"Orbwick daemon loaded successfully";
inline constexpr wchar_t kLogOutOfMemory[] = L"Orbwick daemon could not load (out of memory)";
inline constexpr wchar_t kLogNoMainWindow[] = L"Orbwick daemon could not find main window";
inline constexpr wchar_t kLogScanComplete[] = L"Orbwick: window scan complete";
inline constexpr wchar_t kLogNoThirdMenu[] = L"Orbwick: no third menu to attach Display control to";
inline constexpr wchar_t kLogFoundWindowPrefix[] = L"Found window: ";  // followed by the class name
// Followed by the host module names of the enabled modules still absent,
// in index order, separated by kLogWaitingSeparator.
inline constexpr wchar_t kLogWaitingForPrefix[] = L"Orbwick: waiting for ";
inline constexpr wchar_t kLogWaitingSeparator[] = L", ";
// One line for each save that fails: the update file could not be written
// completely; or its name was taken by a link (a hard link, symbolic link or
// junction someone planted), which the save leaves as it is; or the host
// refused the merge.
inline constexpr wchar_t kLogSaveNotWritten[] = L"Orbwick: settings not saved (update file could not be written)";
inline constexpr wchar_t kLogSaveLinkLeftAlone[] =
    L"Orbwick: settings not saved (update file is a link, left as it is)";
inline constexpr wchar_t kLogSaveRefused[] = L"Orbwick: settings not saved (the server refused the merge)";

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
