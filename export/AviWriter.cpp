#include "export/AviWriter.h"

#include <cerrno>
#include <cstring>

namespace zov {

namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyFrame = 0x10;
constexpr uint32_t kStrhBytes = 56;
constexpr uint32_t kAvihBytes = 56;
constexpr uint32_t kIndxBytes = 24 + 16 * kAviSuperIndexEntries;
constexpr uint32_t kOdmlBytes = 4 + 8 + 248; // "odml" + the dmlh chunk
constexpr uint32_t kWaveFormatBytes = 18;

// Little-endian record builder.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Bytes& u16(uint16_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
        return *this;
    }
    Bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    Bytes& u64(uint64_t v) {
        u32(uint32_t(v));
        return u32(uint32_t(v >> 32));
    }
    Bytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Bytes& i16(int16_t v) { return u16(static_cast<uint16_t>(v)); }
    Bytes& raw(const void* p, size_t n) {
        const uint8_t* c = static_cast<const uint8_t*>(p);
        b.insert(b.end(), c, c + n);
        return *this;
    }
    Bytes& zeros(size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
};

uint32_t ChunkBytes(uint64_t size) {
    return static_cast<uint32_t>(8 + size + (size & 1));
}

} // namespace

AviWriter::~AviWriter() {
    Abandon();
}

