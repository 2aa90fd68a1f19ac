// Menus read back through the platform, the way a host or an operator sees
// them: items with their texts, identifiers and check marks, printed readably
// in failure messages.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fixture {

// One item of a menu as the platform reports it. A popup has id 0; a
// separator has an empty text.
struct MenuItem {
    std::wstring text;
    UINT id = 0;
    bool separator = false;
    bool checked = false;
    bool popup = false;
    bool operator==(const MenuItem& other) const;
};
void PrintTo(const MenuItem& item, std::ostream* out);
std::vector<MenuItem> ReadMenu(HMENU menu);
// One line per item: "  [x] 1000 \"text\"", "  ----" for a separator;
// characters beyond ASCII are shown as '?'.
std::string Describe(const std::vector<MenuItem>& items);

// The check state of the item with this identifier; nullopt when absent.
std::optional<bool> CheckMark(HMENU menu, UINT id);
// The check state of the item with this identifier; false when absent.
bool IsChecked(HMENU menu, UINT id);
// The text of the item with this identifier (empty when absent).
std::wstring ItemText(HMENU menu, UINT id);
// The first popup of menu whose item text is exactly text; 0 if none.
HMENU FindPopup(HMENU menu, const std::wstring& text);
// How many items of the menu bar's popups are popups with exactly this text.
int CountPopups(HMENU bar, const std::wstring& text);
// The number of items in each popup of a menu bar, in order.
std::vector<int> PopupItemCounts(HMENU bar);

}  // namespace fixture
