#include "process_tree.h"

#include <tlhelp32.h>

namespace {

constexpr DWORD kMemberAccess = PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE;
// Rounds of looking and stopping at the end: each round stops what the
// previous one found, and what those started meanwhile shows in the next.
constexpr int kEndRounds = 5;
constexpr DWORD kEndWaitMs = 2000;

ULONGLONG CreationTime(HANDLE process) {
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return static_cast<ULONGLONG>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

const ProcessTree::Member* FindMember(const ProcessTree& tree, DWORD id) {
    for (const ProcessTree::Member& member : tree.members) {
        if (member.id == id) {
            return &member;
        }
    }
    return nullptr;
}

// Adds entry when its parent is a member and it was created after that
// parent: a process with the same parent id but older than the member is the
// child of an earlier process that had the id.
bool AddIfDescendant(ProcessTree& tree, const PROCESSENTRY32W& entry) {
    const ProcessTree::Member* parent = FindMember(tree, entry.th32ParentProcessID);
    if (parent == nullptr || FindMember(tree, entry.th32ProcessID) != nullptr) {
        return false;
    }
    const ULONGLONG parentCreated = parent->created;
    HANDLE process = OpenProcess(kMemberAccess, FALSE, entry.th32ProcessID);
    if (process == nullptr) {
        return false;
    }
    const ULONGLONG created = CreationTime(process);
    if (created < parentCreated) {
        CloseHandle(process);
        return false;
    }
    tree.members.push_back({entry.th32ProcessID, process, created});
    return true;
}

}  // namespace

void StartProcessTree(ProcessTree& tree, HANDLE program, DWORD programId) {
    HANDLE own = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), program, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        tree.members.push_back({programId, own, CreationTime(own)});
    }
}

void WatchProcessTree(ProcessTree& tree) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<PROCESSENTRY32W> entries;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        entries.push_back(entry);
    }
    CloseHandle(snapshot);
    // The list is in no particular order: a child may come before its
    // parent, so go over it again until nothing more is added.
    for (bool added = true; added;) {
        added = false;
        for (const PROCESSENTRY32W& candidate : entries) {
            added = AddIfDescendant(tree, candidate) || added;
        }
    }
}

void EndProcessTree(ProcessTree& tree, UINT exitCode) {
    for (int round = 0; round < kEndRounds; ++round) {
        WatchProcessTree(tree);
        bool running = false;
        for (const ProcessTree::Member& member : tree.members) {
            if (WaitForSingleObject(member.process, 0) == WAIT_TIMEOUT) {
                TerminateProcess(member.process, exitCode);
                running = true;
            }
        }
        if (!running) {
            break;
        }
        for (const ProcessTree::Member& member : tree.members) {
            WaitForSingleObject(member.process, kEndWaitMs);
        }
    }
    for (const ProcessTree::Member& member : tree.members) {
        CloseHandle(member.process);
    }
    tree.members.clear();
}
