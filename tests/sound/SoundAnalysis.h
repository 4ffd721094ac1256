// Reading back what was recorded: the WAV's samples as numbers, the tone's frequency by its
// zero crossings and its level by its RMS.
#pragma once

#include "tests/support/TestFiles.h"

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

// Measures the middle of the samples (from 25 % to 90 %), away from the start's ramp.
inline ToneMeasure MeasureTone(const std::vector<double>& x, double rate) {
    ToneMeasure m;
    const size_t from = x.size() / 4, to = x.size() * 9 / 10;
    if (to <= from + 2)
        return m;
    double sum2 = 0;
    double first = -1, last = -1;
    long crossings = 0;
    for (size_t i = from; i < to; ++i) {
        sum2 += x[i] * x[i];
        if (i > from && x[i - 1] < 0 && x[i] >= 0) {
            const double t = (i - 1 + (-x[i - 1]) / (x[i] - x[i - 1])) / rate;
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings > 1)
        m.frequency = (crossings - 1) / (last - first);
    m.amplitude = std::sqrt(sum2 / double(to - from)) * std::sqrt(2.0);
    return m;
}

} // namespace zovtest
