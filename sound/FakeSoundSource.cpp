#include "sound/SoundSource.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace zov {

namespace {

class FakeSoundSource final : public ISoundSource {
  public:
    explicit FakeSoundSource(const FakeSoundOptions& o) : m_options(o) {}

    bool Open(const SoundCaptureFormat& format, uint32_t bufferBytes, std::string& error) override {
        if (m_options.failOpen) {
            error = "Connection refused";
            return false;
        }
        m_format = format;
        m_start = std::chrono::steady_clock::now();
        m_frames = 0;
        m_reads = 0;
        return true;
    }

    bool Read(void* data, size_t size, std::string& error) override {
        if (m_options.failAfterReads >= 0 && m_reads >= m_options.failAfterReads) {
            error = "Connection terminated";
            return false;
        }
        ++m_reads;
        const uint32_t align = m_format.BlockAlign();
        const size_t frames = size / align;
        auto* out = static_cast<uint8_t*>(data);
        for (size_t i = 0; i < frames; ++i) {
            const double t = double(m_frames + i) / m_format.samplesPerSecond;
            const double v = m_options.amplitude * std::sin(2 * M_PI * m_options.frequency * t);
            for (uint32_t c = 0; c < m_format.channels; ++c) {
                if (m_format.bitsPerSample == 8) {
                    *out++ = uint8_t(std::lround(128 + 127 * v));
                } else {
                    const int16_t s = int16_t(std::lround(32767 * v));
                    *out++ = uint8_t(s);
                    *out++ = uint8_t(uint16_t(s) >> 8);
                }
            }
        }
        m_frames += frames;
        if (m_options.realTime) {
            // The sound of these frames has been "heard" once its time has passed.
            std::this_thread::sleep_until(m_start + std::chrono::microseconds(int64_t(
                                                        m_frames * 1000000.0 / m_format.samplesPerSecond)));
        }
        return true;
    }

    void Close() override {}

  private:
    FakeSoundOptions m_options;
    SoundCaptureFormat m_format;
    std::chrono::steady_clock::time_point m_start;
    uint64_t m_frames = 0;
    int64_t m_reads = 0;
};

} // namespace

std::unique_ptr<ISoundSource> MakeFakeSoundSource(const FakeSoundOptions& options) {
    return std::make_unique<FakeSoundSource>(options);
}

} // namespace zov
