// "Wait for next tick": the fixed-schedule pacing shared by the capture thread and playback.
// Time is counted in 100-ns units of a monotonic clock, so that a change of the wall clock
// neither stalls nor rushes a recording.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace zov {

// Control states of the worker threads (capture, sound, playback), shared with the pacer.
constexpr int32_t C_CONTROL_STOP = 0;
constexpr int32_t C_CONTROL_RUN = 1;
constexpr int32_t C_CONTROL_PAUSE = 2;

class TickPacer {
  public:
    using Clock = std::function<int64_t()>; // now, in 100-ns units
    using Sleeper = std::function<void(int milliseconds)>;

    TickPacer(); // the steady clock and a real sleep
    TickPacer(Clock clock, Sleeper sleeper);

    // With `start` set, begins the schedule now and returns true. Otherwise waits until the
    // next tick (last tick + 10 / speed x frame delay) while `state` is running and returns
    // whether it still is. A late tick is followed at once by the next (the schedule does not
    // drift). While `state` is paused it waits in 100 ms steps; after the pause the schedule
    // starts afresh, so a pause leaves no burst of catch-up ticks. The state is polled every
    // 20 ms while waiting.
    bool WaitForNextTick(bool start, const std::atomic<int32_t>& state, int frameDelayMs, int speed = 10);

    // Interval in 100-ns units: truncation of 10.0 / speed x delay x 10,000.
    static int64_t Interval(int frameDelayMs, int speed);

  private:
    bool AfterPause(const std::atomic<int32_t>& state);

    Clock m_clock;
    Sleeper m_sleep;
    int64_t m_last = 0;
};

} // namespace zov
