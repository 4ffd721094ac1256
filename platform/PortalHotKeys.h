// The recorder's hot keys on a Wayland desktop, where no program may grab keys: the desktop
// portal's GlobalShortcuts interface. The four actions are bound in one session with
// Ctrl+Shift+F9 .. F12 as the keys preferred; the desktop may let the user choose others, and
// those are what work. The binding is answered later (the desktop may ask its user first): an
// action the desktop did not bind comes from LateProblems() after the Dispatch() that heard it.
// No D-Bus type appears here.
#pragma once

#include "platform/HotKeys.h"

#include <memory>
#include <string>
#include <vector>

namespace zov {

struct PortalHotKeyOptions {
    // What each action does, in key order (begin, pause, resume, stop), as the desktop shows
    // it to the user.
    std::vector<std::string> descriptions;
    // The longest wait for any answer of the portal but the binding.
    int callTimeoutMs = 4000;
};

// Opens a GlobalShortcuts session. Null with `error` set to a sentence when there is no
// session bus, no portal, or a portal without global shortcuts.
std::unique_ptr<IHotKeys> OpenPortalHotKeys(const PortalHotKeyOptions& options, std::string& error);

// The portal's name for an action ("begin", "pause", "resume", "stop") and its preferred key
// in the shortcuts' notation ("CTRL+SHIFT+F9"); empty for an id that is none of the four.
std::string PortalShortcutId(int id);
std::string PortalPreferredTrigger(int id);

} // namespace zov
