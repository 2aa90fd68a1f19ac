// The daemon's settings: the enabled set (modules listed in the host
// configuration's Protocols section) and the hidden set (modules listed in its
// HiddenWindows section), read once at start-up; and the save of the modules
// whose windows are hidden at the moment, through the host.
#pragma once

#include <functional>

// Reads "norvale.ini" in the host's base directory and fills the enabled set
// and the hidden set, and notes whether the file was read completely. A file
// that cannot be opened gives two empty sets; one that cannot be read to its
// end, or whose texts cannot be converted, gives what was read. Called once,
// by STARTUP, before the hook and the worker exist.
void LoadSettings();

// Writes the host module names of the enabled modules whose window was found
// and is hidden now, one per line in ascending index order, into a fresh
// "IniUpdate.tmp" in the current directory, which only the process's account
// may open; has the host merge it as the section "[HiddenWindows]"; deletes
// the file; sends the host's frame WM_COMMAND 499. A plain file with one name
// already at that name (a stale one of its own, or someone's plant) is
// removed first, read-only or not. When the file cannot be created anew or
// written completely (a directory at the name, a name taken again after the
// removal), or the name is a link someone planted, logs that the settings
// were not saved (a link with a line of its own) and shows the save failure
// message box instead, and asks the host nothing: a stale, partial or
// foreign file never replaces the operator's saved choice, and nothing is
// written, and no attribute changed, through a link or in a file someone
// else made. A refused merge is logged and shown by the section save
// wrapper. When norvale.ini was not read completely at start, nothing is
// written: the save is logged as not done and the failure box shown. After
// each host call the save goes on only while goesOn() is true (the command
// hook's answer to whether the host called CLOSEDOWN or STARTUP meanwhile):
// it then stops there (it deletes its own file and does nothing else).
// Never changes the two sets.
void SaveSettings(const std::function<bool()>& goesOn);
