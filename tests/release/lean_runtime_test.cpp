// The C++ runtime's check functions as orbwick.dll links them
// (daemon/lean_runtime.cpp): each failed check of the string, view and
// allocator classes still throws, with the check's message, so the catch (...)
// of an export, the hook or the worker ends it; none ends the process.
// Exit code 0 when every row threw as expected.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <typeinfo>

namespace {

// Volatile, so the compiler cannot see the failures coming and warn at build time.
volatile std::size_t g_huge = SIZE_MAX / 2;
const char* volatile g_null = nullptr;
char* volatile g_block = nullptr;  // kept, so the allocation cannot be left out

struct Row {
    const char* name;
    void (*fail)();
    const char* message;           // part of what() (a format keeps its %s and %zu); nullptr: a class of the standard
    const std::type_info* thrown;  // the standard's class, exactly; nullptr: the library check's own
};

const Row kRows[] = {
    {"string longer than max_size", [] { std::string().reserve(g_huge); }, "basic_string", nullptr},
    {"wstring from a null pointer", [] { std::wstring text(reinterpret_cast<const wchar_t*>(g_null)); }, "null",
     nullptr},
    {"substr past the end", [] { (void)std::wstring(L"ab").substr(g_huge); }, "__pos", nullptr},
    {"string_view substr past the end", [] { (void)std::string_view("ab").substr(g_huge); }, "__size", nullptr},
    {"allocator asked for too much", [] { (void)std::allocator<std::uint32_t>().allocate(g_huge / 2); }, nullptr,
     &typeid(std::bad_alloc)},
    {"allocator size overflowing", [] { (void)std::allocator<std::uint32_t>().allocate(g_huge); }, nullptr,
     &typeid(std::bad_array_new_length)},
    {"operator new out of memory", [] { g_block = new char[g_huge]; }, nullptr, &typeid(std::bad_alloc)},
};

bool Check(const Row& row) {
    try {
        row.fail();
    } catch (const std::exception& error) {
        // The daemon tells a refused allocation from a failed check only by
        // catching everything, but a check turned into bad_alloc, or the
        // reverse, means the replacements no longer match the runtime.
        if (row.thrown != nullptr && typeid(error) != *row.thrown) {
            std::printf("FAILED %s: %s thrown, %s expected\n", row.name, typeid(error).name(), row.thrown->name());
            return false;
        }
        if (row.thrown == nullptr && row.message != nullptr && std::strstr(error.what(), row.message) == nullptr) {
            std::printf("FAILED %s: what() is \"%s\", without \"%s\"\n", row.name, error.what(), row.message);
            return false;
        }
        std::printf("ok     %s: %s\n", row.name, error.what());
        return true;
    } catch (...) {
        std::printf("FAILED %s: not a std::exception\n", row.name);
        return false;
    }
    std::printf("FAILED %s: nothing thrown\n", row.name);
    return false;
}

}  // namespace

int main() {
    int failed = 0;
    for (const Row& row : kRows) {
        failed += Check(row) ? 0 : 1;
    }
    std::printf("%d of %d rows failed\n", failed, static_cast<int>(sizeof(kRows) / sizeof(kRows[0])));
    return failed == 0 ? 0 : 1;
}
