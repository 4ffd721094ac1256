// The part of a project's sound clip that belongs to a range of its frames. The clip is taken
// to span the whole frame sequence evenly: frame i of n starts at byte dataSize * i / n of the
// samples, rounded up to a whole sample frame (block alignment) so that no channel is split.
#pragma once

#include "sound/WaveFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

struct ClipRange {
    int64_t offset = 0; // into the sample data
    int64_t size = 0;
};

// The sample bytes of frames first..last of frameCount. The whole sequence takes all data;
// otherwise offset dataSize * first / n and size (last - first + 1) * dataSize / n, each rounded
// up to a multiple of blockAlign and kept within the data. False for an empty or out-of-range
// frame range, a zero block alignment or a negative size.
bool ClipRangeForFrames(int64_t dataSize, uint32_t blockAlign, int32_t first, int32_t last,
                        int32_t frameCount, ClipRange& out);

// Reads a clip out of a WAV file in pieces: Open() checks the file and finds the range,
// Read() hands the range's bytes out in order.
class CSoundClipReader {
  public:
    bool Open(const std::string& wavPath, int32_t first, int32_t last, int32_t frameCount,
              std::string* why = nullptr);
    const WaveInfo& Format() const { return m_info; }
    const ClipRange& Range() const { return m_range; }
    // Bytes of the range not read yet.
    int64_t Remaining() const { return m_range.size - m_done; }
    // Up to `max` further bytes into `out`; the count read, 0 at the end, -1 on a read failure.
    int64_t Read(void* out, size_t max);
    void Close() { m_file.Close(); }

  private:
    BinFile m_file;
    WaveInfo m_info;
    ClipRange m_range;
    int64_t m_done = 0;
};

// The whole clip of frames first..last at once (what a short export needs).
bool ReadSoundClip(const std::string& wavPath, int32_t first, int32_t last, int32_t frameCount,
                   WaveInfo& format, std::vector<uint8_t>& samples, std::string* why = nullptr);

} // namespace zov
