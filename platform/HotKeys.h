// System-wide hot keys of the recorder: Ctrl+Shift+F9 (begin), F10 (pause), F11 (resume) and
// F12 (stop), ids 120..123. (Ctrl+Alt+Fn switches the console on Linux.) The X11
// implementation grabs each key on a display connection of its own in every Caps Lock /
// Num Lock combination; a key that another program holds is reported, once, and the others
// still work. Holding a key down (auto-repeat) reports it once.
//
// Use: Grab() at start and show each problem; watch Fd() for reading (QSocketNotifier) and
// call Dispatch() when it is readable; it returns the ids pressed, in order; then show each of
// LateProblems().
#pragma once

#include <string>
#include <vector>

namespace zov {

enum HotKeyId : int {
    HOTKEY_BEGIN = 120,
    HOTKEY_PAUSE = 121,
    HOTKEY_RESUME = 122,
    HOTKEY_STOP = 123,
};

// "Ctrl+Shift+F9" for HOTKEY_BEGIN and so on.
std::string HotKeyName(int id);

struct HotKeyGrabProblem {
    int id = 0;       // the key that could not be grabbed
    std::string name; // HotKeyName(id)
};

class IHotKeys {
  public:
    virtual ~IHotKeys() = default;
    // Grabs the four keys; returns the keys another program holds (those stay unusable, the
    // rest work). Grabbing again first releases what was grabbed.
    virtual std::vector<HotKeyGrabProblem> Grab() = 0;
    virtual void Ungrab() = 0;
    // A descriptor that becomes readable when key events wait; -1 when there is none.
    virtual int Fd() const = 0;
    // Reads what waits without blocking and returns the hot-key ids pressed (repeats of a
    // held key left out).
    virtual std::vector<int> Dispatch() = 0;
    // Keys found unusable after Grab() returned: a desktop that answers the binding later,
    // once its user has seen its dialog. Each is given once, after a Dispatch().
    virtual std::vector<HotKeyGrabProblem> LateProblems() { return {}; }
};

} // namespace zov