void AviWriter::Abandon() {
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

bool AviWriter::Fail(const std::string& why) {
    if (m_error.empty())
        m_error = why;
    return false;
}

bool AviWriter::Put(const void* data, size_t size) {
    if (size > 0 && std::fwrite(data, 1, size, m_file) != size)
        return Fail("cannot write \"" + m_path + "\": " + std::strerror(errno));
    m_pos += size;
    return true;
}

bool AviWriter::PutAt(uint64_t pos, const void* data, size_t size) {
    if (std::fflush(m_file) != 0 || fseeko(m_file, static_cast<off_t>(pos), SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, m_file) != size || std::fflush(m_file) != 0 ||
        fseeko(m_file, static_cast<off_t>(m_pos), SEEK_SET) != 0)
        return Fail("cannot write \"" + m_path + "\": " + std::strerror(errno));
    return true;
}

bool AviWriter::Open(const std::string& path, const AviSetup& setup) {
    Abandon();
    m_error.clear();
    m_path = path;
    m_setup = setup;
    m_streamCount = setup.audio.present ? 2 : 1;
    for (Stream& s : m_streams)
        s = Stream{};
    m_streams[0].chunkId = setup.video.compressed ? FourCC("00dc") : FourCC("00db");
    m_streams[1].chunkId = FourCC("01wb");
    m_pos = 0;
    m_riffCount = 0;
    m_firstRiffFrames = 0;
    m_idx1.clear();
    m_openDml = false;
    if (setup.video.scale == 0 || setup.video.rate == 0)
        return Fail("the video's frame rate is zero");
    if (setup.audio.present &&
        (setup.audio.scale == 0 || setup.audio.rate == 0 || setup.audio.sampleSize == 0))
        return Fail("the audio's rate or sample size is zero");
    if (setup.riffLimit < 64 * 1024)
        return Fail("the RIFF size limit is too small");

    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file)
        return Fail("cannot create \"" + path + "\": " + std::strerror(errno));
    m_buffer.resize(1 << 20);
    std::setvbuf(m_file, m_buffer.data(), _IOFBF, m_buffer.size());

    const AviVideoSetup& v = setup.video;
    const uint32_t strfVideo = 40 + static_cast<uint32_t>(v.extradata.size());
    const uint32_t strlVideo =
        4 + (8 + kStrhBytes) + ChunkBytes(strfVideo) + ChunkBytes(6) + (8 + kIndxBytes);
    const uint32_t strlAudio =
        4 + (8 + kStrhBytes) + ChunkBytes(kWaveFormatBytes) + ChunkBytes(6) + (8 + kIndxBytes);
    const uint32_t hdrl =
        4 + (8 + kAvihBytes) + (8 + strlVideo) + (setup.audio.present ? 8 + strlAudio : 0) + (8 + kOdmlBytes);
    Bytes h;
    h.raw("RIFF", 4).u32(0).raw("AVI ", 4);
    h.raw("LIST", 4).u32(hdrl).raw("hdrl", 4);
    m_avihPos = h.b.size();
    h.raw("avih", 4).u32(kAvihBytes).zeros(kAvihBytes); // filled by Finish()

    // Video stream.
    h.raw("LIST", 4).u32(strlVideo).raw("strl", 4);
    m_streams[0].strhPos = h.b.size();
    const int16_t w = static_cast<int16_t>(v.format.biWidth);
    const int16_t ht = static_cast<int16_t>(v.format.biHeight < 0 ? -v.format.biHeight : v.format.biHeight);
    h.raw("strh", 4).u32(kStrhBytes).raw("vids", 4).u32(v.handler).u32(0).u16(0).u16(0).u32(0);
    h.u32(v.scale).u32(v.rate).u32(0).u32(0).u32(0).i32(v.quality).u32(0);
    h.i16(0).i16(0).i16(w).i16(ht);
    BitmapInfoHeader bih = v.format;
    bih.biSize = strfVideo;
    h.raw("strf", 4).u32(strfVideo);
    h.u32(bih.biSize).i32(bih.biWidth).i32(bih.biHeight).u16(bih.biPlanes).u16(bih.biBitCount);
    h.u32(bih.biCompression).u32(bih.biSizeImage).i32(bih.biXPelsPerMeter).i32(bih.biYPelsPerMeter);
    h.u32(bih.biClrUsed).u32(bih.biClrImportant);
    if (!v.extradata.empty())
        h.raw(v.extradata.data(), v.extradata.size());
    if (strfVideo & 1)
        h.u8(0);
    h.raw("strn", 4).u32(6).raw("VIDEO", 6);
    m_streams[0].indxPos = h.b.size();
    h.raw("JUNK", 4).u32(kIndxBytes).zeros(kIndxBytes); // the indx when a second RIFF comes

    if (setup.audio.present) {
        const AviAudioSetup& a = setup.audio;
        h.raw("LIST", 4).u32(strlAudio).raw("strl", 4);
        m_streams[1].strhPos = h.b.size();
        h.raw("strh", 4).u32(kStrhBytes).raw("auds", 4).u32(0).u32(0).u16(0).u16(0).u32(0);
        h.u32(a.scale).u32(a.rate).u32(0).u32(0).u32(0).i32(-1).u32(a.sampleSize);
        h.i16(0).i16(0).i16(0).i16(0);
        h.raw("strf", 4).u32(kWaveFormatBytes);
        h.u16(a.format.formatTag).u16(a.format.channels).u32(a.format.samplesPerSecond);
        h.u32(a.format.bytesPerSecond).u16(a.format.blockAlign).u16(a.format.bitsPerSample);
        h.u16(a.format.extraSize);
        h.raw("strn", 4).u32(6).raw("AUDIO", 6);
        m_streams[1].indxPos = h.b.size();
        h.raw("JUNK", 4).u32(kIndxBytes).zeros(kIndxBytes);
    }
    m_odmlPos = h.b.size();
    h.raw("JUNK", 4).u32(kOdmlBytes).zeros(kOdmlBytes); // LIST odml when a second RIFF comes

    m_riffStart = 0;
    m_moviStart = h.b.size();
    h.raw("LIST", 4).u32(0).raw("movi", 4);
    m_riffCount = 1;
    if (!Put(h.b.data(), h.b.size())) {
        Abandon();
        return false;
    }
    return true;
}

