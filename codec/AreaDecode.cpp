// Decode side of the area coder: reading a record's area layer (every count, length and
// position checked against the picture and the chunk before use) and painting the areas.
#include <algorithm>
#include <cstring>

#include "codec/AreaCodec.h"

namespace zov {

size_t AreaCodec::Inflate(ZStream s, uint8_t* dst, size_t size) {
    z_stream& z = m_z[s];
    // zlib refuses a null output pointer without consuming anything, even for 0 bytes.
    uint8_t dummy;
    z.next_out = size ? dst : &dummy;
    z.avail_out = static_cast<uInt>(size);
    const uLong before = z.total_out;
    const int rc = inflate(&z, Z_NO_FLUSH);
    // Z_BUF_ERROR is only "no progress possible" (an empty chunk), not damage.
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        TraceLine("ERROR:zlib inflate()\n");
    return z.total_out - before;
}

namespace {

// Reads from the inflated area chunk with bounds checks.
struct Cursor {
    const uint8_t* p;
    size_t size, at = 0;
    bool Need(size_t n) const { return size - at >= n; }
    uint32_t BE16() {
        uint32_t v = (static_cast<uint32_t>(p[at]) << 8) | p[at + 1];
        at += 2;
        return v;
    }
    uint32_t BE32() {
        uint32_t v = (static_cast<uint32_t>(p[at]) << 24) | (static_cast<uint32_t>(p[at + 1]) << 16) |
                     (static_cast<uint32_t>(p[at + 2]) << 8) | p[at + 3];
        at += 4;
        return v;
    }
    bool LengthCode(uint32_t& v) {
        if (!Need(1))
            return false;
        const uint8_t b = p[at];
        if (b < 0x80) {
            v = b;
            at += 1;
        } else if (b & 0x40) {
            if (!Need(3))
                return false;
            v = (static_cast<uint32_t>(b & 0x3F) << 16) | (static_cast<uint32_t>(p[at + 1]) << 8) | p[at + 2];
            at += 3;
        } else {
            if (!Need(2))
                return false;
            v = (static_cast<uint32_t>(b & 0x7F) << 8) | p[at + 1];
            at += 2;
        }
        return true;
    }
};

} // namespace

bool AreaCodec::ReadAreas(bool hasAreas, std::string& error) {
    m_dAreas.clear();
    m_newLengths.clear();
    m_dCount = m_dPatternCount = 0;
    m_dBackground = background;
    if (!hasAreas) {
        if (version >= 9) {
            uint8_t b[3];
            if (Inflate(kAreaStream, b, 3) != 3) {
                error = "area chunk is shorter than its background colour";
                return false;
            }
            m_dBackground = b[0] | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16);
        }
        return true;
    }

    // Fixed part: N, P, background; then the positions.
    uint8_t head[7];
    if (Inflate(kAreaStream, head, 7) != 7) {
        error = "area chunk is shorter than its counts";
        return false;
    }
    const uint32_t n = (static_cast<uint32_t>(head[0]) << 8) | head[1];
    const uint32_t p = (static_cast<uint32_t>(head[2]) << 8) | head[3];
    m_dBackground = head[4] | (static_cast<uint32_t>(head[5]) << 8) | (static_cast<uint32_t>(head[6]) << 16);
    if (n > DecoderAreaCapacity(m_pixels)) {
        error = "record declares " + std::to_string(n) + " areas, more than the picture can hold";
        return false;
    }
    if (p > n) {
        error = "record declares more pattern areas than areas";
        return false;
    }
    const size_t fixed = 4 * static_cast<size_t>(n) + 4;
    if (m_areaBytes.size() < fixed)
        m_areaBytes.resize(fixed);
    if (Inflate(kAreaStream, m_areaBytes.data(), fixed) != fixed) {
        error = "area chunk is shorter than its area positions";
        return false;
    }
    Cursor head2{m_areaBytes.data(), fixed};
    m_dAreas.resize(n);
    uint32_t x = 0, y = 0;
    for (uint32_t i = 0; i < n; ++i) {
        x = (x + head2.BE16()) & 0xFFFF;
        m_dAreas[i].x = static_cast<uint16_t>(x);
    }
    for (uint32_t i = 0; i < n; ++i) {
        y = (y + head2.BE16()) & 0xFFFF;
        m_dAreas[i].y = static_cast<uint16_t>(y);
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (m_dAreas[i].x >= m_width || m_dAreas[i].y >= m_height) {
            error = "area seed lies outside the picture";
            return false;
        }
    }
    const uint32_t m = head2.BE32();
    if (m > kMaxNewPatternsDecode) {
        error = "record declares " + std::to_string(m) + " new patterns, more than 22500";
        return false;
    }

