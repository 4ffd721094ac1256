// Internal to the document: the in-memory state an edit puts back when it fails before
// its commit, so a refused edit leaves memory and file as they were.
#pragma once

#include "core/Ani.h"
#include "core/ProjectIndex.h"

#include "base/Log.h"

#include <new>

namespace zov {

// Sizes a picture-sized buffer. An allocation failure is reported as what it is, a false
// result and "alloc memory fail" in the log, and never thrown out of the document.
inline bool AllocBuffer(std::vector<uint8_t>& buffer, size_t size) {
    try {
        buffer.resize(size);
        return true;
    } catch (const std::bad_alloc&) {
        ZOV_LOG("alloc memory fail");
        return false;
    }
}

struct CAni::SavedState {
    ProjectHeader header{};
    std::vector<FrameEntry> frames;
    std::vector<Table2Record> table2;
    std::vector<Table3Record> table3;
    std::vector<Table4Record> table4;
    int64_t appendPos = 0;
    int64_t dataEnd = 0;
    int64_t fileLength = 0;
    int32_t blockOffset = 0;
    int undoCount = 0;
    // The element ranges as they were, and the elements the edit takes out on its way.
    ElementUndo elements;
};

// Events an operation raises, delivered when it ends: declared before the operation's lock
// guard, it goes after the guard has released the lock. Operations call each other (open and
// save as close the document first): an inner one hands its events to the outermost one of
// the thread, so nothing is delivered while an outer operation still holds the lock.
class CAni::PendingEvents {
  public:
    explicit PendingEvents(CAni& doc) : m_doc(doc), m_outer(Outermost()) {
        if (!m_outer)
            Outermost() = this;
    }
    PendingEvents(const PendingEvents&) = delete;
    PendingEvents& operator=(const PendingEvents&) = delete;
    ~PendingEvents() {
        if (m_outer && &m_outer->m_doc == &m_doc) {
            m_outer->closed |= closed;
            m_outer->elementsChanged |= elementsChanged;
            return;
        }
        if (!m_outer)
            Outermost() = nullptr;
        if (closed)
            m_doc.Broadcast().OnClosed();
        if (elementsChanged)
            m_doc.Broadcast().OnElementListChanged();
    }
    bool closed = false;
    bool elementsChanged = false;

  private:
    static PendingEvents*& Outermost() {
        thread_local PendingEvents* outermost = nullptr;
        return outermost;
    }
    CAni& m_doc;
    PendingEvents* m_outer;
};

} // namespace zov
