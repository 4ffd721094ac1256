#include "core/ImageConvert.h"

#include "base/Bitmap.h"

#include <cstring>
#include <vector>

namespace zov {

namespace {
size_t Stride(int width, int bits) {
    return ((static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32) * 4;
}

void Put16(uint8_t* d, uint8_t b, uint8_t g, uint8_t r) {
    uint16_t p = static_cast<uint16_t>(((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3));
    d[0] = static_cast<uint8_t>(p);
    d[1] = static_cast<uint8_t>(p >> 8);
}

} // namespace

bool ConvertPixels(uint8_t* dst, int dstBits, const uint8_t* src, int srcBits, int width, int height) {
    if (!dst || !src || width <= 0 || height <= 0)
        return false;
    const bool supported =
        (srcBits == 8 && dstBits == 24) || ((srcBits == 16 || srcBits == 24 || srcBits == 32) &&
                                            (dstBits == 16 || dstBits == 24 || dstBits == 32));
    if (!supported)
        return false;
    const size_t dstStride = Stride(width, dstBits);
    const size_t srcStride = Stride(width, srcBits);
    const size_t rows = static_cast<size_t>(height);
    std::memset(dst, 0, dstStride * rows);
    if (srcBits == dstBits) {
        std::memcpy(dst, src, dstStride * rows);
        return true;
    }
    const uint8_t* palette = nullptr;
    if (srcBits <= 8) {
        palette = src;
        src += 4u << srcBits;
    }
    for (size_t y = 0; y < rows; ++y) {
        const uint8_t* s = src + y * srcStride;
        uint8_t* d = dst + y * dstStride;
        for (int x = 0; x < width; ++x) {
            uint8_t b, g, r;
            if (srcBits == 8) {
                const uint8_t* e = palette + 4u * s[x];
                b = e[0];
                g = e[1];
                r = e[2];
            } else if (srcBits == 16) {
                uint16_t p = static_cast<uint16_t>(s[2 * x] | (s[2 * x + 1] << 8));
                b = static_cast<uint8_t>((p & 0x1F) << 3);
                g = static_cast<uint8_t>(((p >> 5) & 0x1F) << 3);
                r = static_cast<uint8_t>(((p >> 10) & 0x1F) << 3);
            } else {
                const uint8_t* p = s + static_cast<size_t>(x) * (srcBits / 8);
                b = p[0];
                g = p[1];
                r = p[2];
            }
            if (dstBits == 16) {
                Put16(d + 2 * x, b, g, r);
            } else {
                uint8_t* q = d + static_cast<size_t>(x) * (dstBits / 8);
                q[0] = b;
                q[1] = g;
                q[2] = r;
                if (dstBits == 32)
                    q[3] = 0;
            }
        }
    }
    return true;
}

bool ConvertPixelsMasked(uint8_t* dst24, const uint8_t* src, int srcBits, int srcRowBytes, int width,
                         int height, const ChannelMasks& masks, bool srcTopDown) {
    if (!dst24 || !src || width <= 0 || height <= 0 || (srcBits != 16 && srcBits != 32))
        return false;
    if (masks.red == 0 || masks.green == 0 || masks.blue == 0)
        return false;
    const size_t srcStride = srcRowBytes > 0 ? static_cast<size_t>(srcRowBytes) : Stride(width, srcBits);
    if (srcStride < static_cast<size_t>(width) * (srcBits / 8))
        return false;
    const size_t dstStride = Stride(width, 24);
    std::memset(dst24, 0, dstStride * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int srcRow = srcTopDown ? height - 1 - y : y;
        const uint8_t* s = src + static_cast<size_t>(srcRow) * srcStride;
        uint8_t* d = dst24 + static_cast<size_t>(y) * dstStride;
        for (int x = 0; x < width; ++x) {
            uint32_t p;
            if (srcBits == 16) {
                p = static_cast<uint32_t>(s[2 * x] | (s[2 * x + 1] << 8));
            } else {
                const uint8_t* q = s + 4 * static_cast<size_t>(x);
                p = q[0] | (q[1] << 8) | (q[2] << 16) | (static_cast<uint32_t>(q[3]) << 24);
            }
            d[3 * x] = MaskedChannel(p, masks.blue);
            d[3 * x + 1] = MaskedChannel(p, masks.green);
            d[3 * x + 2] = MaskedChannel(p, masks.red);
        }
    }
    return true;
}

bool CropImage(uint8_t* image, int width, int height, int left, int top, int right, int bottom) {
    if (!image || width <= 0 || height <= 0)
        return false;
    if (!(0 <= left && left < right && right <= width && 0 <= top && top < bottom && bottom <= height))
        return false;
    const size_t srcStride = Stride(width, 24);
    const size_t total = srcStride * static_cast<size_t>(height);
    if (left == 0 && top == 0 && right == width && bottom == height)
        return true;
    const int w = right - left;
    const int h = bottom - top;
    const size_t dstStride = Stride(w, 24);
    std::vector<uint8_t> out(total, 0);
    for (int row = 0; row < h; ++row) {
        // Stored row 0 of the result is image row bottom - 1 (y from the top).
        const int y = bottom - 1 - row;
        const uint8_t* s =
            image + static_cast<size_t>(height - 1 - y) * srcStride + static_cast<size_t>(left) * 3;
        std::memcpy(out.data() + static_cast<size_t>(row) * dstStride, s, static_cast<size_t>(w) * 3);
    }
    std::memcpy(image, out.data(), total);
    return true;
}

} // namespace zov
