#include "module_table.h"

namespace {

constexpr char kModuleLetters[] = "SPECDHFWXIB";
constexpr char kHostModulePrefix[] = "NORVALE";

struct ClassRule {
    const wchar_t* className;
    int slot;
    bool oldHostOnly;  // recognised by title instead on new hosts
};

// Slot windows recognised by their class name.
// One row per slot, for reading against the module table (clang-format would
// pack them).
// clang-format off
constexpr ClassRule kClassRules[] = {
    {L"mdlg_core", kCoreSlot, true},
    {L"mdlg_msc", 0, true},
    {L"mdlg_mpp", 1, true},
    {L"mdlg_mce", 2, false},
    {L"mdlg_mcc", 3, false},
    {L"mdlg_dpc", 4, false},
    {L"mdlg_mhc", 5, false},
    {L"mdlg_mdf", 6, false},
    {L"mdlg_mdw", 7, false},
    {L"mdlg_xpc", 8, false},
    {L"mdlg_mis", 9, false},
    {L"mdlg_mbs", 10, false},
};
// clang-format on

struct TitleRule {
    const wchar_t* title;
    int slot;
};

// On new hosts, the first child of the MDI child with one of these titles.
constexpr TitleRule kTitleRules[] = {
    {L"Norvale Core Process", kCoreSlot},
    {L"Norvale SMTP Server", 0},
    {L"Norvale POP3 Server", 1},
};

}  // namespace

const wchar_t kMdiChildClass[] = L"NVLMDICHILD";
const wchar_t kSystemMessagesTitle[] = L"System Messages";
const wchar_t kSystemStatisticsTitle[] = L"System Statistics";

char ModuleLetter(int index) { return kModuleLetters[index]; }

std::string HostModuleName(int index) { return std::string(kHostModulePrefix) + ModuleLetter(index); }

unsigned ModuleCommand(int index) { return IDM_FIRST_MODULE + static_cast<unsigned>(index); }

int SlotOfCommand(unsigned command) {
    if (command >= IDM_FIRST_MODULE && command < IDM_FIRST_MODULE + kModuleCount) {
        return static_cast<int>(command - IDM_FIRST_MODULE);
    }
    if (command == IDM_CORE_WINDOW) {
        return kCoreSlot;
    }
    return kNoSlot;
}

int SlotOfClassName(std::wstring_view className, bool newHost) {
    for (const ClassRule& rule : kClassRules) {
        if (className == rule.className) {
            return (newHost && rule.oldHostOnly) ? kNoSlot : rule.slot;
        }
    }
    return kNoSlot;
}

int SlotOfMdiChildTitle(std::wstring_view title, bool newHost) {
    if (!newHost) {
        return kNoSlot;
    }
    for (const TitleRule& rule : kTitleRules) {
        if (title == rule.title) {
            return rule.slot;
        }
    }
    return kNoSlot;
}
