// The stack of undo snapshots: byte copies of the records the document pushes, newest on
// top, with a limit (1..20). A push onto a full stack is refused, so the oldest snapshots
// stay and the edits beyond the limit cannot be undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zov {

class UndoStack {
  public:
    static constexpr int kMaxLimit = 20;

    // Values outside 1..20 are ignored.
    void SetLimit(int limit);
    int Limit() const { return m_limit; }
    // False for an empty record or a full stack.
    bool Push(const void* record, size_t size);
    // Moves the newest record out; false when empty.
    bool Pop(std::vector<uint8_t>& out);
    int Count() const { return static_cast<int>(m_items.size()); }
    // Size of the newest record, -1 when empty.
    long NewestSize() const;
    void Clear() { m_items.clear(); }

  private:
    int m_limit = 10;
    std::vector<std::vector<uint8_t>> m_items;
};

} // namespace zov
