#include "host_modules.h"

#include <cstring>

namespace hostmodel {

const char kModuleLetters[] = "SPECDHFWXIB";

const wchar_t kMdiChildClass[] = L"NVLMDICHILD";
const wchar_t kCoreTitle[] = L"Norvale Core Process";
const wchar_t kCoreDialogClass[] = L"mdlg_core";
const wchar_t kSystemMessagesTitle[] = L"System Messages";
const wchar_t kSystemStatisticsTitle[] = L"System Statistics";

namespace {

struct HostModule {
    const wchar_t* title;
    const wchar_t* dialogClass;
};

// Module i of the letters above, one row each (clang-format would pack them).
// clang-format off
const HostModule kModules[kHostModuleCount] = {
    {L"Norvale SMTP Server", L"mdlg_msc"},
    {L"Norvale POP3 Server", L"mdlg_mpp"},
    {L"Norvale Module E", L"mdlg_mce"},
    {L"Norvale Module C", L"mdlg_mcc"},
    {L"Norvale Module D", L"mdlg_dpc"},
    {L"Norvale Module H", L"mdlg_mhc"},
    {L"Norvale Module F", L"mdlg_mdf"},
    {L"Norvale Module W", L"mdlg_mdw"},
    {L"Norvale Module X", L"mdlg_xpc"},
    {L"Norvale Module I", L"mdlg_mis"},
    {L"Norvale Module B", L"mdlg_mbs"},
};
// clang-format on

}  // namespace

char ModuleLetter(int index) { return kModuleLetters[index]; }
const wchar_t* ModuleTitle(int index) { return kModules[index].title; }
const wchar_t* ModuleDialogClass(int index) { return kModules[index].dialogClass; }

int ModuleIndexOfLetter(char letter) {
    const char* found = letter != '\0' ? std::strchr(kModuleLetters, letter) : nullptr;
    return found != nullptr ? static_cast<int>(found - kModuleLetters) : -1;
}

}  // namespace hostmodel
