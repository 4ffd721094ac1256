// Encode side of FrameDiffCodec: block comparison, classification, background, block layer,
// then the area coder, then the record header.
#include <chrono>
#include <cstring>

#include "codec/FrameDiffImpl.h"

namespace zov {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
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
    Impl& s = *m_impl;
    AreaCodec& area = *m_area;
    const uint32_t w = m_width, h = m_height;
    const int64_t t0 = m_hook ? NowMs() : 0;

    // 1. Block comparison, copying each changed block into the previous-frame copy. Rows
    // are compared across the whole picture in memory order (a block already known to
    // differ is skipped), which streams both pictures instead of hopping between rows.
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
    if (m_hook)
        Trace("Frame Diff=%d\n", static_cast<int>(NowMs() - t0));

    // 2. Unchanged frame: four zero bytes, no stream touched.
    if (s.changed.empty()) {
        std::memset(out, 0, 4);
        bits = 32;
        return 0;
    }
    const int64_t t1 = m_hook ? NowMs() : 0;

    // 3. Classification. The work image is all EXCLUDED outside region blocks; only the
    // blocks that held region pixels last frame need resetting.
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
    auto appendRaw = [&](const BlockRect& r) {
        const size_t at = s.raw.size();
        s.raw.resize(at + static_cast<size_t>(r.w) * r.h * 3);
        uint8_t* q = s.raw.data() + at;
        for (uint32_t y = 0; y < r.h; ++y) {
            const uint32_t* row = pixels + static_cast<size_t>(r.y0 + y) * w + r.x0;
            for (uint32_t x = 0; x < r.w; ++x) {
                const uint32_t v = row[x];
                *q++ = static_cast<uint8_t>(v);
                *q++ = static_cast<uint8_t>(v >> 8);
                *q++ = static_cast<uint8_t>(v >> 16);
            }
        }
    };
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
            appendRaw(r);
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

    // 4. Background: the most frequent dominant colour, earliest on a tie. With no region
    // block the table is empty and the background keeps its value.
    const uint32_t previousBackground = area.background;
    if (!s.dominant.empty()) {
        size_t best = 0;
        for (size_t i = 1; i < s.dominant.size(); ++i)
            if (s.dominant[i].count > s.dominant[best].count)
                best = i;
        area.background = s.dominant[best].colour;
    }

    // Trace the areas before anything is compressed: a frame that would break a record
    // limit goes out with all its changed blocks raw instead.
    bool areasOk = true;
    const int64_t tScan = m_hook ? NowMs() : 0;
    if (anyRegion) {
        AreaCodec::Blocks blocks{s.regionBits.data(), m_blocksX, m_blocksY, m_blockW, m_blockH};
        areasOk = area.ScanAreas(s.work.data(), blocks);
        if (!areasOk) {
            area.background = previousBackground;
            std::memset(s.regionBits.data(), 0, s.regionBits.size());
            s.raw.clear();
            for (uint32_t b : s.changed)
                appendRaw(BlockAt(b, m_blocksX, m_blockW, m_blockH, w, h));
        }
    }

    const int64_t tScanEnd = m_hook ? NowMs() : 0;

    // 5. Block layer.
    uLong before[4];
    for (int i = 0; i < 4; ++i)
        before[i] = area.Stream(static_cast<ZStream>(i)).total_out;
    size_t pos = kRecordHeaderBytes;
    area.Deflate(kBlockStream, s.changedBits.data(), s.changedBits.size(), out, capacity, pos);
    area.Deflate(kBlockStream, s.regionBits.data(), s.regionBits.size(), out, capacity, pos);
    area.Deflate(kBlockStream, s.raw.data(), s.raw.size(), out, capacity, pos);
    const int64_t t2 = m_hook ? NowMs() : 0;

    // 6. Area layer.
    if (anyRegion && areasOk)
        area.EmitAreas(out, capacity, pos);
    else
        area.EmitBackgroundOnly(out, capacity, pos);
    if (m_hook) {
        const int64_t t3 = NowMs();
        Trace("AreaInit=%dms, Scan=%dms, Zlib=%dms, AreaFree=%dms, total = %dms\n", 0,
              static_cast<int>(tScanEnd - tScan), static_cast<int>(t3 - t2), 0, static_cast<int>(t3 - t0));
    }
    if (m_hook)
        Trace("image len=%d bytes, time=%d, other=%d\n", static_cast<int>(s.raw.size()),
              static_cast<int>(NowMs() - t2), static_cast<int>(t2 - t1));

    // 11. Record header.
    uint32_t sizes[4];
    for (int i = 0; i < 4; ++i)
        sizes[i] = static_cast<uint32_t>(area.Stream(static_cast<ZStream>(i)).total_out - before[i]);
    const uint32_t blockSize = sizes[kBlockStream], colourSize = sizes[kColourStream],
                   patternSize = sizes[kPatternStream], areaSize = sizes[kAreaStream];
    PutBE32(out, blockSize + colourSize + patternSize + areaSize + 17);
    out[4] = static_cast<uint8_t>(cx >> 8);
    out[5] = static_cast<uint8_t>(cx);
    out[6] = static_cast<uint8_t>(cy >> 8);
    out[7] = static_cast<uint8_t>(cy);
    out[8] = ci;
    PutBE32(out + 9, blockSize);
    PutBE32(out + 13, colourSize);
    PutBE32(out + 17, patternSize);
    bits = static_cast<uint32_t>(8 * (kRecordHeaderBytes + blockSize + colourSize + patternSize + areaSize));
    return 0;
}

} // namespace zov
