// The recorder of the desktop program on a Wayland desktop. tests/wayland/session.sh runs this
// inside its headless sway with the desktop portal (ZOV_PORTAL_SESSION set): Begin opens the
// portal's screen (the test desktop's chooser answers the picker), the frames of a 320 x 240
// area equal grim's picture of it, and Stop keeps them in the project. Outside such a session
// there is nothing to record from and it says so.
#include "app/Application.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "platform/ScreenSource.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "ui/AreaSelectWindow.h"
#include "ui/MainWindow.h"
#include "ui/RecordSettingsDialog.h"
#include "ui/RecorderCommands.h"
#include "ui/RecorderControl.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace zov;

namespace {

// A binary PPM (P6, 8 bits) as 0x00RRGGBB, top row first.
bool ReadPpm(const std::string& path, int& w, int& h, std::vector<uint32_t>& rgb) {
    const std::vector<uint8_t> bytes = zovtest::ReadAll(path);
    int fields[3] = {}, n = 0;
    size_t at = 2;
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '6')
        return false;
    while (n < 3 && at < bytes.size()) {
        if (bytes[at] == '#')
            while (at < bytes.size() && bytes[at] != '\n')
                ++at;
        else if (bytes[at] >= '0' && bytes[at] <= '9') {
            int v = 0;
            while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9')
                v = v * 10 + (bytes[at++] - '0');
            fields[n++] = v;
            continue;
        }
        ++at;
    }
    ++at; // the one blank after the largest value
    w = fields[0];
    h = fields[1];
    if (n != 3 || fields[2] != 255 || w <= 0 || h <= 0 || bytes.size() < at + size_t(w) * h * 3)
        return false;
    rgb.resize(size_t(w) * h);
    for (size_t i = 0; i < rgb.size(); ++i, at += 3)
        rgb[i] = uint32_t(bytes[at]) << 16 | uint32_t(bytes[at + 1]) << 8 | bytes[at + 2];
    return true;
}

// Pixels of `frame` unlike grim's picture of the same place, taken now.
long DifferFromGrim(const Image24& frame, int left, int top, const std::string& shot) {
    const std::string command = "grim -t ppm -g '" + std::to_string(left) + "," + std::to_string(top) + " " +
                                std::to_string(frame.width) + "x" + std::to_string(frame.height) + "' '" +
                                shot + "'";
    int w = 0, h = 0;
    std::vector<uint32_t> expected;
    if (std::system(command.c_str()) != 0 || !ReadPpm(shot, w, h, expected) || w != frame.width ||
        h != frame.height)
        return -1;
    long differ = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* bgr = frame.PixelTopDown(x, y);
            differ +=
                (uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0]) != expected[size_t(y) * w + x];
        }
    return differ;
}

