// The undo steps of the document, newest on top, with a limit (1..20). A push onto a full
// stack is refused, so the oldest steps stay and the edits beyond the limit cannot be undone.
//
// A step is one undoable edit: the snapshot record of the frame store (kind, header and the
// four tables, as CAni::PushUndoSnapshot builds it) and what undo puts back of the element
// list. Frame edits fill both; an element edit adds what it changed to `elements` (for
// instance the bodies it is about to alter, by id) and CAni::Undo puts that back too.
#pragma once

#include "elements/ElementList.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zov {

// The element part of a step, or of an edit that may be refused.
struct ElementUndo {
    struct Range {
        uint64_t id;
        int32_t first, last;
    };
    // Every element of that moment in list order, with its frame range.
    std::vector<Range> ranges;
    // Elements the edit itself took out of the list (a frame delete that covered their
    // frames), kept whole so that undo can put the same objects back.
    std::vector<std::unique_ptr<ElementRecord>> removed;
    // An element edit's own part: the elements it made, which undo takes out again, and
    // copies of the elements it changed (moved, reshaped, restyled) as they were before,
    // which undo writes back into the same objects (found by id).
    std::vector<uint64_t> created;
    std::vector<ElementRecord> before;
};

struct UndoStep {
    std::vector<uint8_t> snapshot;
    ElementUndo elements;
};

class UndoStack {
  public:
    static constexpr int kMaxLimit = 20;

    // Values outside 1..20 are ignored.
    void SetLimit(int limit);
    int Limit() const { return m_limit; }
    // False for an empty snapshot or a full stack (the step is left as it was).
    bool Push(UndoStep& step);
    // Moves the newest step out; false when empty.
    bool Pop(UndoStep& out);
    // The newest step, null when empty.
    UndoStep* Newest() { return m_items.empty() ? nullptr : &m_items.back(); }
    int Count() const { return static_cast<int>(m_items.size()); }
    // Size of the newest snapshot record, -1 when empty.
    long NewestSize() const;
    void Clear() { m_items.clear(); }

  private:
    int m_limit = 10;
    std::vector<UndoStep> m_items;
};

} // namespace zov
