// The window finder's mark around the window under the pointer: four yellow (RGB 255, 255, 0)
// bars 3 pixels wide whose centre lines run 3 pixels inside the window's rectangle, each bar
// stopping 2 pixels short of the corners, so the corners stay open. Drawing it twice on the
// same rectangle removes it. On X11 it is drawn with exclusive-or straight onto the screen;
// under a compositor (which would paint over such drawing) it is four small override-redirect
// windows instead, whose ids OwnWindows() reports so the finder passes over them.
//
// Use: Toggle(rect) on the window entered, Toggle(previousRect) on the one left, Toggle(rect)
// again on release; Flush() makes it visible at once.
#pragma once

#include "platform/ScreenSource.h"

#include <cstdint>
#include <vector>

namespace zov {

// The four bars around `rect` (right and bottom exclusive), in the order top, bottom, left,
// right; bars that would be empty on a tiny rectangle are left out.
std::vector<ScreenRect> HighlightBars(const ScreenRect& rect);

constexpr int kHighlightWidth = 3;
constexpr int kHighlightInset = 3;
constexpr int kHighlightCornerGap = 2;
constexpr uint32_t kHighlightRgb = 0xFFFF00; // 0x00RRGGBB

class IWindowHighlight {
  public:
    virtual ~IWindowHighlight() = default;
    // Draws the mark around `rect`, or removes it when it is already drawn around that same
    // rectangle.
    virtual void Toggle(const ScreenRect& rect) = 0;
    // Removes every mark still drawn.
    virtual void Clear() = 0;
    // Sends what is drawn to the server now.
    virtual void Flush() = 0;
    // The windows this highlight shows (compositor mode); empty when it draws on the screen.
    virtual std::vector<uint64_t> OwnWindows() const = 0;
    // True when it draws with windows because a compositor runs.
    virtual bool UsesWindows() const = 0;
};

} // namespace zov
