// The kernel handles and menus a loaded daemon library opens and closes
// itself, counted through its import table: each handle or menu one of its
// calls hands out is noted, and noted off when the library closes or
// destroys it. A leak check that rests on what the library did, not on how
// the platform numbers its handles or whether it counts a process's objects.
#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <vector>

#include "import_patch.h"

namespace fixture {

// One at a time. Patches the module's imports that open or close a kernel
// handle (CreateEventW, CreateSemaphoreW, CreateThread, CreateFileA,
// CreateFileW, DuplicateHandle into this process, OpenProcessToken,
// CloseHandle) and make or destroy a menu (CreatePopupMenu, DestroyMenu),
// for as long as it lives: it must go before the library is unloaded. The
// count starts at zero.
class ObjectCount {
public:
    explicit ObjectCount(HMODULE module);
    ObjectCount(const ObjectCount&) = delete;
    ObjectCount& operator=(const ObjectCount&) = delete;

    int patched() const { return patched_; }  // 10 when every one of them is imported
    size_t openHandles() const;               // opened since and not closed
    std::vector<HMENU> liveMenus() const;     // made since and not destroyed

private:
    std::deque<ImportPatch> patches_;  // emplaced where they stay
    int patched_ = 0;
};

}  // namespace fixture
