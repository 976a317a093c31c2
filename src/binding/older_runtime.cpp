// Built into the extension modules by TOURWRIGHT_OLDER_RUNTIME (scripts/build_wheel.sh): what
// GCC 12's headers and glibc 2.32's <sys/single_threaded.h> make every object call, defined
// here on top of what the libstdc++ and glibc of manylinux_2_28 (GCC 8, glibc 2.28) export, so
// that a wheel built with newer ones still loads there. The version scripts keep all three
// local to each module. Nothing here may include <exception>: its inline members of
// std::exception_ptr would clash with the definition below.
#include <new>

#if !defined(__GLIBCXX__) || !defined(__GLIBC__)
#error "TOURWRIGHT_OLDER_RUNTIME stands in for parts of libstdc++ on glibc"
#endif

#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>

// Read by the reference counts of std::shared_ptr and std::string's error classes to skip
// atomic operations in a process that never started a thread (glibc 2.32). Never set: the
// counts are always atomic, as they are with glibc 2.31 and older.
char __libc_single_threaded = 0;
#endif

namespace std {
// GLIBCXX_3.4.29 (GCC 11); what libstdc++ itself does.
[[noreturn]] void __throw_bad_array_new_length() { throw bad_array_new_length(); }
}  // namespace std

extern "C" {
// std::exception_ptr's destructor as libstdc++ has exported it since CXXABI_1.3.3: releases
// the exception the pointer holds, if any.
void tourwright_exception_ptr_destructor(void* self) noexcept
    __asm__("_ZNSt15__exception_ptr13exception_ptrD1Ev");
// std::exception_ptr::_M_release() (CXXABI_1.3.13, GCC 11), which GCC 12's inline destructor
// calls for a pointer that holds an exception. A member function takes `this` as its first
// argument.
void tourwright_exception_ptr_release(void* self) noexcept
    __asm__("_ZNSt15__exception_ptr13exception_ptr10_M_releaseEv");
void tourwright_exception_ptr_release(void* self) noexcept {
    tourwright_exception_ptr_destructor(self);
}
}
