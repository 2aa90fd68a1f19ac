// The host's log: lines with time, level and text, appended to the log file at
// once and shown in the "System Messages" window. Safe to call from any thread:
// the file is written under a lock, and the window is filled on the
// user-interface thread when it handles WM_HOST_LOG_PENDING.
#pragma once

#include <cstdint>
#include <string>

// Levels of the host's own lines (daemons bring their own).
constexpr int32_t kHostLevelInfo = 20;
constexpr int32_t kHostLevelError = 10;

// Opens (appends to) the log file. Lines logged before are kept in memory only.
bool OpenHostLog(const std::wstring& path);
void CloseHostLog();

// One line; `text` is 8-bit text in the default code page.
void LogAnsi(int32_t level, const char* text);
// One line from a UTF-16 text.
void LogLine(int32_t level, const std::wstring& text);

// Moves the lines that wait for the "System Messages" window into its list
// box. User-interface thread only.
void FlushPendingLogLines();

// UTF-16 <-> default code page.
std::string ToAnsi(const std::wstring& text);
std::wstring FromAnsi(const std::string& text);