uint64_t AviWriter::PendingIndexBytes(size_t extraEntries, int stream) const {
    uint64_t bytes = 0;
    for (int s = 0; s < m_streamCount; ++s) {
        const size_t n = m_streams[s].segment.size() + (s == stream ? extraEntries : 0);
        if (n > 0)
            bytes += 8 + 24 + 8 * uint64_t(n);
    }
    if (m_riffCount == 1)
        bytes += 8 + uint64_t(m_idx1.size()) + 16 * extraEntries;
    return bytes;
}

bool AviWriter::WriteChunk(int stream, const void* data, size_t size, bool key) {
    if (!m_file)
        return Fail("the AVI file is not open");
    if (size > 0xFFFFFFF0u)
        return Fail("a chunk is too large for an AVI file");
    const uint64_t total = ChunkBytes(size);
    const bool segmentHasChunks = !m_streams[0].segment.empty() || !m_streams[1].segment.empty();
    if (segmentHasChunks &&
        (m_pos - m_riffStart) + total + PendingIndexBytes(1, stream) > m_setup.riffLimit) {
        if (!CloseRiff(true) || !StartRiff())
            return false;
    }
    Stream& s = m_streams[stream];
    const uint64_t at = m_pos;
    Bytes head;
    head.u32(s.chunkId).u32(static_cast<uint32_t>(size));
    if (!Put(head.b.data(), head.b.size()) || !Put(data, size))
        return false;
    if (size & 1) {
        const uint8_t pad = 0;
        if (!Put(&pad, 1))
            return false;
    }
    s.segment.push_back(Entry{at, static_cast<uint32_t>(size), key});
    ++s.count;
    s.bytes += size;
    if (size > s.largest)
        s.largest = static_cast<uint32_t>(size);
    if (m_riffCount == 1) {
        Bytes e;
        e.u32(s.chunkId).u32(key ? kAviifKeyFrame : 0).u32(static_cast<uint32_t>(at - (m_moviStart + 8)));
        e.u32(static_cast<uint32_t>(size));
        m_idx1.insert(m_idx1.end(), e.b.begin(), e.b.end());
    }
    return true;
}

bool AviWriter::WriteVideo(const void* data, size_t size, bool keyFrame) {
    return WriteChunk(0, data, size, keyFrame);
}

bool AviWriter::WriteAudio(const void* data, size_t size) {
    if (!m_setup.audio.present)
        return Fail("the AVI file has no audio stream");
    return WriteChunk(1, data, size, true);
}

bool AviWriter::CloseRiff(bool writeIndexes) {
    if (writeIndexes) {
        m_openDml = true;
        for (int n = 0; n < m_streamCount; ++n) {
            Stream& s = m_streams[n];
            if (s.segment.empty())
                continue;
            if (s.supers.size() >= kAviSuperIndexEntries)
                return Fail("the AVI file would need more than " + std::to_string(kAviSuperIndexEntries) +
                            " RIFF blocks");
            Bytes ix;
            const uint32_t entries = static_cast<uint32_t>(s.segment.size());
            ix.raw(n == 0 ? "ix00" : "ix01", 4).u32(24 + 8 * entries);
            ix.u16(2).u8(0).u8(1).u32(entries).u32(s.chunkId).u64(m_moviStart).u32(0);
            uint64_t segmentBytes = 0;
            for (const Entry& e : s.segment) {
                ix.u32(static_cast<uint32_t>(e.pos + 8 - m_moviStart))
                    .u32(e.size | (e.key ? 0 : 0x80000000u));
                segmentBytes += e.size;
            }
            const uint32_t duration =
                n == 0 ? entries : static_cast<uint32_t>(segmentBytes / m_setup.audio.sampleSize);
            s.supers.push_back(Stream::Super{m_pos, static_cast<uint32_t>(ix.b.size()), duration});
            if (!Put(ix.b.data(), ix.b.size()))
                return false;
        }
    }
    for (Stream& s : m_streams)
        s.segment.clear();
    Bytes size;
    size.u32(static_cast<uint32_t>(m_pos - (m_moviStart + 8)));
    if (!PutAt(m_moviStart + 4, size.b.data(), 4))
        return false;
    if (m_riffCount == 1) {
        Bytes idx1;
        idx1.raw("idx1", 4).u32(static_cast<uint32_t>(m_idx1.size()));
        if (!Put(idx1.b.data(), idx1.b.size()) || !Put(m_idx1.data(), m_idx1.size()))
            return false;
        m_firstRiffFrames = m_streams[0].count;
        std::vector<uint8_t>().swap(m_idx1);
    }
    Bytes riff;
    riff.u32(static_cast<uint32_t>(m_pos - (m_riffStart + 8)));
    return PutAt(m_riffStart + 4, riff.b.data(), 4);
}

