// `zovrec record` and `zovrec recover` on real Xvfb servers with the test window: frames
// equal xwd screenshots at depth 24 and 16, the pointer in frames, headers and cursor.bin,
// window recording, key frames, SIGINT, kill -9 and recover, the refused area, an unsupported
// depth, and a ".zov" recording that `zovrec stream-decode` turns back into the screen.
#include "tests/support/XTestEnv.h"

#include "base/BinFile.h"
#include "core/Ani.h"
#include "platform/X11Screen.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>

using namespace zovtest;

namespace {

// Window at (40, 30), 200 x 150, on a 320 x 240 screen; recorded area (20, 10)-(300, 220).
constexpr int kLeft = 20, kTop = 10, kRight = 300, kBottom = 220;
const std::string kArea = "20,10,300,220";

struct Scene {
    Xvfb server;
    TestWindow window;
    Screenshot shot;
    explicit Scene(int depth, int animateMs = 0)
        : server(320, 240, depth), window(server.Display(), 200, 150, 40, 30, animateMs) {
        // The pointer far from the window, in a corner the area leaves out.
        RunProgram({"xdotool", "mousemove", "--sync", "315", "235"}, server.Display());
    }
    bool Ready(std::string& error) {
        if (!server.Ok() || !window.Ok()) {
            error = "Xvfb or the test window did not start";
            return false;
        }
        return TakeScreenshot(server.Display(), shot, error);
    }
    RunResult Zovrec(std::vector<std::string> args) {
        args.insert(args.begin(), ZovrecPath());
        return RunProgram(args, server.Display());
    }
};

// Moves the pointer and waits until the server shows it there with the shape it has over
// that spot, as the recording will read it.
void MovePointer(const std::string& display, int x, int y) {
    RunProgram({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y)}, display);
    std::string error;
    auto screen = zov::OpenX11Screen(display, error);
    ASSERT_TRUE(screen) << error;
    zov::PointerState p;
    EXPECT_TRUE(WaitUntil([&] { return screen->ReadPointer(p) && p.x == x && p.y == y && p.image; }, 5000));
}

// The count of the last "frame N" line `zovrec record --progress` printed into `path`.
int LastProgress(const std::string& path) {
    std::string text;
    zov::ReadWholeFile(path, text);
    int last = 0;
    for (size_t at = text.find("frame "); at != std::string::npos; at = text.find("frame ", at + 1))
        last = std::atoi(text.c_str() + at + 6);
    return last;
}

// A project opened in a document of its own, closed at the end of the scope.
struct OpenedProject {
    explicit OpenedProject(std::string path) : m_doc(std::make_unique<zov::CAni>()) {
        m_doc->Initialise();
        ok = m_doc->OpenProject(path);
    }
    ~OpenedProject() { m_doc->Close(); }
    zov::CAni& doc() { return *m_doc; }
    std::unique_ptr<zov::CAni> m_doc;
    bool ok = false;
};

void ExpectFramesEqualScreen(const std::string& project, const Screenshot& shot, int expectFrames = -1) {
    OpenedProject p(project);
    ASSERT_TRUE(p.ok) << p.doc().LastMessage();
    const int n = p.doc().FrameCount();
    if (expectFrames >= 0) {
        EXPECT_EQ(n, expectFrames);
    }
    ASSERT_GT(n, 0);
    for (int i = 0; i < n; ++i) {
        zov::Image24 frame;
        ASSERT_TRUE(p.doc().LoadFrame(i, frame)) << i;
        ASSERT_EQ(frame.width, kRight - kLeft);
        ASSERT_EQ(frame.height, kBottom - kTop);
        std::string first;
        EXPECT_EQ(CountDifferences(frame, shot, kLeft, kTop, &first), 0) << "frame " << i << " " << first;
    }
}

