// Replacements for two corners of the static C++ runtime, linked into the
// installer program only (never into the tests). They keep the program's
// behaviour and keep some 150 KB of library code out of the executable.
//
// Why they are needed: the C++ library ships each group of functions as one
// object file, and on this target ld keeps every function of an object it
// pulls in (the .eh_frame section refers to all of them), so one reference can
// cost a whole object and everything it refers to:
//
//  - std::terminate's default handler prints the uncaught exception's
//    demangled type to stderr. That brings the demangler and printf's
//    floating-point formatting (about 80 KB). A GUI program has no stderr, so
//    the text went nowhere; our handler just aborts, as the default one did
//    after printing.
//
//  - Every std::string, std::u16string and std::vector operation refers to
//    the library's std::__throw_* helpers. They live in one object together
//    with the throws of std::logic_error and std::runtime_error, whose
//    constructors bring the old reference-counted std::string, its
//    instantiation and the random-device code it carries (about 70 KB).
//    Here the helpers are defined again, every one that object defines, so
//    the linker never takes it: the allocation failures throw the same types
//    as before (the PNG decoder catches std::bad_alloc); the logic and
//    runtime errors, which only a fault in the program itself can raise and
//    nothing in the installer catches, end in std::terminate, which is where
//    an uncaught one ended before.
//
// If the linker reports a "multiple definition" of one of these functions, the
// library object holds a throw helper that is not listed here (a newer
// compiler): add it below in the same way.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

// Thrown as before: callers may catch these.
[[noreturn]] void __throw_bad_alloc() { throw bad_alloc(); }
[[noreturn]] void __throw_bad_array_new_length() { throw bad_array_new_length(); }
[[noreturn]] void __throw_bad_exception() { throw bad_exception(); }
[[noreturn]] void __throw_bad_cast() { throw bad_cast(); }
[[noreturn]] void __throw_bad_typeid() { throw bad_typeid(); }

// Faults of the program: uncaught everywhere, so they end the program.
[[noreturn]] void __throw_logic_error(const char*) { terminate(); }
[[noreturn]] void __throw_domain_error(const char*) { terminate(); }
[[noreturn]] void __throw_invalid_argument(const char*) { terminate(); }
[[noreturn]] void __throw_length_error(const char*) { terminate(); }
[[noreturn]] void __throw_out_of_range(const char*) { terminate(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { terminate(); }
[[noreturn]] void __throw_runtime_error(const char*) { terminate(); }
[[noreturn]] void __throw_range_error(const char*) { terminate(); }
[[noreturn]] void __throw_overflow_error(const char*) { terminate(); }
[[noreturn]] void __throw_underflow_error(const char*) { terminate(); }

}  // namespace std
