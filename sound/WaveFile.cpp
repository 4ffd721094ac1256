#include "sound/WaveFile.h"

#include <cstring>

namespace zov {

namespace {

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
uint32_t Get16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t Get32(const uint8_t* p) {
    return Get16(p) | Get16(p + 2) << 16;
}

void Say(std::string* why, const char* text) {
    if (why)
        *why = text;
}

// The largest data size whose RIFF size (36 + data) still fits 32 bits.
constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36;

} // namespace

void FillWaveHeader(uint8_t h[kWaveHeaderSize], uint32_t channels, uint32_t bits, uint32_t rate,
                    uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, channels);
    Put32(h + 24, rate);
    Put32(h + 28, channels * bits * rate / 8);
    Put16(h + 32, channels * bits / 8);
    Put16(h + 34, bits);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

CWaveFileWriter::~CWaveFileWriter() {
    if (m_file.IsOpen())
        Close();
}

bool CWaveFileWriter::Open(const std::string& path, uint32_t /*settingValue*/, uint32_t channels,
                           uint32_t bits, uint32_t rate) {
    if (m_file.IsOpen())
        Close();
    m_file.Close();
    if (!m_file.Open(path, BinFile::Mode::CreateTruncate))
        return false;
    m_path = path;
    m_channels = channels;
    m_bits = bits;
    m_rate = rate;
    m_dataBytes = 0;
    FillWaveHeader(m_header, channels, bits, rate, 0);
    if (!m_file.Write(m_header, kWaveHeaderSize)) {
        m_file.Close();
        m_path.clear();
        return false;
    }
    return true;
}

bool CWaveFileWriter::Append(const void* data, size_t size) {
    if (!m_file.IsOpen())
        return false;
    if (size > kMaxDataBytes - m_dataBytes)
        return false;
    int64_t end = int64_t(kWaveHeaderSize) + m_dataBytes;
    if (!m_file.Seek(end))
        return false;
    if (size > 0 && !m_file.Write(data, size)) {
        // Whatever part of the block reached the disk lies past the counted data; the next
        // append writes over it.
        return false;
    }
    m_dataBytes += uint32_t(size);
    FillWaveHeader(m_header, m_channels, m_bits, m_rate, m_dataBytes);
    return true;
}

bool CWaveFileWriter::RewriteHeader() {
    if (!m_file.IsOpen() || !m_file.Seek(0))
        return false;
    return m_file.Write(m_header, kWaveHeaderSize);
}

bool CWaveFileWriter::Close() {
    if (!m_file.IsOpen())
        return false;
    if (!RewriteHeader())
        return false;
    // A failed append may have left a partial block past the counted data.
    if (m_file.Length() > int64_t(kWaveHeaderSize) + m_dataBytes &&
        !m_file.Truncate(int64_t(kWaveHeaderSize) + m_dataBytes))
        return false;
    m_file.Close();
    m_path.clear();
    return true;
}

bool ReadWaveInfo(const std::string& path, WaveInfo& info, std::string* why) {
    info = WaveInfo{};
    BinFile f;
    if (!f.Open(path, BinFile::Mode::ReadOnly)) {
        Say(why, "cannot open the sound file");
        return false;
    }
    const int64_t length = f.Length();
    uint8_t riff[12];
    if (length < 12 || !f.Read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        Say(why, "not a RIFF WAVE file");
        return false;
    }
    bool haveFormat = false;
    int64_t at = 12;
    while (at + 8 <= length) {
        uint8_t chunk[8];
        if (!f.Seek(at) || !f.Read(chunk, 8)) {
            Say(why, "cannot read the sound file");
            return false;
        }
        const int64_t size = Get32(chunk + 4);
        const int64_t body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[16];
            if (size < 16 || body + 16 > length || !f.Read(fmt, 16)) {
                Say(why, "the format chunk is too short");
                return false;
            }
            info.formatTag = uint16_t(Get16(fmt));
            info.channels = uint16_t(Get16(fmt + 2));
            info.samplesPerSecond = Get32(fmt + 4);
            info.bytesPerSecond = Get32(fmt + 8);
            info.blockAlign = uint16_t(Get16(fmt + 12));
            info.bitsPerSample = uint16_t(Get16(fmt + 14));
            if (info.formatTag != 1) {
                Say(why, "the sound is not PCM");
                return false;
            }
            if (info.channels < 1 || info.channels > 2) {
                Say(why, "the sound has neither 1 nor 2 channels");
                return false;
            }
            if (info.bitsPerSample != 8 && info.bitsPerSample != 16) {
                Say(why, "the sound has neither 8 nor 16 bits per sample");
                return false;
            }
            if (info.samplesPerSecond == 0) {
                Say(why, "the sound has a sample rate of 0");
                return false;
            }
            if (info.blockAlign != info.channels * info.bitsPerSample / 8) {
                Say(why, "the block alignment does not match channels and bits");
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                Say(why, "the data chunk comes before the format chunk");
                return false;
            }
            if (size > length - body) {
                Say(why, "the data chunk reaches past the end of the file");
                return false;
            }
            info.dataOffset = body;
            info.dataSize = size;
            return true;
        }
        at = body + size + (size & 1); // chunks are padded to even sizes
    }
    Say(why, haveFormat ? "no data chunk" : "no format chunk");
    return false;
}

} // namespace zov
