// The parts of the static C++ runtime that orbwick.dll replaces with smaller
// ones. Linked into the DLL only, not into programs that use the whole
// runtime. Defining them here keeps the runtime's own objects, and what those
// drag in, out of the DLL (docs/release.md, "What the DLL is made of"):
// - the default terminate handler, which prints the type of an unexpected
//   exception to stderr and with it brings the symbol demangler and printf's
//   number formatting (about 70 KB). The host is a windowed process without
//   a console, so the message would go nowhere; ending the process with
//   abort() is what remains of it, as the standard's default handler does.
// - the function that a failed check of the library's own (on in the release
//   build, _GLIBCXX_ASSERTIONS) calls: it ends the process too, without
//   printing.
// - the functions the string, view and allocator classes call when one of
//   their checks fails. The runtime's versions throw std::length_error and
//   its relatives, whose message strings need a second string
//   implementation (about 50 KB). These throw an exception that carries the
//   check's own message instead. Nothing in the daemon tells the kinds
//   apart: the exports, the hook and the worker catch every exception
//   (catch (...)), so a failed check still ends only the step in which it
//   happened.
// If code added later calls a check function that is not defined here, the
// runtime's object comes back, and with it a second definition of each
// function below: the link fails, rather than the DLL growing unnoticed.

#include <cstdlib>
#include <exception>
#include <functional>
#include <new>

namespace {

// What a failed check of the string and function classes throws.
class FailedLibraryCheck final : public std::exception {
public:
    explicit FailedLibraryCheck(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_ != nullptr ? message_ : "library check failed"; }

private:
    const char* message_;
};

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { abort(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_logic_error(const char* message) { throw FailedLibraryCheck(message); }
void __throw_length_error(const char* message) { throw FailedLibraryCheck(message); }
void __throw_out_of_range(const char* message) { throw FailedLibraryCheck(message); }
// The format is kept as the message: formatting it would bring printf back.
void __throw_out_of_range_fmt(const char* format, ...) { throw FailedLibraryCheck(format); }
}  // namespace std
