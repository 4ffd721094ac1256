// The hot keys through the desktop portal's GlobalShortcuts interface, against a portal of the
// test's own (tests/support/fake_portal.py) on a private session bus: what is asked for, what the
// desktop binds, presses in order, and the sentences for a desktop without such a portal.
#include "platform/PortalHotKeys.h"
#include "platform/Process.h"
#include "tests/support/TestFiles.h"
#include "tests/support/XTestEnv.h"

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace zov;
using zovtest::ReadText;
using zovtest::TempDir;
using zovtest::WaitUntil;

namespace {

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& start) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(start, 0) == 0)
            out.push_back(line);
    return out;
}

// A private session bus, and on it the test's portal for a desktop of the given kind (or
// none); DBUS_SESSION_BUS_ADDRESS points at the bus while the object lives.
class PortalDesktop {
  public:
    explicit PortalDesktop(const std::string& mode) {
        // A bus that activates nothing: the system's own portal must not answer in the
        // test's place.
        const std::string bus = m_dir.File("bus");
        zovtest::WriteText(
            m_dir.File("bus.conf"),
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:path=" +
                bus +
                "</listen><policy context=\"default\"><allow send_destination=\"*\"/><allow "
                "receive_sender=\"*\"/>"
                "<allow own=\"*\"/></policy></busconfig>\n");
        m_daemon = SpawnProcess(
            {"dbus-daemon", "--config-file=" + m_dir.File("bus.conf"), "--nofork", "--nopidfile"},
            ProcessOptions{{}, ProcessOutput::Discard(), ProcessOutput::ToFile(m_dir.File("dbus.err"))});
        m_up = m_daemon > 0 && WaitUntil([&] { return std::filesystem::exists(bus); }, 20000);
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + bus).c_str(), 1);
        if (m_up && !mode.empty()) {
            // The system's python, which has the D-Bus bindings (scripts/deps/recording.txt).
            m_portal = SpawnProcess(
                {"/usr/bin/python3", std::string(ZOV_SOURCE_DIR) + "/tests/support/fake_portal.py", Log(),
                 mode},
                ProcessOptions{
                    {}, ProcessOutput::Discard(), ProcessOutput::ToFile(m_dir.File("portal.err"))});
            m_up = m_portal > 0 && zovtest::WaitForText(Log(), "ready", 20000);
        }
    }
    ~PortalDesktop() {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        for (pid_t pid : {m_portal, m_daemon})
            if (pid > 0) {
                kill(pid, SIGTERM);
                WaitProcessFor(pid, 5000);
            }
    }
    bool Up() const { return m_up; }
    std::string Log() const { return m_dir.File("portal.log"); }
    std::string Errors() const {
        return ReadText(m_dir.File("portal.err")) + ReadText(m_dir.File("dbus.err"));
    }
    // The desktop's user presses the shortcut `id`.
    bool Press(const std::string& id) {
        ProcessEnd end = RunProcess(
            {"gdbus", "call", "--session", "--dest", "org.freedesktop.portal.Desktop", "--object-path",
             "/org/freedesktop/portal/desktop", "--method", "org.zov.Test.Press", id},
            ProcessOptions{{}, ProcessOutput::Discard(), ProcessOutput::Discard()}, 10000);
        return end.status == 0;
    }

  private:
    TempDir m_dir;
    pid_t m_daemon = -1, m_portal = -1;
    bool m_up = false;
};

// Waits on the keys' descriptor, as the program's event loop does, until `count` presses have
// come or 10 s have passed.
std::vector<int> WaitForPresses(IHotKeys& keys, size_t count) {
    std::vector<int> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{keys.Fd(), POLLIN, 0};
        if (poll(&p, 1, 100) < 0)
            break;
        for (int id : keys.Dispatch())
            got.push_back(id);
    }
    return got;
}

PortalHotKeyOptions Descriptions() {
    PortalHotKeyOptions o;
    o.descriptions = {"Begin recording", "Pause recording", "Resume recording", "Stop recording"};
    return o;
}

} // namespace

TEST(PortalHotKeys, NamesAndPreferredKeys) {
    EXPECT_EQ(PortalShortcutId(HOTKEY_BEGIN), "begin");
    EXPECT_EQ(PortalShortcutId(HOTKEY_STOP), "stop");
    EXPECT_EQ(PortalShortcutId(HOTKEY_BEGIN - 1), "");
    EXPECT_EQ(PortalPreferredTrigger(HOTKEY_BEGIN), "CTRL+SHIFT+F9");
    EXPECT_EQ(PortalPreferredTrigger(HOTKEY_RESUME), "CTRL+SHIFT+F11");
    EXPECT_EQ(PortalPreferredTrigger(HOTKEY_STOP + 1), "");
}

