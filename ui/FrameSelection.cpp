#include "ui/FrameSelection.h"

namespace zov {

void EditorSelection::Reset(int32_t frameCount) {
    selection = {0, frameCount > 0 ? 1 : 0};
    markKind = MarkKind::None;
    mark = {};
    firstVisible = 0;
}

void EditorSelection::ExtendTo(int32_t clicked) {
    selection.extent = clicked - selection.anchor + (clicked >= selection.anchor ? 1 : 0);
}

bool EditorSelection::CanPaste() const {
    if (markKind == MarkKind::None || mark.Length() < 1 || selection.Length() != 1)
        return false;
    const int32_t at = selection.anchor;
    if (mark.Contains(at))
        return false;
    if (markKind == MarkKind::Cut && at == mark.End() + 1)
        return false;
    return true;
}

int32_t FrameAtStripX(int x, int32_t firstVisible, int32_t slotCount, int32_t frameCount) {
    if (slotCount < 1)
        slotCount = 1;
    int32_t f = firstVisible + std::min(slotCount - 1, std::max(0, x) / kThumbSlot);
    return std::min(f, frameCount);
}

int32_t MaxFirstVisible(int32_t slotCount, int32_t frameCount) {
    return std::max(0, frameCount - slotCount + 1);
}

int32_t ScrollToShow(int32_t anchor, int32_t firstVisible, int32_t slotCount, int32_t frameCount) {
    if (anchor < firstVisible)
        return std::max(0, anchor);
    if (anchor >= firstVisible + slotCount)
        return std::min(anchor, MaxFirstVisible(slotCount, frameCount));
    return firstVisible;
}

} // namespace zov
