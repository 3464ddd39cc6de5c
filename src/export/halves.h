#pragma once
// Two halves of one job on two threads, for work large enough to be worth a
// thread and in two independent parts (the halves of a picture).

#include <functional>

namespace quill {

// From this many pixels on, a picture is worth halving: a screen-sized one
// takes a millisecond or more to capture, code or paint, waking the helper
// thread tens of microseconds.
inline constexpr long long HalvesWorthPixels = 1 << 18;

// Runs `mine` on this thread and `other` on the process's helper thread.
// Should the helper not have begun `other` by the time `mine` is done (a
// busy machine), this thread takes it back and runs it itself rather than
// wait; with the helper busy for another caller, or no thread to be had, it
// runs both. Either way both have run, once each, when it returns; an
// exception from `other` comes out here.
void runInHalves(const std::function<void()>& mine, const std::function<void()>& other);

} // namespace quill