    // The rest of the chunk: length codes, then the shape bits. A valid record holds at most
    // three bytes a length code, the new patterns' bits and one bit a pixel for each area
    // touching it; more than that is never read.
    const size_t cap = 3 * (static_cast<size_t>(m) + n) +
                       static_cast<size_t>(m) * ((kMaxPatternBits + 7) / 8) + (9 * m_pixels) / 8 + 64;
    size_t have = 0;
    for (;;) {
        const size_t want = std::min(cap - have, std::max<size_t>(4096, have));
        if (want == 0)
            break;
        if (m_areaBytes.size() < have + want)
            m_areaBytes.resize(have + want);
        const size_t got = Inflate(kAreaStream, m_areaBytes.data() + have, want);
        have += got;
        if (got < want)
            break;
    }
    Cursor c{m_areaBytes.data(), have};
    m_newLengths.resize(m);
    uint64_t total = 0;
    for (uint32_t i = 0; i < m; ++i) {
        uint32_t v;
        if (!c.LengthCode(v)) {
            error = "area chunk is shorter than its pattern lengths";
            return false;
        }
        if (v == 0 || v > kMaxPatternBits) {
            error = "new pattern of " + std::to_string(v) + " bits cannot be cached";
            return false;
        }
        m_newLengths[i] = v;
        total += v;
    }
    for (uint32_t i = 0; i < n; ++i) {
        DArea& a = m_dAreas[i];
        a.pattern = 0;
        a.length = 0;
        a.bitOffset = 0;
        if (i < p)
            continue;
        if (!c.LengthCode(a.length)) {
            error = "area chunk is shorter than its shape lengths";
            return false;
        }
        total += a.length;
    }
    const uint64_t shapeBytes = (total + 7) / 8;
    if (shapeBytes > c.size - c.at) {
        error = "shape lengths exceed what the area chunk holds";
        return false;
    }
    m_shapeStart = c.at;
    uint64_t offset = 0;
    for (uint32_t i = 0; i < m; ++i)
        offset += m_newLengths[i];
    for (uint32_t i = p; i < n; ++i) {
        m_dAreas[i].bitOffset = offset;
        offset += m_dAreas[i].length;
    }

    // Colours and pattern ids are their chunks, inflated whole.
    m_colourBytes.resize(3 * static_cast<size_t>(n));
    if (Inflate(kColourStream, m_colourBytes.data(), m_colourBytes.size()) != m_colourBytes.size()) {
        error = "colour chunk is shorter than its areas";
        return false;
    }
    m_patternBytes.resize(2 * static_cast<size_t>(p));
    // Inflated also when P is 0: the first chunk carries the stream's zlib header.
    if (Inflate(kPatternStream, m_patternBytes.data(), m_patternBytes.size()) != m_patternBytes.size()) {
        error = "pattern chunk is shorter than its pattern areas";
        return false;
    }
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* q = m_colourBytes.data() + 3 * static_cast<size_t>(i);
        m_dAreas[i].colour = q[0] | (static_cast<uint32_t>(q[1]) << 8) | (static_cast<uint32_t>(q[2]) << 16);
        if (i < p)
            m_dAreas[i].pattern =
                static_cast<uint16_t>((m_patternBytes[2 * i] << 8) | m_patternBytes[2 * i + 1]);
    }
    m_dCount = n;
    m_dPatternCount = p;
    return true;
}

