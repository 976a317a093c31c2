#pragma once
// Lets the interpreter's other threads run while native work goes on, and takes
// the lock back for brief visits and on every way out.
#include "pyref.hpp"

#include <utility>

namespace tourwright::python {

class ReleasedLock {
public:
    ReleasedLock() : saved_(PyEval_SaveThread()) {}
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;
    ~ReleasedLock() {
        if (saved_) PyEval_RestoreThread(saved_);
    }

    // Runs `body` holding the lock, then lets it go again, also when `body` throws.
    // The handle is cleared before the lock is asked for: a thread that the
    // interpreter ends there (at its exit) must not ask for it once more.
    template <class Body>
    decltype(auto) with_lock(Body&& body) {
        PyEval_RestoreThread(std::exchange(saved_, nullptr));
        struct Release {
            ReleasedLock& lock;
            ~Release() { lock.saved_ = PyEval_SaveThread(); }
        } release{*this};
        return std::forward<Body>(body)();
    }

private:
    PyThreadState* saved_;
};

}  // namespace tourwright::python
