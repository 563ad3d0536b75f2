// Replacements for parts of the C++ runtime that would each bring tens of kilobytes
// into the static executable: the demangler behind the verbose terminate handler, and
// the standard exception classes behind the library's own internal throws.
#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

namespace __gnu_cxx {
// An uncaught exception ends the program at once, without a message to demangle.
void __verbose_terminate_handler() { std::abort(); }  // NOLINT(bugprone-reserved-identifier): the library's name
}  // namespace __gnu_cxx

// The library throws these only for sizes beyond any memory or for null strings;
// reported as memory exhaustion, they still reach the error box.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
}  // namespace std