void AreaCodec::Paint(uint32_t* img, uint32_t seed, uint32_t colour, const uint8_t* shape, uint32_t startBit,
                      uint32_t length, uint32_t stopMask) {
    const uint32_t painted = colour | VISITED;
    img[seed] = painted;
    if (!shape || length == 0)
        return;
    const int64_t pixels = static_cast<int64_t>(m_pixels);
    uint32_t* stack = m_stack.get();
    uint8_t* dirs = m_stackDir.get();
    uint32_t budget = length;
    size_t bit = startBit;
    size_t sp = 0;
    m_queued.clear();
    stack[0] = seed;
    dirs[0] = 0;
    for (;;) {
        const uint8_t k = dirs[sp];
        if (k == 8) {
            if (sp == 0)
                break;
            --sp;
            continue;
        }
        dirs[sp] = static_cast<uint8_t>(k + 1);
        const int64_t nb = static_cast<int64_t>(stack[sp]) + m_offsets[k];
        if (nb < 0 || nb >= pixels)
            continue;
        const uint32_t v = img[nb];
        if ((v & stopMask) || (v & 0x01FFFFFFu) == painted)
            continue;
        if (budget == 0)
            break; // the bit budget is spent: the rest stays as it is
        --budget;
        const bool one = (shape[bit >> 3] >> (bit & 7)) & 1;
        ++bit;
        if (one) {
            img[nb] = painted;
            ++sp;
            stack[sp] = static_cast<uint32_t>(nb);
            dirs[sp] = 0;
        } else {
            img[nb] = v | QUEUED;
            m_queued.push_back(static_cast<uint32_t>(nb));
        }
    }
    for (uint32_t q : m_queued)
        img[q] &= ~QUEUED;
}

void AreaCodec::PaintAreas(uint32_t* image) {
    const uint8_t* shapes = m_areaBytes.data() + m_shapeStart;
    // New patterns: each copied to bit 0 of its own buffer, exactly its bits.
    uint64_t offset = 0;
    std::vector<uint8_t> copy;
    for (uint32_t length : m_newLengths) {
        const size_t bytes = (length + 7) / 8;
        copy.assign(((length + 31) / 32) * 4, 0);
        const size_t byte = offset / 8;
        const unsigned shift = offset % 8;
        for (size_t j = 0; j < bytes; ++j) {
            uint32_t v = shapes[byte + j] >> shift;
            if (shift && (j + 1) * 8 < length + shift)
                v |= static_cast<uint32_t>(shapes[byte + j + 1]) << (8 - shift);
            copy[j] = static_cast<uint8_t>(v);
        }
        if (length % 8)
            copy[bytes - 1] &= static_cast<uint8_t>((1u << (length % 8)) - 1);
        const uint16_t sum = PatternChecksum(copy.data(), length);
        if (sum == 0 || sum >= kPatternSlots) {
            // no slot for it; areas naming it are not painted
        } else if (patterns.Has(sum)) {
            TraceLine("Error: Reregister a Pattern !\n");
        } else {
            patterns.Register(sum, copy.data(), length);
        }
        offset += length;
    }

    const uint32_t w = m_width;
    m_straySeeds.clear();
    for (uint32_t i = 0; i < m_dCount; ++i) {
        const DArea& a = m_dAreas[i];
        const uint32_t seed = static_cast<uint32_t>(a.y) * w + a.x;
        if (image[seed] & EXCLUDED)
            m_straySeeds.push_back(seed);
        if (i < m_dPatternCount) {
            if (patterns.Has(a.pattern))
                Paint(image, seed, a.colour, patterns.Bytes(a.pattern), 0, patterns.Length(a.pattern),
                      QUEUED | EXCLUDED);
        } else if (a.length == 0) {
            Paint(image, seed, a.colour, nullptr, 0, 0, QUEUED | EXCLUDED);
        }
    }
    for (uint32_t i = m_dPatternCount; i < m_dCount; ++i) {
        const DArea& a = m_dAreas[i];
        if (a.length == 0)
            continue;
        Paint(image, static_cast<uint32_t>(a.y) * w + a.x, a.colour, shapes,
              static_cast<uint32_t>(a.bitOffset), a.length, VISITED | QUEUED | EXCLUDED);
    }
}

} // namespace zov
