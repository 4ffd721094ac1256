// Where recorded sound comes from: the sound server's default input (sound/PulseSoundSource,
// in zov_sound_pulse) or, in tests, a fake that makes a tone at the pace of a clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zov {

struct SoundCaptureFormat {
    uint32_t channels = 1;
    uint32_t bitsPerSample = 8; // 8: unsigned, silence 0x80; 16: signed little-endian
    uint32_t samplesPerSecond = 8000;
    uint32_t BytesPerSecond() const { return channels * bitsPerSample * samplesPerSecond / 8; }
    uint32_t BlockAlign() const { return channels * bitsPerSample / 8; }
};

// One capture stream. Open and Read run on the recorder's capture thread; Read blocks until
// the buffer is full, as a device returning a filled buffer does.
class ISoundSource {
  public:
    virtual ~ISoundSource() = default;
    // Connects to the default input in `format`, delivering in blocks of `bufferBytes`. On
    // failure `error` holds the sound system's own words for it.
    virtual bool Open(const SoundCaptureFormat& format, uint32_t bufferBytes, std::string& error) = 0;
    // Fills `data` with exactly `size` bytes; false (with `error`) when the server failed or went.
    virtual bool Read(void* data, size_t size, std::string& error) = 0;
    virtual void Close() = 0;
};

// A source for tests: a sine tone (or silence) produced at the pace of the wall clock, so that
// a buffer of 100 ms takes 100 ms to fill; it can be told to fail to open, or to fail after a
// number of buffers as a server that goes away does.
struct FakeSoundOptions {
    double frequency = 1000;     // Hz; 0 gives silence
    double amplitude = 0.5;      // of full scale
    bool failOpen = false;       // Open fails with "Connection refused"
    int64_t failAfterReads = -1; // Read fails from this read on ("Connection terminated")
    bool realTime = true;        // false: every read returns at once
};
std::unique_ptr<ISoundSource> MakeFakeSoundSource(const FakeSoundOptions& options);

} // namespace zov
