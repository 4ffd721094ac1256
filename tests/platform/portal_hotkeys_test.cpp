// The hot keys through the desktop portal's GlobalShortcuts interface, against a portal of the
// test's own (tests/support/fake_portal.py) on a private session bus: what is asked for, what the
// desktop binds, presses in order, and the sentences for a desktop without such a portal.
#include "platform/PortalHotKeys.h"
#include "platform/Process.h"
#include "tests/support/FakePortal.h"
#include "tests/support/TestFiles.h"
#include "tests/support/XTestEnv.h"

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

using namespace zov;
using zovtest::PortalDesktop;
using zovtest::ReadText;

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

// The problems the desktop's answer to the binding brings, waited for on the descriptor as
// the program's event loop does (10 s at the most).
std::vector<HotKeyGrabProblem> WaitForLateProblems(IHotKeys& keys) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{keys.Fd(), POLLIN, 0};
        if (poll(&p, 1, 100) < 0)
            break;
        keys.Dispatch();
        std::vector<HotKeyGrabProblem> late = keys.LateProblems();
        if (!late.empty())
            return late;
    }
    return {};
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

// What the desktop leaves unbound is reported per key once its answer comes; a cancelled
// dialog reports all four.
TEST(PortalHotKeys, UnboundActionsAreReportedAsProblems) {
    {
        PortalDesktop desktop("bind-some");
        ASSERT_TRUE(desktop.Up()) << desktop.Errors();
        std::string error;
        std::unique_ptr<IHotKeys> keys = OpenPortalHotKeys(Descriptions(), error);
        ASSERT_NE(keys, nullptr) << error;
        EXPECT_TRUE(keys->Grab().empty()) << "the answer comes later";
        const std::vector<HotKeyGrabProblem> problems = WaitForLateProblems(*keys);
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
        EXPECT_TRUE(keys->Grab().empty());
        EXPECT_EQ(WaitForLateProblems(*keys).size(), 4u);
        EXPECT_EQ(keys->Grab().size(), 4u); // grabbing again gives what is known by now
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
