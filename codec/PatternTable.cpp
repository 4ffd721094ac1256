#include "codec/PatternTable.h"

#include <algorithm>
#include <cstring>

namespace zov {

uint16_t PatternChecksum(const uint8_t* shape, uint32_t bits) {
    uint32_t sum = 0;
    for (uint32_t k = 0; 16 * k < bits; ++k) {
        uint32_t word = shape[2 * k];
        // The last word's high byte lies past the shape when at most 8 bits remain.
        if (bits - 16 * k >= 9)
            word |= static_cast<uint32_t>(shape[2 * k + 1]) << 8;
        sum += word;
    }
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(sum);
}

PatternTable::PatternTable()
    : m_length(new uint32_t[kPatternSlots]()), m_offset(new uint32_t[kPatternSlots]()) {}

void PatternTable::Clear() {
    if (m_used)
        std::memset(m_length.get(), 0, kPatternSlots * sizeof(uint32_t));
    m_used = 0;
    std::vector<uint8_t>().swap(m_pool);
}

void PatternTable::Register(uint32_t id, const uint8_t* shape, uint32_t bits) {
    if (id >= kPatternSlots || bits == 0)
        return;
    const size_t at = m_pool.size();
    m_pool.resize(at + ((bits + 31) / 32) * 4, 0);
    std::memcpy(m_pool.data() + at, shape, (bits + 7) / 8);
    m_length[id] = bits;
    m_offset[id] = static_cast<uint32_t>(at);
    ++m_used;
}

void PatternTable::Unregister(uint32_t id) {
    if (id >= kPatternSlots || m_length[id] == 0)
        return;
    const size_t end = m_offset[id] + static_cast<size_t>((m_length[id] + 31) / 32) * 4;
    if (end == m_pool.size())
        m_pool.resize(m_offset[id]);
    m_length[id] = 0;
    --m_used;
}

bool PatternTable::Matches(uint32_t id, const uint8_t* shape, uint32_t bits) const {
    return id < kPatternSlots && m_length[id] == bits && bits != 0 &&
           std::memcmp(m_pool.data() + m_offset[id], shape, (bits + 7) / 8) == 0;
}

} // namespace zov
