#include "core/UndoStack.h"

namespace zov {

void UndoStack::SetLimit(int limit) {
    if (limit >= 1 && limit <= kMaxLimit)
        m_limit = limit;
}

bool UndoStack::Push(const void* record, size_t size) {
    if (!record || size < 1 || static_cast<int>(m_items.size()) >= m_limit)
        return false;
    const auto* p = static_cast<const uint8_t*>(record);
    m_items.emplace_back(p, p + size);
    return true;
}

bool UndoStack::Pop(std::vector<uint8_t>& out) {
    if (m_items.empty())
        return false;
    out = std::move(m_items.back());
    m_items.pop_back();
    return true;
}

long UndoStack::NewestSize() const {
    return m_items.empty() ? -1 : static_cast<long>(m_items.back().size());
}

} // namespace zov
