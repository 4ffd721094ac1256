// The capture engine on the fake screen: frames and key frames of a run, the pointer in
// headers, frames and cursor.bin, pause and resume, stop while paused, window recording,
// early ends, the refused large area, appending a run and recording into a stream.
#include "recorder/CaptureEngine.h"

#include "base/BinFile.h"
#include "codec/StreamReader.h"
#include "platform/FakeScreen.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace zov;
using Clock = std::chrono::steady_clock;

class Events : public IDocumentEvents {
  public:
    explicit Events(CAni& d) : doc(&d) {}
    CAni* doc;
    std::function<void(int)> onFrame;
    // The test's reaction runs before the count is published, so that a waiter that sees
    // the count also sees what the reaction did.
    void OnFrameCaptured(int n) override {
        if (onFrame)
            onFrame(n);
        {
            std::lock_guard l(m);
            frames = n;
            ++calls;
        }
        cv.notify_all();
    }
    void OnRecordFinish() override {
        std::lock_guard l(m);
        finished = true;
        stateAtEnd = doc ? doc->m_control_rec_scr.load() : -1;
        cv.notify_all();
    }
    void OnRecordFailed(const std::string& r) override {
        std::lock_guard l(m);
        failed = true;
        reason = r;
        stateAtEnd = doc ? doc->m_control_rec_scr.load() : -1;
        cv.notify_all();
    }
    bool WaitEnd(int ms = 10000) {
        std::unique_lock l(m);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return finished || failed; });
    }
    bool WaitFrames(int n, int ms = 10000) {
        std::unique_lock l(m);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return calls >= n; });
    }
    std::mutex m;
    std::condition_variable cv;
    int frames = 0, calls = 0;
    bool finished = false, failed = false;
    std::string reason;
    int32_t stateAtEnd = -1; // the capture state when the end was heard of
};

// A scene that changes at every grab: a moving bar over a gradient. Remembers what each
// grab showed.
struct MovingScene {
    FakeScreen screen;
    std::map<int, std::vector<uint32_t>> shown; // grab index -> screen copy
    int w, h;
    MovingScene(int width, int height, int bpp = 32) : screen(width, height, bpp), w(width), h(height) {
        screen.OnGrab([this](int i) { Paint(i); });
    }
    static uint32_t Colour(int x, int y, int i) {
        if (x >= (i * 5) % 60 && x < (i * 5) % 60 + 9)
            return 0xFFFF00;
        return static_cast<uint32_t>(((x * 3) & 0xFF) << 16 | ((y * 2) & 0xFF) << 8 | ((x + y) & 0xFF));
    }
    void Paint(int i) {
        std::vector<uint32_t> copy(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t c = Colour(x, y, i);
                screen.SetPixel(x, y, c);
                copy[static_cast<size_t>(y) * w + x] = c;
            }
        shown[i] = std::move(copy);
    }
};

uint32_t Rgb(const Image24& img, int x, int y) {
    const uint8_t* p = img.PixelTopDown(x, y);
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

std::shared_ptr<PointerImage> BluePointer() {
    auto p = std::make_shared<PointerImage>();
    p->width = p->height = 6;
    p->xhot = 2;
    p->yhot = 1;
    p->name = "xterm";
    p->argb.assign(36, 0xFF0000FF);
    return p;
}

// Each test records into a document of its own, in a scratch folder of its own.
class CaptureEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = scratch.Path() + "/";
        Ani().Initialise();
    }
    void TearDown() override { Ani().Close(); }
    CAni& Ani() { return *m_doc; }
    bool NewProject(const std::string& name, int delay, CaptureRect area) {
        std::string path = dir + name;
        Ani().SetDefaultFrameDelay(delay);
        if (!Ani().NewProject(path, false))
            return false;
        projectPath = path;
        Ani().SetFrameDelay(delay);
        Ani().SetRecordWindow(0, false);
        return Ani().SetCaptureRect(area);
    }
    // Starts a run and waits for its end; the run stops itself once `stopAt` frames are
    // stored. The engine stays with the caller, who stops it and asks how the run ended.
    bool RecordUntil(CaptureEngine& engine, Events& events, CaptureParams params, int stopAt) {
        events.onFrame = [this, stopAt](int n) {
            if (n >= stopAt)
                Ani().m_control_rec_scr = C_CONTROL_STOP;
        };
        params.events = &events;
        return engine.StartCapture(params) && events.WaitEnd();
    }
    zovtest::TempDir scratch{"zov-capture"};
    std::string dir, projectPath;

  private:
    std::unique_ptr<CAni> m_doc = std::make_unique<CAni>();
};

