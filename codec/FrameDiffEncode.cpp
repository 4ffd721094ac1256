// Encode side of FrameDiffCodec, one function a step: block comparison, classification,
// background, the area trace (or the fall-back to raw blocks), the block layer, the area
// layer, the record header.
#include <chrono>
#include <cstring>

#include "codec/FrameDiffImpl.h"
#include "codec/StreamContainer.h"

namespace zov {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

int FrameDiffCodec::EncodeFrame(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t* out,
                                uint32_t& size, uint16_t cursorX, uint16_t cursorY, uint8_t cursorIndex) {
    if (m_mode != C_CODEC_ENCODE || width != m_width || height != m_height || !pixels || !out ||
        size < kRecordHeaderBytes) {
        size = 0;
        return -1;
    }
    uint32_t bits = 0;
    int rc = EncodeImpl(pixels, out, size, bits, cursorX, cursorY, cursorIndex);
    size = bits;
    return rc;
}

int FrameDiffCodec::EncodeImpl(const uint32_t* pixels, uint8_t* out, uint32_t capacity, uint32_t& bits,
                               uint16_t cx, uint16_t cy, uint8_t ci) {
    AreaCodec& area = *m_area;
    const int64_t t0 = m_hook ? NowMs() : 0;

    const bool changed = CompareBlocks(pixels);
    if (m_hook)
        Trace("Frame Diff=%d\n", static_cast<int>(NowMs() - t0));
    if (!changed) {
        // Four zero bytes, no stream touched.
        std::memset(out, 0, 4);
        bits = 32;
        return 0;
    }
    const int64_t t1 = m_hook ? NowMs() : 0;

    const bool anyRegion = ClassifyBlocks(pixels);
    const uint32_t previousBackground = area.background;
    ChooseBackground();

    const int64_t tScan = m_hook ? NowMs() : 0;
    const bool areasOk = !anyRegion || TraceAreas(pixels, previousBackground);
    const int64_t tScanEnd = m_hook ? NowMs() : 0;

    uLong before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = area.Stream(static_cast<ZStream>(i)).total_out;
    size_t pos = kRecordHeaderBytes;
    WriteBlockLayer(out, capacity, pos);
    const int64_t t2 = m_hook ? NowMs() : 0;

    WriteAreaLayer(anyRegion && areasOk, out, capacity, pos);
    if (m_hook) {
        const int64_t t3 = NowMs();
        Trace("AreaInit=%dms, Scan=%dms, Zlib=%dms, AreaFree=%dms, total = %dms\n", 0,
              static_cast<int>(tScanEnd - tScan), static_cast<int>(t3 - t2), 0, static_cast<int>(t3 - t0));
        Trace("image len=%d bytes, time=%d, other=%d\n", static_cast<int>(m_impl->raw.size()),
              static_cast<int>(NowMs() - t2), static_cast<int>(t2 - t1));
    }

    bits = 8 * WriteRecordHeader(out, before, cx, cy, ci);
    return 0;
}

// Marks the changed blocks (bitmap and list, block order) and copies each into the
// previous-frame copy. Rows are compared across the whole picture in memory order, a block
// already known to differ skipped, so both pictures are read front to back. False when no
// block changed.
bool FrameDiffCodec::CompareBlocks(const uint32_t* pixels) {
    Impl& s = *m_impl;
    const uint32_t w = m_width, h = m_height;
    s.changed.clear();
    std::memset(s.changedBits.data(), 0, s.changedBits.size());
    s.blockChanged.assign(m_blocks, 0);
    for (uint32_t y = 0; y < h; ++y) {
        const uint32_t by = y / m_blockH;
        uint8_t* flags = s.blockChanged.data() + static_cast<size_t>(by) * m_blocksX;
        const uint32_t* a = pixels + static_cast<size_t>(y) * w;
        const uint32_t* c = s.prev.data() + static_cast<size_t>(y) * w;
        uint32_t x0 = 0;
        for (uint32_t bx = 0; bx < m_blocksX; ++bx, x0 += m_blockW) {
            if (flags[bx])
                continue;
            const uint32_t bw = w - x0 < m_blockW ? w - x0 : m_blockW;
            if (bw == 16) {
                uint64_t diff = 0;
                for (int i = 0; i < 16; i += 2) {
                    uint64_t p, q;
                    std::memcpy(&p, a + x0 + i, 8);
                    std::memcpy(&q, c + x0 + i, 8);
                    diff |= p ^ q;
                }
                flags[bx] = diff != 0;
            } else {
                flags[bx] = std::memcmp(a + x0, c + x0, static_cast<size_t>(bw) * 4) != 0;
            }
        }
    }
    for (uint32_t b = 0; b < m_blocks; ++b) {
        if (!s.blockChanged[b])
            continue;
        s.changedBits[b >> 3] |= static_cast<uint8_t>(1u << (b & 7));
        s.changed.push_back(b);
        const BlockRect r = BlockAt(b, m_blocksX, m_blockW, m_blockH, w, h);
        for (uint32_t y = 0; y < r.h; ++y) {
            const size_t at = static_cast<size_t>(r.y0 + y) * w + r.x0;
            std::memcpy(s.prev.data() + at, pixels + at, static_cast<size_t>(r.w) * 4);
        }
    }
    return !s.changed.empty();
}

// Appends block b's pixels to the raw-pixel buffer, 3 bytes each (blue, green, red).
void FrameDiffCodec::AppendRawBlock(const uint32_t* pixels, uint32_t block) {
    Impl& s = *m_impl;
    const BlockRect r = BlockAt(block, m_blocksX, m_blockW, m_blockH, m_width, m_height);
    const size_t at = s.raw.size();
    s.raw.resize(at + static_cast<size_t>(r.w) * r.h * 3);
    uint8_t* q = s.raw.data() + at;
    for (uint32_t y = 0; y < r.h; ++y) {
        const uint32_t* row = pixels + static_cast<size_t>(r.y0 + y) * m_width + r.x0;
        for (uint32_t x = 0; x < r.w; ++x) {
            const uint32_t v = row[x];
            *q++ = static_cast<uint8_t>(v);
            *q++ = static_cast<uint8_t>(v >> 8);
            *q++ = static_cast<uint8_t>(v >> 16);
        }
    }
}

// Sends each changed block raw (five or more colours) or region-coded (its pixels copied into
// the work image, its dominant colour counted). The work image is all EXCLUDED outside region
// blocks; only the blocks that held region pixels last frame need resetting. True when a
// block is region-coded.
bool FrameDiffCodec::ClassifyBlocks(const uint32_t* pixels) {
    Impl& s = *m_impl;
    const uint32_t w = m_width, h = m_height;
    for (uint32_t b = 0; b < m_blocks; ++b) {
        if (!s.workRegion[b])
            continue;
        s.workRegion[b] = 0;
        const BlockRect r = BlockAt(b, m_blocksX, m_blockW, m_blockH, w, h);
        for (uint32_t y = 0; y < r.h; ++y) {
            uint32_t* row = s.work.data() + static_cast<size_t>(r.y0 + y) * w + r.x0;
            for (uint32_t x = 0; x < r.w; ++x)
                row[x] = 0x04040404u;
        }
    }
    std::memset(s.regionBits.data(), 0, s.regionBits.size());
    s.raw.clear();
    s.dominant.clear();
    s.dominantIndex.clear();
    bool anyRegion = false;
    for (uint32_t b : s.changed) {
        const BlockRect r = BlockAt(b, m_blocksX, m_blockW, m_blockH, w, h);
        uint32_t values[4];
        uint32_t counts[4] = {0, 0, 0, 0};
        uint32_t distinct = 0;
        bool raw = false;
        for (uint32_t y = 0; y < r.h && !raw; ++y) {
            const uint32_t* row = pixels + static_cast<size_t>(r.y0 + y) * w + r.x0;
            for (uint32_t x = 0; x < r.w; ++x) {
                const uint32_t v = row[x];
                uint32_t i = 0;
                while (i < distinct && values[i] != v)
                    ++i;
                if (i == distinct) {
                    if (distinct == 4) {
                        raw = true;
                        break;
                    }
                    values[distinct++] = v;
                }
                ++counts[i];
            }
        }
        if (raw) {
            AppendRawBlock(pixels, b);
            continue;
        }
        anyRegion = true;
        s.regionBits[b >> 3] |= static_cast<uint8_t>(1u << (b & 7));
        s.workRegion[b] = 1;
        for (uint32_t y = 0; y < r.h; ++y)
            std::memcpy(s.work.data() + static_cast<size_t>(r.y0 + y) * w + r.x0,
                        pixels + static_cast<size_t>(r.y0 + y) * w + r.x0, static_cast<size_t>(r.w) * 4);
        uint32_t best = 0;
        for (uint32_t i = 1; i < distinct; ++i)
            if (counts[i] > counts[best])
                best = i;
        const uint32_t dom = values[best];
        const auto [it, added] = s.dominantIndex.try_emplace(dom, static_cast<uint32_t>(s.dominant.size()));
        if (added)
            s.dominant.push_back({dom, 1});
        else
            ++s.dominant[it->second].count;
    }
    return anyRegion;
}

// The background: the most frequent dominant colour, earliest on a tie. With no region block
// the table is empty and the background keeps its value.
void FrameDiffCodec::ChooseBackground() {
    const Impl& s = *m_impl;
    if (s.dominant.empty())
        return;
    size_t best = 0;
    for (size_t i = 1; i < s.dominant.size(); ++i)
        if (s.dominant[i].count > s.dominant[best].count)
            best = i;
    m_area->background = s.dominant[best].colour;
}

// Traces the areas before anything is compressed. A frame that would break a record limit
// goes out with all its changed blocks raw instead, and with the background it had before.
// False in that case.
bool FrameDiffCodec::TraceAreas(const uint32_t* pixels, uint32_t previousBackground) {
    Impl& s = *m_impl;
    AreaCodec& area = *m_area;
    AreaCodec::Blocks blocks{s.regionBits.data(), m_blocksX, m_blocksY, m_blockW, m_blockH};
    if (area.ScanAreas(s.work.data(), blocks))
        return true;
    area.background = previousBackground;
    std::memset(s.regionBits.data(), 0, s.regionBits.size());
    s.raw.clear();
    for (uint32_t b : s.changed)
        AppendRawBlock(pixels, b);
    return false;
}

// The block stream's segment: changed-block bitmap, region-block bitmap, raw pixels.
void FrameDiffCodec::WriteBlockLayer(uint8_t* out, size_t capacity, size_t& pos) {
    const Impl& s = *m_impl;
    AreaCodec& area = *m_area;
    area.Deflate(kBlockStream, s.changedBits.data(), s.changedBits.size(), out, capacity, pos);
    area.Deflate(kBlockStream, s.regionBits.data(), s.regionBits.size(), out, capacity, pos);
    area.Deflate(kBlockStream, s.raw.data(), s.raw.size(), out, capacity, pos);
}

// The colour, pattern and area streams' segments; without areas the background alone.
void FrameDiffCodec::WriteAreaLayer(bool areas, uint8_t* out, size_t capacity, size_t& pos) {
    if (areas)
        m_area->EmitAreas(out, capacity, pos);
    else
        m_area->EmitBackgroundOnly(out, capacity, pos);
}

// The record header from the four streams' output since `before`; returns the record's bytes.
uint32_t FrameDiffCodec::WriteRecordHeader(uint8_t* out, const unsigned long before[4], uint16_t cx,
                                           uint16_t cy, uint8_t ci) {
    AreaCodec& area = *m_area;
    uint32_t sizes[4];
    for (int i = 0; i < 4; ++i)
        sizes[i] = static_cast<uint32_t>(area.Stream(static_cast<ZStream>(i)).total_out - before[i]);
    FrameRecordHeader header;
    header.cursorX = cx;
    header.cursorY = cy;
    header.cursorIndex = ci;
    header.blockSize = sizes[kBlockStream];
    header.colourSize = sizes[kColourStream];
    header.patternSize = sizes[kPatternStream];
    const uint32_t chunks = header.blockSize + header.colourSize + header.patternSize + sizes[kAreaStream];
    WriteFrameRecordHeader(out, kFrameRecordHeaderBytes + chunks, header);
    return static_cast<uint32_t>(kRecordHeaderBytes) + chunks;
}

} // namespace zov
