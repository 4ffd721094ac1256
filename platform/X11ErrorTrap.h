// One Xlib error handler for the whole process (Xlib has only one): protocol errors are
// recorded instead of ending the program. Inside zov_platform_x11 only.
//
// Use: X11ErrorTrap trap(dpy); ...requests...; XSync(dpy, False); if (trap.Failed()) ...
// A trap sees only errors of its own display connection, made after it was set.
#pragma once

#include <cstdint>
#include <vector>

struct _XDisplay;

namespace zov {

// Installs the handler (again if another took its place; XInitThreads once, before any
// connection of ours is opened). Every trap calls it.
void InstallX11ErrorHandler();

// Errors of all connections so far (for callers that only count).
int X11ErrorCount();

class X11ErrorTrap {
  public:
    explicit X11ErrorTrap(_XDisplay* dpy);
    // Error codes (BadWindow, BadAccess, ...) of this connection since the trap was set; call
    // after an XSync.
    std::vector<int> Codes() const;
    bool Failed() const { return !Codes().empty(); }
    bool Has(int code) const;

  private:
    _XDisplay* m_dpy;
    uint64_t m_first;
};

} // namespace zov