TEST_F(CaptureEngineTest, ProjectRunStoresEveryGrabWithKeyFramesAndPointer) {
    MovingScene scene(200, 160);
    scene.screen.SetPointer(60, 45, BluePointer());
    ASSERT_TRUE(NewProject("run.scp", 10, {10, 20, 170, 140}));
    Ani().SetRecordPointer(true);
    Events events(Ani());
    CaptureEngine engine(Ani());
    CaptureParams params;
    params.screen = &scene.screen;
    ASSERT_TRUE(RecordUntil(engine, events, params, 25));
    engine.StopCapture();
    EXPECT_TRUE(events.finished);
    EXPECT_FALSE(engine.Failed());
    ASSERT_EQ(Ani().FrameCount(), 25);
    EXPECT_EQ(events.frames, 25);
    EXPECT_EQ(engine.Stats().frames, 25);

    // cursor.bin (emptied again when the project is opened): one record (20 bytes + 6 x 6 x 4 colour + 6
    // rows x 2 mask) per frame.
    struct stat st {};
    ASSERT_EQ(stat((dir + "cursor.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 25 * (20 + 144 + 12));

    // Reopen from disk: the index was written at the end of the run.
    std::string path = projectPath;
    Ani().Close();
    ASSERT_TRUE(Ani().OpenProject(path));
    ASSERT_EQ(Ani().FrameCount(), 25);
    EXPECT_EQ(Ani().ImageWidth(), 160);
    EXPECT_EQ(Ani().ImageHeight(), 120);
    EXPECT_EQ(Ani().RowBytes(), 480);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(Ani().FrameTable()[i].kind, i % 10 == 0 ? FRAME_KEY : FRAME_DIFF) << i;
    for (int i = 0; i < 25; ++i) {
        Image24 img;
        FrameHeader header;
        std::vector<uint8_t> bits;
        ASSERT_TRUE(Ani().LoadFrame(i, bits, header)) << i;
        img.width = 160;
        img.height = 120;
        img.bits = bits;
        // The pointer: header position moved by the hotspot (screen coordinates), shape 5.
        EXPECT_EQ(header.pointerX, 58);
        EXPECT_EQ(header.pointerY, 44);
        EXPECT_EQ(header.pointerShape, 5);
        EXPECT_EQ(header.captured, 1);
        const auto& shown = scene.shown.at(i);
        long wrong = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) {
                const int sx = x + 10, sy = y + 20;
                const bool underPointer = sx >= 58 && sx < 64 && sy >= 44 && sy < 50;
                const uint32_t expected = underPointer ? 0x0000FF : shown[static_cast<size_t>(sy) * 200 + sx];
                wrong += Rgb(img, x, y) != expected;
            }
        EXPECT_EQ(wrong, 0) << "frame " << i;
    }
}

// Stop from outside while the run goes: when StopCapture returns, the thread has ended the
// run (the finish is heard of, the engine is idle) and the file on disk is complete. Its
// header, read from the file's bytes, gives a 640 x 480 area row bytes 1,920 and image
// size 921,600; frames 0, 10, 20, ... are key frames.
TEST_F(CaptureEngineTest, StopEndsTheRunWithTheFileCompleteOnDisk) {
    MovingScene scene(700, 500);
    ASSERT_TRUE(NewProject("vga.scp", 10, {30, 20, 670, 500}));
    Ani().SetRecordPointer(false);
    Events events(Ani());
    CaptureEngine engine(Ani());
    CaptureParams params;
    params.events = &events;
    params.screen = &scene.screen;
    ASSERT_TRUE(engine.StartCapture(params));
    ASSERT_TRUE(events.WaitFrames(12));
    engine.StopCapture();
    {
        std::lock_guard l(events.m);
        EXPECT_TRUE(events.finished);
    }
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(Ani().m_control_rec_scr.load(), C_CONTROL_STOP);
    engine.StopCapture(); // again: nothing left to do
    const int n = Ani().FrameCount();
    ASSERT_GE(n, 12);
    EXPECT_EQ(events.frames, n);

    const std::vector<uint8_t> file = zovtest::ReadAll(projectPath);
    ASSERT_GE(file.size(), 148u);
    using zovtest::Le16;
    using zovtest::Le32;
    using zovtest::LeI32;
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "VOKA");
    EXPECT_EQ(LeI32(file, 8), n);   // frame count
    EXPECT_EQ(LeI32(file, 24), 10); // frame delay
    EXPECT_EQ(LeI32(file, 32), 32); // block width
    EXPECT_EQ(LeI32(file, 36), 24); // stored bits
    EXPECT_EQ(LeI32(file, 40), 30); // capture rectangle
    EXPECT_EQ(LeI32(file, 44), 20);
    EXPECT_EQ(LeI32(file, 48), 670);
    EXPECT_EQ(LeI32(file, 52), 500);
    EXPECT_EQ(LeI32(file, 56), 1920);   // row bytes
    EXPECT_EQ(LeI32(file, 60), 921600); // image size
    EXPECT_EQ(file[64], 0);             // record-pointer flag
    EXPECT_EQ(LeI32(file, 68), 10);     // key-frame interval
    // The start time text: "YYYY-MM-DD hh:mm:ss.fffff" and a terminating zero.
    const std::string started(reinterpret_cast<const char*>(&file[76]));
    EXPECT_EQ(started.size(), 25u) << started;
    EXPECT_EQ(started[4], '-');
    EXPECT_EQ(started[10], ' ');
    EXPECT_EQ(started[19], '.');
    // BITMAPINFOHEADER {40, 640, 480, 1, 24, 0, 921600, 0, 0, 0, 0}
    EXPECT_EQ(Le32(file, 108), 40u);
    EXPECT_EQ(LeI32(file, 112), 640);
    EXPECT_EQ(LeI32(file, 116), 480);
    EXPECT_EQ(Le16(file, 120), 1);
    EXPECT_EQ(Le16(file, 122), 24);
    EXPECT_EQ(Le32(file, 124), 0u);
    EXPECT_EQ(Le32(file, 128), 921600u);
    for (size_t at = 132; at < 148; at += 4)
        EXPECT_EQ(Le32(file, at), 0u) << at;

    // The frame table at the end of frame data: every entry points at a whole record of its
    // kind, made by the capture engine.
    const uint32_t table = Le32(file, 72);
    ASSERT_LE(table + 8ull * n, file.size());
    for (int i = 0; i < n; ++i) {
        const uint32_t at = Le32(file, table + 8 * i);
        const int32_t kind = LeI32(file, table + 8 * i + 4);
        EXPECT_EQ(kind, i % 10 == 0 ? FRAME_KEY : FRAME_DIFF) << i;
        ASSERT_LE(at + 24616ull, file.size()) << i;
        EXPECT_EQ(std::string(file.begin() + at, file.begin() + at + 4), "SIGN") << i;
        EXPECT_EQ(LeI32(file, at + 4), -1) << i;
        EXPECT_EQ(LeI32(file, at + 12), -1) << i;
        EXPECT_EQ(file[at + 36], 1) << i;
        EXPECT_LE(at + 24616ull + Le32(file, at + 8), table) << i;
    }
}

TEST_F(CaptureEngineTest, BigPointerIsDoubledAndMovedByTwiceTheHotspot) {
    FakeScreen screen(100, 80);
    screen.Fill(0x404040);
    screen.SetPointer(60, 45, BluePointer()); // 6 x 6, hotspot (2, 1)
    ASSERT_TRUE(NewProject("big.scp", 10, {0, 0, 100, 80}));
    Ani().SetRecordPointer(true);
    Events events(Ani());
    CaptureEngine engine(Ani());
    CaptureParams params;
    params.screen = &screen;
    params.bigPointer = true;
    ASSERT_TRUE(RecordUntil(engine, events, params, 2));
    engine.StopCapture();
    ASSERT_EQ(Ani().FrameCount(), 2);
    std::vector<uint8_t> bits;
    FrameHeader header;
    ASSERT_TRUE(Ani().LoadFrame(1, bits, header));
    EXPECT_EQ(header.pointerX, 56);
    EXPECT_EQ(header.pointerY, 43);
    Image24 img;
    img.width = 100;
    img.height = 80;
    img.bits = bits;
    long blue = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool inside = x >= 56 && x < 68 && y >= 43 && y < 55;
            EXPECT_EQ(Rgb(img, x, y), inside ? 0x0000FFu : 0x404040u) << x << "," << y;
            blue += inside;
        }
    EXPECT_EQ(blue, 144);
}

