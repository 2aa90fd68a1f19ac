// Test helpers: an entry list seen as comparable rows.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cfgfile.h"

struct EntryRow {
    std::string Section;
    std::string Key;
    std::string Value;
    bool operator==(const EntryRow& other) const {
        return Section == other.Section && Key == other.Key && Value == other.Value;
    }
};

inline std::ostream& operator<<(std::ostream& out, const EntryRow& row) {
    return out << "[" << row.Section << "] \"" << row.Key << "\" = \"" << row.Value << "\"";
}

inline std::vector<EntryRow> RowsOf(const ConfigEntry* list) {
    std::vector<EntryRow> rows;
    for (const ConfigEntry* entry = list; entry != nullptr; entry = entry->Next)
        rows.push_back(
            {std::string(entry->Section.View()), std::string(entry->Key.View()), std::string(entry->Value.View())});
    return rows;
}
