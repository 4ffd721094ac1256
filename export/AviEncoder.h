// The compressors an AVI export can run its frames through: libavcodec encoders, each with the
// FourCC it is stored under. Frames go in as the export's 24-bit bottom-up pictures; packets
// come out in order (no B-frames), flagged key or not.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Bitmap.h"
#include "export/ExportOptions.h"

namespace zov {

struct AviCompressor {
    const char* encoder;     // libavcodec name
    const char* fourcc;      // handler and biCompression
    const char* description; // what the chooser shows
    bool exact;              // keeps 24-bit screen content pixel for pixel
};

// Every compressor the export knows, exact ones first; not all need be present.
const std::vector<AviCompressor>& KnownAviCompressors();
// Those whose encoder this libavcodec has (what the chooser lists).
std::vector<AviCompressor> AvailableAviCompressors();
// The known compressor for an encoder name (any case), or null.
const AviCompressor* FindAviCompressor(const std::string& encoder);

class AviEncoder {
  public:
    AviEncoder();
    ~AviEncoder();
    AviEncoder(const AviEncoder&) = delete;
    AviEncoder& operator=(const AviEncoder&) = delete;

    // Opens the encoder for width x height frames at rate / scale frames a second. False with
    // `error` for an unknown or missing encoder or one that refuses the settings.
    [[nodiscard]] bool Open(const CompressorChoice& choice, int32_t width, int32_t height, uint32_t scale,
                            uint32_t rate, std::string& error);
    uint32_t FourCC() const { return m_fourcc; }
    const std::vector<uint8_t>& Extradata() const { return m_extradata; }
    uint16_t BitCount() const { return m_bitCount; }

    using PacketSink = std::function<bool(const uint8_t* data, size_t size, bool key)>;
    // Encodes one bottom-up picture; the packets it yields go to `sink` in order.
    [[nodiscard]] bool Encode(const Image24& picture, const PacketSink& sink, std::string& error);
    // Drains the packets the encoder still holds.
    [[nodiscard]] bool Flush(const PacketSink& sink, std::string& error);

  private:
    struct State;
    bool Drain(const PacketSink& sink, std::string& error);
    std::unique_ptr<State> m_state;
    uint32_t m_fourcc = 0;
    uint16_t m_bitCount = 24;
    std::vector<uint8_t> m_extradata;
    int64_t m_pts = 0;
};

} // namespace zov
