#include "menu_reader.h"

#include <sstream>

namespace fixture {

bool MenuItem::operator==(const MenuItem& other) const {
    return text == other.text && id == other.id && separator == other.separator && checked == other.checked &&
           popup == other.popup;
}

std::vector<MenuItem> ReadMenu(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[400] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 399;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        MenuItem item;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        item.text = item.separator ? L"" : text;
        item.id = info.hSubMenu != nullptr ? 0 : info.wID;
        item.checked = (info.fState & MFS_CHECKED) != 0;
        item.popup = info.hSubMenu != nullptr;
        items.push_back(item);
    }
    return items;
}

void PrintTo(const MenuItem& item, std::ostream* out) { *out << Describe({item}); }

std::string Describe(const std::vector<MenuItem>& items) {
    std::ostringstream out;
    for (const MenuItem& item : items) {
        if (item.separator) {
            out << "  ----\n";
            continue;
        }
        std::string text;
        for (wchar_t c : item.text) {
            text += c < 128 ? static_cast<char>(c) : '?';
        }
        out << "  [" << (item.checked ? 'x' : ' ') << "] " << item.id << " \"" << text << "\""
            << (item.popup ? " (popup)" : "") << "\n";
    }
    return out.str();
}

std::optional<bool> CheckMark(HMENU menu, UINT id) {
    const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    if (state == static_cast<UINT>(-1)) {
        return std::nullopt;
    }
    return (state & MF_CHECKED) != 0;
}

bool IsChecked(HMENU menu, UINT id) { return CheckMark(menu, id).value_or(false); }

std::wstring ItemText(HMENU menu, UINT id) {
    wchar_t text[1024] = {};
    GetMenuStringW(menu, id, text, 1023, MF_BYCOMMAND);
    return text;
}

HMENU FindPopup(HMENU menu, const std::wstring& text) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t itemText[64] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), itemText, 63, MF_BYPOSITION);
        HMENU popup = GetSubMenu(menu, i);
        if (popup != nullptr && itemText == text) {
            return popup;
        }
    }
    return nullptr;
}

int CountPopups(HMENU bar, const std::wstring& text) {
    int count = 0;
    for (int m = 0; m < GetMenuItemCount(bar); ++m) {
        for (const MenuItem& item : ReadMenu(GetSubMenu(bar, m))) count += item.popup && item.text == text;
    }
    return count;
}

std::vector<int> PopupItemCounts(HMENU bar) {
    const int count = GetMenuItemCount(bar);
    std::vector<int> counts;
    counts.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (int i = 0; i < count; ++i) counts.push_back(GetMenuItemCount(GetSubMenu(bar, i)));
    return counts;
}

}  // namespace fixture
