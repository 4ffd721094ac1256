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
    // Follows a change of the frames' image size: a different size empties the cache, which
    // keeps its on or off state. The document calls it wherever its header's size changes.
    void Follow(int32_t imageSize);
    int32_t ImageSize() const { return m_imageSize; }
    int Count() const { return static_cast<int>(m_entries.size()); }

    // Copies image (imageSize bytes) and header in; false when off or when imageSize is not
    // the size the cache is set up for. Evicts the oldest past the limit.
    bool Add(int32_t index, const uint8_t* image, int32_t imageSize, const FrameHeader& header);
    // Copies the first (oldest) entry with this index out into image (imageSize bytes); false
    // on a miss, when off, or when the entry is not imageSize bytes.
    bool Lookup(int32_t index, uint8_t* image, int32_t imageSize, FrameHeader* header) const;
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
