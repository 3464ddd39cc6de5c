#pragma once
// Two halves of one job on two threads, for work large enough to be worth a
// thread and in two independent parts (the halves of a picture).

#include <functional>

namespace quill {

// From this many pixels on, a picture is worth halving: a screen-sized one
// takes a millisecond or more to capture, code or paint, a thread tens of
// microseconds to start.
inline constexpr long long HalvesWorthPixels = 1 << 18;

// Runs `mine` on this thread and `other` on a second one. Should the second
// thread not have started by the time `mine` is done (a busy machine), this
// thread runs `other` itself rather than wait for it; with no thread to be
// had, it runs both. Either way both have run, once each, when it returns;
// an exception from `other` comes out here.
void runInHalves(const std::function<void()>& mine, const std::function<void()>& other);

} // namespace quill
