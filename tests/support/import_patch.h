// One imported function of a loaded module replaced for as long as the patch
// lives, by rewriting that module's import address table: the module's own
// calls go to the replacement, every other module's to the original. A test
// can thus make a platform call of the product fail without any test hook in
// the product.
#pragma once

#include <windows.h>

namespace fixture {

class ImportPatch {
public:
    // Looks the function up by name among everything the module imports by
    // name; applied() is false when the module does not import it.
    ImportPatch(HMODULE module, const char* functionName, const void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool applied() const { return slot_ != nullptr; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

}  // namespace fixture