// Pointers larger than 32 x 32 (HiDPI and large cursor themes) are scaled as a whole into
// 32 x 32, or 64 x 64 for the big pointer, their hotspot with them. The test pictures are
// made of solid squares that the scale maps onto whole drawn squares: 2 x 2 source pixels
// to one drawn pixel for 64 x 64, 3 x 3 to 2 x 2 for 48 x 48 (and to 4 x 4 when big), so
// every drawn pixel is one square's colour or the screen.
TEST_F(CaptureEngineTest, LargePointersAreScaledWholeWithTheirHotspot) {
    auto squareColour = [](int bx, int by) -> uint32_t {
        if ((bx + by) % 3 == 0)
            return 0; // clear
        return 0xFF000000u | static_cast<uint32_t>(bx * 8) << 16 | static_cast<uint32_t>(by * 8) << 8 | 0x40u;
    };
    struct Case {
        int size, square, xhot, yhot;
        bool big;
        int drawn, drawnSquare, drawnXhot, drawnYhot;
    };
    const Case cases[] = {
        {64, 2, 20, 10, false, 32, 1, 10, 5},
        {64, 2, 20, 10, true, 64, 2, 20, 10},
        {48, 3, 9, 4, false, 32, 2, 6, 2},
        {48, 3, 9, 4, true, 64, 4, 12, 5},
    };
    const uint32_t background = 0x404040;
    const int px = 80, py = 60;
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.big ? " big" : ""));
        auto image = std::make_shared<PointerImage>();
        image->width = image->height = c.size;
        image->xhot = c.xhot;
        image->yhot = c.yhot;
        image->argb.resize(static_cast<size_t>(c.size) * c.size);
        for (int y = 0; y < c.size; ++y)
            for (int x = 0; x < c.size; ++x)
                image->argb[static_cast<size_t>(y) * c.size + x] = squareColour(x / c.square, y / c.square);
        FakeScreen screen(160, 140);
        screen.Fill(background);
        screen.SetPointer(px, py, image);
        ASSERT_TRUE(NewProject("large" + std::to_string(run++) + ".scp", 10, {0, 0, 160, 140}));
        Ani().SetRecordPointer(true);
        Events events(Ani());
        CaptureEngine engine(Ani());
        CaptureParams params;
        params.screen = &screen;
        params.bigPointer = c.big;
        ASSERT_TRUE(RecordUntil(engine, events, params, 1));
        engine.StopCapture();
        ASSERT_EQ(Ani().FrameCount(), 1);
        std::vector<uint8_t> bits;
        FrameHeader header;
        ASSERT_TRUE(Ani().LoadFrame(0, bits, header));
        const int left = px - c.drawnXhot, top = py - c.drawnYhot;
        EXPECT_EQ(header.pointerX, left);
        EXPECT_EQ(header.pointerY, top);
        Image24 img;
        img.width = 160;
        img.height = 140;
        img.bits = bits;
        long wrong = 0;
        std::string first;
        for (int y = 0; y < 140; ++y)
            for (int x = 0; x < 160; ++x) {
                uint32_t expected = background;
                if (x >= left && x < left + c.drawn && y >= top && y < top + c.drawn) {
                    const uint32_t argb = squareColour((x - left) / c.drawnSquare, (y - top) / c.drawnSquare);
                    if (argb)
                        expected = argb & 0xFFFFFF;
                }
                if (Rgb(img, x, y) != expected && wrong++ == 0)
                    first = std::to_string(x) + "," + std::to_string(y);
            }
        EXPECT_EQ(wrong, 0) << "first at " << first;
    }
}