void RecordStillSceneEqualsScreenshot(int depth) {
    Scene scene(depth);
    std::string error;
    ASSERT_TRUE(scene.Ready(error)) << error;
    const std::string dir = TempFolder("still");
    RunResult r = scene.Zovrec(
        {"record", dir + "still.scp", "--area", kArea, "--frames", "4", "--delay", "50", "--no-pointer"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("recorded 4 frames"), std::string::npos) << r.out;
    ExpectFramesEqualScreen(dir + "still.scp", scene.shot, 4);
}

TEST(RecordX11, Depth24FramesEqualTheScreenshot) {
    RecordStillSceneEqualsScreenshot(24);
}
TEST(RecordX11, Depth16FramesEqualTheScreenshotWidenedByChannel) {
    RecordStillSceneEqualsScreenshot(16);
}

TEST(RecordX11, PointerIsDrawnAtItsPositionMinusTheHotspotAndRecorded) {
    Scene scene(24);
    std::string error;
    ASSERT_TRUE(scene.Ready(error)) << error;
    const std::string dir = TempFolder("pointer");
    const std::string project = dir + "pointer.scp";
    const std::string& d = scene.server.Display();
    // Two runs into the same project, the pointer at two known places over the window (its
    // pointer is an 8 x 8 red square with hotspot 3, 2, named "hand2").
    const int places[2][2] = {{100, 80}, {170, 140}};
    for (int run = 0; run < 2; ++run) {
        MovePointer(d, places[run][0], places[run][1]);
        RunResult r = scene.Zovrec({"record", project, "--area", kArea, "--frames", "3", "--delay", "40"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    OpenedProject p(project);
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.doc().FrameCount(), 6);
    for (int i = 0; i < 6; ++i) {
        const int px = places[i / 3][0] - 3, py = places[i / 3][1] - 2;
        EXPECT_EQ(p.doc().FrameTable()[i].kind, i % 3 == 0 ? zov::FRAME_KEY : zov::FRAME_DIFF) << i;
        std::vector<uint8_t> bits;
        zov::FrameHeader header;
        ASSERT_TRUE(p.doc().LoadFrame(i, bits, header));
        EXPECT_EQ(header.pointerX, px) << i;
        EXPECT_EQ(header.pointerY, py) << i;
        EXPECT_EQ(header.pointerShape, 3) << i; // IDC_HAND
        zov::Image24 frame;
        frame.width = kRight - kLeft;
        frame.height = kBottom - kTop;
        frame.bits = bits;
        long wrong = 0;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x) {
                const int sx = x + kLeft, sy = y + kTop;
                const bool under = sx >= px && sx < px + 8 && sy >= py && sy < py + 8;
                wrong += FramePixel(frame, x, y) != (under ? 0xFF0000u : scene.shot.At(sx, sy));
            }
        EXPECT_EQ(wrong, 0) << "frame " << i;
    }
}

TEST(RecordX11, CursorFileHoldsOneRecordPerFrame) {
    Scene scene(24);
    std::string error;
    ASSERT_TRUE(scene.Ready(error)) << error;
    const std::string dir = TempFolder("cursorbin");
    MovePointer(scene.server.Display(), 120, 90);
    RunResult r = scene.Zovrec({"record", dir + "c.scp", "--area", kArea, "--frames", "5", "--delay", "30"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string side;
    ASSERT_TRUE(zov::ReadWholeFile(dir + "cursor.bin", side));
    const size_t record = 20 + 8 * 8 * 4 + 8 * 2;
    ASSERT_EQ(side.size(), 5 * record);
    for (int i = 0; i < 5; ++i) {
        const char* rec = side.data() + i * record;
        int32_t v[5];
        std::memcpy(&v[0], rec, 4);
        std::memcpy(&v[1], rec + 4, 4);
        std::memcpy(&v[2], rec + 12, 4);
        std::memcpy(&v[3], rec + 16, 4);
        EXPECT_EQ(v[0], 117);
        EXPECT_EQ(v[1], 88);
        EXPECT_EQ(rec[8], 0);
        EXPECT_EQ(rec[9], 1);
        EXPECT_EQ(rec[10], 1);
        EXPECT_EQ(v[2], 3);
        EXPECT_EQ(v[3], 2);
        EXPECT_EQ(static_cast<uint8_t>(rec[20 + 2]), 0xFF); // red of the first pixel
        EXPECT_EQ(static_cast<uint8_t>(rec[20 + 3]), 0xFF); // opaque
    }
}

TEST(RecordX11, WindowRecordingFollowsTheWindow) {
    Scene scene(24);
    std::string error;
    ASSERT_TRUE(scene.Ready(error)) << error;
    const std::string dir = TempFolder("window");
    const std::string project = dir + "window.scp";
    const std::string id = std::to_string(scene.window.Id());
    pid_t pid = Start({ZovrecPath(), "record", project, "--window", id, "--frames", "12", "--delay", "100",
                       "--no-pointer", "--progress"},
                      scene.server.Display(), dir + "out.txt", dir + "err.txt");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForText(dir + "out.txt", "frame 4\n", 10000));
    RunProgram({"xdotool", "windowmove", "--sync", id, "100", "70"}, scene.server.Display());
    ASSERT_EQ(WaitExit(pid), 0);
    OpenedProject p(project);
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.doc().FrameCount(), 12);
    zov::CaptureRect r = p.doc().GetCaptureRect();
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 30);
    EXPECT_EQ(r.Width(), 200);
    EXPECT_EQ(r.Height(), 150);
    // Every frame is the window's own picture, before and after the move.
    for (int i = 0; i < 12; ++i) {
        zov::Image24 frame;
        ASSERT_TRUE(p.doc().LoadFrame(i, frame));
        std::string first;
        EXPECT_EQ(CountDifferences(frame, scene.shot, 40, 30, &first), 0) << "frame " << i << " " << first;
    }
}

// Unmapped (minimised, sent to another workspace) the window is recorded at its place;
// the run ends when the window is destroyed. The window is 192 pixels wide, so that its
// image is whole 96-byte blocks and difference frames carry every pixel.
TEST(RecordX11, UnmappedWindowIsRecordedAtItsPlaceUntilItIsDestroyed) {
    Xvfb server(320, 240, 24);
    ASSERT_TRUE(server.Ok());
    const std::string& d = server.Display();
    TestWindow window(d, 192, 144, 40, 30);
    ASSERT_TRUE(window.Ok());
    RunProgram({"xdotool", "mousemove", "--sync", "315", "235"}, d);
    std::string error;
    Screenshot shown, hidden;
    ASSERT_TRUE(TakeScreenshot(d, shown, error)) << error;
    const std::string dir = TempFolder("unmapped");
    const std::string project = dir + "unmapped.scp";
    const std::string id = std::to_string(window.Id());
    pid_t pid = Start(
        {ZovrecPath(), "record", project, "--window", id, "--delay", "50", "--no-pointer", "--progress"}, d,
        dir + "out.txt", dir + "err.txt");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForText(dir + "out.txt", "frame 3\n", 10000));
    RunProgram({"xdotool", "windowunmap", "--sync", id}, d);
    ASSERT_TRUE(TakeScreenshot(d, hidden, error)) << error;
    // Frames from the one after the next on were taken with the window unmapped.
    const int unmappedFrom = LastProgress(dir + "out.txt") + 1;
    EXPECT_TRUE(WaitForText(dir + "out.txt", "frame " + std::to_string(unmappedFrom + 4) + "\n", 10000))
        << "the run did not go on";
    window.Close();
    EXPECT_EQ(WaitExit(pid), 1);
    std::string err;
    zov::ReadWholeFile(dir + "err.txt", err);
    EXPECT_NE(err.find("closed"), std::string::npos) << err;
    OpenedProject p(project);
    ASSERT_TRUE(p.ok) << p.doc().LastMessage();
    const int n = p.doc().FrameCount();
    ASSERT_GE(n, unmappedFrom + 4);
    for (int i = 0; i < n; ++i) {
        if (i >= 3 && i < unmappedFrom)
            continue; // taken while the window was being unmapped
        zov::Image24 frame;
        ASSERT_TRUE(p.doc().LoadFrame(i, frame));
        ASSERT_EQ(frame.width, 192);
        std::string first;
        EXPECT_EQ(CountDifferences(frame, i < 3 ? shown : hidden, 40, 30, &first), 0)
            << "frame " << i << " " << first;
    }
}

