// A desktop portal of the tests' own (tests/support/fake_portal.py) on a private session bus
// that activates nothing, so that the system's own portal never answers in its place.
#pragma once

#include "tests/support/TestFiles.h"

#include <sys/types.h>

#include <string>

namespace zovtest {

// The bus, and on it the portal for a desktop of the given kind (fake_portal.py's modes; empty
// for none); DBUS_SESSION_BUS_ADDRESS points at the bus while the object lives.
class PortalDesktop {
  public:
    explicit PortalDesktop(const std::string& mode);
    ~PortalDesktop();
    PortalDesktop(const PortalDesktop&) = delete;
    PortalDesktop& operator=(const PortalDesktop&) = delete;

    bool Up() const { return m_up; }
    // The portal's log: a line per call it answered.
    std::string Log() const { return m_dir.File("portal.log"); }
    std::string Errors() const;
    // The desktop's user presses the shortcut `id`.
    bool Press(const std::string& id);

  private:
    TempDir m_dir;
    pid_t m_daemon = -1, m_portal = -1;
    bool m_up = false;
};

} // namespace zovtest