TEST_F(CaptureEngineTest, PauseGivesNoBurstAndStopWhilePausedEndsTheRun) {
    MovingScene scene(64, 48);
    ASSERT_TRUE(NewProject("pause.scp", 100, {0, 0, 64, 48}));
    std::vector<Clock::time_point> grabs;
    std::mutex grabLock;
    scene.screen.OnGrab([&](int i) {
        scene.Paint(i);
        std::lock_guard l(grabLock);
        grabs.push_back(Clock::now());
    });
    Events events(Ani());
    CaptureEngine engine(Ani());
    // Paused by the capture thread itself after frames 5 and 10, before it waits for the
    // next tick.
    events.onFrame = [&](int n) {
        if (n == 5 || n == 10)
            engine.PauseCapture();
    };
    CaptureParams params;
    params.events = &events;
    params.screen = &scene.screen;
    ASSERT_TRUE(engine.StartCapture(params));
    ASSERT_TRUE(events.WaitFrames(5));
    // The pause is held for 2 s, twenty frame delays.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto resumedAt = Clock::now();
    engine.ResumeCapture();
    ASSERT_TRUE(events.WaitFrames(10));
    const auto stopAt = Clock::now();
    engine.StopCapture(); // paused after frame 10
    EXPECT_LT(Clock::now() - stopAt, std::chrono::milliseconds(1000));
    EXPECT_TRUE(events.finished);
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(Ani().FrameCount(), 10);
    std::lock_guard l(grabLock);
    ASSERT_EQ(grabs.size(), 10u);
    // Nothing was taken while paused, and after the resume the schedule starts afresh: frame
    // 5 + k comes no earlier than k delays after the resume, never as a burst that catches
    // up the paused time. (The pacing may be late under load, never early.)
    EXPECT_GE(grabs[5], resumedAt);
    for (int k = 1; k < 5; ++k)
        EXPECT_GE(grabs[static_cast<size_t>(5 + k)] - resumedAt, std::chrono::milliseconds(100 * k - 2)) << k;
}

