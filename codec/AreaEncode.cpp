// Encode side of the area coder: the two-pass trace of the region-coded blocks, pattern
// matching, and the colour, pattern and area layers.
#include <algorithm>
#include <cstring>

#include "codec/AreaCodec.h"

namespace zov {

void AreaCodec::Deflate(ZStream s, const uint8_t* data, size_t size, uint8_t* out, size_t capacity,
                        size_t& pos) {
    z_stream& z = m_z[s];
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out + pos;
    z.avail_out = static_cast<uInt>(capacity - pos);
    const uLong before = z.total_out;
    // Z_BUF_ERROR after a flush with no new input is expected: nothing is written then.
    deflate(&z, Z_SYNC_FLUSH);
    pos += z.total_out - before;
    z.next_in = nullptr;
    z.avail_in = 0;
}

uint32_t AreaCodec::Trace(uint32_t* img, uint32_t seed, uint32_t stopMask, std::vector<uint32_t>* pixelsOut) {
    const uint32_t colour = img[seed] & kColourMask;
    const uint32_t visited = colour | VISITED;
    const int64_t pixels = static_cast<int64_t>(m_pixels);
    uint8_t* shape = m_shape.get();
    uint32_t* stack = m_stack.get();
    uint8_t* dirs = m_stackDir.get();
    uint32_t bits = 0, length = 0;
    size_t sp = 0;

    img[seed] = visited;
    if (pixelsOut)
        pixelsOut->push_back(seed);
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
        const int64_t n = static_cast<int64_t>(stack[sp]) + m_offsets[k];
        if (n < 0 || n >= pixels)
            continue;
        const uint32_t v = img[n];
        if ((v & stopMask) || v == visited)
            continue;
        if ((bits & 7) == 0)
            shape[bits >> 3] = 0;
        if (v == colour) {
            shape[bits >> 3] |= static_cast<uint8_t>(1u << (bits & 7));
            length = ++bits;
            img[n] = visited;
            if (pixelsOut)
                pixelsOut->push_back(static_cast<uint32_t>(n));
            ++sp;
            stack[sp] = static_cast<uint32_t>(n);
            dirs[sp] = 0;
        } else {
            ++bits;
            img[n] = v | QUEUED;
            m_queued.push_back(static_cast<uint32_t>(n));
        }
    }
    for (uint32_t q : m_queued)
        img[q] &= ~QUEUED;
    return length;
}