// The portal backend copies a new stream's first picture only after damage on the output,
// which a still screen never has: a workspace switched away and back damages it all without
// changing a pixel. Done from a thread of its own until stopped.
class DamagePoker {
  public:
    DamagePoker()
        : m_thread([this] {
              for (int i = 0; i < 300 && !m_stop; ++i) {
                  (void)std::system("swaymsg -q workspace poke && swaymsg -q workspace 1");
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              }
          }) {}
    ~DamagePoker() {
        m_stop = true;
        m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The program's folders in a fresh folder, with the language texts of the test desktop's copy.
AppFolders TestFolders(const zovtest::TempDir& dir) {
    AppFolders folders;
    folders.program = dir.Path() + "/";
    const char* data = std::getenv("ZOV_TEST_DATA");
    folders.data = data && *data ? std::string(data) + "/" : std::string(ZOV_SOURCE_DIR) + "/data/";
    folders.writable = dir.Path() + "/";
    folders.defaultProject = dir.Path() + "/release/";
    folders.registerFileType = false;
    return folders;
}

// Begins, waits for a few frames, and stops.
::testing::AssertionResult RecordAFewFrames(RecorderControl& control, CAni& doc) {
    {
        DamagePoker poke;
        control.Begin();
        if (!zovtest::WaitUntil([&] { return doc.FrameCount() >= 3; }, 30000))
            return ::testing::AssertionFailure() << "no third frame within 30 s";
    }
    const int before = doc.FrameCount();
    if (!zovtest::WaitUntil([&] { return doc.FrameCount() >= before + 2; }, 20000))
        return ::testing::AssertionFailure() << "the recording stalled";
    control.Stop();
    if (!zovtest::WaitUntil([&] { return control.RecorderState() == REC_IDLE; }, 20000))
        return ::testing::AssertionFailure() << "Stop did not end the recording";
    return ::testing::AssertionSuccess();
}

// The desktop program as the tests drive it, on the Wayland test desktop: its application
// object in a fresh folder, the main window shown, its recorder control, and every message it
// shows collected. The program is made after SessionReady(), which a test desktop of another
// kind replaces.
class PortalRecording : public ::testing::Test {
  protected:
    virtual bool SessionReady() { return std::getenv("ZOV_PORTAL_SESSION") != nullptr; }
    void SetUp() override {
        if (!WaylandSession() || !SessionReady())
            GTEST_SKIP() << "needs the Wayland test desktop of tests/wayland/session.sh";
        folders = TestFolders(dir);
        app = std::make_unique<ZovApp>(doc, folders);
        ASSERT_TRUE(app->Startup());
        window = std::make_unique<CMainWindow>(*app);
        window->DialogHooks().message = [this](const QString& text, bool) { messages << text; };
        window->show();
        control = Recorder(*window);
        ASSERT_NE(control, nullptr);
        control->GetHooks().message = [this](const QString& text) { messages << text; };
    }
    void TearDown() override {
        window.reset();
        if (app)
            app->Shutdown();
    }
    std::string Messages() const { return messages.join("\n").toStdString(); }

    zovtest::TempDir dir;
    CAni doc;
    AppFolders folders;
    std::unique_ptr<ZovApp> app;
    std::unique_ptr<CMainWindow> window;
    RecorderControl* control = nullptr;
    QStringList messages;
};

// The desktop's own portal of tests/wayland/session.sh on the bus ZOV_FAKE_PORTAL_BUS names
// (the pointer sent as metadata, a window shared, "stop sharing" on request).
class SharedWindow : public PortalRecording {
  protected:
    bool SessionReady() override {
        const char* bus = std::getenv("ZOV_FAKE_PORTAL_BUS");
        portalLog = std::getenv("ZOV_FAKE_PORTAL_LOG") ? std::getenv("ZOV_FAKE_PORTAL_LOG") : "";
        if (!bus || portalLog.empty())
            return false;
        const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        oldBus = old ? old : "";
        setenv("DBUS_SESSION_BUS_ADDRESS", bus, 1);
        return true;
    }
    void TearDown() override {
        PortalRecording::TearDown();
        if (!portalLog.empty())
            setenv("DBUS_SESSION_BUS_ADDRESS", oldBus.c_str(), 1);
    }
    std::string portalLog, oldBus;
};

} // namespace

TEST_F(PortalRecording, BeginRecordsTheAreaOfThePortalScreenAndStopKeepsIt) {
    // This desktop's portal has no global shortcuts: the start says once that there are
    // no hot keys and what to use instead, in a box that does not hold the program up.
    int notes = 0;
    for (QMessageBox* box : window->findChildren<QMessageBox*>())
        notes +=
            box->isVisible() && !box->isModal() && box->text().toStdString() == app->Text(S_REC_WAYLAND_NOTE);
    EXPECT_EQ(notes, 1);
    EXPECT_NE(zovtest::ReadText(dir.File("ZOV Recorder.log"))
                  .find("no hot keys: the desktop portal offers no global shortcuts"),
              std::string::npos);

    std::string project = dir.File("portal.scp");
    ASSERT_TRUE(doc.NewProject(project, false));
    doc.SetFrameDelay(250);
    doc.SetRecordPointer(false);
    ASSERT_TRUE(doc.SetCaptureRect({100, 100, 420, 340}));
    ASSERT_TRUE(RecordAFewFrames(*control, doc)) << Messages();
    EXPECT_TRUE(messages.isEmpty()) << Messages();

    // Stopped, the screen is as it was while recording: the last frame is grim's picture.
    Image24 frame;
    ASSERT_TRUE(doc.LoadFrame(doc.FrameCount() - 1, frame));
    ASSERT_EQ(frame.width, 320);
    ASSERT_EQ(frame.height, 240);
    EXPECT_EQ(DifferFromGrim(frame, 100, 100, dir.File("area.ppm")), 0)
        << "pixels of the last frame unlike grim's picture of the area";
    // A monitor's choice is kept apart from a window's.
    EXPECT_TRUE(std::filesystem::exists(dir.File("portal-restore-token")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("portal-restore-token-window")));
    std::printf("program recording: %d frames of 320 x 240 through the portal, the last one equal to "
                "grim's picture\n",
                doc.FrameCount());
}

// "Recording Setting" on a Wayland desktop: "Window..." in place of the finder asks the
// desktop for one window; "Sel Area" shows the shared monitor's first picture, frozen, and the
// rectangle dragged on it is what Begin then records.
TEST_F(PortalRecording, SettingsDialogChoosesThroughTheDesktopAndSelAreaCutsItsFrozenPicture) {
    std::string project = dir.File("dialog.scp");
    ASSERT_TRUE(doc.NewProject(project, false));
    doc.SetRecordPointer(false);

    RecordSettingsDialog dialog(*app, window.get(), false);
    dialog.SetMessageHook([&](const QString& text) { messages << text; });
    dialog.show();
    auto* choose = qobject_cast<QPushButton*>(dialog.Control(IDC_RS_FINDER));
    ASSERT_NE(choose, nullptr) << "no button in place of the finder";
    EXPECT_EQ(choose->text().toStdString(), app->Text(S_LX_PORTAL_WINDOW_BUTTON));
    EXPECT_EQ(choose->text(), QStringLiteral("Window..."));
    auto* area = qobject_cast<QComboBox*>(dialog.Control(IDC_RS_AREA));
    ASSERT_NE(area, nullptr);

    // A window: the desktop's question, not a window id of ours.
    choose->click();
    EXPECT_EQ(dialog.Mode(), AREA_WINDOW);
    EXPECT_EQ(dialog.ChosenWindow(), 0u);
    EXPECT_EQ(area->currentText(), QStringLiteral("A window chosen in the desktop"));

    // Sel Area: the frozen picture comes up; a drag from (100, 100) to (233, 233) of the
    // window, which covers the screen with the picture scaled to it.
    QImage frozen;
    QRect dragged;
    QTimer driver;
    driver.setInterval(50);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* select = qobject_cast<CAreaSelectWindow*>(w);
            if (!select || !select->isVisible() || !frozen.isNull())
                continue;
            frozen = select->Snapshot();
            auto send = [select](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
                QMouseEvent e(type, QPointF(p), select->mapToGlobal(QPointF(p)), Qt::LeftButton, held,
                              Qt::NoModifier);
                QApplication::sendEvent(select, &e);
            };
            send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
            send(QEvent::MouseMove, {180, 200}, Qt::LeftButton);
            send(QEvent::MouseButtonRelease, {233, 233}, Qt::NoButton);
            // Where those points fall on the picture.
            const double sx = double(frozen.width()) / select->width();
            const double sy = double(frozen.height()) / select->height();
            dragged = QRect(QPoint(int(100 * sx), int(100 * sy)), QPoint(int(233 * sx), int(233 * sy)));
        }
    });
    driver.start();
    {
        DamagePoker poke;
        dialog.OnSelArea();
    }
    driver.stop();
    ASSERT_FALSE(frozen.isNull()) << "the area selection did not come up: " << Messages();
    EXPECT_TRUE(messages.isEmpty()) << Messages();

    // The frozen picture is the screen as grim sees it.
    Image24 screen;
    screen.Allocate(frozen.width(), frozen.height());
    for (int y = 0; y < frozen.height(); ++y)
        for (int x = 0; x < frozen.width(); ++x) {
            const QRgb c = frozen.pixel(x, y);
            uint8_t* bgr = screen.PixelTopDown(x, y);
            bgr[0] = uint8_t(qBlue(c));
            bgr[1] = uint8_t(qGreen(c));
            bgr[2] = uint8_t(qRed(c));
        }
    EXPECT_EQ(DifferFromGrim(screen, 0, 0, dir.File("screen.ppm")), 0)
        << "the frozen picture is not the screen";

    // The chosen area is the drag's, to the pixel the scaling allows, and replaces the window.
    ASSERT_EQ(dialog.Mode(), AREA_RECT);
    const QRect chosen = dialog.ChosenRect();
    EXPECT_LE(std::abs(chosen.left() - dragged.left()), 1);
    EXPECT_LE(std::abs(chosen.top() - dragged.top()), 1);
    EXPECT_LE(std::abs(chosen.right() - dragged.right()), 1);
    EXPECT_LE(std::abs(chosen.bottom() - dragged.bottom()), 1);
    dialog.OnOk();
    ASSERT_EQ(dialog.result(), int(QDialog::Accepted)) << Messages();
    EXPECT_FALSE(doc.RecordWindowFlag());
    const CaptureRect rect = doc.GetCaptureRect();
    EXPECT_EQ(rect.left, chosen.left());
    EXPECT_EQ(rect.Width(), chosen.width());

    // Begin records that area of the shared screen, without asking again.
    ASSERT_TRUE(RecordAFewFrames(*control, doc)) << Messages();
    Image24 frame;
    ASSERT_TRUE(doc.LoadFrame(doc.FrameCount() - 1, frame));
    ASSERT_EQ(frame.width, chosen.width());
    ASSERT_EQ(frame.height, chosen.height());
    EXPECT_EQ(DifferFromGrim(frame, chosen.left(), chosen.top(), dir.File("chosen.ppm")), 0)
        << "the recording of the dragged area is not grim's picture of it";
    EXPECT_TRUE(messages.isEmpty()) << Messages();
    std::printf(
        "program settings: a %d x %d area dragged on the frozen %d x %d picture at (%d, %d), %d frames "
        "recorded, the last one equal to grim's picture\n",
        chosen.width(), chosen.height(), frozen.width(), frozen.height(), chosen.left(), chosen.top(),
        doc.FrameCount());
}

