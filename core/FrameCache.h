// The cache of decoded frames: at most 20 entries in insertion order, the oldest evicted
// first; lookups do not reorder. Used by the document on the thread that owns it.
#pragma once

#include "core/ProjectRecords.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace zov {

class FrameCache {
  public:
    static constexpr int kLimit = 20;

    // Switches the cache on for images of imageSize bytes (emptying it first when on).
    void Enable(int32_t imageSize);
    // Removes every entry and switches the cache off.
    void Disable();
    bool Enabled() const { return m_enabled; }
    int Count() const { return static_cast<int>(m_entries.size()); }

    // Copies image and header in; false when off. Evicts the oldest past the limit.
    bool Add(int32_t index, const uint8_t* image, const FrameHeader& header);
    // Copies the first (oldest) entry with this index out; false on a miss or when off.
    bool Lookup(int32_t index, uint8_t* image, FrameHeader* header) const;
    bool Contains(int32_t index) const;
    // Removes entries whose index lies in first..last (inclusive); returns how many.
    int Drop(int32_t first, int32_t last);
    int DropAll();
    // Adds delta to the index of every entry within first..last.
    void Shift(int32_t first, int32_t last, int32_t delta);
    // Indexes in insertion order (for tests and diagnostics).
    std::vector<int32_t> Indexes() const;

  private:
    struct Entry {
        int32_t index;
        std::vector<uint8_t> image;
        std::unique_ptr<FrameHeader> header;
    };
    bool m_enabled = false;
    int32_t m_imageSize = 0;
    std::deque<Entry> m_entries;
};

} // namespace zov
