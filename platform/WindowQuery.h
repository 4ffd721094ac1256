// Top-level windows as the user sees them: which one is under a point, and what it is (title,
// icon, the rectangle it takes on the screen with its window-manager frame). The window finder
// of the recording settings uses it; the X11 implementation is in X11WindowQuery.h, a fake for
// tests in FakeWindowQuery.h.
//
// Use: open one query per finder drag (or keep one), call PointerAt() and TopLevelAt() on
// every pointer move with the ids of your own windows in `ignore`, and Describe(id) again when
// the recording starts (the window may have moved or gone).
#pragma once

#include "platform/ScreenSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zov {

struct WindowInfo {
    // The window to record and to describe again: the top-level window on the root, that is
    // the window manager's frame around the client when the manager reparents, else the
    // client itself.
    uint64_t id = 0;
    // The program's own window (the one with the title); equals `id` without a reparenting
    // window manager.
    uint64_t client = 0;
    std::string title; // UTF-8; _NET_WM_NAME, else WM_NAME; may be empty
    // The client's icon (_NET_WM_ICON, the largest up to 64 x 64, else the smallest), ARGB
    // 0xAARRGGBB not premultiplied, rows top-down; empty when the client has none.
    int iconWidth = 0;
    int iconHeight = 0;
    std::vector<uint32_t> iconArgb;
    // The window as drawn, frame (title bar and borders) included, in screen pixels; right and
    // bottom exclusive.
    ScreenRect rect;
};

class IWindowQuery {
  public:
    virtual ~IWindowQuery() = default;

    // The pointer's position on the screen, in device pixels; false when it cannot be read.
    virtual bool PointerAt(int& x, int& y) = 0;

    // The top-level window the user sees at screen point (x, y): the topmost shown,
    // managed-looking window there (override-redirect windows such as menus and this
    // program's highlight are passed over). A window whose top-level id or client id is in
    // `ignore` is passed over too, so the window below it is found. Empty over the bare
    // desktop.
    virtual std::optional<WindowInfo> TopLevelAt(int x, int y, const std::vector<uint64_t>& ignore) = 0;

    // A fresh description of a window by its top-level id or its client id; empty when the
    // window is gone.
    virtual std::optional<WindowInfo> Describe(uint64_t id) = 0;
};

} // namespace zov
