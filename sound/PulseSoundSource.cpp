#include "sound/PulseSoundSource.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace zov {

namespace {

class PulseSoundSource final : public ISoundSource {
  public:
    explicit PulseSoundSource(std::string name) : m_name(std::move(name)) {}
    ~PulseSoundSource() override { Close(); }

    bool Open(const SoundCaptureFormat& format, uint32_t bufferBytes, std::string& error) override {
        Close();
        pa_sample_spec sampleFormat{};
        sampleFormat.format = format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
        sampleFormat.channels = uint8_t(format.channels);
        sampleFormat.rate = format.samplesPerSecond;
        // Without a fragment size of one buffer the server hands sound over in bursts of
        // seconds, and the WAV would grow in jumps.
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = bufferBytes;
        int err = 0;
        m_stream = pa_simple_new(nullptr, m_name.c_str(), PA_STREAM_RECORD, nullptr, "Recording",
                                 &sampleFormat, nullptr, &attr, &err);
        if (!m_stream) {
            error = pa_strerror(err);
            return false;
        }
        return true;
    }

    bool Read(void* data, size_t size, std::string& error) override {
        int err = 0;
        if (!m_stream || pa_simple_read(m_stream, data, size, &err) < 0) {
            error = m_stream ? pa_strerror(err) : "not connected";
            return false;
        }
        return true;
    }

    void Close() override {
        if (m_stream)
            pa_simple_free(m_stream);
        m_stream = nullptr;
    }

  private:
    std::string m_name;
    pa_simple* m_stream = nullptr;
};

} // namespace

std::unique_ptr<ISoundSource> MakePulseSoundSource(const std::string& applicationName) {
    return std::make_unique<PulseSoundSource>(applicationName);
}

} // namespace zov
