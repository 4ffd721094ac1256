#include "codec/StreamWriter.h"

#include <cerrno>
#include <cstring>

namespace zov {

namespace {

class FileSink : public StreamSink {
  public:
    explicit FileSink(std::FILE* f) : m_file(f) {}
    ~FileSink() override { Close(); }
    bool Write(const void* data, size_t size) override {
        return m_file && std::fwrite(data, 1, size, m_file) == size;
    }
    bool Close() {
        if (!m_file)
            return true;
        const bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        return ok && closed;
    }

  private:
    std::FILE* m_file;
};

} // namespace

StreamWriter::StreamWriter() = default;

StreamWriter::~StreamWriter() {
    if (m_sink)
        (void)End(StreamEnd::NoMarker);
}

bool StreamWriter::Start(int width, int height, int intervalMs) {
    m_error.clear();
    m_failed = false;
    m_frames = 0;
    m_bytes = 0;
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
        m_error = "a stream picture must be 1 to 32767 pixels each way, not " + std::to_string(width) +
                  " x " + std::to_string(height);
        return false;
    }
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 > kMaxCodecPictureBytes) {
        m_error = "a stream picture of " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels needs more than 64 MiB";
        return false;
    }
    if (!IsPlayableInterval(intervalMs)) {
        m_error = "a frame interval of " + std::to_string(intervalMs) +
                  " ms cannot be played: give 0 (a still picture) or 11 to 32767 ms";
        return false;
    }
    if (!m_codec.Init(C_CODEC_ENCODE, static_cast<uint32_t>(width), static_cast<uint32_t>(height), 24, 16,
                      16)) {
        m_error = m_codec.LastError();
        return false;
    }
    m_width = width;
    m_height = height;
    m_picture.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    // Room for the largest record this size can give, so no frame is ever cut.
    m_out.assign(m_codec.MaxRecordBytes(), 0);
    return true;
}

bool StreamWriter::Begin(const std::string& path, int width, int height, int intervalMs) {
    if (m_sink)
        (void)End(StreamEnd::NoMarker);
    if (!Start(width, height, intervalMs))
        return false;
    // Close-on-exec: the drawing tool started during a direct recording must not hold it.
    std::FILE* f = std::fopen(path.c_str(), "wbe");
    if (!f) {
        m_error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    m_ownedSink = std::make_unique<FileSink>(f);
    m_sink = m_ownedSink.get();
    uint8_t header[16];
    BuildStreamHeader(header, static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                      static_cast<uint16_t>(intervalMs));
    if (!Put(header, sizeof header)) {
        (void)End(StreamEnd::NoMarker);
        return false;
    }
    return true;
}

bool StreamWriter::Begin(StreamSink* sink, int width, int height, int intervalMs) {
    if (m_sink)
        (void)End(StreamEnd::NoMarker);
    if (!sink) {
        m_error = "no sink to write the stream to";
        return false;
    }
    if (!Start(width, height, intervalMs))
        return false;
    m_sink = sink;
    uint8_t header[16];
    BuildStreamHeader(header, static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                      static_cast<uint16_t>(intervalMs));
    return Put(header, sizeof header);
}

bool StreamWriter::Put(const void* data, size_t size) {
    if (m_failed)
        return false;
    if (!m_sink->Write(data, size)) {
        m_failed = true;
        m_error = "writing the stream failed after " + std::to_string(m_bytes) + " bytes";
        return false;
    }
    m_bytes += size;
    return true;
}

bool StreamWriter::AddFrame(const uint8_t* bits, size_t rowBytes, uint16_t cx, uint16_t cy, uint8_t ci) {
    if (!m_sink) {
        m_error = "the stream is not open";
        return false;
    }
    if (!bits || rowBytes < static_cast<size_t>(m_width) * 3) {
        m_error = "frame picture rows are shorter than the stream width";
        return false;
    }
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* src = bits + static_cast<size_t>(m_height - 1 - y) * rowBytes;
        uint32_t* dst = m_picture.data() + static_cast<size_t>(y) * m_width;
        for (int x = 0; x < m_width; ++x, src += 3)
            dst[x] = src[0] | (static_cast<uint32_t>(src[1]) << 8) | (static_cast<uint32_t>(src[2]) << 16);
    }
    return EncodeAndWrite(cx, cy, ci);
}

bool StreamWriter::AddFrame32(const uint32_t* topDown, uint16_t cx, uint16_t cy, uint8_t ci) {
    if (!m_sink) {
        m_error = "the stream is not open";
        return false;
    }
    if (!topDown) {
        m_error = "no frame picture";
        return false;
    }
    const size_t n = m_picture.size();
    for (size_t i = 0; i < n; ++i)
        m_picture[i] = topDown[i] & 0x00FFFFFFu;
    return EncodeAndWrite(cx, cy, ci);
}

bool StreamWriter::EncodeAndWrite(uint16_t cx, uint16_t cy, uint8_t ci) {
    uint32_t size = static_cast<uint32_t>(m_out.size());
    if (m_codec.EncodeFrame(m_picture.data(), static_cast<uint32_t>(m_width), static_cast<uint32_t>(m_height),
                            m_out.data(), size, cx, cy, ci) != 0) {
        m_error = "the encoder refused the frame";
        return false;
    }
    if (!Put(m_out.data(), size / 8))
        return false;
    ++m_frames;
    return true;
}

bool StreamWriter::End(StreamEnd end) {
    if (!m_sink)
        return !m_failed;
    if (end == StreamEnd::Marker) {
        const uint8_t marker[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        (void)Put(marker, 4);
    }
    bool ok = !m_failed;
    if (m_ownedSink) {
        if (!static_cast<FileSink*>(m_ownedSink.get())->Close() && ok) {
            ok = false;
            m_failed = true;
            m_error = "closing the stream file failed";
        }
        m_ownedSink.reset();
    }
    m_sink = nullptr;
    std::vector<uint8_t>().swap(m_out);
    return ok;
}

} // namespace zov
