#include "import_patch.h"

#include <cstring>

namespace fixture {

namespace {

template <typename T>
T* At(HMODULE module, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

// Calls visit(dll, function, slot) for each function the module imports by
// name, with the import address table entry the loader filled for it, until
// visit answers true. The names are read from the import name table beside
// it, since the address table itself holds only addresses once the module
// is loaded.
template <typename Visit>
void ForEachImport(HMODULE module, Visit visit) {
    const auto* headers = At<IMAGE_NT_HEADERS>(module, At<IMAGE_DOS_HEADER>(module, 0)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return;
    }
    for (auto* dll = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); dll->Name != 0; ++dll) {
        if (dll->OriginalFirstThunk == 0) {
            continue;
        }
        auto* name = At<IMAGE_THUNK_DATA>(module, dll->OriginalFirstThunk);
        auto* slot = At<IMAGE_THUNK_DATA>(module, dll->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
                continue;
            }
            const auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(name->u1.AddressOfData));
            if (visit(At<const char>(module, dll->Name), reinterpret_cast<const char*>(byName->Name),
                      reinterpret_cast<void**>(&slot->u1.Function))) {
                return;
            }
        }
    }
}

void** FindImportSlot(HMODULE module, const char* functionName) {
    void** found = nullptr;
    ForEachImport(module, [&](const char*, const char* function, void** slot) {
        if (std::strcmp(function, functionName) == 0) {
            found = slot;
        }
        return found != nullptr;
    });
    return found;
}

// The table may lie in read-only pages once the loader is done with it.
void WriteSlot(void** slot, void* value) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
}

}  // namespace

std::vector<std::string> ImportedFunctions(HMODULE module) {
    std::vector<std::string> names;
    ForEachImport(module, [&](const char* dll, const char* function, void**) {
        names.push_back(std::string(dll) + "!" + function);
        return false;
    });
    return names;
}

ImportPatch::ImportPatch(HMODULE module, const char* functionName, const void* replacement) {
    slot_ = module != nullptr ? FindImportSlot(module, functionName) : nullptr;
    if (slot_ != nullptr) {
        original_ = *slot_;
        WriteSlot(slot_, const_cast<void*>(replacement));
    }
}

ImportPatch::~ImportPatch() {
    if (slot_ != nullptr) {
        WriteSlot(slot_, original_);
    }
}

}  // namespace fixture
