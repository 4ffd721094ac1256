#include "codec/BitBuffer.h"

#include <cstring>

namespace zov {

void BitBuffer::Append(const uint8_t* src, uint32_t n) {
    if (n == 0)
        return;
    uint32_t shift = bits & 7;
    uint8_t* dst = data + (bits >> 3);
    uint32_t whole = n >> 3;
    uint32_t rest = n & 7;
    if (shift == 0) {
        std::memcpy(dst, src, whole);
        if (rest)
            dst[whole] = static_cast<uint8_t>(src[whole] & ((1u << rest) - 1));
    } else {
        // Each source byte splits across two destination bytes; the upper one is new.
        uint8_t keep = static_cast<uint8_t>(dst[0] & ((1u << shift) - 1));
        dst[0] = keep;
        for (uint32_t i = 0; i < whole; ++i) {
            dst[i] |= static_cast<uint8_t>(src[i] << shift);
            dst[i + 1] = static_cast<uint8_t>(src[i] >> (8 - shift));
        }
        if (rest) {
            uint8_t last = static_cast<uint8_t>(src[whole] & ((1u << rest) - 1));
            dst[whole] |= static_cast<uint8_t>(last << shift);
            if (shift + rest > 8)
                dst[whole + 1] = static_cast<uint8_t>(last >> (8 - shift));
        }
    }
    bits += n;
}

void BitBuffer::AppendBytes(const void* src, size_t count) {
    if ((bits & 7) == 0) {
        std::memcpy(data + (bits >> 3), src, count);
        bits += static_cast<uint32_t>(count * 8);
    } else {
        Append(static_cast<const uint8_t*>(src), static_cast<uint32_t>(count * 8));
    }
}

void BitBuffer::AppendBE16(uint32_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    AppendBytes(b, 2);
}

void BitBuffer::AppendBE32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    AppendBytes(b, 4);
}

void BitBuffer::AppendLengthCode(uint32_t v) {
    if (v < 128) {
        AppendByte(static_cast<uint8_t>(v));
    } else if (v < 16383) {
        uint8_t b[2] = {static_cast<uint8_t>((v >> 8) | 0x80), static_cast<uint8_t>(v)};
        AppendBytes(b, 2);
    } else {
        uint8_t b[3] = {static_cast<uint8_t>(((v >> 16) & 0x3F) | 0xC0), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v)};
        AppendBytes(b, 3);
    }
}

} // namespace zov
