#include "core/FrameCache.h"

#include <cstring>

namespace zov {

void FrameCache::Enable(int32_t imageSize) {
    m_entries.clear();
    m_imageSize = imageSize > 0 ? imageSize : 0;
    m_enabled = true;
}

void FrameCache::Disable() {
    m_entries.clear();
    m_enabled = false;
}

void FrameCache::Follow(int32_t imageSize) {
    const int32_t size = imageSize > 0 ? imageSize : 0;
    if (size == m_imageSize)
        return;
    m_entries.clear();
    m_imageSize = size;
}

bool FrameCache::Add(int32_t index, const uint8_t* image, int32_t imageSize, const FrameHeader& header) {
    if (!m_enabled || !image || m_imageSize <= 0 || imageSize != m_imageSize)
        return false;
    Entry e;
    if (m_entries.size() >= static_cast<size_t>(kLimit)) {
        // The oldest goes; its buffers carry the new picture (no fresh 2 MB allocation).
        e = std::move(m_entries.front());
        m_entries.pop_front();
    }
    e.index = index;
    e.image.assign(image, image + m_imageSize);
    if (e.header)
        *e.header = header;
    else
        e.header = std::make_unique<FrameHeader>(header);
    m_entries.push_back(std::move(e));
    return true;
}

bool FrameCache::Lookup(int32_t index, uint8_t* image, int32_t imageSize, FrameHeader* header) const {
    if (!m_enabled || imageSize < 0)
        return false;
    for (const Entry& e : m_entries) {
        if (e.index != index)
            continue;
        if (e.image.size() != static_cast<size_t>(imageSize))
            return false;
        if (image)
            std::memcpy(image, e.image.data(), e.image.size());
        if (header)
            *header = *e.header;
        return true;
    }
    return false;
}

bool FrameCache::Contains(int32_t index) const {
    if (!m_enabled)
        return false;
    for (const Entry& e : m_entries)
        if (e.index == index)
            return true;
    return false;
}

int FrameCache::Drop(int32_t first, int32_t last) {
    if (!m_enabled)
        return 0;
    int removed = 0;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->index >= first && it->index <= last) {
            it = m_entries.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

int FrameCache::DropAll() {
    int n = Count();
    m_entries.clear();
    return n;
}

void FrameCache::Shift(int32_t first, int32_t last, int32_t delta) {
    if (!m_enabled)
        return;
    for (Entry& e : m_entries)
        if (e.index >= first && e.index <= last)
            e.index += delta;
}

std::vector<int32_t> FrameCache::Indexes() const {
    std::vector<int32_t> out;
    for (const Entry& e : m_entries)
        out.push_back(e.index);
    return out;
}

} // namespace zov
