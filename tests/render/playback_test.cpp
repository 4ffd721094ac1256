// The playback worker and the frame surfaces on a project made here.
#include "render/FrameSurfaces.h"
#include "render/Playback.h"
#include "tests/support/TestFiles.h"
#include "tests/ui/UiTestProject.h"

#include <QGuiApplication>
#include <QPainter>
#include <condition_variable>
#include <gtest/gtest.h>

using namespace zov;
using zovtest::FramePixel;

namespace {

// Reports of the worker, waited on with a condition variable.
struct Reports {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int> frames;
    int finished = -1;
    bool done = false;
    PlaybackEngine::Listener Listener() {
        return {[this](int f) {
                    std::lock_guard<std::mutex> g(lock);
                    frames.push_back(f);
                    changed.notify_all();
                },
                [this](int f) {
                    std::lock_guard<std::mutex> g(lock);
                    finished = f;
                    done = true;
                    changed.notify_all();
                }};
    }
    bool WaitDone() {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, std::chrono::seconds(30), [this] { return done; });
    }
    bool WaitFrames(size_t n) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, std::chrono::seconds(30), [this, n] { return frames.size() >= n; });
    }
};

// A pacer whose clock jumps to each next tick at once, so a test never waits for real time.
TickPacer InstantPacer() {
    auto now = std::make_shared<int64_t>(0);
    return TickPacer([now] { return *now; }, [now](int ms) { *now += int64_t(ms) * 10000; });
}

class Playback : public ::testing::Test {
  protected:
    void SetUp() override {
        path = dir.File("film.scp");
        ASSERT_TRUE(zovtest::MakeProject(doc, path, 30, 20, 9, 250));
        ASSERT_TRUE(doc.OpenProject(path));
    }
    zovtest::TempDir dir;
    std::string path;
    CAni doc;
    std::mutex frameMutex;
};

} // namespace

TEST_F(Playback, PlaysEveryFrameFromTheStartAndComposesThem) {
    PlaybackEngine engine(doc, frameMutex);
    Reports r;
    engine.SetListener(r.Listener());
    engine.SetPacer(InstantPacer());
    ASSERT_TRUE(engine.SetPlayStart(5)); // inside a group: frames 4.. are decoded silently
    ASSERT_TRUE(engine.Play());
    ASSERT_TRUE(r.WaitDone());
    EXPECT_EQ(r.frames, (std::vector<int>{5, 6, 7, 8}));
    EXPECT_EQ(r.finished, 8);
    EXPECT_TRUE(engine.Stop());
    std::lock_guard<std::mutex> g(frameMutex);
    for (auto [x, y] : {std::pair{0, 0}, {29, 19}, {11, 7}})
        EXPECT_EQ(engine.Shared().pixel(x, y), FramePixel(8, x, y));
    EXPECT_EQ(doc.CurrentFrame(), 8);
}

TEST_F(Playback, TheLastFrameAloneAndTheEndPositionStartsAtZero) {
    PlaybackEngine engine(doc, frameMutex);
    Reports r;
    engine.SetListener(r.Listener());
    engine.SetPacer(InstantPacer());
    ASSERT_TRUE(engine.SetPlayStart(8));
    ASSERT_TRUE(engine.Play());
    ASSERT_TRUE(r.WaitDone());
    EXPECT_EQ(r.frames, (std::vector<int>{8}));
    EXPECT_EQ(r.finished, 8);
    ASSERT_TRUE(engine.SetPlayStart(9));
    EXPECT_EQ(engine.PlayStart(), 0);
    EXPECT_FALSE(engine.SetPlayStart(10));
    EXPECT_FALSE(engine.SetPlayStart(-1));
}

TEST_F(Playback, PauseHoldsAndStopEndsEarly) {
    PlaybackEngine engine(doc, frameMutex);
    Reports r;
    engine.SetListener(r.Listener());
    // A pacer that lets ticks through only while the test allows.
    ASSERT_TRUE(engine.SetPlayStart(0));
    ASSERT_TRUE(engine.Play());
    ASSERT_TRUE(r.WaitFrames(1));
    EXPECT_TRUE(engine.Pause());
    EXPECT_FALSE(engine.Pause());
    EXPECT_EQ(doc.m_control_play.load(), C_CONTROL_PAUSE);
    EXPECT_TRUE(engine.Resume());
    EXPECT_FALSE(engine.Resume());
    EXPECT_TRUE(engine.Stop());
    EXPECT_FALSE(engine.Running());
    ASSERT_TRUE(r.WaitDone()); // a stopped run still reports where it ended
    EXPECT_LT(r.finished, 8);
    EXPECT_EQ(r.finished, r.frames.back());
}