// The four actions are bound once with their descriptions and preferred keys; presses arrive
// in order through the descriptor; while released (Ungrab) presses are dropped, and grabbing
// again neither binds again nor loses the keys.
TEST(PortalHotKeys, BindsTheFourActionsAndPressesArriveInOrder) {
    PortalDesktop desktop("bind-all");
    ASSERT_TRUE(desktop.Up()) << desktop.Errors();
    std::string error;
    std::unique_ptr<IHotKeys> keys = OpenPortalHotKeys(Descriptions(), error);
    ASSERT_NE(keys, nullptr) << error;
    EXPECT_TRUE(keys->Grab().empty());
    EXPECT_GE(keys->Fd(), 0);
    EXPECT_EQ(LinesStartingWith(ReadText(desktop.Log()), "bind"),
              (std::vector<std::string>{
                  "bind begin CTRL+SHIFT+F9 Begin recording", "bind pause CTRL+SHIFT+F10 Pause recording",
                  "bind resume CTRL+SHIFT+F11 Resume recording", "bind stop CTRL+SHIFT+F12 Stop recording"}));

    ASSERT_TRUE(desktop.Press("stop"));
    ASSERT_TRUE(desktop.Press("begin"));
    ASSERT_TRUE(desktop.Press("not-ours"));
    ASSERT_TRUE(desktop.Press("pause"));
    EXPECT_EQ(WaitForPresses(*keys, 3), (std::vector<int>{HOTKEY_STOP, HOTKEY_BEGIN, HOTKEY_PAUSE}));

    keys->Ungrab();
    ASSERT_TRUE(desktop.Press("stop"));
    pollfd p{keys->Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1) << "the press did not reach the program";
    EXPECT_TRUE(keys->Dispatch().empty());
    EXPECT_TRUE(keys->Grab().empty());
    ASSERT_TRUE(desktop.Press("resume"));
    EXPECT_EQ(WaitForPresses(*keys, 1), (std::vector<int>{HOTKEY_RESUME}));
    EXPECT_EQ(LinesStartingWith(ReadText(desktop.Log()), "bind").size(), 4u);

    // The session is closed with the keys.
    keys.reset();
    EXPECT_TRUE(zovtest::WaitForText(desktop.Log(), "close", 10000));
}

// What the desktop leaves unbound is reported per key; a cancelled dialog reports all four.
TEST(PortalHotKeys, UnboundActionsAreReportedAsProblems) {
    {
        PortalDesktop desktop("bind-some");
        ASSERT_TRUE(desktop.Up()) << desktop.Errors();
        std::string error;
        std::unique_ptr<IHotKeys> keys = OpenPortalHotKeys(Descriptions(), error);
        ASSERT_NE(keys, nullptr) << error;
        const std::vector<HotKeyGrabProblem> problems = keys->Grab();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].id, HOTKEY_PAUSE);
        EXPECT_EQ(problems[0].name, "Ctrl+Shift+F10");
    }
    {
        PortalDesktop desktop("refuse");
        ASSERT_TRUE(desktop.Up()) << desktop.Errors();
        std::string error;
        std::unique_ptr<IHotKeys> keys = OpenPortalHotKeys(Descriptions(), error);
        ASSERT_NE(keys, nullptr) << error;
        EXPECT_EQ(keys->Grab().size(), 4u);
    }
}

// A desktop without global shortcuts, a bus without a portal, no bus at all: a sentence each,
// within the call time-out.
TEST(PortalHotKeys, WithoutGlobalShortcutsOpeningFailsWithASentence) {
    auto open = [](std::string& error) {
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<IHotKeys> keys = OpenPortalHotKeys(Descriptions(), error);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        EXPECT_LT(ms, 5000);
        return keys == nullptr;
    };
    std::string error;
    {
        PortalDesktop desktop("no-shortcuts");
        ASSERT_TRUE(desktop.Up()) << desktop.Errors();
        EXPECT_TRUE(open(error));
        EXPECT_EQ(error,
                  "the desktop portal offers no global shortcuts (org.freedesktop.portal.GlobalShortcuts).");
    }
    {
        PortalDesktop desktop("");
        ASSERT_TRUE(desktop.Up()) << desktop.Errors();
        EXPECT_TRUE(open(error));
        EXPECT_NE(error.find("there is no desktop portal (org.freedesktop.portal.Desktop)"),
                  std::string::npos)
            << error;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    EXPECT_TRUE(open(error));
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_NE(error.find("cannot reach the D-Bus session bus"), std::string::npos) << error;
}
