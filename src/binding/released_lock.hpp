#pragma once
// Lets the interpreter's other threads run while native work goes on, and takes
// the lock back for brief visits and on every way out.
//
// No destructor here takes or releases the lock: when the interpreter is exiting,
// a daemon thread that asks for the lock is ended there by a forced unwind
// (ThreadEnd), which must pass every frame untouched. A destructor
// would end that unwind (destructors are noexcept) and abort the process; and the
// ended thread no longer holds the lock, so it must not release it either.
#include "pyref.hpp"
#include "thread_end.hpp"

namespace tourwright::python {

// Runs `body`, then `after`, also when `body` throws, but not while the thread is
// being ended by the interpreter: that unwinding goes on untouched.
template <class Body, class After>
decltype(auto) then_unless_ended(Body&& body, After&& after) {
    try {
        decltype(auto) result = body();
        after();
        return result;
    } catch (ThreadEnd&) {
        throw;
    } catch (...) {
        after();
        throw;
    }
}

// The interpreter lock released for as long as `run` runs its body; `with_lock`
// takes it back for a brief visit from inside.
class ReleasedLock {
public:
    ReleasedLock() = default;
    ReleasedLock(const ReleasedLock&) = delete;
    ReleasedLock& operator=(const ReleasedLock&) = delete;

    // Runs `body` without the lock (held on entry), holding it again on the way out.
    template <class Body>
    decltype(auto) run(Body&& body) {
        saved_ = PyEval_SaveThread();
        return then_unless_ended(std::forward<Body>(body), [&] { PyEval_RestoreThread(saved_); });
    }

    // Runs `body` holding the lock, then lets it go again, also when `body` throws.
    template <class Body>
    decltype(auto) with_lock(Body&& body) {
        PyEval_RestoreThread(saved_);
        return then_unless_ended(std::forward<Body>(body), [&] { saved_ = PyEval_SaveThread(); });
    }

private:
    PyThreadState* saved_ = nullptr;
};

// Whether the interpreter has begun to finalise: from then on nothing may call
// into it from a thread that is not the one finalising.
inline bool interpreter_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing();
#else
    return _Py_IsFinalizing();
#endif
}

}  // namespace tourwright::python
