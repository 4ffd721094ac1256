// The finder icon and the hot-key service over the platform's fakes, on the offscreen
// platform: what the highlight is told while a drag crosses windows, what is announced and
// picked, the program's own windows passed over; hot keys reaching the Qt loop, a key held
// elsewhere reported once, the Wayland note.
#include "base/StringIds.h"
#include "platform/FakeWindows.h"
#include "tests/support/FakePortal.h"
#include "tests/ui/QtTestEnv.h"
#include "ui/AreaSelectWindow.h"
#include "ui/HotKeyService.h"
#include "ui/WindowFinderWidget.h"

#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

using namespace zov;

namespace {

WindowInfo Window(uint64_t id, uint64_t client, ScreenRect rect, const std::string& title) {
    WindowInfo w;
    w.id = id;
    w.client = client;
    w.rect = rect;
    w.title = title;
    return w;
}

bool Same(const ScreenRect& a, const ScreenRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

TEST(WindowFinder, DragAcrossWindowsMarksEachOnceAndPicksTheLastOwnWindowsPassedOver) {
    QWidget dialog;
    dialog.winId(); // a real id for the dialog, which the finder must pass over
    auto query = std::make_unique<FakeWindowQuery>();
    auto highlight = std::make_unique<FakeWindowHighlight>();
    FakeWindowQuery* q = query.get();
    FakeWindowHighlight* h = highlight.get();
    const ScreenRect a{0, 0, 300, 200}, b{100, 100, 400, 300};
    q->Add(Window(11, 12, a, "Editor A"));
    q->Add(Window(21, 22, b, "Terminal B"));
    // The dialog itself lies on top of both (as a managed window: frame 31, client = dialog).
    q->Add(Window(31, static_cast<uint64_t>(dialog.winId()), {150, 150, 250, 250}, "Recording Settings"));
    auto* finder = new CWindowFinderWidget(std::move(query), std::move(highlight), &dialog);
    QSignalSpy entered(finder, &CWindowFinderWidget::windowEntered);
    QSignalSpy left(finder, &CWindowFinderWidget::windowLeft);
    QSignalSpy picked(finder, &CWindowFinderWidget::windowPicked);

    finder->BeginDrag();
    EXPECT_TRUE(finder->IsDragging());
    EXPECT_TRUE(finder->pixmap().isNull()) << "the icon leaves its place while dragging";
    finder->DragTo(50, 50);   // A
    finder->DragTo(60, 60);   // still A: nothing new
    finder->DragTo(200, 200); // the dialog: passed over, B below it
    finder->DragTo(350, 250); // B again: nothing new
    finder->DragTo(500, 500); // the desktop
    finder->DragTo(120, 120); // B (on top of A)
    ASSERT_EQ(entered.count(), 3);
    EXPECT_EQ(entered[0][0].value<WindowInfo>().title, "Editor A");
    EXPECT_EQ(entered[1][0].value<WindowInfo>().title, "Terminal B");
    EXPECT_EQ(entered[2][0].value<WindowInfo>().id, 21u);
    EXPECT_EQ(left.count(), 1);
    // Each change marks the new window and unmarks the old one; never the dialog.
    const std::vector<ScreenRect> expected = {a, b, a, b, b};
    ASSERT_EQ(h->Toggles().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(Same(h->Toggles()[i], expected[i])) << i;
    ASSERT_EQ(h->Shown().size(), 1u);
    EXPECT_TRUE(Same(h->Shown()[0], b));

    finder->EndDrag();
    EXPECT_FALSE(finder->IsDragging());
    EXPECT_TRUE(h->Shown().empty()) << "released: no mark stays";
    EXPECT_FALSE(finder->pixmap().isNull());
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked[0][0].value<WindowInfo>().id, 21u);

    // Released over the desktop: no pick, a cancel; and no drag while picking is off.
    QSignalSpy cancelled(finder, &CWindowFinderWidget::pickCancelled);
    finder->BeginDrag();
    finder->DragTo(500, 500);
    finder->EndDrag();
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(picked.count(), 1);
    finder->SetEnabledForPick(false);
    finder->BeginDrag();
    EXPECT_FALSE(finder->IsDragging());
}

TEST(WindowFinder, IgnoredWindowsAndTheHighlightsOwnWindowsAreNeverPicked) {
    auto query = std::make_unique<FakeWindowQuery>();
    auto highlight = std::make_unique<FakeWindowHighlight>(true);
    FakeWindowQuery* q = query.get();
    q->Add(Window(1, 1, {0, 0, 100, 100}, "Under"));
    q->Add(Window(7, 8, {0, 0, 50, 50}, "Player window of this program"));
    // Stand-ins for the highlight's bars: the fake reports ids from 0xF000.
    q->Add(Window(0xF000, 0xF000, {0, 0, 100, 5}, "bar"));
    CWindowFinderWidget finder(std::move(query), std::move(highlight));
    finder.SetIgnoredWindows({8});
    QSignalSpy entered(&finder, &CWindowFinderWidget::windowEntered);
    finder.BeginDrag();
    finder.DragTo(10, 20); // "Under": the own window 7/8 is passed over
    finder.DragTo(10, 2);  // on a bar drawn around "Under": still "Under"
    finder.EndDrag();
    ASSERT_EQ(entered.count(), 1);
    EXPECT_EQ(entered[0][0].value<WindowInfo>().title, "Under");
}

TEST(WindowFinder, TheDialogsOwnWindowsArePassedOverAnotherWindowOfTheProgramIsNot) {
    QWidget mainWindow;
    mainWindow.winId();
    QWidget dialog;
    dialog.winId();
    QWidget childDialog(&dialog, Qt::Dialog);
    childDialog.winId();
    auto query = std::make_unique<FakeWindowQuery>();
    FakeWindowQuery* q = query.get();
    q->Add(Window(1, static_cast<uint64_t>(mainWindow.winId()), {0, 0, 100, 100}, "Main window"));
    q->Add(Window(2, static_cast<uint64_t>(dialog.winId()), {0, 0, 50, 50}, "Dialog"));
    q->Add(Window(3, static_cast<uint64_t>(childDialog.winId()), {0, 0, 20, 20}, "Child of the dialog"));
    auto* finder =
        new CWindowFinderWidget(std::move(query), std::make_unique<FakeWindowHighlight>(), &dialog);
    QSignalSpy entered(finder, &CWindowFinderWidget::windowEntered);
    finder->BeginDrag();
    finder->DragTo(10, 10);
    finder->EndDrag();
    ASSERT_EQ(entered.count(), 1);
    EXPECT_EQ(entered[0][0].value<WindowInfo>().title, "Main window");
}

TEST(AreaSelect, DragRectangleNormalisedAndSizeRule) {
    const ScreenRect forward = NormalizedDrag({100, 50}, {300, 200});
    const ScreenRect backward = NormalizedDrag({300, 200}, {100, 50});
    EXPECT_TRUE(Same(forward, backward));
    EXPECT_TRUE(Same(forward, {100, 50, 300, 200}));
    EXPECT_TRUE(Same(NormalizedDrag({300, 50}, {100, 200}), forward));
    EXPECT_FALSE(DragIsBigEnough(NormalizedDrag({10, 10}, {12, 40}))) << "2 pixels wide";
    EXPECT_FALSE(DragIsBigEnough(NormalizedDrag({10, 10}, {40, 12}))) << "2 pixels high";
    EXPECT_TRUE(DragIsBigEnough(NormalizedDrag({13, 13}, {10, 10})));
}

namespace {
std::string Texts(int id) {
    switch (id) {
    case S_REC_HOTKEY_HELD:
        return "held: %s (%s)";
    case S_REC_HOTKEY_PAUSE:
        return "Pause recording";
    case S_REC_WAYLAND_NOTE:
        return "wayland note";
    case S_REC_HOTKEYS_UNAVAILABLE:
        return "no hot keys";
    case S_LX_HOTKEY_NOT_BOUND:
        return "unbound: %s (%s)";
    default:
        return "?";
    }
}
} // namespace

TEST(HotKeyService, PressesReachTheLoopAndAHeldKeyIsReportedOnce) {
    qunsetenv("WAYLAND_DISPLAY");
    auto keys = std::make_unique<FakeHotKeys>();
    FakeHotKeys* fake = keys.get();
    fake->SetHeldElsewhere({HOTKEY_PAUSE});
    CHotKeyService service(std::move(keys), Texts);
    QSignalSpy problems(&service, &CHotKeyService::grabProblem);
    QSignalSpy pressed(&service, &CHotKeyService::hotKey);
    service.Start();
    ASSERT_EQ(problems.count(), 1);
    EXPECT_EQ(problems[0][0].toString().toStdString(), "held: Ctrl+Shift+F10 (Pause recording)");
    service.Start(); // grabbing again does not say it again
    EXPECT_EQ(problems.count(), 1);
    EXPECT_EQ(fake->GrabCalls(), 2);

    fake->Press(HOTKEY_BEGIN);
    fake->Press(HOTKEY_PAUSE); // held elsewhere: never arrives
    fake->Press(HOTKEY_STOP);
    ASSERT_TRUE(zovtest::WaitUntil([&] { return pressed.count() >= 2; }, 5000));
    EXPECT_EQ(pressed[0][0].toInt(), HOTKEY_BEGIN);
    EXPECT_EQ(pressed[1][0].toInt(), HOTKEY_STOP);
}

// No hot keys at all is said once: on X11 as such, on a Wayland desktop with what to use
// instead. A Wayland desktop with global shortcuts says nothing but the keys it left unbound.
// On a Wayland desktop with global shortcuts (the tests' own portal): the service binds the
// four keys described in the interface language, says the one the desktop left unbound when
// the desktop's answer comes, and the desktop's presses reach the loop.
TEST(HotKeyService, TheDesktopsGlobalShortcutsAreTheHotKeysOnWayland) {
    zovtest::PortalDesktop desktop("bind-some");
    ASSERT_TRUE(desktop.Up()) << desktop.Errors();
    qputenv("WAYLAND_DISPLAY", "wayland-0");
    CHotKeyService service(CHotKeyService::OpenSystemHotKeys(Texts), Texts);
    ASSERT_NE(service.Keys(), nullptr);
    QSignalSpy problems(&service, &CHotKeyService::grabProblem);
    QSignalSpy pressed(&service, &CHotKeyService::hotKey);
    service.Start();
    const bool answered = zovtest::WaitUntil([&] { return problems.count() >= 1; }, 10000);
    ASSERT_TRUE(desktop.Press("stop"));
    const bool heard = zovtest::WaitUntil([&] { return pressed.count() >= 1; }, 10000);
    qunsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(answered);
    ASSERT_EQ(problems.count(), 1);
    EXPECT_EQ(problems[0][0].toString().toStdString(), "unbound: Ctrl+Shift+F10 (Pause recording)");
    EXPECT_NE(zovtest::ReadText(desktop.Log()).find("bind pause CTRL+SHIFT+F10 Pause recording"),
              std::string::npos);
    ASSERT_TRUE(heard);
    EXPECT_EQ(pressed[0][0].toInt(), HOTKEY_STOP);
}

TEST(HotKeyService, NoHotKeysAreSaidOnceAndUnboundOnesAsTheDesktopsChoice) {
    qunsetenv("WAYLAND_DISPLAY");
    CHotKeyService x11(nullptr, Texts);
    QSignalSpy x11Problems(&x11, &CHotKeyService::grabProblem);
    x11.Start();
    x11.Start();
    ASSERT_EQ(x11Problems.count(), 1);
    EXPECT_EQ(x11Problems[0][0].toString().toStdString(), "no hot keys");

    qputenv("WAYLAND_DISPLAY", "wayland-0");
    CHotKeyService none(nullptr, Texts);
    QSignalSpy problems(&none, &CHotKeyService::grabProblem);
    none.Start();
    none.Start();
    ASSERT_EQ(problems.count(), 1);
    EXPECT_EQ(problems[0][0].toString().toStdString(), "wayland note");
    EXPECT_EQ(none.Problems().size(), 1);

    auto keys = std::make_unique<FakeHotKeys>();
    keys->SetHeldElsewhere({HOTKEY_PAUSE});
    CHotKeyService desktop(std::move(keys), Texts);
    QSignalSpy desktopProblems(&desktop, &CHotKeyService::grabProblem);
    desktop.Start();
    qunsetenv("WAYLAND_DISPLAY");
    ASSERT_EQ(desktopProblems.count(), 1);
    EXPECT_EQ(desktopProblems[0][0].toString().toStdString(), "unbound: Ctrl+Shift+F10 (Pause recording)");
}
