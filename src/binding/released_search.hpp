#pragma once
// Runs a search with the interpreter lock released, visiting the interpreter
// every few tens of milliseconds (the core's stop check) so that signal handlers
// run and callers can look in.
#include <functional>

#include "released_lock.hpp"
#include "util/search_clock.hpp"

namespace tourwright::python {

// Only the main thread runs signal handlers, so only there is the search worth
// interrupting for them. When that cannot be told (threading was never imported),
// visiting does no harm.
bool may_run_signal_handlers();

// Calls `search(check)` without the lock; `check` is the stop check to hand to the
// core. It takes the lock, runs the signal handlers when `signals` is set (an
// exception they raise abandons the search), then `visit()`, whose true ends the
// search early; it is null when there is nothing to visit. Once the interpreter
// has begun to finalise, the check ends the search instead of visiting.
template <class Search>
auto run_released(bool signals, const std::function<bool()>& visit, Search&& search) {
    ReleasedLock released;
    SearchClock::StopCheck check;
    if (signals || visit) {
        check = [&] {
            if (interpreter_finalizing()) return true;
            return released.with_lock([&] {
                if (signals) run_signal_handlers();
                return visit ? visit() : false;
            });
        };
    }
    return released.run([&] { return search(std::move(check)); });
}

}  // namespace tourwright::python