bool AviWriter::StartRiff() {
    m_riffStart = m_pos;
    m_moviStart = m_pos + 12;
    ++m_riffCount;
    Bytes h;
    h.raw("RIFF", 4).u32(0).raw("AVIX", 4).raw("LIST", 4).u32(0).raw("movi", 4);
    return Put(h.b.data(), h.b.size());
}

bool AviWriter::Finish() {
    if (!m_file)
        return Fail("the AVI file is not open");
    const bool firstOnly = m_riffCount == 1;
    if (!CloseRiff(m_openDml))
        return false;
    if (firstOnly)
        m_firstRiffFrames = m_streams[0].count;

    const AviVideoSetup& v = m_setup.video;
    uint32_t largest = m_streams[0].largest;
    if (m_streamCount > 1 && m_streams[1].largest > largest)
        largest = m_streams[1].largest;
    Bytes avih;
    const uint64_t usPerFrame = (1000000ull * v.scale + v.rate / 2) / v.rate;
    avih.u32(static_cast<uint32_t>(usPerFrame)).u32(0).u32(0).u32(kAvifHasIndex).u32(m_firstRiffFrames);
    avih.u32(0).u32(static_cast<uint32_t>(m_streamCount)).u32(largest);
    avih.i32(v.format.biWidth).i32(v.format.biHeight < 0 ? -v.format.biHeight : v.format.biHeight).zeros(16);
    if (!PutAt(m_avihPos + 8, avih.b.data(), avih.b.size()))
        return false;

    for (int n = 0; n < m_streamCount; ++n) {
        Stream& s = m_streams[n];
        Bytes counts; // dwLength, dwSuggestedBufferSize
        const uint64_t length = n == 0 ? s.count : s.bytes / m_setup.audio.sampleSize;
        counts.u32(static_cast<uint32_t>(length)).u32(s.largest);
        if (!PutAt(s.strhPos + 8 + 32, counts.b.data(), counts.b.size()))
            return false;
        if (m_openDml) {
            Bytes indx;
            indx.raw("indx", 4)
                .u32(kIndxBytes)
                .u16(4)
                .u8(0)
                .u8(0)
                .u32(static_cast<uint32_t>(s.supers.size()));
            indx.u32(s.chunkId).zeros(12);
            for (const Stream::Super& e : s.supers)
                indx.u64(e.pos).u32(e.size).u32(e.duration);
            indx.zeros(8 + kIndxBytes - indx.b.size());
            if (!PutAt(s.indxPos, indx.b.data(), indx.b.size()))
                return false;
        }
    }
    if (m_openDml) {
        Bytes odml;
        odml.raw("LIST", 4).u32(kOdmlBytes).raw("odml", 4).raw("dmlh", 4).u32(248).u32(m_streams[0].count);
        odml.zeros(244);
        if (!PutAt(m_odmlPos, odml.b.data(), odml.b.size()))
            return false;
    }
    std::FILE* f = m_file;
    m_file = nullptr;
    if (std::fclose(f) != 0)
        return Fail("cannot write \"" + m_path + "\": " + std::strerror(errno));
    return true;
}

} // namespace zov