TEST(RecordX11, KeyFramesEveryTenthFrameAndSigintLeavesACompleteFile) {
    Scene scene(24, 30); // animated: every frame differs
    std::string error;
    ASSERT_TRUE(scene.Ready(error)) << error;
    const std::string dir = TempFolder("sigint");
    const std::string project = dir + "sigint.scp";
    pid_t pid = Start({ZovrecPath(), "record", project, "--area", kArea, "--delay", "40", "--progress"},
                      scene.server.Display(), dir + "out.txt", dir + "err.txt");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForText(dir + "out.txt", "frame 21\n", 20000));
    kill(pid, SIGINT);
    EXPECT_EQ(WaitExit(pid), 0);
    OpenedProject p(project);
    ASSERT_TRUE(p.ok) << p.doc().LastMessage();
    const int n = p.doc().FrameCount();
    EXPECT_GE(n, 21);
    EXPECT_TRUE(p.doc().CheckFile());
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(p.doc().FrameTable()[i].kind, i % 10 == 0 ? zov::FRAME_KEY : zov::FRAME_DIFF) << i;
        zov::Image24 frame;
        ASSERT_TRUE(p.doc().LoadFrame(i, frame)) << i;
    }
    p.doc().Close();
    // SIGTERM ends a second run the same way; it is appended after the first.
    pid = Start({ZovrecPath(), "record", project, "--delay", "40", "--progress"}, scene.server.Display(),
                dir + "out2.txt", dir + "err2.txt");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForText(dir + "out2.txt", "frame 6\n", 20000));
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid), 0);
    OpenedProject again(project);
    ASSERT_TRUE(again.ok) << again.doc().LastMessage();
    EXPECT_GT(again.doc().FrameCount(), n + 5);
    EXPECT_TRUE(again.doc().CheckFile());
    EXPECT_EQ(again.doc().FrameTable()[n].kind, zov::FRAME_KEY);
}

