// Our own RIFF AVI writer: one video stream and at most one audio stream, an idx1 index, and
// past the first RIFF the OpenDML extension (RIFF "AVIX" blocks, ix00/ix01 standard indexes,
// an indx super index per stream and the odml/dmlh total frame count), so files past 1 GiB
// play and seek everywhere.
//
// Layout: RIFF "AVI " { LIST hdrl { avih, LIST strl { strh, strf, strn, indx }..., LIST odml },
// LIST movi { 00db|00dc|01wb ... [ix00 ix01] }, idx1 } [RIFF "AVIX" { LIST movi {...} }]...
// The indx and odml room is reserved up front as JUNK and only turned into those chunks when
// the file needs a second RIFF; a small file is a plain AVI with idx1 alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Bitmap.h"

namespace zov {

// The first RIFF (and every later one) stays at or under this many bytes.
inline constexpr uint64_t kAviRiffLimit = 1ull << 30;
// Index entries the super index of each stream has room for: 256 RIFF blocks of 1 GiB.
inline constexpr uint32_t kAviSuperIndexEntries = 256;

inline constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | (uint32_t(uint8_t(s[1])) << 8) | (uint32_t(uint8_t(s[2])) << 16) |
           (uint32_t(uint8_t(s[3])) << 24);
}

// The FourCC of a four-character text.
inline uint32_t FourCCOf(const char* s) {
    return uint32_t(uint8_t(s[0])) | (uint32_t(uint8_t(s[1])) << 8) | (uint32_t(uint8_t(s[2])) << 16) |
           (uint32_t(uint8_t(s[3])) << 24);
}

// PCM format as the audio strf stores it (WAVEFORMATEX, 18 bytes).
struct AviAudioFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};

struct AviVideoSetup {
    uint32_t handler = FourCC("DIB "); // strh handler; a compressor's FourCC
    bool compressed = false;           // chunks "00dc" instead of "00db"
    BitmapInfoHeader format{};         // strf; biSize is set to 40 + extradata's size
    std::vector<uint8_t> extradata;    // after the 40 bytes
    uint32_t scale = 1, rate = 1;      // rate / scale frames a second
    int32_t quality = -1;
};

struct AviAudioSetup {
    bool present = false;
    AviAudioFormat format;
    uint32_t scale = 0, rate = 0, sampleSize = 0; // strh
};

struct AviSetup {
    AviVideoSetup video;
    AviAudioSetup audio;
    uint64_t riffLimit = kAviRiffLimit; // tests make it small to see the OpenDML layout
};

class AviWriter {
  public:
    AviWriter() = default;
    ~AviWriter(); // an unfinished file is closed as it is (the caller removes it)
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates `path` (replacing a file there) and writes the headers with room for what
    // Finish() fills in. False with Error() set.
    [[nodiscard]] bool Open(const std::string& path, const AviSetup& setup);
    // One video frame; an empty one (a frame the encoder skipped) is an empty chunk.
    [[nodiscard]] bool WriteVideo(const void* data, size_t size, bool keyFrame);
    // One block of sound (whole sample frames).
    [[nodiscard]] bool WriteAudio(const void* data, size_t size);
    // Writes the indexes and the counts and closes the file.
    [[nodiscard]] bool Finish();
    // Closes without finishing.
    void Abandon();

    const std::string& Error() const { return m_error; }
    uint32_t VideoFrames() const { return m_streams[0].count; }
    uint64_t AudioBytes() const { return m_streams[1].bytes; }
    int RiffCount() const { return m_riffCount; }

  private:
    struct Entry {
        uint64_t pos; // of the chunk's header in the file
        uint32_t size;
        bool key;
    };
    struct Stream {
        uint32_t chunkId = 0;
        uint64_t strhPos = 0, indxPos = 0;
        uint32_t count = 0;         // chunks written
        uint64_t bytes = 0;         // data bytes written
        uint32_t largest = 0;       // largest chunk's data
        std::vector<Entry> segment; // chunks of the RIFF being written
        struct Super {
            uint64_t pos;
            uint32_t size, duration;
        };
        std::vector<Super> supers;
    };
    bool WriteChunk(int stream, const void* data, size_t size, bool key);
    bool StartRiff();                  // a RIFF "AVIX" with its LIST movi
    bool CloseRiff(bool writeIndexes); // ix chunks (OpenDML files), idx1 (first RIFF), the sizes
    uint64_t PendingIndexBytes(size_t extraEntries, int stream) const;
    bool Put(const void* data, size_t size);
    bool PutAt(uint64_t pos, const void* data, size_t size);
    bool Fail(const std::string& why);

    std::FILE* m_file = nullptr;
    std::string m_path, m_error;
    AviSetup m_setup;
    Stream m_streams[2];
    int m_streamCount = 1;
    uint64_t m_pos = 0;       // write position (end of file)
    uint64_t m_riffStart = 0; // of the "RIFF" of the block being written
    uint64_t m_moviStart = 0; // of its "LIST" movi
    int m_riffCount = 0;
    uint32_t m_firstRiffFrames = 0;
    std::vector<uint8_t> m_idx1; // idx1 entries of the first RIFF
    uint64_t m_avihPos = 0, m_odmlPos = 0;
    bool m_openDml = false;     // a second RIFF was started
    std::vector<char> m_buffer; // the file's write buffer
};

} // namespace zov