bool AreaCodec::ScanAreas(uint32_t* work, const Blocks& blocks) {
    const uint32_t w = m_width, h = m_height;
    m_eAreas.clear();
    m_pool.clear();
    m_pool2.clear();
    m_newPatterns.clear();
    m_areaPixels.clear();
    m_haveLayers = false;

    // The guard column keeps the neighbour offsets from wrapping across rows.
    for (uint32_t y = 0; y < h; ++y)
        work[static_cast<size_t>(y) * w + w - 1] |= EXCLUDED;

    const uint32_t limit = std::min<uint32_t>(kMaxRecordAreas, DecoderAreaCapacity(m_pixels));
    auto takeBack = [&] {
        // Newest first, so that each one's bytes are the last in the table's pool.
        for (auto i = m_newPatterns.rbegin(); i != m_newPatterns.rend(); ++i)
            patterns.Unregister(m_eAreas[*i].pattern);
        m_newPatterns.clear();
        m_eAreas.clear();
    };

    // First pass: rows bottom-up, columns right to left; only region blocks hold seeds.
    for (int64_t y = static_cast<int64_t>(h) - 1; y >= 0; --y) {
        const uint32_t by = static_cast<uint32_t>(y) / blocks.blockH;
        uint32_t* row = work + static_cast<size_t>(y) * w;
        for (int64_t bx = static_cast<int64_t>(blocks.blocksX) - 1; bx >= 0; --bx) {
            const uint32_t b = by * blocks.blocksX + static_cast<uint32_t>(bx);
            if (!((blocks.regionBits[b >> 3] >> (b & 7)) & 1))
                continue;
            const int64_t x0 = bx * static_cast<int64_t>(blocks.blockW);
            const int64_t x1 = std::min<int64_t>(x0 + blocks.blockW, static_cast<int64_t>(w) - 1);
            for (int64_t x = x1 - 1; x >= x0; --x) {
                const uint32_t v = row[x];
                if ((v & (VISITED | EXCLUDED)) || v == background)
                    continue;
                if (m_eAreas.size() >= limit) {
                    takeBack();
                    return false;
                }
                const uint32_t seed = static_cast<uint32_t>(y * w + x);
                const size_t pixelsAt = m_areaPixels.size();
                const uint32_t length = Trace(work, seed, QUEUED | EXCLUDED, &m_areaPixels);
                EArea a{static_cast<uint16_t>(x), static_cast<uint16_t>(y), v, 0, length, 0, pixelsAt, 0};
                bool isNew = false;
                if (length >= 1 && length <= kMaxPatternBits) {
                    const uint16_t sum = PatternChecksum(m_shape.get(), length);
                    // Checksum 0 means "no pattern" and 65535 has no slot: those stay own shapes.
                    if (sum != 0 && sum < kPatternSlots) {
                        if (!patterns.Has(sum)) {
                            if (m_newPatterns.size() < kMaxNewPatternsEncode) {
                                patterns.Register(sum, m_shape.get(), length);
                                a.pattern = sum;
                                isNew = true;
                            }
                        } else if (patterns.Matches(sum, m_shape.get(), length)) {
                            a.pattern = sum;
                        }
                    }
                }
                if (length > 0 && (a.pattern == 0 || isNew)) {
                    a.offset = m_pool.size();
                    m_pool.insert(m_pool.end(), m_shape.get(), m_shape.get() + (length + 7) / 8);
                }
                if (isNew)
                    m_newPatterns.push_back(static_cast<uint32_t>(m_eAreas.size()));
                // Only own shapes are traced again; the others keep their pixels VISITED.
                if (a.pattern == 0 && length > 0)
                    a.pixelCount = m_areaPixels.size() - pixelsAt;
                else
                    m_areaPixels.resize(pixelsAt);
                m_eAreas.push_back(a);
            }
        }
    }

    // Second pass: undo every own shape (its seed and the pixels its bits joined lose
    // VISITED again, which is all that replaying its bits with ADDED marks leaves behind),
    // then trace them again so that pixels already settled (pattern areas, one-pixel areas,
    // earlier own areas) cost no bit.
    for (const EArea& a : m_eAreas) {
        if (a.pattern != 0 || a.length == 0)
            continue;
        const uint32_t* px = m_areaPixels.data() + a.pixelsAt;
        for (size_t i = 0; i < a.pixelCount; ++i)
            work[px[i]] &= ~VISITED;
    }
    for (EArea& a : m_eAreas) {
        if (a.pattern != 0 || a.length == 0)
            continue;
        const uint32_t length =
            Trace(work, static_cast<uint32_t>(a.y) * w + a.x, VISITED | QUEUED | EXCLUDED, nullptr);
        if (length > kMaxLengthCode) {
            takeBack();
            return false;
        }
        a.length = length;
        a.offset = m_pool2.size();
        m_pool2.insert(m_pool2.end(), m_shape.get(), m_shape.get() + (length + 7) / 8);
    }

    // The layers, areas in output order: pattern areas first, then own areas.
    const uint32_t n = static_cast<uint32_t>(m_eAreas.size());
    std::vector<uint32_t> order;
    order.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        if (m_eAreas[i].pattern != 0)
            order.push_back(i);
    const uint32_t p = static_cast<uint32_t>(order.size());
    for (uint32_t i = 0; i < n; ++i)
        if (m_eAreas[i].pattern == 0)
            order.push_back(i);

    m_colourLayer.resize(static_cast<size_t>(n) * 3);
    m_patternLayer.resize(static_cast<size_t>(p) * 2);
    uint64_t shapeBits = 0;
    for (uint32_t i : m_newPatterns)
        shapeBits += m_eAreas[i].length;
    for (uint32_t k = p; k < n; ++k)
        shapeBits += m_eAreas[order[k]].length;
    m_areaLayer.resize(7 + 4 * static_cast<size_t>(n) + 4 +
                       3 * (static_cast<size_t>(n) + m_newPatterns.size()) +
                       static_cast<size_t>((shapeBits + 7) / 8) + 8);
    BitBuffer layer;
    layer.data = m_areaLayer.data();
    layer.AppendBE16(n);
    layer.AppendBE16(p);
    layer.AppendByte(static_cast<uint8_t>(background));
    layer.AppendByte(static_cast<uint8_t>(background >> 8));
    layer.AppendByte(static_cast<uint8_t>(background >> 16));
    uint32_t last = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const EArea& a = m_eAreas[order[k]];
        const uint32_t c = a.colour;
        m_colourLayer[3 * k] = static_cast<uint8_t>(c);
        m_colourLayer[3 * k + 1] = static_cast<uint8_t>(c >> 8);
        m_colourLayer[3 * k + 2] = static_cast<uint8_t>(c >> 16);
        if (k < p) {
            m_patternLayer[2 * k] = static_cast<uint8_t>(a.pattern >> 8);
            m_patternLayer[2 * k + 1] = static_cast<uint8_t>(a.pattern);
        }
        layer.AppendBE16((a.x - last) & 0xFFFF);
        last = a.x;
    }
    last = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const EArea& a = m_eAreas[order[k]];
        layer.AppendBE16((a.y - last) & 0xFFFF);
        last = a.y;
    }
    layer.AppendBE32(static_cast<uint32_t>(m_newPatterns.size()));
    for (uint32_t i : m_newPatterns)
        layer.AppendLengthCode(m_eAreas[i].length);
    for (uint32_t k = p; k < n; ++k)
        layer.AppendLengthCode(m_eAreas[order[k]].length);
    for (uint32_t i : m_newPatterns)
        layer.Append(m_pool.data() + m_eAreas[i].offset, m_eAreas[i].length);
    for (uint32_t k = p; k < n; ++k) {
        const EArea& a = m_eAreas[order[k]];
        if (a.length)
            layer.Append(m_pool2.data() + a.offset, a.length);
    }
    m_areaLayer.resize(layer.Bytes());
    m_haveLayers = true;
    return true;
}

void AreaCodec::EmitAreas(uint8_t* out, size_t capacity, size_t& pos) {
    if (!m_haveLayers || m_eAreas.empty()) {
        EmitBackgroundOnly(out, capacity, pos);
        return;
    }
    Deflate(kColourStream, m_colourLayer.data(), m_colourLayer.size(), out, capacity, pos);
    // Made also when there are no pattern areas: the stream's first segment carries its header.
    Deflate(kPatternStream, m_patternLayer.data(), m_patternLayer.size(), out, capacity, pos);
    Deflate(kAreaStream, m_areaLayer.data(), m_areaLayer.size(), out, capacity, pos);
}

void AreaCodec::EmitBackgroundOnly(uint8_t* out, size_t capacity, size_t& pos) {
    m_colourLayer.clear();
    m_patternLayer.clear();
    m_areaLayer.assign({static_cast<uint8_t>(background), static_cast<uint8_t>(background >> 8),
                        static_cast<uint8_t>(background >> 16)});
    Deflate(kAreaStream, m_areaLayer.data(), 3, out, capacity, pos);
}

} // namespace zov