TEST(RecordX11, KillDuringARecordingThenRecoverGivesTheScreenFrames) {
    Scene scene(24);
    std::string error;
    ASSERT_TRUE(scene.Ready(error)) << error;
    const std::string dir = TempFolder("recover");
    const std::string project = dir + "crash.scp";
    // A first run that completes, then a run killed with SIGKILL halfway.
    RunResult first =
        scene.Zovrec({"record", project, "--area", kArea, "--frames", "3", "--delay", "30", "--no-pointer"});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    pid_t pid = Start({ZovrecPath(), "record", project, "--delay", "50", "--no-pointer", "--progress"},
                      scene.server.Display(), dir + "out.txt", dir + "err.txt");
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForText(dir + "out.txt", "frame 8\n", 20000));
    kill(pid, SIGKILL);
    EXPECT_EQ(WaitExit(pid), -SIGKILL);
    {
        // The project is as it was before the killed run.
        OpenedProject p(project);
        ASSERT_TRUE(p.ok) << p.doc().LastMessage();
        EXPECT_EQ(p.doc().FrameCount(), 3);
    }
    RunResult r = scene.Zovrec({"recover", project});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("recovered"), std::string::npos) << r.out;
    {
        OpenedProject p(project);
        ASSERT_TRUE(p.ok);
        const int n = p.doc().FrameCount();
        EXPECT_GE(n, 3 + 8) << r.out;
        EXPECT_TRUE(p.doc().CheckFile());
        // The killed run starts with a key frame and keeps the interval from there.
        for (int i = 3; i < n; ++i)
            EXPECT_EQ(p.doc().FrameTable()[i].kind, (i - 3) % 10 == 0 ? zov::FRAME_KEY : zov::FRAME_DIFF)
                << i;
    }
    ExpectFramesEqualScreen(project, scene.shot);
    // A second recover finds nothing more and changes nothing.
    RunResult again = scene.Zovrec({"recover", project});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.out.find("no frames"), std::string::npos) << again.out;
}

