// Helpers for the codec tests: an independent look inside records (the four chunks inflated
// with the tests' own zlib streams), a record builder for hand-made hostile records, and
// pictures.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zov::test {

using Bytes = std::vector<uint8_t>;

inline uint32_t BE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Inflates each record's chunks completely, keeping four streams across records as a
// decoder does. Layers: 0 block, 1 colour, 2 pattern, 3 area (record order).
class LayerTap {
  public:
    LayerTap() {
        for (auto& z : m_z) {
            z = z_stream{};
            inflateInit(&z);
        }
    }
    ~LayerTap() {
        for (auto& z : m_z)
            inflateEnd(&z);
    }
    // `record` starts at its length field. Returns false for a record that is not a frame.
    bool Tap(const uint8_t* record, Bytes layers[4]) {
        const uint32_t length = BE32(record);
        if (length < 17 || (length & 0x80000000u))
            return false;
        const uint32_t sizes[3] = {BE32(record + 9), BE32(record + 13), BE32(record + 17)};
        const uint32_t areaSize = length - 17 - sizes[0] - sizes[1] - sizes[2];
        const uint8_t* at = record + 21;
        const uint32_t all[4] = {sizes[0], sizes[1], sizes[2], areaSize};
        for (int i = 0; i < 4; ++i) {
            layers[i].clear();
            z_stream& z = m_z[i];
            z.next_in = const_cast<Bytef*>(at);
            z.avail_in = all[i];
            uint8_t buf[65536];
            do {
                z.next_out = buf;
                z.avail_out = sizeof buf;
                int rc = inflate(&z, Z_NO_FLUSH);
                layers[i].insert(layers[i].end(), buf, buf + (sizeof buf - z.avail_out));
                if (rc != Z_OK)
                    break;
            } while (z.avail_in > 0 || z.avail_out == 0);
            at += all[i];
        }
        return true;
    }

  private:
    z_stream m_z[4];
};

// Builds frame records from layers given before compression, with four deflate streams kept
// across records as the encoder does.
class RecordBuilder {
  public:
    RecordBuilder() {
        for (auto& z : m_z) {
            z = z_stream{};
            deflateInit(&z, Z_DEFAULT_COMPRESSION);
        }
    }
    ~RecordBuilder() {
        for (auto& z : m_z)
            deflateEnd(&z);
    }
    // Each layer is a list of segments (one deflate call each); an empty list = no call.
    Bytes Build(const std::vector<Bytes> layers[4]) {
        Bytes chunk[4];
        for (int i = 0; i < 4; ++i)
            for (const Bytes& seg : layers[i]) {
                uint8_t out[1 << 16];
                z_stream& z = m_z[i];
                z.next_in = const_cast<Bytef*>(seg.data());
                z.avail_in = static_cast<uInt>(seg.size());
                z.next_out = out;
                z.avail_out = sizeof out;
                deflate(&z, Z_SYNC_FLUSH);
                chunk[i].insert(chunk[i].end(), out, out + (sizeof out - z.avail_out));
            }
        Bytes rec(21);
        const uint32_t length =
            17 + uint32_t(chunk[0].size() + chunk[1].size() + chunk[2].size() + chunk[3].size());
        auto put = [&](size_t at, uint32_t v) {
            rec[at] = uint8_t(v >> 24);
            rec[at + 1] = uint8_t(v >> 16);
            rec[at + 2] = uint8_t(v >> 8);
            rec[at + 3] = uint8_t(v);
        };
        put(0, length);
        put(9, uint32_t(chunk[0].size()));
        put(13, uint32_t(chunk[1].size()));
        put(17, uint32_t(chunk[2].size()));
        for (auto& c : chunk)
            rec.insert(rec.end(), c.begin(), c.end());
        return rec;
    }

  private:
    z_stream m_z[4];
};

// Deterministic pseudo-random numbers (fixed seed, same on every platform).
struct Rng {
    uint32_t s;
    explicit Rng(uint32_t seed) : s(seed) {}
    uint32_t Next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

// Checks a decoded picture against its source: equal everywhere except the last column of
// blocks whose latest changing record coded them by regions, which must be that record's
// background. Tracks that per block from the records' layers.
class GuardModel {
  public:
    GuardModel(uint32_t w, uint32_t h, uint32_t bw = 16, uint32_t bh = 16)
        : m_w(w), m_h(h), m_bw(bw), m_bh(bh), m_bx((w + bw - 1) / bw), m_by((h + bh - 1) / bh),
          m_region(m_bx * m_by, 0), m_bg(m_bx * m_by, 0) {}
    // Feed every frame record (starting at its length field), in order.
    void Record(const uint8_t* record) {
        Bytes layers[4];
        if (!m_tap.Tap(record, layers))
            return;
        const size_t bm = (m_bx * m_by + 7) / 8;
        const Bytes& block = layers[0];
        const Bytes& area = layers[3];
        const bool areas = !layers[1].empty();
        if (areas && area.size() >= 7)
            m_background = area[4] | (area[5] << 8) | (area[6] << 16);
        else if (!areas && area.size() >= 3)
            m_background = area[0] | (area[1] << 8) | (area[2] << 16);
        for (uint32_t b = 0; b < m_bx * m_by; ++b) {
            if (block.size() < 2 * bm)
                return;
            const bool changed = (block[b >> 3] >> (b & 7)) & 1;
            const bool region = (block[bm + (b >> 3)] >> (b & 7)) & 1;
            if (!changed)
                continue;
            m_region[b] = region;
            m_bg[b] = m_background;
        }
    }
    // Returns "" when `decoded` matches `source` (both width x height words, colour in the
    // low 24 bits) under the guard rule, else the first difference.
    std::string Compare(const uint32_t* source, const uint32_t* decoded, int* guardPixels = nullptr) const {
        int guards = 0;
        for (uint32_t y = 0; y < m_h; ++y)
            for (uint32_t x = 0; x < m_w; ++x) {
                const size_t i = size_t(y) * m_w + x;
                uint32_t want = source[i] & 0xFFFFFF;
                if (x == m_w - 1) {
                    const uint32_t b = (y / m_bh) * m_bx + x / m_bw;
                    if (m_region[b]) {
                        want = m_bg[b];
                        ++guards;
                    }
                }
                const uint32_t got = decoded[i] & 0xFFFFFF;
                if (got != want) {
                    char text[160];
                    std::snprintf(text, sizeof text,
                                  "pixel (%u, %u): decoded %06X, expected %06X (source %06X)", x, y, got,
                                  want, source[i] & 0xFFFFFF);
                    return text;
                }
            }
        if (guardPixels)
            *guardPixels = guards;
        return "";
    }

  private:
    uint32_t m_w, m_h, m_bw, m_bh, m_bx, m_by;
    std::vector<uint8_t> m_region;
    std::vector<uint32_t> m_bg;
    uint32_t m_background = 0;
    LayerTap m_tap;
};

} // namespace zov::test
