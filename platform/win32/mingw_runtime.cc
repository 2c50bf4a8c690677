// MinGW builds only: slimmer stand-ins for parts of libstdc++ that a small GUI program
// does not need, each of which would bring in far more than it does. The program is built
// without exceptions, so none of these may throw: each would pull the unwinder back in.
#include <cstdlib>
#include <new>

// libstdc++'s operator new throws bad_alloc. Without exceptions a failed allocation cannot
// travel back through the standard containers, so it ends the program here, as an uncaught
// bad_alloc did before.
void* operator new(std::size_t size) {
  if (void* block = std::malloc(size ? size : 1)) return block;
  std::abort();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The default terminate handler prints the exception's name, with a C++ demangler and stdio
// for it; a GUI program has nowhere to print it, and ending at once is all it does besides.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library's own throw helpers build their exceptions with message formatting and the
// whole family of standard exception classes. Here a size past what can be allocated is
// running out of memory, and a broken precondition inside the library is a bug: either
// ends the program.
namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
