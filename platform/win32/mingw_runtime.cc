// MinGW builds only: slimmer stand-ins for parts of libstdc++ that a small GUI program
// does not need, each of which would bring in far more than it does.
#include <cstdlib>
#include <new>

// The default terminate handler prints the exception's name, with a C++ demangler and stdio
// for it; a GUI program has nowhere to print it, and ending at once is all it does besides.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library's own throw helpers build their exceptions with message formatting and the
// whole family of standard exception classes. Here a size past what can be allocated is
// what running out of memory is (the launcher handles that where it can); a broken
// precondition inside the library is a bug, and the program ends.
namespace std {
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_alloc(); }
void __throw_length_error(const char*) { throw std::bad_alloc(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
