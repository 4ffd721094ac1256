// The stream-wide cache of short shapes. A shape's checksum names its slot; slot 0 is never
// used (pattern id 0 means "own shape") and checksum 65535 has no slot, so such shapes are
// always sent as own shapes. Patterns are never replaced or evicted during a stream.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zov {

constexpr uint32_t kPatternSlots = 65535; // ids 0..65534
constexpr uint32_t kMaxPatternBits = 500; // longer shapes are never cached

// The 16-bit checksum of a shape of `bits` bits: little-endian 16-bit words summed while
// 16k < bits, only the low byte of the last word when fewer than 9 bits remain, folded to
// 16 bits. `shape` must hold (bits + 7) / 8 bytes; bits past `bits` must be 0.
uint16_t PatternChecksum(const uint8_t* shape, uint32_t bits);

class PatternTable {
  public:
    PatternTable();
    void Clear();
    // True when the slot holds a pattern. id 0 and 65535 never do.
    bool Has(uint32_t id) const { return id < kPatternSlots && m_length[id] != 0; }
    uint32_t Length(uint32_t id) const { return m_length[id]; }
    // The pattern's bytes, zero-padded to a multiple of 4.
    const uint8_t* Bytes(uint32_t id) const { return m_pool.data() + m_offset[id]; }
    // Stores a copy of the shape (1..kMaxPatternBits bits) in slot `id`, which must be free.
    void Register(uint32_t id, const uint8_t* shape, uint32_t bits);
    // True when slot `id` holds exactly this shape (same length, same bytes).
    bool Matches(uint32_t id, const uint8_t* shape, uint32_t bits) const;
    // Bytes held for the stored shapes.
    size_t PoolBytes() const { return m_pool.size(); }
    // Empties a slot again (an encoder taking back a frame it could not send region-coded).
    // The shape's bytes are given back when they are the last ones stored, so a caller that
    // takes back patterns newest first keeps the pool at what the remaining ones need.
    void Unregister(uint32_t id);

  private:
    // Flat tables: one length and one pool offset a slot (length 0 = free).
    std::unique_ptr<uint32_t[]> m_length;
    std::unique_ptr<uint32_t[]> m_offset;
    uint32_t m_used = 0;
    std::vector<uint8_t> m_pool;
};

} // namespace zov
