// Reading back what was recorded: the WAV's samples as numbers, the tone's frequency by its
// zero crossings and its level by its RMS.
#pragma once

#include "tests/support/TestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace zovtest {

struct ToneMeasure {
    double frequency = 0; // Hz
    double amplitude = 0; // of full scale, from the RMS of a sine
};

// The first channel of the samples after the 44-byte header, as -1..1.
inline std::vector<double> FirstChannel(const std::vector<uint8_t>& wav) {
    std::vector<double> out;
    if (wav.size() < 44)
        return out;
    const unsigned channels = Le16(wav, 22), bits = Le16(wav, 34);
    const size_t align = channels * bits / 8, count = (wav.size() - 44) / align;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 44 + i * align;
        out.push_back(bits == 8 ? (wav[at] - 128) / 128.0 : int16_t(Le16(wav, at)) / 32768.0);
    }
    return out;
}

// Measures the middle of the samples (from 25 % to 90 %), away from the start's ramp. The
// frequency comes from the periods between rising zero crossings, taking only those near their
// median: a gap in the test's tone (its player starved of CPU on a busy machine) then costs a few
// periods instead of pulling the average down, while a wrong sample rate still moves every period.
inline ToneMeasure MeasureTone(const std::vector<double>& x, double rate) {
    ToneMeasure m;
    const size_t from = x.size() / 4, to = x.size() * 9 / 10;
    if (to <= from + 2)
        return m;
    double sum2 = 0, previous = -1;
    std::vector<double> periods;
    for (size_t i = from; i < to; ++i) {
        sum2 += x[i] * x[i];
        if (i > from && x[i - 1] < 0 && x[i] >= 0) {
            const double t = (i - 1 + (-x[i - 1]) / (x[i] - x[i - 1])) / rate;
            if (previous >= 0)
                periods.push_back(t - previous);
            previous = t;
        }
    }
    if (!periods.empty()) {
        std::vector<double> sorted = periods;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const double median = sorted[sorted.size() / 2];
        double sum = 0;
        long count = 0;
        for (double p : periods)
            if (std::abs(p - median) <= median / 4) {
                sum += p;
                ++count;
            }
        // At least half the periods must agree, or there is no steady tone to speak of.
        if (count * 2 >= long(periods.size()))
            m.frequency = count / sum;
    }
    m.amplitude = std::sqrt(sum2 / double(to - from)) * std::sqrt(2.0);
    return m;
}

} // namespace zovtest
