#include "tests/support/FakePortal.h"

#include "platform/Process.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

namespace zovtest {

using namespace zov;

namespace {

// A wait of its own: the suites that use this helper have waits of their own by the same name
// (one of them runs Qt's events), which must not meet in one program.
bool Within(int timeoutMs, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

PortalDesktop::PortalDesktop(const std::string& mode) {
    const std::string bus = m_dir.File("bus");
    WriteText(m_dir.File("bus.conf"),
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>session</type><listen>unix:path=" +
                  bus +
                  "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                  "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n");
    m_daemon = SpawnProcess(
        {"dbus-daemon", "--config-file=" + m_dir.File("bus.conf"), "--nofork", "--nopidfile"},
        ProcessOptions{{}, ProcessOutput::Discard(), ProcessOutput::ToFile(m_dir.File("dbus.err"))});
    m_up = m_daemon > 0 && Within(20000, [&] { return std::filesystem::exists(bus); });
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + bus).c_str(), 1);
    if (m_up && !mode.empty()) {
        // The system's python, which has the D-Bus bindings (scripts/deps/recording.txt).
        m_portal = SpawnProcess(
            {"/usr/bin/python3", std::string(ZOV_SOURCE_DIR) + "/tests/support/fake_portal.py", Log(), mode},
            ProcessOptions{{}, ProcessOutput::Discard(), ProcessOutput::ToFile(m_dir.File("portal.err"))});
        m_up =
            m_portal > 0 && Within(20000, [&] { return ReadText(Log()).find("ready") != std::string::npos; });
    }
}

PortalDesktop::~PortalDesktop() {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    for (pid_t pid : {m_portal, m_daemon})
        if (pid > 0) {
            kill(pid, SIGTERM);
            WaitProcessFor(pid, 5000);
        }
}

std::string PortalDesktop::Errors() const {
    return ReadText(m_dir.File("portal.err")) + ReadText(m_dir.File("dbus.err"));
}

bool PortalDesktop::Press(const std::string& id) {
    const ProcessEnd end =
        RunProcess({"gdbus", "call", "--session", "--dest", "org.freedesktop.portal.Desktop", "--object-path",
                    "/org/freedesktop/portal/desktop", "--method", "org.zov.Test.Press", id},
                   ProcessOptions{{}, ProcessOutput::Discard(), ProcessOutput::Discard()}, 10000);
    return end.status == 0;
}

} // namespace zovtest
