// The host interface record: the 918-byte table of data and function pointers
// that the Norvale host hands to a daemon's STARTUP. Only the fields the daemon
// uses are named; every other byte is carried along untouched.
//
// The record is byte-packed (offsets 10, 54 and 58 are not multiples of 4) and
// describes a 32-bit process: its code pointers are 4 bytes wide.
#pragma once

#include <cstddef>
#include <cstdint>

// The host's operations. Arguments on the stack, first at the lowest address,
// removed by the caller (cdecl); each returns a 32-bit value. Every text
// handed to the host is a zero-terminated 8-bit text in the system's default
// code page.
using QueryValueFn = int32_t(__cdecl*)(int32_t index);
using MergeSectionFn = int32_t(__cdecl*)(const char* section, const char* fileName);
using ModuleStateFn = int32_t(__cdecl*)(const char* moduleName, int32_t zero1, int32_t zero2);
using WriteLogFn = int32_t(__cdecl*)(int32_t ten, int32_t level, const char* text);

#pragma pack(push, 1)
struct HostRecord {
    uint8_t reserved0[4];
    uint8_t majorVersion;  // offset 4
    uint8_t minorVersion;  // offset 5
    uint8_t reserved6[4];
    QueryValueFn QueryValue;  // offset 10
    uint8_t reserved14[40];
    MergeSectionFn MergeSection;  // offset 54
    ModuleStateFn ModuleState;    // offset 58
    uint8_t reserved62[296];
    WriteLogFn WriteLog;  // offset 358
    uint8_t reserved362[556];
};
#pragma pack(pop)

static_assert(sizeof(void*) == 4, "the host interface record describes a 32-bit process");
static_assert(sizeof(HostRecord) == 918, "the host hands over exactly 918 bytes");
static_assert(offsetof(HostRecord, majorVersion) == 4);
static_assert(offsetof(HostRecord, minorVersion) == 5);
static_assert(offsetof(HostRecord, QueryValue) == 10);
static_assert(offsetof(HostRecord, MergeSection) == 54);
static_assert(offsetof(HostRecord, ModuleState) == 58);
static_assert(offsetof(HostRecord, WriteLog) == 358);

// Value indices of QueryValue.
constexpr int32_t kQueryMainWindow = 6;     // the host's frame window (an HWND)
constexpr int32_t kQueryBaseDirectory = 8;  // pointer to the base directory text

// The first argument of every WriteLog call, and the two levels the daemon uses.
constexpr int32_t kLogSource = 10;
constexpr int32_t kLogLevelOutcome = 15;  // start-up outcomes and errors
constexpr int32_t kLogLevelDetail = 25;   // window-discovery detail

// ModuleState's answer for a module the host does not know (yet).
constexpr int32_t kModuleAbsent = -1;

// The command the host's frame receives after a section was merged.
constexpr unsigned kHostCommandReloadConfig = 499;