// A menu shown right after PauseCapture must not reach a frame: the pause waits for a grab
// under way, and no grab starts until the resume.
TEST_F(CaptureEngineTest, PauseWaitsForTheGrabUnderWayAndNoneStartsWhilePaused) {
    FakeScreen screen(64, 48);
    ASSERT_TRUE(NewProject("hold.scp", 10, {0, 0, 64, 48}));
    std::mutex m;
    std::condition_variable cv;
    bool inGrab = false, release = false;
    std::atomic<bool> paused{false};
    std::atomic<int> grabsWhilePaused{0};
    screen.OnGrab([&](int i) {
        if (paused)
            ++grabsWhilePaused;
        if (i == 3) {
            std::unique_lock l(m);
            inGrab = true;
            cv.notify_all();
            cv.wait(l, [&] { return release; });
        }
    });
    Events events(Ani());
    CaptureEngine engine(Ani());
    CaptureParams params;
    params.events = &events;
    params.screen = &screen;
    ASSERT_TRUE(engine.StartCapture(params));
    {
        std::unique_lock l(m);
        ASSERT_TRUE(cv.wait_for(l, std::chrono::seconds(10), [&] { return inGrab; }));
    }
    std::atomic<bool> pauseReturned{false};
    std::thread pauser([&] {
        engine.PauseCapture();
        pauseReturned = true;
    });
    // The state is set at once, the call returns only after the grab.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Ani().m_control_rec_scr.load() != C_CONTROL_PAUSE && Clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(Ani().m_control_rec_scr.load(), C_CONTROL_PAUSE);
    const auto grace = Clock::now() + std::chrono::milliseconds(200);
    while (!pauseReturned && Clock::now() < grace)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(pauseReturned.load());
    {
        std::lock_guard l(m);
        release = true;
    }
    cv.notify_all();
    pauser.join();
    EXPECT_TRUE(pauseReturned.load());
    paused = true;
    // Twenty frame delays pass paused.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    paused = false;
    EXPECT_EQ(grabsWhilePaused.load(), 0);
    int before = 0;
    {
        std::lock_guard l(events.m);
        before = events.calls;
    }
    engine.ResumeCapture();
    ASSERT_TRUE(events.WaitFrames(before + 2));
    engine.StopCapture();
    EXPECT_TRUE(events.finished);
}

TEST_F(CaptureEngineTest, UnsupportedDepthEndsTheRunWithNoFrame) {
    for (int bpp : {15, 4}) {
        FakeScreen screen(64, 48, bpp);
        ASSERT_TRUE(NewProject("depth" + std::to_string(bpp) + ".scp", 20, {0, 0, 64, 48}));
        Events events(Ani());
        CaptureEngine engine(Ani());
        CaptureParams params;
        params.events = &events;
        params.screen = &screen;
        ASSERT_TRUE(engine.StartCapture(params));
        ASSERT_TRUE(events.WaitEnd());
        engine.StopCapture();
        EXPECT_TRUE(events.failed);
        EXPECT_FALSE(events.finished);
        EXPECT_EQ(events.reason, "display resolution not support!");
        EXPECT_EQ(events.calls, 0);
        EXPECT_EQ(Ani().FrameCount(), 0);
        EXPECT_EQ(screen.GrabCount(), 0);
    }
}

