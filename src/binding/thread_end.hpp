#pragma once
// How the interpreter ends a daemon thread that asks for the lock while it exits. With
// GNU's C++ library, pthread_exit unwinds the thread's stack as the exception
// abi::__forced_unwind, which must be rethrown wherever it is caught. Other C++ libraries
// (macOS, Windows) end such threads without unwinding, so there nothing of this type is
// ever thrown and the catch clauses that name it are inert.
#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace tourwright::python {

#if defined(__GLIBCXX__)
using ThreadEnd = abi::__forced_unwind;
#else
struct ThreadEnd {};
#endif

}  // namespace tourwright::python