// A desktop whose portal shares one window (tests/wayland/session.sh's portal and screen source
// of its own, on the bus ZOV_FAKE_PORTAL_BUS names, the pointer sent as metadata): a project
// that records "a window" asks for one, takes the shared stream at its size with the pointer
// drawn in, and the desktop's "stop sharing" ends the run as Stop does, the frames kept.
TEST_F(SharedWindow, AWindowSharedByTheDesktopIsRecordedAtItsSizeUntilSharingStops) {
    std::string project = dir.File("window.scp");
    ASSERT_TRUE(doc.NewProject(project, false));
    doc.SetFrameDelay(250);
    doc.SetRecordPointer(true);
    doc.SetRecordWindow(0, true);

    control->Begin();
    ASSERT_TRUE(zovtest::WaitUntil([&] { return doc.FrameCount() >= 3; }, 30000)) << Messages();
    const std::string log = zovtest::ReadText(portalLog);
    EXPECT_NE(log.find("select types=2 cursor_mode=4"), std::string::npos) << log;
    EXPECT_NE(log.find("start source_type=2"), std::string::npos) << log;

    const std::string close = "gdbus call --session --dest org.freedesktop.portal.Desktop --object-path "
                              "/org/freedesktop/portal/desktop --method org.zov.Test.CloseSession >/dev/null";
    ASSERT_EQ(std::system(close.c_str()), 0);
    ASSERT_TRUE(zovtest::WaitUntil([&] { return control->RecorderState() == REC_IDLE; }, 15000))
        << "stop sharing did not end the recording";
    EXPECT_TRUE(messages.isEmpty()) << Messages();
    const int kept = doc.FrameCount();
    EXPECT_GE(kept, 3);

    // The shared window whole, with the pointer's bitmap (8 x 8 opaque red in its corner)
    // where its hotspot (2, 3) puts it for the place (300, 200).
    Image24 frame;
    ASSERT_TRUE(doc.LoadFrame(kept - 1, frame));
    ASSERT_EQ(frame.width, 640);
    ASSERT_EQ(frame.height, 480);
    long differ = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const bool red = x >= 298 && x < 306 && y >= 197 && y < 205;
            const bool box = x >= 200 && x < 240 && y >= 150 && y < 180;
            const uint32_t want = red ? 0xFF0000 : box ? 0xFFFFFF : 0x204060;
            const uint8_t* bgr = frame.PixelTopDown(x, y);
            differ += (uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0]) != want;
        }
    EXPECT_EQ(differ, 0) << "pixels unlike the shared window with its pointer";
    std::printf("program window: %d frames of the shared 640 x 480 window with the pointer from its "
                "metadata, ended by the desktop's stop sharing\n",
                kept);
}