// A run that fails while starting (a screen depth it cannot read) and one that fails inside
// the loop (the recorded window goes) both leave the stop state by the time the end is
// heard of; stopping after either changes nothing, and the engine records again.
TEST_F(CaptureEngineTest, AnEarlyEndLeavesTheStopStateAndStopAfterItIsHarmless) {
    FakeScreen unreadable(64, 48, 15);
    FakeScreen screen(64, 48);
    screen.SetWindow(9, {0, 0, 32, 24});
    ASSERT_TRUE(NewProject("early.scp", 10, {0, 0, 32, 24}));
    CaptureEngine engine(Ani());
    for (int inLoop = 0; inLoop < 2; ++inLoop) {
        Events events(Ani());
        events.onFrame = [&](int n) {
            if (n == 2)
                screen.RemoveWindow(9);
        };
        Ani().SetRecordWindow(inLoop ? 9 : 0, inLoop == 1);
        CaptureParams params;
        params.events = &events;
        params.screen = inLoop ? &screen : &unreadable;
        ASSERT_TRUE(engine.StartCapture(params)) << inLoop;
        ASSERT_TRUE(events.WaitEnd()) << inLoop;
        EXPECT_TRUE(events.failed) << inLoop;
        EXPECT_EQ(events.stateAtEnd, C_CONTROL_STOP) << inLoop << ": " << events.reason;
        EXPECT_EQ(events.calls, inLoop ? 2 : 0);
        engine.StopCapture();
        engine.StopCapture();
        EXPECT_EQ(Ani().m_control_rec_scr.load(), C_CONTROL_STOP) << inLoop;
        EXPECT_FALSE(engine.IsRunning());
        EXPECT_TRUE(engine.Failed());
        EXPECT_EQ(Ani().FrameCount(), inLoop ? 2 : 0);
    }
    // The engine is ready for the next run, which starts a new key-frame group.
    Ani().SetRecordWindow(0, false);
    Events events(Ani());
    CaptureParams params;
    params.screen = &screen;
    ASSERT_TRUE(RecordUntil(engine, events, params, 4));
    engine.StopCapture();
    EXPECT_TRUE(events.finished) << events.reason;
    EXPECT_FALSE(engine.Failed());
    ASSERT_EQ(Ani().FrameCount(), 4);
    EXPECT_EQ(Ani().FrameTable()[2].kind, FRAME_KEY);
}

TEST_F(CaptureEngineTest, AreaOverTheFrameFormatIsRefusedBeforeTheRunButNotForAStream) {
    FakeScreen screen(1280, 1024);
    screen.SetWindow(77, {0, 0, 1100, 800});
    ASSERT_TRUE(NewProject("large.scp", 20, {0, 0, 640, 480}));
    Ani().SetRecordWindow(77, true);
    CaptureEngine engine(Ani());
    CaptureParams params;
    params.screen = &screen;
    EXPECT_FALSE(engine.StartCapture(params));
    EXPECT_NE(Ani().LastMessage().find(".zov"), std::string::npos) << Ani().LastMessage();
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(screen.GrabCount(), 0);
    // An area that leaves the screen, and a window that is not there, are refused too.
    Ani().SetRecordWindow(0, false);
    ASSERT_TRUE(Ani().SetCaptureRect({1000, 900, 1300, 1100}));
    EXPECT_FALSE(engine.StartCapture(params));
    EXPECT_NE(Ani().LastMessage().find("screen"), std::string::npos);
    Ani().SetRecordWindow(78, true);
    EXPECT_FALSE(engine.StartCapture(params));

    // The same window straight into a stream: no such bound.
    std::string stream = dir + "large.zov";
    ASSERT_TRUE(Ani().NewProject(stream, true));
    Ani().SetRecordWindow(77, true);
    Events events(Ani());
    events.onFrame = [this](int n) {
        if (n == 2)
            Ani().m_control_rec_scr = C_CONTROL_STOP;
    };
    params.events = &events;
    ASSERT_TRUE(engine.StartCapture(params)) << Ani().LastMessage();
    ASSERT_TRUE(events.WaitEnd());
    engine.StopCapture();
    EXPECT_TRUE(events.finished) << events.reason;
    StreamReader reader;
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(stream, bytes));
    reader.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    reader.Finish();
    StreamRecord record;
    ASSERT_EQ(reader.Next(record), ReadStatus::Record);
    EXPECT_EQ(reader.Header().width, 1100);
    EXPECT_EQ(reader.Header().height, 800);
}

