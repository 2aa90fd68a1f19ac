// One imported function of a loaded module replaced for as long as the patch
// lives, by rewriting that module's import address table: the module's own
// calls go to the replacement, every other module's to the original. A test
// can thus make a platform call of the product fail without any test hook in
// the product.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fixture {

// Every function the module imports by name, as "DLL!function" with the DLL
// named as the module's import table spells it, in the table's order.
std::vector<std::string> ImportedFunctions(HMODULE module);

class ImportPatch {
public:
    // Looks the function up by name among everything the module imports by
    // name; applied() is false when the module does not import it.
    ImportPatch(HMODULE module, const char* functionName, const void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool applied() const { return slot_ != nullptr; }
    // What the slot held before: the function, or an earlier patch's
    // replacement, that a replacement passes a call on to.
    void* original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

}  // namespace fixture
