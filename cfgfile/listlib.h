// ListLib: a singly linked list of heap records, identified by a pointer to
// its first record (null: empty). A record type is usable when its first
// field is `Next`, a pointer to the following record (null in the last one),
// and `delete` frees it (allocated with `new`, or in a way that the record's
// own operator delete undoes). The list owns its records: they are freed
// only by ListRemoveHead and ListClear. No tail pointer, no count.
#pragma once

#include <cstddef>
#include <type_traits>

// The empty list; converts to a list of any record type.
inline std::nullptr_t ListNew() { return nullptr; }

namespace listlib_detail {
template <typename Record>
constexpr void CheckRecordShape() {
    static_assert(std::is_standard_layout<Record>::value, "a list record must be plain data");
    static_assert(std::is_same<decltype(Record::Next), Record*>::value, "a list record starts with Record* Next");
}
}  // namespace listlib_detail

// Walks from the first record to the last and links record behind it (or
// makes it the first record of an empty list); record->Next becomes null.
// Takes time proportional to the list's length: a caller adding many records
// should hold on to the last one and append to its (empty) Next list instead.
template <typename Record>
void ListAppend(Record*& list, Record* record) {
    listlib_detail::CheckRecordShape<Record>();
    static_assert(offsetof(Record, Next) == 0, "the link is the record's first field");
    Record** link = &list;
    while (*link != nullptr) link = &(*link)->Next;
    record->Next = nullptr;
    *link = record;
}

// Makes the second record the first and frees the record that was first.
// An empty list is left as it is.
// The analyzer loses the records' ownership in the links and reports the
// rest of the list as leaked here; ListClear frees it.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
template <typename Record>
void ListRemoveHead(Record*& list) {
    Record* head = list;
    if (head == nullptr)
        return;
    list = head->Next;
    delete head;
}
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

// Frees every record; the list is empty afterwards.
template <typename Record>
void ListClear(Record*& list) {
    while (list != nullptr) ListRemoveHead(list);
}
