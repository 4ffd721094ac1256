// The X11 screen source: MIT-SHM grabs of the root window into one reused shared segment,
// plain XGetImage where MIT-SHM is missing (a remote display) or the area leaves the screen,
// and the pointer through XFixes. No X11 type appears here.
#pragma once

#include "platform/ScreenSource.h"

#include <memory>
#include <string>

namespace zov {

// Auto grabs through shared memory when the display offers it; Plain always uses XGetImage
// (what a remote display gets; tests and the bench use it to measure that path).
enum class X11Grab { Auto, Plain };

// Opens the display (":N", or $DISPLAY when empty). Null with `error` set to a sentence when
// it cannot be opened. The returned object must be used from one thread at a time.
std::unique_ptr<IScreenSource> OpenX11Screen(const std::string& display, std::string& error,
                                             X11Grab grab = X11Grab::Auto);

// Whether an X11 source grabs through shared memory (for tests and the bench).
bool X11ScreenUsesShm(const IScreenSource& source);

} // namespace zov
