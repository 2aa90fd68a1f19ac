// ListLib on a record type of its own, to show it needs nothing but the link.
#include <gtest/gtest.h>

#include <vector>

#include "listlib.h"

namespace {

int g_liveNodes = 0;

struct Node {
    Node* Next;
    int Value;
    explicit Node(int value) : Next(nullptr), Value(value) { ++g_liveNodes; }
    ~Node() { --g_liveNodes; }
};

std::vector<int> ValuesOf(const Node* list) {
    std::vector<int> values;
    for (; list != nullptr; list = list->Next) values.push_back(list->Value);
    return values;
}

TEST(ListLib, AppendKeepsOrderAndEndsTheList) {
    Node* list = ListNew();
    EXPECT_EQ(list, nullptr);
    Node* stray = new Node(99);
    for (int value : {1, 2, 3}) {
        Node* node = new Node(value);
        node->Next = stray;  // whatever the new record held, it becomes the last
        ListAppend(list, node);
    }
    EXPECT_EQ(ValuesOf(list), (std::vector<int>{1, 2, 3}));
    delete stray;
    ListClear(list);
}

TEST(ListLib, RemoveHeadAndClearFreeRecords) {
    Node* list = ListNew();
    for (int value : {1, 2, 3}) ListAppend(list, new Node(value));
    EXPECT_EQ(g_liveNodes, 3);  // not ASSERT: the list is freed below either way

    ListRemoveHead(list);
    EXPECT_EQ(ValuesOf(list), (std::vector<int>{2, 3}));
    EXPECT_EQ(g_liveNodes, 2);

    ListClear(list);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(g_liveNodes, 0);

    ListRemoveHead(list);  // an empty list stays empty, nothing is freed
    EXPECT_EQ(list, nullptr);
    ListClear(list);
    EXPECT_EQ(g_liveNodes, 0);
}

// Appending to the empty list behind the last record links it there directly:
// the way the reader stays linear.
TEST(ListLib, AppendBehindTheLastRecord) {
    Node* list = ListNew();
    Node* tail = new Node(1);
    ListAppend(list, tail);
    for (int value : {2, 3}) {
        Node* node = new Node(value);
        ListAppend(tail->Next, node);
        tail = node;
    }
    EXPECT_EQ(ValuesOf(list), (std::vector<int>{1, 2, 3}));
    ListClear(list);
    EXPECT_EQ(g_liveNodes, 0);
}

}  // namespace
