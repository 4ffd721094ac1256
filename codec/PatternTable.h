// The stream-wide cache of short shapes. A shape's checksum names its slot; slot 0 is never
// used (pattern id 0 means "own shape") and checksum 65535 has no slot, so such shapes are
// always sent as own shapes. Patterns are never replaced or evicted during a stream.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zov {

constexpr uint32_t kPatternSlots = 65535;      // ids 0..65534
constexpr uint32_t kMaxPatternBits = 500;       // longer shapes are never cached

// The 16-bit checksum of a shape of `bits` bits: little-endian 16-bit words summed while
// 16k < bits, only the low byte of the last word when fewer than 9 bits remain, folded to
// 16 bits. `shape` must hold (bits + 7) / 8 bytes; bits past `bits` must be 0.
uint16_t PatternChecksum(const uint8_t* shape, uint32_t bits);

class PatternTable {
public:
    PatternTable();
    void Clear();
    // True when the slot holds a pattern. id 0 and 65535 never do.
    bool Has(uint32_t id) const { return id < kPatternSlots && !m_slots[id].bytes.empty(); }
    uint32_t Length(uint32_t id) const { return m_slots[id].length; }
    const uint8_t* Bytes(uint32_t id) const { return m_slots[id].bytes.data(); }
    // Stores a copy of the shape in slot `id` (which must be empty and usable).
    void Register(uint32_t id, const uint8_t* shape, uint32_t bits);
    // True when slot `id` holds exactly this shape (same length, same bytes).
    bool Matches(uint32_t id, const uint8_t* shape, uint32_t bits) const;
    // Empties a slot again (an encoder taking back a frame it could not send region-coded).
    void Unregister(uint32_t id);

private:
    struct Slot {
        uint32_t length = 0;
        std::vector<uint8_t> bytes; // empty = free slot; padded to a multiple of 4 bytes
    };
    std::vector<Slot> m_slots;
};

} // namespace zov
