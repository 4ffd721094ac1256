#include "codec/PatternTable.h"

#include <cstring>

namespace zov {

uint16_t PatternChecksum(const uint8_t* shape, uint32_t bits) {
    uint32_t sum = 0;
    for (uint32_t k = 0; 16 * k < bits; ++k) {
        uint32_t word = shape[2 * k];
        // The last word's high byte lies past the shape when at most 8 bits remain.
        if (bits - 16 * k >= 9) word |= static_cast<uint32_t>(shape[2 * k + 1]) << 8;
        sum += word;
    }
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

PatternTable::PatternTable() : m_slots(kPatternSlots) {}

void PatternTable::Clear() {
    for (auto& s : m_slots) {
        s.length = 0;
        std::vector<uint8_t>().swap(s.bytes);
    }
}

void PatternTable::Register(uint32_t id, const uint8_t* shape, uint32_t bits) {
    Slot& s = m_slots[id];
    s.length = bits;
    s.bytes.assign(((bits + 31) / 32) * 4, 0);
    std::memcpy(s.bytes.data(), shape, (bits + 7) / 8);
}

void PatternTable::Unregister(uint32_t id) {
    if (id >= kPatternSlots) return;
    m_slots[id].length = 0;
    std::vector<uint8_t>().swap(m_slots[id].bytes);
}

bool PatternTable::Matches(uint32_t id, const uint8_t* shape, uint32_t bits) const {
    const Slot& s = m_slots[id];
    return s.length == bits && std::memcmp(s.bytes.data(), shape, (bits + 7) / 8) == 0;
}

} // namespace zov
