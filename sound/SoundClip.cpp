#include "sound/SoundClip.h"

#include <algorithm>

namespace zov {

namespace {

int64_t RoundUp(int64_t v, int64_t unit) {
    return (v + unit - 1) / unit * unit;
}

// dataSize * k / n without overflow (dataSize < 2^32, k < 2^31).
int64_t Share(int64_t dataSize, int64_t k, int64_t n) {
    return int64_t((unsigned __int128)dataSize * (unsigned __int128)k / (unsigned __int128)n);
}

} // namespace

bool ClipRangeForFrames(int64_t dataSize, uint32_t blockAlign, int32_t first, int32_t last,
                        int32_t frameCount, ClipRange& out) {
    out = ClipRange{};
    if (blockAlign == 0 || dataSize < 0 || frameCount <= 0 || first < 0 || last < first || last >= frameCount)
        return false;
    if (first == 0 && last == frameCount - 1) {
        out.size = dataSize;
        return true;
    }
    int64_t offset = RoundUp(Share(dataSize, first, frameCount), blockAlign);
    int64_t size = RoundUp(Share(dataSize, int64_t(last) - first + 1, frameCount), blockAlign);
    offset = std::min(offset, dataSize / blockAlign * blockAlign);
    size = std::min(size, dataSize - offset);
    out.offset = offset;
    out.size = size;
    return true;
}

bool CSoundClipReader::Open(const std::string& wavPath, int32_t first, int32_t last, int32_t frameCount,
                            std::string* why) {
    m_file.Close();
    m_done = 0;
    m_range = ClipRange{};
    if (!ReadWaveInfo(wavPath, m_info, why))
        return false;
    if (!ClipRangeForFrames(m_info.dataSize, m_info.blockAlign, first, last, frameCount, m_range)) {
        if (why)
            *why = "the frame range lies outside the project";
        return false;
    }
    if (!m_file.Open(wavPath, BinFile::Mode::ReadOnly) || !m_file.Seek(m_info.dataOffset + m_range.offset)) {
        if (why)
            *why = "cannot open the sound file";
        m_file.Close();
        return false;
    }
    return true;
}

int64_t CSoundClipReader::Read(void* out, size_t max) {
    if (!m_file.IsOpen())
        return -1;
    int64_t n = std::min<int64_t>(int64_t(max), Remaining());
    if (n <= 0)
        return 0;
    if (!m_file.Read(out, size_t(n)))
        return -1;
    m_done += n;
    return n;
}

bool ReadSoundClip(const std::string& wavPath, int32_t first, int32_t last, int32_t frameCount,
                   WaveInfo& format, std::vector<uint8_t>& samples, std::string* why) {
    samples.clear();
    CSoundClipReader reader;
    if (!reader.Open(wavPath, first, last, frameCount, why))
        return false;
    format = reader.Format();
    samples.resize(size_t(reader.Remaining()));
    if (!samples.empty() && reader.Read(samples.data(), samples.size()) != int64_t(samples.size())) {
        samples.clear();
        if (why)
            *why = "cannot read the sound file";
        return false;
    }
    return true;
}

} // namespace zov
