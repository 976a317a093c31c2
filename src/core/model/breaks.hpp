#pragma once
// Breaks and the rule by which a tour takes them, the one rule every simulation of a
// tour follows.
//
// A break is `length` long and must start between `earliest` and `latest` (instants;
// one break per working day, as the caller lays them out). The breaks of a problem
// ascend and keep apart: each ends its latest start plus its length before the next
// may start. The first break not yet taken (or dropped) is pending.
//
// A break starts only where it has room: at an open instant (open hours) from which its
// length runs without meeting a closing (`room`). It is never taken inside a job.
//
// A tour is a chain of passages: a leg (the first one of no length, at the start) and
// the work at its destination (none for the return leg of a closed tour). At the
// beginning of each passage, at clock t, with a pending break (length L, earliest a,
// latest b), its last start B is the latest instant from max(t, a) to b with room.
// Where there is none, the break is dropped and the next one is pending: the van's day
// ended, or the window passed while it was inside one job (a job that runs for days),
// so it was not at work with time for a break. Otherwise the passage is first timed
// without the break: arrival r, work start s (after waiting for windows and hours),
// work end e (e = s = r without work). Then:
//
//   1. The wait holds it: x = room(max(r, a)) with x <= b and x + L <= s. The break
//      is taken there, inside the wait, and the passage is otherwise unchanged.
//   2. Otherwise, when e > B (the van would still be busy, or not yet arrived, when the
//      break must start), it is taken in this passage as early as it can be:
//      x = room(max(t, a)), which is at most B. Where x comes before the arrival r, the
//      leg pauses at x (travel up to x, the break, the rest of the leg from x + L);
//      otherwise the break is taken on arrival, after waiting until x. The work then
//      starts as it would from x + L.
//   3. Otherwise (e <= B) it stays pending: a later passage begins by its last start.
//
// At most one break is taken per passage. When the tour ends, a pending break and
// those after it are not taken: the van's day ended before they were due. So a break
// is never late itself; it costs nothing where a wait can hold it, and otherwise
// delays only the passage in which it falls due.
#include "util/chrono.hpp"

namespace tourwright {

struct BreakRule {
    TimeDelta length;
    DateTime earliest;
    DateTime latest;

    friend bool operator==(const BreakRule&, const BreakRule&) = default;
};

// How a location's windows bind its job: the whole job inside a window, or only its start
// (the job then runs past the window's end where it must, pausing outside open hours).
enum class WindowRule : unsigned char { Whole, Start };

}  // namespace tourwright