// The window moves, is unmapped (minimised, sent to another workspace) and shown again:
// the run keeps recording its place all along, and ends only when the window is gone.
TEST_F(CaptureEngineTest, WindowRecordingFollowsTheWindowThroughHidingAndEndsWhenItCloses) {
    FakeScreen screen(300, 200);
    const uint32_t background = 0x202020;
    auto windowColour = [](int x, int y) {
        return static_cast<uint32_t>(x * 4) << 16 | static_cast<uint32_t>(y * 5);
    };
    auto paintWindow = [&](int left, int top, bool shown) {
        screen.Fill(background);
        if (shown)
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    screen.SetPixel(left + x, top + y, windowColour(x, y));
        screen.SetWindow(5, {left, top, left + 64, top + 48});
        screen.SetWindowShown(5, shown);
    };
    paintWindow(10, 10, false);
    ASSERT_TRUE(NewProject("window.scp", 10, {0, 0, 10, 10}));
    Ani().SetRecordWindow(5, true);
    Ani().SetRecordPointer(false);
    CaptureEngine engine(Ani());
    CaptureParams params;
    params.screen = &screen;
    // A window that is not shown when the run starts gives nothing to record.
    EXPECT_FALSE(engine.StartCapture(params));
    EXPECT_NE(Ani().LastMessage().find("window"), std::string::npos);

    paintWindow(10, 10, true);
    Events events(Ani());
    // Between frames: moved after frame 3, hidden after 5, shown again after 8, closed after 9.
    events.onFrame = [&](int n) {
        if (n == 3)
            paintWindow(200, 120, true);
        if (n == 5)
            paintWindow(200, 120, false);
        if (n == 8)
            paintWindow(200, 120, true);
        if (n == 9)
            screen.RemoveWindow(5);
    };
    params.events = &events;
    ASSERT_TRUE(engine.StartCapture(params));
    ASSERT_TRUE(events.WaitEnd());
    engine.StopCapture();
    // The run ended early with its reason, and the frames taken before are in the file.
    EXPECT_TRUE(events.failed);
    EXPECT_NE(events.reason.find("closed"), std::string::npos) << events.reason;
    EXPECT_TRUE(engine.Failed());
    ASSERT_EQ(Ani().FrameCount(), 9);
    std::string path = projectPath;
    Ani().Close();
    ASSERT_TRUE(Ani().OpenProject(path));
    ASSERT_EQ(Ani().FrameCount(), 9);
    CaptureRect r = Ani().GetCaptureRect();
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 74);
    for (int i = 0; i < 9; ++i) {
        const bool hidden = i >= 5 && i < 8;
        Image24 img;
        ASSERT_TRUE(Ani().LoadFrame(i, img));
        ASSERT_EQ(img.width, 64);
        long wrong = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                wrong += Rgb(img, x, y) != (hidden ? background : windowColour(x, y));
        EXPECT_EQ(wrong, 0) << "frame " << i;
    }
}

TEST_F(CaptureEngineTest, ANewRunAppendsAfterTheFramesAndStartsWithAKeyFrame) {
    MovingScene scene(96, 64);
    ASSERT_TRUE(NewProject("append.scp", 10, {0, 0, 96, 64}));
    for (int run = 0; run < 2; ++run) {
        Events events(Ani());
        const int target = 3 * (run + 1);
        CaptureEngine engine(Ani());
        CaptureParams params;
        params.screen = &scene.screen;
        ASSERT_TRUE(RecordUntil(engine, events, params, target));
        engine.StopCapture();
        ASSERT_TRUE(events.finished) << events.reason;
        if (run == 0) {
            std::string path = projectPath;
            Ani().Close();
            ASSERT_TRUE(Ani().OpenProject(path)); // the second run goes into the reopened project
        }
    }
    ASSERT_EQ(Ani().FrameCount(), 6);
    // A third run of another size is refused before it starts, and the frames stay.
    ASSERT_TRUE(Ani().SetCaptureRect({0, 0, 64, 64}));
    CaptureEngine refused(Ani());
    CaptureParams params;
    params.screen = &scene.screen;
    EXPECT_FALSE(refused.StartCapture(params));
    EXPECT_NE(Ani().LastMessage().find("differs"), std::string::npos) << Ani().LastMessage();
    ASSERT_EQ(Ani().FrameCount(), 6);
    const int32_t kinds[6] = {FRAME_KEY, FRAME_DIFF, FRAME_DIFF, FRAME_KEY, FRAME_DIFF, FRAME_DIFF};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Ani().FrameTable()[i].kind, kinds[i]) << i;
        Image24 img;
        ASSERT_TRUE(Ani().LoadFrame(i, img));
        EXPECT_EQ(Rgb(img, 40, 30), scene.shown.at(i)[30 * 96 + 40]) << i;
    }
    EXPECT_TRUE(Ani().CheckFile());
}

