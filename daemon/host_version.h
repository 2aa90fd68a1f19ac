// How the daemon reads the host's version (major and minor byte of the host
// interface record).
#pragma once

#include <cstdint>

// Hosts older than 2.20 are refused.
inline bool IsSupportedHostVersion(uint8_t major, uint8_t minor) { return major > 2 || (major == 2 && minor >= 20); }

// Hosts 4.61 to 4.255 name the SMTP, POP3 and core windows by title instead of
// class (the new-host flag). Major version 5 and above do not.
inline bool IsNewHostVersion(uint8_t major, uint8_t minor) { return major == 4 && minor > 60; }
