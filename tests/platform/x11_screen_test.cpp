// The X11 screen source against a real Xvfb: grabs equal an xwd screenshot at depth 24 and
// 16, through shared memory and through plain XGetImage; areas partly off the screen; the
// window's own area; the pointer through XFixes and its cache.
#include "platform/X11Screen.h"
#include "recorder/ScreenConvert.h"
#include "tests/support/XTestEnv.h"

#include <gtest/gtest.h>

using namespace zovtest;

namespace {

struct Scene {
    Xvfb server;
    TestWindow window;
    Scene(int depth) : server(320, 240, depth), window(server.Display(), 120, 90, 30, 20) {}
};

void ExpectGrabEqualsScreen(int depth, zov::X11Grab mode) {
    Scene scene(depth);
    ASSERT_TRUE(scene.server.Ok());
    ASSERT_TRUE(scene.window.Ok());
    std::string error;
    auto screen = zov::OpenX11Screen(scene.server.Display(), error, mode);
    ASSERT_TRUE(screen) << error;
    EXPECT_EQ(screen->Depth(), depth);
    ASSERT_TRUE(screen->Prepare(201, 151)); // odd sizes: rows with padding
    EXPECT_EQ(zov::X11ScreenUsesShm(*screen), mode == zov::X11Grab::Auto);
    zov::ScreenPixels pixels;
    ASSERT_TRUE(screen->Grab(10, 5, pixels));
    zov::Image24 frame;
    frame.Allocate(201, 151);
    ASSERT_TRUE(zov::ConvertScreenPixels(pixels, frame));
    Screenshot shot;
    ASSERT_TRUE(TakeScreenshot(scene.server.Display(), shot, error)) << error;
    std::string first;
    EXPECT_EQ(CountDifferences(frame, shot, 10, 5, &first), 0) << first;
    // The picture is not trivially black: the window's colours are in it.
    EXPECT_NE(FramePixel(frame, 60, 40), 0u);

    // Partly off the screen: the outside is black, the inside is the screen.
    ASSERT_TRUE(screen->Prepare(50, 40));
    ASSERT_TRUE(screen->Grab(300, -10, pixels));
    frame.Allocate(50, 40);
    ASSERT_TRUE(zov::ConvertScreenPixels(pixels, frame));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            const int sx = 300 + x, sy = y - 10;
            const uint32_t expected = sx < 320 && sy >= 0 ? shot.At(sx, sy) : 0u;
            ASSERT_EQ(FramePixel(frame, x, y), expected) << x << "," << y;
        }
    screen->Release();
}

TEST(X11Screen, Depth24GrabEqualsScreenshotThroughSharedMemory) {
    ExpectGrabEqualsScreen(24, zov::X11Grab::Auto);
}
TEST(X11Screen, Depth24GrabEqualsScreenshotThroughXGetImage) {
    ExpectGrabEqualsScreen(24, zov::X11Grab::Plain);
}
TEST(X11Screen, Depth16GrabEqualsScreenshotWidenedByMasks) {
    ExpectGrabEqualsScreen(16, zov::X11Grab::Auto);
}
TEST(X11Screen, Depth8GrabEqualsScreenshotThroughTheColourMap) {
    ExpectGrabEqualsScreen(8, zov::X11Grab::Auto);
}

TEST(X11Screen, WindowAreaFollowsTheWindowWhileHiddenAndUnknownWindowsAreNoError) {
    Scene scene(24);
    ASSERT_TRUE(scene.window.Ok());
    std::string error;
    auto screen = zov::OpenX11Screen(scene.server.Display(), error);
    ASSERT_TRUE(screen) << error;
    zov::ScreenRect r;
    ASSERT_EQ(screen->WindowRect(scene.window.Id(), r), zov::WindowState::Shown);
    EXPECT_EQ(r.left, 30);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.Width(), 120);
    EXPECT_EQ(r.Height(), 90);
    RunProgram({"xdotool", "windowmove", "--sync", std::to_string(scene.window.Id()), "150", "100"},
               scene.server.Display());
    ASSERT_EQ(screen->WindowRect(scene.window.Id(), r), zov::WindowState::Shown);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 100);
    // Unmapped (as a window manager does on minimising), the window keeps its place.
    RunProgram({"xdotool", "windowunmap", "--sync", std::to_string(scene.window.Id())},
               scene.server.Display());
    r = {};
    ASSERT_EQ(screen->WindowRect(scene.window.Id(), r), zov::WindowState::Hidden);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.Width(), 120);
    EXPECT_EQ(r.Height(), 90);
    RunProgram({"xdotool", "windowmap", "--sync", std::to_string(scene.window.Id())}, scene.server.Display());
    EXPECT_EQ(screen->WindowRect(scene.window.Id(), r), zov::WindowState::Shown);
    // Destroyed with its program's connection: gone, once the server has seen the close.
    scene.window.Close();
    EXPECT_TRUE(
        WaitUntil([&] { return screen->WindowRect(scene.window.Id(), r) == zov::WindowState::Gone; }, 5000));
    // A window id that does not exist raises an X error, which must not end the process.
    EXPECT_EQ(screen->WindowRect(0x7FFFFF0, r), zov::WindowState::Gone);
    EXPECT_EQ(zov::OpenX11Screen(":12345", error), nullptr);
    EXPECT_NE(error.find(":12345"), std::string::npos);
}

TEST(X11Screen, PointerPositionImageHotspotNameAndCache) {
    Scene scene(24);
    ASSERT_TRUE(scene.window.Ok());
    const std::string& d = scene.server.Display();
    std::string error;
    auto screen = zov::OpenX11Screen(d, error);
    ASSERT_TRUE(screen) << error;
    RunProgram({"xdotool", "mousemove", "--sync", "60", "50"}, d);
    zov::PointerState p;
    ASSERT_TRUE(WaitUntil([&] { return screen->ReadPointer(p) && p.x == 60 && p.y == 50; }, 5000));
    ASSERT_TRUE(p.image);
    EXPECT_EQ(p.image->width, 8);
    EXPECT_EQ(p.image->height, 8);
    EXPECT_EQ(p.image->xhot, 3);
    EXPECT_EQ(p.image->yhot, 2);
    EXPECT_EQ(p.image->name, "hand2");
    for (uint32_t argb : p.image->argb)
        ASSERT_EQ(argb, 0xFFFF0000u);
    const auto* first = p.image.get();

    // Moving over the same window keeps the shape: the cached image is handed out again.
    RunProgram({"xdotool", "mousemove", "--sync", "100", "70"}, d);
    ASSERT_TRUE(WaitUntil([&] { return screen->ReadPointer(p) && p.x == 100 && p.y == 70; }, 5000));
    EXPECT_EQ(p.image.get(), first);

    // Off the window the root's pointer shows: a new image.
    RunProgram({"xdotool", "mousemove", "--sync", "300", "220"}, d);
    EXPECT_TRUE(WaitUntil(
        [&] {
            return screen->ReadPointer(p) && p.x == 300 && p.y == 220 && p.image && p.image->name != "hand2";
        },
        5000))
        << "the new shape off the window was not seen";
}

} // namespace
