#include "platform/WindowHighlight.h"

namespace zov {

std::vector<ScreenRect> HighlightBars(const ScreenRect& rect) {
    // Centre lines of the inset rectangle's four sides (inclusive pixel coordinates).
    const int x0 = rect.left + kHighlightInset, y0 = rect.top + kHighlightInset;
    const int x1 = rect.right - 1 - kHighlightInset, y1 = rect.bottom - 1 - kHighlightInset;
    const int half = kHighlightWidth / 2;
    const int gap = kHighlightCornerGap;
    // Horizontal bars run between the corners' gaps; vertical bars likewise, so no pixel is
    // covered twice (which would undo the exclusive-or).
    ScreenRect bars[4] = {
        {x0 + gap, y0 - half, x1 - gap + 1, y0 + half + 1},
        {x0 + gap, y1 - half, x1 - gap + 1, y1 + half + 1},
        {x0 - half, y0 + gap, x0 + half + 1, y1 - gap + 1},
        {x1 - half, y0 + gap, x1 + half + 1, y1 - gap + 1},
    };
    std::vector<ScreenRect> out;
    // Too small a window: its bars would cross each other; nothing is drawn then.
    if (x1 - x0 < kHighlightWidth || y1 - y0 < kHighlightWidth)
        return out;
    for (const ScreenRect& bar : bars)
        if (bar.Width() > 0 && bar.Height() > 0)
            out.push_back(bar);
    return out;
}

} // namespace zov
