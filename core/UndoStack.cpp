#include "core/UndoStack.h"

namespace zov {

void UndoStack::SetLimit(int limit) {
    if (limit >= 1 && limit <= kMaxLimit)
        m_limit = limit;
}

bool UndoStack::Push(UndoStep& step) {
    if (step.snapshot.empty() || static_cast<int>(m_items.size()) >= m_limit)
        return false;
    m_items.push_back(std::move(step));
    return true;
}

bool UndoStack::Pop(UndoStep& out) {
    if (m_items.empty())
        return false;
    out = std::move(m_items.back());
    m_items.pop_back();
    return true;
}

long UndoStack::NewestSize() const {
    return m_items.empty() ? -1 : static_cast<long>(m_items.back().snapshot.size());
}

} // namespace zov
