// The editor's frame selection, its cut/copy mark and the thumbnail strip's position: plain
// state with the rules that map clicks and edits onto it. Window thread only.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zov {

constexpr int kThumbWidth = 80;
constexpr int kThumbHeight = 60;
constexpr int kThumbSlot = 87; // thumbnail plus gap

// Anchor (the current frame) and a signed extent: extent 1 is the anchor alone; a negative
// extent reaches back from the anchor.
struct FrameRange {
    int32_t anchor = 0;
    int32_t extent = 0;
    int32_t Start() const { return anchor + std::min(extent, 0); }
    int32_t Length() const { return extent >= 0 ? extent : 1 - extent; }
    int32_t End() const { return Start() + Length() - 1; }
    bool Contains(int32_t f) const { return Length() > 0 && f >= Start() && f <= End(); }
};

enum class MarkKind { None = 0, Cut = 1, Copy = 2 };

struct EditorSelection {
    FrameRange selection;
    MarkKind markKind = MarkKind::None;
    FrameRange mark;
    int32_t firstVisible = 0;

    // A newly opened project: anchor 0, extent 1 (0 without frames), no mark, strip at 0.
    void Reset(int32_t frameCount);
    // Shift+click on `clicked`: extent = clicked - anchor, plus 1 when clicked >= anchor.
    void ExtendTo(int32_t clicked);
    // A plain selection of one frame.
    void SelectOne(int32_t frame) { selection = {frame, 1}; }
    // "Select All": anchor 0, extent = count (nothing selected on an empty project).
    void SelectAll(int32_t frameCount) { selection = {0, frameCount}; }
    void SetMark(MarkKind kind) {
        markKind = kind;
        mark = selection;
    }
    // Paste is possible: a mark of at least one frame and a one-frame selection outside the
    // marked range (for a cut, also not right after it).
    bool CanPaste() const;
};

// Visible thumbnail slots of a strip `stripWidth` pixels wide.
inline int32_t VisibleSlots(int stripWidth) {
    return std::max(0, stripWidth / kThumbSlot);
}
// Frame under a click at x: first visible + min(slots - 1, x / 87), at most the frame count.
int32_t FrameAtStripX(int x, int32_t firstVisible, int32_t slotCount, int32_t frameCount);
// The strip's first visible frame after an edit or a jump, so that the anchor is visible.
int32_t ScrollToShow(int32_t anchor, int32_t firstVisible, int32_t slotCount, int32_t frameCount);
// Largest first visible frame: count - slotCount + 1 (not below 0).
int32_t MaxFirstVisible(int32_t slotCount, int32_t frameCount);

} // namespace zov