TEST(RecordX11, LargeAreaIsRefusedForAProjectAndRecordedIntoAStream) {
    Xvfb server(1280, 1024, 24);
    ASSERT_TRUE(server.Ok());
    const std::string dir = TempFolder("large");
    RunResult r =
        RunProgram({ZovrecPath(), "record", dir + "big.scp", "--full", "--frames", "1"}, server.Display());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find(".zov"), std::string::npos) << r.err;
    // Nothing recorded: no project with frames was left behind.
    struct stat st {};
    if (stat((dir + "big.scp").c_str(), &st) == 0) {
        OpenedProject p(dir + "big.scp");
        EXPECT_EQ(p.doc().FrameCount(), 0);
    }
    RunResult s =
        RunProgram({ZovrecPath(), "record", dir + "big.zov", "--full", "--frames", "2", "--delay", "50"},
                   server.Display());
    EXPECT_EQ(s.exitCode, 0) << s.err;
    std::string bytes;
    ASSERT_TRUE(zov::ReadWholeFile(dir + "big.zov", bytes));
    ASSERT_GE(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 4), "ZV01");
    EXPECT_EQ((uint8_t(bytes[4]) << 8) | uint8_t(bytes[5]), 1280);
    EXPECT_EQ((uint8_t(bytes[6]) << 8) | uint8_t(bytes[7]), 1024);
}

TEST(RecordX11, UnsupportedDepthEndsWithTheMessageAndNoFrame) {
    Xvfb server(320, 240, 15);
    ASSERT_TRUE(server.Ok());
    const std::string dir = TempFolder("depth15");
    RunResult r = RunProgram({ZovrecPath(), "record", dir + "d.scp", "--frames", "2"}, server.Display());
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("display resolution not support!"), std::string::npos) << r.err;
    OpenedProject p(dir + "d.scp");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.doc().FrameCount(), 0);
}

TEST(RecordX11, StreamRecordingDecodesBackToTheScreen) {
    Scene scene(24);
    std::string error;
    ASSERT_TRUE(scene.Ready(error)) << error;
    const std::string dir = TempFolder("stream");
    RunResult r = scene.Zovrec(
        {"record", dir + "direct.zov", "--area", kArea, "--frames", "5", "--delay", "60", "--no-pointer"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The end of the run wrote the two web pages for the stream.
    for (const char* page : {"direct.htm", "direct-ocx.htm"}) {
        std::string html;
        ASSERT_TRUE(zov::ReadWholeFile(dir + page, html)) << page;
        EXPECT_NE(html.find("direct.zov"), std::string::npos) << page;
    }
    RunResult d = RunProgram({ZovrecPath(), "stream-decode", dir + "direct.zov", dir + "out"});
    ASSERT_EQ(d.exitCode, 0) << d.err;
    for (int i = 1; i <= 5; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "out/file%04d.bmp", i);
        zov::Image24 frame;
        std::string why;
        ASSERT_TRUE(zov::ReadBmp(dir + name, frame, why)) << name << ": " << why;
        ASSERT_EQ(frame.width, kRight - kLeft);
        ASSERT_EQ(frame.height, kBottom - kTop);
        // Every pixel but the last column, which the codec may give back as background.
        std::string first;
        EXPECT_EQ(CountDifferences(frame, scene.shot, kLeft, kTop, &first, frame.width - 1), 0)
            << name << " " << first;
    }
}

} // namespace
