// WAV files: the writer the sound recorder fills (PCM, the 44-byte header) and the checked
// reader the exports take a clip from. Sizes on disk are 32-bit; offsets here are 64-bit so a
// header that lies cannot wrap a position.
#pragma once

#include "base/BinFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zov {

constexpr size_t kWaveHeaderSize = 44;

// The 44-byte PCM header for `dataBytes` of samples (RIFF size 36 + data).
void FillWaveHeader(uint8_t header[kWaveHeaderSize], uint32_t channels, uint32_t bits, uint32_t rate,
                    uint32_t dataBytes);

// Writes one WAV file. The header on disk starts with sizes 36 and 0; RewriteHeader() puts the
// current sizes there (the recorder calls it about once a second, so a killed recording still
// leaves a readable file) and Close() does so a last time.
class CWaveFileWriter {
  public:
    CWaveFileWriter() = default;
    virtual ~CWaveFileWriter();
    CWaveFileWriter(const CWaveFileWriter&) = delete;
    CWaveFileWriter& operator=(const CWaveFileWriter&) = delete;

    // Closes any open file first, creates or truncates `path` and writes the header. The
    // setting value is the MP3 bit rate the format came from; it is not written.
    bool Open(const std::string& path, uint32_t settingValue, uint32_t channels, uint32_t bits,
              uint32_t rate);
    // Appends the block at the end and counts it; false when nothing is open, the write is
    // short, or the data would pass what a WAV's 32-bit sizes can hold (nothing is written).
    bool Append(const void* data, size_t size);
    // Writes the header with the sizes counted so far; the file stays open.
    bool RewriteHeader();
    // Rewrites the header and closes; false when nothing is open or the header write fails
    // (the file then stays open).
    bool Close();

    bool IsOpen() const { return m_file.IsOpen(); }
    const std::string& Path() const { return m_path; }
    uint32_t DataBytes() const { return m_dataBytes; }

  private:
    std::string m_path;
    BinFile m_file;
    uint8_t m_header[kWaveHeaderSize] = {};
    uint32_t m_channels = 0, m_bits = 0, m_rate = 0;
    uint32_t m_dataBytes = 0;
};

// A WAV file's format and where its samples lie, as read and checked by ReadWaveInfo.
struct WaveInfo {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    int64_t dataOffset = 0; // of the first sample byte
    int64_t dataSize = 0;   // sample bytes
};

// Reads the RIFF chunks of a PCM WAV file. Refuses, with a sentence in `why`: anything but
// "RIFF"/"WAVE" with a "fmt " chunk of at least 16 bytes before a "data" chunk, a format other
// than PCM, 1 or 2 channels, 8 or 16 bits, a zero rate, a block alignment other than
// channels x bits / 8, and a data chunk that reaches past the end of the file.
bool ReadWaveInfo(const std::string& path, WaveInfo& info, std::string* why = nullptr);

} // namespace zov
