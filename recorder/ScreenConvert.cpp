#include "recorder/ScreenConvert.h"

#include <bit>
#include <cstring>

namespace zov {

namespace {

struct Channel {
    uint32_t mask = 0;
    int shift = 0; // position of the lowest mask bit
    int bits = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    uint8_t Widen(uint32_t pixel) const {
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(v >> (bits - 8));
        return static_cast<uint8_t>(v << (8 - bits));
    }
};

inline uint32_t ReadPixel(const uint8_t* p, int bytes, bool msbFirst) {
    uint32_t v = 0;
    if (msbFirst) {
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | p[i];
    } else {
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | p[i];
    }
    return v;
}

} // namespace

bool ScreenFormatSupported(int depth, int bitsPerPixel) {
    auto ok = [](int n) { return n == 8 || n == 16 || n == 24 || n == 32; };
    return ok(depth) && ok(bitsPerPixel) && depth <= bitsPerPixel;
}

bool ConvertScreenPixels(const ScreenPixels& src, Image24& dst) {
    if (!src.data || src.width != dst.width || src.height != dst.height || src.width <= 0 || src.height <= 0)
        return false;
    const int w = src.width, h = src.height;
    const int rowBytes = dst.RowBytes();
    const int bpp = src.bitsPerPixel;
    if (src.bytesPerLine < (static_cast<int64_t>(w) * bpp + 7) / 8)
        return false;
    if (bpp == 8) {
        if (src.palette.size() < 256)
            return false;
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src.data + static_cast<size_t>(y) * src.bytesPerLine;
            uint8_t* d = dst.bits.data() + static_cast<size_t>(h - 1 - y) * rowBytes;
            for (int x = 0; x < w; ++x, d += 3) {
                uint32_t c = src.palette[s[x]];
                d[0] = static_cast<uint8_t>(c);
                d[1] = static_cast<uint8_t>(c >> 8);
                d[2] = static_cast<uint8_t>(c >> 16);
            }
        }
        return true;
    }
    if (bpp != 16 && bpp != 24 && bpp != 32)
        return false;
    const int bytes = bpp / 8;
    // The usual case (B, G, R, X in memory) takes the short way.
    if (bpp == 32 && !src.msbFirst && src.redMask == 0xFF0000 && src.greenMask == 0xFF00 &&
        src.blueMask == 0xFF) {
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src.data + static_cast<size_t>(y) * src.bytesPerLine;
            uint8_t* d = dst.bits.data() + static_cast<size_t>(h - 1 - y) * rowBytes;
            int x = 0;
            // Four bytes at a time; the last pixel is copied apart so no write passes the row.
            for (; x + 1 < w; ++x, s += 4, d += 3)
                std::memcpy(d, s, 4);
            for (; x < w; ++x, s += 4, d += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
        return true;
    }
    if (!src.redMask || !src.greenMask || !src.blueMask)
        return false;
    const Channel r(src.redMask), g(src.greenMask), b(src.blueMask);
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src.data + static_cast<size_t>(y) * src.bytesPerLine;
        uint8_t* d = dst.bits.data() + static_cast<size_t>(h - 1 - y) * rowBytes;
        for (int x = 0; x < w; ++x, s += bytes, d += 3) {
            uint32_t p = ReadPixel(s, bytes, src.msbFirst);
            d[0] = b.Widen(p);
            d[1] = g.Widen(p);
            d[2] = r.Widen(p);
        }
    }
    return true;
}

} // namespace zov
