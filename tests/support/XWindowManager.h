// Test helpers for sessions with a window manager: openbox started and waited for until it
// really manages windows, where the manager framed a window, mapped popups (menus) on the
// screen, and the finder's mark as the recorder draws it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zovtest {

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Intersects(const Box& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
};

// Starts openbox on `display` and waits until it maps windows it is asked to map (it
// announces itself before it handles map requests, and one that comes too early is lost).
// The pid, or -1 when it did not come up.
pid_t StartWindowManager(const std::string& display, int timeoutMs = 20000);

// The manager's frame around a client window (_NET_FRAME_EXTENTS: left, right, top, bottom);
// empty until the manager has set it.
std::vector<long> FrameExtents(const std::string& display, uint64_t client);
// The client window on the screen, frame included when the manager has set its extents.
bool FramedBox(const std::string& display, uint64_t client, Box& box);
// Asks the manager to keep a client above the others (_NET_WM_STATE_ABOVE): a modal dialog
// raises its whole group, parent included, over windows stacked above it before.
bool KeepAbove(const std::string& display, uint64_t client);
// Where a window's (0, 0) is on the screen.
bool WindowOrigin(const std::string& display, uint64_t window, int& x, int& y);
// The mapped override-redirect windows on the screen (menus, tool tips, drag marks).
std::vector<Box> MappedPopups(const std::string& display);

// Whether pixel (dx, dy) of a w x h window is in the finder's mark: a frame 3 pixels wide,
// inset 3, its corners left open by 2.
bool InFinderMark(int dx, int dy, int w, int h);

} // namespace zovtest
