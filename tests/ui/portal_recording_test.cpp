// The recorder of the desktop program on a Wayland desktop. tests/wayland/session.sh runs this
// inside its headless sway with the desktop portal (ZOV_PORTAL_SESSION set): Begin opens the
// portal's screen (the test desktop's chooser answers the picker), the frames of a 320 x 240
// area equal grim's picture of it, and Stop keeps them in the project. Outside such a session
// there is nothing to record from and it says so.
#include "app/Application.h"
#include "core/Ani.h"
#include "platform/ScreenSource.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/QtTestEnv.h"
#include "ui/MainWindow.h"
#include "ui/RecorderCommands.h"
#include "ui/RecorderControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
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

} // namespace

TEST(PortalRecording, BeginRecordsTheAreaOfThePortalScreenAndStopKeepsIt) {
    if (!WaylandSession() || !std::getenv("ZOV_PORTAL_SESSION"))
        GTEST_SKIP() << "needs the Wayland test desktop of tests/wayland/session.sh";
    zovtest::TempDir dir;
    AppFolders folders;
    folders.program = dir.Path() + "/";
    const char* data = std::getenv("ZOV_TEST_DATA");
    folders.data = data && *data ? std::string(data) + "/" : std::string(ZOV_SOURCE_DIR) + "/data/";
    folders.writable = dir.Path() + "/";
    folders.defaultProject = dir.Path() + "/release/";
    folders.registerFileType = false;
    CAni doc;
    ZovApp app(doc, folders);
    ASSERT_TRUE(app.Startup());
    {
        CMainWindow window(app);
        QStringList messages;
        window.DialogHooks().message = [&](const QString& text, bool) { messages << text; };
        window.show();
        RecorderControl* control = Recorder(window);
        ASSERT_NE(control, nullptr);
        control->GetHooks().message = [&](const QString& text) { messages << text; };

        std::string project = dir.File("portal.scp");
        ASSERT_TRUE(doc.NewProject(project, false));
        doc.SetFrameDelay(250);
        doc.SetRecordPointer(false);
        ASSERT_TRUE(doc.SetCaptureRect({100, 100, 420, 340}));

        // The portal backend copies a new stream's first picture only after damage on the
        // output, which a still screen never has: a workspace switched away and back damages
        // it all without changing a pixel. Done from here until the first frame is in.
        std::atomic<bool> started{false};
        std::thread poke([&] {
            for (int i = 0; i < 200 && !started; ++i) {
                (void)std::system("swaymsg -q workspace poke && swaymsg -q workspace 1");
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        control->Begin();
        const bool recorded = zovtest::WaitUntil([&] { return doc.FrameCount() >= 3; }, 30000);
        started = true;
        poke.join();
        ASSERT_TRUE(recorded) << messages.join("\n").toStdString();
        const std::string shot = dir.File("area.ppm");
        ASSERT_EQ(std::system(("grim -t ppm -g '100,100 320x240' '" + shot + "'").c_str()), 0);
        const int before = doc.FrameCount();
        ASSERT_TRUE(zovtest::WaitUntil([&] { return doc.FrameCount() >= before + 2; }, 20000));
        control->Stop();
        ASSERT_TRUE(zovtest::WaitUntil([&] { return control->RecorderState() == REC_IDLE; }, 20000));
        EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();

        int w = 0, h = 0;
        std::vector<uint32_t> expected;
        ASSERT_TRUE(ReadPpm(shot, w, h, expected));
        ASSERT_EQ(w, 320);
        ASSERT_EQ(h, 240);
        Image24 frame;
        ASSERT_TRUE(doc.LoadFrame(doc.FrameCount() - 1, frame));
        ASSERT_EQ(frame.width, 320);
        ASSERT_EQ(frame.height, 240);
        long differ = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* bgr = frame.PixelTopDown(x, y);
                differ +=
                    (uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0]) != expected[size_t(y) * w + x];
            }
        EXPECT_EQ(differ, 0) << "pixels of the last frame unlike grim's picture of the area";
        std::printf("program recording: %d frames of 320 x 240 through the portal, the last one equal to "
                    "grim's picture\n",
                    doc.FrameCount());
    }
    app.Shutdown();
}