TEST_F(Playback, NothingToPlayWithoutFrames) {
    CAni empty;
    PlaybackEngine engine(empty, frameMutex);
    EXPECT_FALSE(engine.Play());
    EXPECT_FALSE(engine.SetPlayStart(0));
}

TEST_F(Playback, SurfacesShowFramesTheEndAndRefuseBeyond) {
    FrameSurfaces s(doc);
    ASSERT_TRUE(s.Prepare());
    EXPECT_EQ(s.ShownSize(), QSize(30, 20));
    ASSERT_TRUE(s.ShowFrame(3));
    EXPECT_EQ(s.Display().pixel(12, 9), FramePixel(3, 12, 9));
    ASSERT_TRUE(s.ShowFrame(9)); // the end of the film
    EXPECT_EQ(s.Display().pixel(0, 0), kEndOfFilmColour);
    s.SetSixteenBitScreen(true);
    ASSERT_TRUE(s.ShowFrame(9));
    EXPECT_EQ(s.Display().pixel(29, 19), kEndOfFilmColour16Bit);
    EXPECT_FALSE(s.ShowFrame(10));
    EXPECT_FALSE(s.ShowFrame(-1));
    EXPECT_EQ(s.Display().pixel(0, 0), kEndOfFilmColour16Bit);
    s.SetElementsOnly(true);
    ASSERT_TRUE(s.ShowFrame(0));
    EXPECT_EQ(s.Display().pixel(5, 5), kElementsOnlyColour);
}

TEST_F(Playback, PresentStretchesOrCopiesFromTheScrollPosition) {
    QImage display = ImageFromFrameBits(std::vector<uint8_t>(Image24::RowBytes(4) * 2, 0).data(), 4, 2);
    display.setPixel(3, 1, qRgb(255, 0, 0));
    QImage view(8, 4, QImage::Format_RGB32);
    view.fill(Qt::white);
    {
        QPainter p(&view);
        PresentDisplay(p, display, view.size(), QPoint(0, 0), true);
    }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(view.pixel(x, y), (x >= 6 && y >= 2) ? qRgb(255, 0, 0) : qRgb(0, 0, 0))
                << x << "," << y;
    view.fill(Qt::white);
    {
        QPainter p(&view);
        PresentDisplay(p, display, view.size(), QPoint(3, 1), false);
    }
    EXPECT_EQ(view.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(view.pixel(1, 0), qRgb(255, 255, 255)); // beyond the picture: untouched
}

TEST(FrameBits, BottomUpBgrRowsBecomeTopDownRgb) {
    // 2 x 2, rows of 8 bytes: bottom row first.
    const uint8_t bits[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    const QImage img = ImageFromFrameBits(bits, 2, 2);
    EXPECT_EQ(img.pixel(0, 1), qRgb(3, 2, 1));
    EXPECT_EQ(img.pixel(1, 1), qRgb(6, 5, 4));
    EXPECT_EQ(img.pixel(0, 0), qRgb(9, 8, 7));
    EXPECT_EQ(img.pixel(1, 0), qRgb(12, 11, 10));
}

TEST_F(Playback, TheDocumentsElementPainterReachesTheViewAndPlayback) {
    // A painter that marks the top-left pixel of each frame with the frame's number in red.
    doc.SetElementPainter([](const ElementPaintJob& job) {
        uint8_t* image = job.image;
        const int32_t index = job.index, w = job.width, h = job.height;
        uint8_t* topLeft = image + static_cast<size_t>(h - 1) * Image24::RowBytes(w);
        topLeft[0] = 0;
        topLeft[1] = 0;
        topLeft[2] = static_cast<uint8_t>(100 + index);
    });
    FrameSurfaces s(doc);
    ASSERT_TRUE(s.Prepare());
    ASSERT_TRUE(s.ShowFrame(4));
    EXPECT_EQ(s.Display().pixel(0, 0), qRgb(104, 0, 0));
    EXPECT_EQ(s.Display().pixel(1, 0), FramePixel(4, 1, 0));
    s.SetElementsOnly(true);
    ASSERT_TRUE(s.ShowFrame(2));
    EXPECT_EQ(s.Display().pixel(0, 0), qRgb(102, 0, 0));
    EXPECT_EQ(s.Display().pixel(1, 0), kElementsOnlyColour);

    PlaybackEngine engine(doc, frameMutex);
    Reports r;
    engine.SetListener(r.Listener());
    engine.SetPacer(InstantPacer());
    ASSERT_TRUE(engine.SetPlayStart(7));
    ASSERT_TRUE(engine.Play());
    ASSERT_TRUE(r.WaitDone());
    std::lock_guard<std::mutex> g(frameMutex);
    EXPECT_EQ(engine.Shared().pixel(0, 0), qRgb(108, 0, 0));
    EXPECT_EQ(engine.Shared().pixel(2, 2), FramePixel(8, 2, 2));
}
