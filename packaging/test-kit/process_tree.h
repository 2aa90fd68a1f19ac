// How run_limited stops a program when it has no job object to put it in:
// Windows before 8 (and Server 2012) puts a process into one job only, so
// when the kit itself already runs inside a job (a scheduler, a remote shell,
// some consoles) the program cannot get a job of its own. Then run_limited
// watches the process list while the program runs and stops the program with
// every process descended from it that it has seen.
#pragma once

#include <windows.h>

#include <vector>

// The program and the processes descended from it, each held open: a process
// id cannot be given to a new process while a handle to the old one is open,
// so a parent id in the process list names one of these for certain.
struct ProcessTree {
    struct Member {
        DWORD id;
        HANDLE process;
        ULONGLONG created;  // creation time, 100 ns units
    };
    std::vector<Member> members;
};

// Starts the tree with the program itself (its handle is duplicated).
void StartProcessTree(ProcessTree& tree, HANDLE program, DWORD programId);

// Adds the processes that a member of the tree started since the last look,
// and theirs. A process that started others and ended before it was seen
// takes its children out of reach, which is why run_limited looks twice a
// second.
void WatchProcessTree(ProcessTree& tree);

// Stops every member still running, looking again for processes started
// meanwhile, and closes the handles.
void EndProcessTree(ProcessTree& tree, UINT exitCode);
