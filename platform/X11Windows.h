// The X11 implementations of the window query, the finder's highlight and the hot keys, and
// the wait for hidden windows before a recording starts. Each opens a display connection of
// its own (":N", or $DISPLAY when empty) and returns null with `error` set to a sentence when
// it cannot. No X11 type appears here. X11 protocol errors in these paths (a window that
// vanished, a key another program holds) are caught, never fatal.
#pragma once

#include "platform/HotKeys.h"
#include "platform/WindowHighlight.h"
#include "platform/WindowQuery.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zov {

std::unique_ptr<IWindowQuery> OpenX11WindowQuery(const std::string& display, std::string& error);

// Chooses exclusive-or drawing or windows by whether a compositor owns _NET_WM_CM_S<screen>
// at the time of opening.
std::unique_ptr<IWindowHighlight> OpenX11WindowHighlight(const std::string& display, std::string& error);

std::unique_ptr<IHotKeys> OpenX11HotKeys(const std::string& display, std::string& error);
// How many auto-repeated presses of held hot keys an X11 hot-key object has passed over.
int X11HotKeyRepeats(const IHotKeys& keys);

// Whether a compositing manager runs on the default screen now.
bool X11CompositorRuns(const std::string& display);

// After hiding windows before a grab of the screen: waits until none of `windows` (client
// window ids) is viewable any more, or `timeoutMs` has passed, then syncs with the server and
// waits `settleMs` more so a compositor's fade-out has ended. False on a timeout or when the
// display cannot be opened (the caller may go on anyway).
bool WaitWindowsUnmapped(const std::string& display, const std::vector<uint64_t>& windows, int timeoutMs,
                         int settleMs = 200);

} // namespace zov