TEST_F(CaptureEngineTest, TheTwoGigabyteLimitEndsTheRunCleanlyWithItsIndexWritten) {
    MovingScene scene(64, 48);
    ASSERT_TRUE(NewProject("limit.scp", 5, {0, 0, 64, 48}));
    Ani().SetRecordPointer(false);
    auto record = [&](int limit) {
        Events events(Ani());
        CaptureEngine engine(Ani());
        CaptureParams params;
        params.screen = &scene.screen;
        EXPECT_TRUE(RecordUntil(engine, events, params, limit));
        engine.StopCapture();
        return std::make_pair(events.failed, events.reason);
    };
    ASSERT_FALSE(record(1).first);
    // Grow the file (sparse) so that only a few more records fit below 2^31 - 1: the next
    // run appends after everything the file holds.
    std::string path = projectPath;
    Ani().Close();
    const int64_t room = 3 * (kFrameHeaderSize + 64 * 48 * 3);
    ASSERT_EQ(truncate(path.c_str(), kMaxFileOffset - room), 0);
    ASSERT_TRUE(Ani().OpenProject(path));
    auto [failed, reason] = record(50);
    EXPECT_TRUE(failed);
    EXPECT_NE(reason.find("2 GiB"), std::string::npos) << reason;
    const int32_t n = Ani().FrameCount();
    EXPECT_GE(n, 3);
    EXPECT_LT(n, 50);
    Ani().Close();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_LE(st.st_size, kMaxFileOffset);
    ASSERT_TRUE(Ani().OpenProject(path)) << Ani().LastMessage();
    EXPECT_EQ(Ani().FrameCount(), n);
    EXPECT_TRUE(Ani().CheckFile());
    Image24 img;
    EXPECT_TRUE(Ani().LoadFrame(n - 1, img));
    Ani().Close();
    unlink(path.c_str());
}

TEST_F(CaptureEngineTest, StreamRecordingDecodesToTheScreenPictures) {
    MovingScene scene(71, 45); // odd sizes: partial codec blocks and padded rows
    std::string stream = dir + "direct.ZOV";
    ASSERT_TRUE(Ani().NewProject(stream, true));
    ASSERT_EQ(Ani().DocMode(), DOC_STREAM);
    ASSERT_TRUE(Ani().SetCaptureRect({0, 0, 71, 45}));
    Ani().SetRecordWindow(0, false);
    Ani().SetFrameDelay(40);
    Ani().SetRecordPointer(false);
    Events events(Ani());
    CaptureEngine engine(Ani());
    CaptureParams params;
    params.screen = &scene.screen;
    ASSERT_TRUE(RecordUntil(engine, events, params, 12));
    engine.StopCapture();
    ASSERT_TRUE(events.finished) << events.reason;
    EXPECT_EQ(events.frames, 12);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(Ani().DocumentPath(), bytes)) << Ani().DocumentPath();
    StreamReader reader;
    reader.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    reader.Finish();
    StreamRecord record;
    int n = 0;
    while (reader.Next(record) == ReadStatus::Record) {
        ASSERT_FALSE(record.rejected) << record.error;
        ASSERT_EQ(reader.Header().width, 71);
        ASSERT_EQ(reader.Header().height, 45);
        const auto& shown = scene.shown.at(n);
        long wrong = 0;
        // The codec may give back the last column of region-coded blocks as background.
        for (int y = 0; y < 45; ++y)
            for (int x = 0; x < 70; ++x)
                wrong += (reader.Picture()[y * 71 + x] & 0xFFFFFF) != shown[static_cast<size_t>(y) * 71 + x];
        EXPECT_EQ(wrong, 0) << "frame " << n;
        ++n;
    }
    EXPECT_EQ(n, 12);
    EXPECT_EQ(reader.Header().interval, 40); // the recorded delay, so it plays at its speed
    EXPECT_FALSE(reader.SawEndMarker());
}

} // namespace
