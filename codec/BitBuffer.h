// A string of bits filled least significant bit first within each byte: byte k holds bits
// 8k..8k+7. Used for the block bitmaps, the raw-pixel buffer and the codec's layers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zov {

struct BitBuffer {
    uint32_t bits = 0;       // bits written so far
    uint8_t* data = nullptr; // not owned; the owner guarantees room for what is appended

    void Reset() { bits = 0; }
    uint32_t Bytes() const { return (bits + 7) / 8; }

    // Appends n bits of `src`, taken from bit 0 of byte 0 on. A byte the write moves into is
    // cleared first, so a value appended at a byte-aligned position lands as its bytes.
    void Append(const uint8_t* src, uint32_t n);
    // Appends `count` whole bytes (fast path when the buffer is byte aligned).
    void AppendBytes(const void* src, size_t count);
    void AppendByte(uint8_t b) { AppendBytes(&b, 1); }
    void AppendBE16(uint32_t v);
    void AppendBE32(uint32_t v);
    // The length code: v < 128 one byte; v < 16383 two bytes (v >> 8) | 0x80, v & 0xFF;
    // otherwise three bytes ((v >> 16) & 0x3F) | 0xC0, (v >> 8) & 0xFF, v & 0xFF.
    void AppendLengthCode(uint32_t v);
    // One bit at the end (0 or 1).
    void AppendBit(unsigned bit) {
        uint32_t byte = bits >> 3;
        uint32_t shift = bits & 7;
        if (shift == 0)
            data[byte] = 0;
        data[byte] |= static_cast<uint8_t>((bit & 1u) << shift);
        ++bits;
    }
};

// Bytes a length code of v takes (1, 2 or 3).
inline uint32_t LengthCodeSize(uint32_t v) {
    return v < 128 ? 1 : (v < 16383 ? 2 : 3);
}
// Largest value a length code can carry.
constexpr uint32_t kMaxLengthCode = (0x3Fu << 16) | 0xFFFFu;

} // namespace zov
