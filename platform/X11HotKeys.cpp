#include "platform/X11ErrorTrap.h"
#include "platform/X11Windows.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <map>
#include <set>

namespace zov {

namespace {

class X11HotKeys final : public IHotKeys {
  public:
    explicit X11HotKeys(Display* dpy) : m_dpy(dpy), m_root(DefaultRootWindow(dpy)) {
        // With detectable auto-repeat a held key sends presses only, no release in between,
        // so a press of a key already down is a repeat.
        Bool supported = False;
        XkbSetDetectableAutoRepeat(dpy, True, &supported);
        m_detectableRepeat = supported;
    }
    ~X11HotKeys() override {
        Ungrab();
        XCloseDisplay(m_dpy);
    }

    std::vector<HotKeyGrabProblem> Grab() override {
        Ungrab();
        const std::set<unsigned> locks = LockCombinations();
        std::vector<HotKeyGrabProblem> problems;
        for (int id = HOTKEY_BEGIN; id <= HOTKEY_STOP; ++id) {
            const KeySym sym = XK_F9 + static_cast<KeySym>(id - HOTKEY_BEGIN);
            const KeyCode code = XKeysymToKeycode(m_dpy, sym);
            if (!code) {
                problems.push_back({id, HotKeyName(id)});
                continue;
            }
            // Each key is tried on its own and checked with a round trip, so one key held
            // elsewhere neither hides nor spoils the others.
            X11ErrorTrap trap(m_dpy);
            for (unsigned lock : locks)
                XGrabKey(m_dpy, code, ControlMask | ShiftMask | lock, m_root, False, GrabModeAsync,
                         GrabModeAsync);
            XSync(m_dpy, False);
            if (trap.Failed()) {
                // Whatever part of it did succeed is given back: a half-grabbed key would work
                // only with some lock states.
                X11ErrorTrap undo(m_dpy);
                for (unsigned lock : locks)
                    XUngrabKey(m_dpy, code, ControlMask | ShiftMask | lock, m_root);
                XSync(m_dpy, False);
                problems.push_back({id, HotKeyName(id)});
                continue;
            }
            m_keys[code] = id;
        }
        XSync(m_dpy, False);
        return problems;
    }

    void Ungrab() override {
        if (m_keys.empty())
            return;
        X11ErrorTrap trap(m_dpy);
        const std::set<unsigned> locks = LockCombinations();
        for (const auto& [code, id] : m_keys)
            for (unsigned lock : locks)
                XUngrabKey(m_dpy, code, ControlMask | ShiftMask | lock, m_root);
        XSync(m_dpy, False);
        m_keys.clear();
        m_down.clear();
    }

    int Fd() const override { return ConnectionNumber(m_dpy); }
    int Repeats() const { return m_repeats; }

    std::vector<int> Dispatch() override {
        std::vector<int> pressed;
        X11ErrorTrap trap(m_dpy);
        while (XPending(m_dpy) > 0) {
            XEvent event{};
            XNextEvent(m_dpy, &event);
            if (event.type != KeyPress && event.type != KeyRelease)
                continue;
            const KeyCode code = static_cast<KeyCode>(event.xkey.keycode);
            auto key = m_keys.find(code);
            if (key == m_keys.end())
                continue;
            if (event.type == KeyRelease) {
                // Without detectable auto-repeat a repeat is a release followed at once by a
                // press with the same time stamp: skip both.
                if (!m_detectableRepeat && XEventsQueued(m_dpy, QueuedAfterReading) > 0) {
                    XEvent next{};
                    XPeekEvent(m_dpy, &next);
                    if (next.type == KeyPress && next.xkey.keycode == event.xkey.keycode &&
                        next.xkey.time == event.xkey.time) {
                        XNextEvent(m_dpy, &next);
                        ++m_repeats;
                        continue;
                    }
                }
                m_down.erase(code);
                continue;
            }
            if (m_down.count(code)) {
                ++m_repeats; // a repeat of a key still held
                continue;
            }
            m_down[code] = true;
            pressed.push_back(key->second);
        }
        return pressed;
    }

  private:
    std::set<unsigned> LockCombinations() {
        const unsigned numLock = NumLockMask();
        return {0u, static_cast<unsigned>(LockMask), numLock, LockMask | numLock};
    }

    // The modifier bit Num Lock sits on, from the modifier map (Mod2 on most systems, but
    // not on all).
    unsigned NumLockMask() {
        unsigned mask = 0;
        const KeyCode numLock = XKeysymToKeycode(m_dpy, XK_Num_Lock);
        if (XModifierKeymap* map = XGetModifierMapping(m_dpy)) {
            for (int modifier = 0; modifier < 8 && numLock; ++modifier)
                for (int k = 0; k < map->max_keypermod; ++k)
                    if (map->modifiermap[modifier * map->max_keypermod + k] == numLock)
                        mask = 1u << modifier;
            XFreeModifiermap(map);
        }
        return mask;
    }

    Display* m_dpy;
    Window m_root;
    bool m_detectableRepeat = false;
    int m_repeats = 0;
    std::map<KeyCode, int> m_keys;
    std::map<KeyCode, bool> m_down;
};

} // namespace

int X11HotKeyRepeats(const IHotKeys& keys) {
    const auto* x11 = dynamic_cast<const X11HotKeys*>(&keys);
    return x11 ? x11->Repeats() : 0;
}

std::unique_ptr<IHotKeys> OpenX11HotKeys(const std::string& display, std::string& error) {
    InstallX11ErrorHandler();
    Display* dpy = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!dpy) {
        error = "cannot open the X display for the hot keys.";
        return nullptr;
    }
    return std::make_unique<X11HotKeys>(dpy);
}

} // namespace zov
