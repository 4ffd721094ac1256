#include "base/Pacing.h"

#include <chrono>
#include <thread>

namespace zov {

TickPacer::TickPacer()
    : TickPacer(
          [] {
              using namespace std::chrono;
              return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
          },
          [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }) {}

TickPacer::TickPacer(Clock clock, Sleeper sleeper) : m_clock(std::move(clock)), m_sleep(std::move(sleeper)) {}

int64_t TickPacer::Interval(int frameDelayMs, int speed) {
    if (speed <= 0)
        speed = 10;
    return static_cast<int64_t>(10.0 / speed * frameDelayMs * 10000.0);
}

bool TickPacer::AfterPause(const std::atomic<int32_t>& state) {
    while (state.load() == C_CONTROL_PAUSE)
        m_sleep(100);
    m_last = m_clock();
    return state.load() == C_CONTROL_RUN;
}

bool TickPacer::WaitForNextTick(bool start, const std::atomic<int32_t>& state, int frameDelayMs, int speed) {
    if (start) {
        m_last = m_clock();
        return true;
    }
    const int64_t target = m_last + Interval(frameDelayMs, speed);
    if (state.load() == C_CONTROL_PAUSE)
        return AfterPause(state);
    for (;;) {
        const int64_t now = m_clock();
        const int32_t s = state.load();
        if (s == C_CONTROL_RUN && now >= target)
            break;
        if (s == C_CONTROL_STOP)
            break;
        m_sleep(20);
        if (state.load() == C_CONTROL_PAUSE)
            return AfterPause(state);
    }
    m_last = target;
    return state.load() == C_CONTROL_RUN;
}

} // namespace zov
