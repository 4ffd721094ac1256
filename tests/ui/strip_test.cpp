// The thumbnail strip, pixel by pixel.
#include "tests/ui/QtTestEnv.h"
#include "ui/ThumbnailStrip.h"

#include <QMouseEvent>
#include <QSignalSpy>

using namespace zov;

namespace {

QRgb ThumbColour(int32_t f) {
    return qRgb(100 + f, 200 - f, 50 + 3 * f);
}

StripModel Model(int32_t count, EditorSelection sel) {
    StripModel m;
    m.projectOpen = true;
    m.frameCount = count;
    m.frameDelayMs = 500;
    m.sel = sel;
    m.fontFamily = "DejaVu Sans";
    m.thumbnail = [](int32_t f) {
        QImage t(kThumbWidth, kThumbHeight, QImage::Format_RGB32);
        t.fill(ThumbColour(f));
        return t;
    };
    return m;
}

QRgb At(const QImage& img, int x, int y) {
    return img.pixel(x, y) | 0xFF000000u;
}

} // namespace

TEST(Strip, ThumbnailsTicksAndBackground) {
    EditorSelection sel;
    sel.Reset(20);
    sel.firstVisible = 2;
    const QImage img = RenderStrip(QSize(1000, 90), Model(20, sel));
    // Eleven slots fit into 1000 pixels; every one of them is drawn.
    for (int i = 0; i < 11; ++i) {
        const int x = 7 + 87 * i;
        EXPECT_EQ(At(img, x, 2), ThumbColour(2 + i)) << i;
        EXPECT_EQ(At(img, x + 79, 61), ThumbColour(2 + i)) << i;
        EXPECT_EQ(At(img, x + 80, 30), kStripBackground) << i; // the gap
        EXPECT_EQ(At(img, x, 62), kStripBackground) << i;
    }
    EXPECT_EQ(At(img, 3, 30), kStripBackground);
    // The time line 3 pixels above the bottom, ticks of 9 and 5 pixels above it.
    for (int x : {0, 500, 999})
        EXPECT_EQ(At(img, x, 87), kStripTimeColour);
    EXPECT_EQ(At(img, 500, 88), kStripBackground);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(At(img, 3 + 87 * i, 78), kStripTimeColour) << i;
        EXPECT_EQ(At(img, 3 + 87 * i, 77), kStripBackground) << i;
        EXPECT_EQ(At(img, 46 + 87 * i, 82), kStripTimeColour) << i;
        EXPECT_EQ(At(img, 45 + 87 * i, 86), kStripBackground) << i; // the ticks are one pixel wide
        EXPECT_EQ(At(img, 4 + 87 * i, 86), kStripBackground) << i;
    }
    // Some yellow text between the ticks, in the band 21 pixels above the bottom.
    int textPixels = 0;
    for (int y = 69; y < 87; ++y)
        for (int x = 22; x < 80; ++x)
            textPixels += At(img, x, y) == kStripTimeColour;
    EXPECT_GT(textPixels, 10);
}

TEST(Strip, NoProjectIsBlackAndNothingPastTheLastFrame) {
    StripModel closed;
    const QImage black = RenderStrip(QSize(300, 90), closed);
    EXPECT_EQ(At(black, 10, 10), 0xFF000000u);
    EXPECT_EQ(At(black, 150, 87), 0xFF000000u);
    EditorSelection sel;
    sel.Reset(3);
    const QImage img = RenderStrip(QSize(600, 90), Model(3, sel));
    EXPECT_EQ(At(img, 7 + 87 * 2, 10), ThumbColour(2));
    EXPECT_EQ(At(img, 7 + 87 * 3 + 10, 10), kStripBackground);
}

TEST(Strip, OutlinesOfAnchorExtentAndMark) {
    EditorSelection sel;
    sel.Reset(20);
    sel.SelectOne(4);
    sel.SetMark(MarkKind::Cut); // frame 4 marked
    sel.SelectOne(2);
    sel.ExtendTo(0); // anchor 2, extent -2: frames 0..2
    const QImage img = RenderStrip(QSize(1000, 90), Model(20, sel));
    auto outline = [&](int slot) { return At(img, 7 + 87 * slot - 2, 30); };
    EXPECT_EQ(outline(2), kStripAnchorColour);
    EXPECT_EQ(outline(0), kStripSelectedColour);
    EXPECT_EQ(outline(1), kStripSelectedColour);
    EXPECT_EQ(outline(4), kStripMarkColour);
    EXPECT_EQ(outline(3), kStripBackground);
    // The outline is 2 pixels wide all round, just outside the thumbnail.
    EXPECT_EQ(At(img, 7 + 87 * 2 - 1, 30), kStripAnchorColour);
    EXPECT_EQ(At(img, 7 + 87 * 2 + 80, 30), kStripAnchorColour);
    EXPECT_EQ(At(img, 7 + 87 * 2 + 81, 30), kStripAnchorColour);
    EXPECT_EQ(At(img, 7 + 87 * 2 + 82, 30), kStripBackground);
    EXPECT_EQ(At(img, 7 + 87 * 2 + 40, 0), kStripAnchorColour);
    EXPECT_EQ(At(img, 7 + 87 * 2 + 40, 63), kStripAnchorColour);
    EXPECT_EQ(At(img, 7 + 87 * 2 + 40, 64), kStripBackground);
    EXPECT_EQ(At(img, 7 + 87 * 2, 2), ThumbColour(2)); // the picture itself is untouched
}

TEST(Strip, TheEndPositionIsOutlinedInItsEmptySlot) {
    EditorSelection sel;
    sel.Reset(3);
    sel.SelectOne(3); // right of the last thumbnail
    const QImage img = RenderStrip(QSize(600, 90), Model(3, sel));
    EXPECT_EQ(At(img, 7 + 87 * 3 - 2, 30), kStripAnchorColour);
    EXPECT_EQ(At(img, 7 + 87 * 3 + 10, 30), kStripBackground);
}

TEST(Strip, TimeTexts) {
    EXPECT_EQ(StripTimeText(0, 500), "   0.00");
    EXPECT_EQ(StripTimeText(9, 500), "   4.50");
    EXPECT_EQ(StripTimeText(3, 333), "   0.99");
    EXPECT_EQ(StripTimeText(100000, 5000), "500000.00");
}

TEST(Strip, ClicksNameTheFrameUnderThem) {
    ThumbnailStrip strip;
    strip.resize(600, 90);
    EditorSelection sel;
    sel.Reset(3);
    StripModel m = Model(3, sel);
    strip.SetModel(m);
    QSignalSpy spy(&strip, &ThumbnailStrip::FramePressed);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(7 + 87 + 5, 20), QPointF(7 + 87 + 5, 20),
                      Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(&strip, &press);
    QMouseEvent farRight(QEvent::MouseButtonPress, QPointF(590, 20), QPointF(590, 20), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &farRight);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_TRUE(spy.at(0).at(1).value<Qt::KeyboardModifiers>() & Qt::ShiftModifier);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 3); // past the last frame: the end position
}
