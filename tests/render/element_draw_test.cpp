// Element drawing, pixel by pixel: the outline and fill rules, pens and dashes, ellipses
// against the hit test, the animated subtitles, links and images, hostile elements, and one
// committed picture per kind.
#include "elements/ElementGeometry.h"
#include "elements/ElementList.h"
#include "render/ElementDraw.h"
#include "render/ElementFont.h"
#include "tests/render/DrawTestEnv.h"

#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>

using namespace zov;

static auto* const g_env = ::testing::AddGlobalTestEnvironment(new zovtest::DrawEnvironment);

namespace {

constexpr QRgb kBack = 0xFF808080u; // grey background
constexpr QRgb kTeal = 0xFF008080u;
constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF, kBlack = 0;

QImage Surface(int w, int h, QRgb fill = kBack) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

ElementRecord* Shape(CElementList& list, int32_t kind, ElementRect r, uint32_t border, bool borderOn,
                     uint32_t fill, bool fillOn, int32_t width = 1, int32_t style = 0) {
    ElementRecord* e = list.Create(0, 0, kind);
    ShapeBody* s = e->Body<ShapeBody>();
    s->rect = r;
    s->borderColour = border;
    s->borderFlag = borderOn;
    s->fillColour = fill;
    s->fillFlag = fillOn;
    s->penWidth = width;
    s->penStyle = style;
    return e;
}

ElementRecord* Line(CElementList& list, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour,
                    int32_t width = 1, int32_t style = 0) {
    ElementRecord* e = list.Create(0, 0, ELEMENT_LINE);
    *e->Body<LineBody>() = {x1, y1, x2, y2, width, style, colour};
    return e;
}

LogFontA Font(int32_t height, const char* face = "Arial") {
    LogFontA f{};
    f.lfHeight = height;
    f.lfWeight = 400;
    std::strncpy(f.lfFaceName, face, sizeof f.lfFaceName - 1);
    return f;
}

ElementRecord* Text(CElementList& list, int32_t kind, int32_t first, int32_t last, ElementRect r,
                    const char* text, bool vertical = false, bool borderOn = false, bool fillOn = false) {
    ElementRecord* e = list.Create(first, last, kind);
    TextBody* t = e->Body<TextBody>();
    t->rect = r;
    t->penWidth = 1;
    t->borderFlag = borderOn;
    t->fillFlag = fillOn;
    t->borderColour = kBlue;
    t->fillColour = kBlack;
    t->textColour = kWhite;
    t->scrollMode = vertical;
    t->font = Font(-13);
    EXPECT_EQ(0, list.SetText(e, text));
    return e;
}

ElementDrawOptions Options(bool exporting = false) {
    ElementDrawOptions o;
    o.exporting = exporting;
    o.frameCount = 1000;
    return o;
}

// The pixels of one row (or column) that differ from the background, as a string of
// '#' (colour c) and '.' (background).
std::string Row(const QImage& img, int y, int x0, int x1, QRgb c) {
    std::string s;
    for (int x = x0; x <= x1; ++x)
        s += img.pixel(x, y) == c ? '#' : img.pixel(x, y) == kBack ? '.' : '?';
    return s;
}

std::string Column(const QImage& img, int x, int y0, int y1, QRgb c) {
    std::string s;
    for (int y = y0; y <= y1; ++y)
        s += img.pixel(x, y) == c ? '#' : img.pixel(x, y) == kBack ? '.' : '?';
    return s;
}

bool SamePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(ElementPixels, BoxOutlineAndFillFollowTheRectangleRule) {
    CElementList list;
    QImage img = Surface(32, 24);
    // A 1-pixel box from (10, 10) to (20, 15): columns 10 and 19, rows 10 and 14.
    ASSERT_TRUE(
        DrawElement(img, *Shape(list, ELEMENT_BOX, {20, 15, 10, 10}, kRed, true, 0, false), 0, Options()));
    const QRgb red = ElementColour(kRed);
    EXPECT_EQ(".##########.", Row(img, 10, 9, 20, red));
    EXPECT_EQ(".##########.", Row(img, 14, 9, 20, red));
    EXPECT_EQ(".#........#.", Row(img, 12, 9, 20, red));
    EXPECT_EQ(".#####.", Column(img, 10, 9, 15, red));
    EXPECT_EQ(".#####.", Column(img, 19, 9, 15, red));
    EXPECT_EQ(".......", Column(img, 20, 9, 15, red));

    // With the border off the fill covers columns 10 ... 18 and rows 10 ... 13.
    img = Surface(32, 24);
    ASSERT_TRUE(DrawElement(img, *Shape(list, ELEMENT_BOX, {10, 10, 20, 15}, kRed, false, kGreen, true), 0,
                            Options()));
    const QRgb green = ElementColour(kGreen);
    EXPECT_EQ(".#########..", Row(img, 10, 9, 20, green));
    EXPECT_EQ(".#########..", Row(img, 13, 9, 20, green));
    EXPECT_EQ("............", Row(img, 14, 9, 20, green));

    // Border and fill: the fill inside the outline only.
    img = Surface(32, 24);
    ASSERT_TRUE(DrawElement(img, *Shape(list, ELEMENT_BOX, {10, 10, 20, 15}, kRed, true, kGreen, true), 0,
                            Options()));
    EXPECT_EQ(green, img.pixel(11, 11));
    EXPECT_EQ(green, img.pixel(18, 13));
    EXPECT_EQ(red, img.pixel(19, 13));
    EXPECT_EQ(kBack, img.pixel(20, 13));
    // The colour helper reads 0x00BBGGRR.
    EXPECT_EQ(qRgb(0x11, 0x22, 0x33), ElementColour(0x00332211));
}

TEST(ElementPixels, LinesLeaveOutTheirEndPointInEitherDirection) {
    CElementList list;
    const QRgb red = ElementColour(kRed);
    QImage img = Surface(16, 8);
    ASSERT_TRUE(DrawElement(img, *Line(list, 0, 5, 10, 5, kRed), 0, Options()));
    EXPECT_EQ("##########......", Row(img, 5, 0, 15, red));
    img = Surface(16, 8);
    ASSERT_TRUE(DrawElement(img, *Line(list, 10, 5, 0, 5, kRed), 0, Options()));
    EXPECT_EQ(".##########.....", Row(img, 5, 0, 15, red));
    // A sloped line: one pixel per column, the tie at x = 2 staying on the start's row.
    img = Surface(16, 8);
    ASSERT_TRUE(DrawElement(img, *Line(list, 0, 0, 4, 1, kRed), 0, Options()));
    EXPECT_EQ("###.", Row(img, 0, 0, 3, red));
    EXPECT_EQ("...#", Row(img, 1, 0, 3, red));
    EXPECT_EQ(kBack, img.pixel(4, 1));
    // A steep line: one pixel per row.
    img = Surface(16, 8);
    ASSERT_TRUE(DrawElement(img, *Line(list, 3, 7, 1, 0, kRed), 0, Options()));
    int count = 0;
    for (int y = 0; y < 8; ++y)
        count += Row(img, y, 0, 15, red).find('#') != std::string::npos;
    EXPECT_EQ(7, count);
    EXPECT_EQ(kBack, img.pixel(1, 0)); // the end point
}

TEST(ElementPixels, DashesAndWidePens) {
    CElementList list;
    const QRgb red = ElementColour(kRed);
    // 1-pixel dashes run 18 on, 6 off; the gaps show the frame.
    QImage img = Surface(64, 8);
    ASSERT_TRUE(DrawElement(img, *Line(list, 0, 3, 60, 3, kRed, 1, 1), 0, Options()));
    EXPECT_EQ(std::string(18, '#') + std::string(6, '.') + std::string(18, '#') + std::string(6, '.') +
                  std::string(12, '#') + std::string(4, '.'),
              Row(img, 3, 0, 63, red));
    // Dots 3/3, dash-dot 9/6/3/6, dash-dot-dot 9/3/3/3/3/3.
    img = Surface(64, 8);
    ASSERT_TRUE(DrawElement(img, *Line(list, 0, 1, 12, 1, kRed, 1, 2), 0, Options()));
    ASSERT_TRUE(DrawElement(img, *Line(list, 0, 3, 30, 3, kRed, 1, 3), 0, Options()));
    ASSERT_TRUE(DrawElement(img, *Line(list, 0, 5, 30, 5, kRed, 1, 4), 0, Options()));
    EXPECT_EQ("###...###...", Row(img, 1, 0, 11, red));
    EXPECT_EQ("#########......###......######", Row(img, 3, 0, 29, red));
    EXPECT_EQ("#########...###...###...######", Row(img, 5, 0, 29, red));

    // Width 3, dashed: solid, three rows, round caps one pixel past the ends.
    img = Surface(64, 16);
    ASSERT_TRUE(DrawElement(img, *Line(list, 10, 8, 50, 8, kRed, 3, 1), 0, Options()));
    for (int x = 10; x <= 50; ++x)
        ASSERT_EQ(".###.", Column(img, x, 6, 10, red)) << "x " << x;
    EXPECT_EQ(".###.", Column(img, 51, 6, 10, red)); // the round cap
    EXPECT_EQ(".....", Column(img, 52, 6, 10, red));
    // Width 2: the spare pixel goes up (and left).
    img = Surface(64, 16);
    ASSERT_TRUE(DrawElement(img, *Line(list, 10, 8, 30, 8, kRed, 2), 0, Options()));
    EXPECT_EQ(".##.", Column(img, 20, 6, 9, red));
    img = Surface(64, 16);
    ASSERT_TRUE(DrawElement(img, *Line(list, 20, 2, 20, 12, kRed, 2), 0, Options()));
    EXPECT_EQ(".##.", Row(img, 7, 18, 21, red));
    // A wide box outline is centred on the 1-pixel outline.
    img = Surface(40, 40);
    ASSERT_TRUE(
        DrawElement(img, *Shape(list, ELEMENT_BOX, {10, 10, 30, 30}, kRed, true, 0, false, 3), 0, Options()));
    EXPECT_EQ(".###" + std::string(16, '.') + "###", Row(img, 20, 8, 30, red));
    // A pen width from a hostile file is clamped, not obeyed.
    img = Surface(400, 200);
    ASSERT_TRUE(DrawElement(img, *Line(list, 200, 100, 201, 100, kRed, INT_MAX), 0, Options()));
    EXPECT_EQ(red, img.pixel(200, 100 - 31));
    EXPECT_EQ(kBack, img.pixel(200, 100 - 40));
}

TEST(ElementPixels, EllipseFillIsExactlyTheHitTest) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-10, 70);
    const QRgb red = ElementColour(kRed), green = ElementColour(kGreen);
    for (int i = 0; i < 100; ++i) {
        CElementList list;
        const ElementRect r{coord(rng), coord(rng), coord(rng), coord(rng)};
        ElementRecord* e = Shape(list, ELEMENT_CIRCLE, r, kRed, true, kGreen, true);
        QImage img = Surface(64, 64);
        ASSERT_TRUE(DrawElement(img, *e, 0, Options()));
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const QRgb p = img.pixel(x, y);
                ASSERT_EQ(p == red || p == green, list.HitTest(e, x, y, 0, false))
                    << "ellipse " << i << " (" << r.left << "," << r.top << "," << r.right << "," << r.bottom
                    << ") at " << x << "," << y;
            }
    }
    // With its border off an ellipse fills one pixel less on the right and at the bottom.
    CElementList list;
    QImage img = Surface(32, 32);
    ASSERT_TRUE(
        DrawElement(img, *Shape(list, ELEMENT_CIRCLE, {0, 0, 21, 21}, 0, false, kGreen, true), 0, Options()));
    EXPECT_EQ(green, img.pixel(0, 10));
    EXPECT_EQ(green, img.pixel(19, 10));
    EXPECT_EQ(kBack, img.pixel(20, 10));
}

TEST(ElementPixels, TextOverTealGivesExactlyTwoColours) {
    CElementList list;
    ElementRecord* e = Text(list, ELEMENT_TEXT, 0, 0, {0, 0, 120, 30}, "Hello, Welt! 123");
    QImage img = Surface(120, 30, kTeal);
    ASSERT_TRUE(DrawElement(img, *e, 0, Options()));
    std::set<QRgb> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            colours.insert(img.pixel(x, y));
    EXPECT_EQ((std::set<QRgb>{kTeal, 0xFFFFFFFFu}), colours);
    // A text rectangle narrower than 4 pixels shows no text.
    *e->Body<ElementRect>() = {0, 0, 3, 30};
    QImage narrow = Surface(120, 30, kTeal);
    ASSERT_TRUE(DrawElement(narrow, *e, 0, Options()));
    EXPECT_TRUE(SamePixels(narrow, Surface(120, 30, kTeal)));
}

TEST(ElementPixels, FontsMapToTheInstalledFaces) {
    EXPECT_EQ("Liberation Sans", ElementFontFamily(Font(-12, "Arial")).toStdString());
    EXPECT_EQ("Liberation Serif", ElementFontFamily(Font(-12, "Times New Roman")).toStdString());
    EXPECT_EQ("Liberation Mono", ElementFontFamily(Font(-12, "courier new")).toStdString());
    EXPECT_EQ("DejaVu Sans", ElementFontFamily(Font(-12, "System")).toStdString());
    EXPECT_EQ("DejaVu Sans", ElementFontFamily(Font(-12, "Nothing Like It")).toStdString());
    LogFontA cjk = Font(-12, "MS Sans Serif");
    cjk.lfCharSet = 134;
    EXPECT_EQ("WenQuanYi Zen Hei", ElementFontFamily(cjk).toStdString());
    // Negative height: pixel size; positive: the whole cell.
    EXPECT_EQ(20, ElementFont(Font(-20)).pixelSize());
    const QFont cell = ElementFont(Font(20));
    const QFontMetrics fm(cell);
    EXPECT_LE(fm.ascent() + fm.descent(), 20);
    EXPECT_LT(cell.pixelSize(), 20);
    // Texts: UTF-8 when they are, Latin-1 otherwise.
    EXPECT_EQ(QString::fromUtf8("Grüße"), DecodeElementText("Gr\xC3\xBC\xC3\x9F"
                                                            "e"));
    EXPECT_EQ(QString::fromUtf8("Grüße"), DecodeElementText("Gr\xFC\xDF"
                                                            "e"));
    EXPECT_EQ("Gr\xC3\xBC\xC3\x9F"
              "e",
              EncodeElementText(QString::fromUtf8("Grüße")));
}

// Draws element e on frame f and returns the picture.
static QImage Drawn(const ElementRecord& e, int32_t f, int w = 100, int h = 30) {
    QImage img = Surface(w, h, kTeal);
    EXPECT_TRUE(DrawElement(img, e, f, Options()));
    return img;
}

TEST(ElementPixels, AnimatedSubtitles) {
    CElementList list;
    const ElementRect r{10, 5, 90, 25};
    // Vertical: a, b, c over 6 frames show a on 0-1, b on 2-3, c on 4-5.
    ElementRecord* v = Text(list, ELEMENT_SUBSCRIPT1, 10, 15, r, "a\r\nb\r\nc", true);
    const char* lines[] = {"a", "b", "c"};
    for (int k = 0; k < 3; ++k) {
        ElementRecord* one = Text(list, ELEMENT_SUBSCRIPT1, 0, 0, r, lines[k], true);
        const QImage want = Drawn(*one, 0);
        EXPECT_FALSE(SamePixels(want, Surface(100, 30, kTeal)));
        EXPECT_TRUE(SamePixels(want, Drawn(*v, 10 + 2 * k))) << lines[k];
        EXPECT_TRUE(SamePixels(want, Drawn(*v, 11 + 2 * k))) << lines[k];
    }
    // Horizontal over one frame: at the left edge, as the whole typewriter text.
    ElementRecord* h1 = Text(list, ELEMENT_SUBSCRIPT1, 3, 3, r, "left edge", false);
    ElementRecord* t1 = Text(list, ELEMENT_SUBSCRIPT2, 3, 3, r, "left edge");
    EXPECT_TRUE(SamePixels(Drawn(*t1, 3), Drawn(*h1, 3)));
    // Horizontal over several frames: a long text moves left, the same amount each frame.
    ElementRecord* h = Text(list, ELEMENT_SUBSCRIPT1, 0, 4, r, "a text much wider than its box", false);
    ElementRecord* whole = Text(list, ELEMENT_SUBSCRIPT2, 0, 0, r, "a text much wider than its box");
    EXPECT_TRUE(SamePixels(Drawn(*whole, 0), Drawn(*h, 0)));
    EXPECT_FALSE(SamePixels(Drawn(*h, 0), Drawn(*h, 4)));
    // The typewriter: 10 characters over 5 frames show 2, 4, 6, 8, 10.
    ElementRecord* tw = Text(list, ELEMENT_SUBSCRIPT2, 20, 24, r, "ABCDEFGHIJ");
    for (int k = 1; k <= 5; ++k) {
        ElementRecord* part =
            Text(list, ELEMENT_SUBSCRIPT2, 0, 0, r, std::string("ABCDEFGHIJ").substr(0, 2 * k).c_str());
        EXPECT_TRUE(SamePixels(Drawn(*part, 0), Drawn(*tw, 19 + k))) << k;
    }
    // Non-ASCII text counts characters: "ÄÖÜäöü" (12 bytes) over 3 frames shows 2, 4, 6.
    ElementRecord* umlauts =
        Text(list, ELEMENT_SUBSCRIPT2, 0, 2, r, "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC");
    ElementRecord* two = Text(list, ELEMENT_SUBSCRIPT2, 0, 0, r, "\xC3\x84\xC3\x96");
    EXPECT_TRUE(SamePixels(Drawn(*two, 0), Drawn(*umlauts, 0)));
    // A box narrower than 5 pixels shows its rectangle but no subtitle.
    ElementRecord* thin = Text(list, ELEMENT_SUBSCRIPT2, 0, 0, {10, 5, 14, 25}, "ABC", false, true);
    QImage want = Surface(100, 30, kTeal);
    CElementList boxes;
    ASSERT_TRUE(
        DrawElement(want, *Shape(boxes, ELEMENT_BOX, {10, 5, 14, 25}, kBlue, true, 0, false), 0, Options()));
    EXPECT_TRUE(SamePixels(want, Drawn(*thin, 0)));
}

TEST(ElementPixels, LinksOnlyWhileNoExportRuns) {
    CElementList list;
    ElementRecord* link = list.Create(0, 3, ELEMENT_URLLINK);
    *link->Body<ElementRect>() = {2, 2, 12, 8};
    ASSERT_EQ(0, list.SetText(link, "http://example.org/"));
    QImage view = Surface(16, 16);
    ASSERT_TRUE(DrawElements(view, list, 1, Options(false)));
    EXPECT_EQ(ElementColour(kBlue), view.pixel(2, 2));
    EXPECT_EQ(ElementColour(kBlue), view.pixel(11, 7));
    EXPECT_EQ(kBack, view.pixel(5, 5)); // hollow
    QImage exported = Surface(16, 16);
    ASSERT_TRUE(DrawElements(exported, list, 1, Options(true)));
    EXPECT_TRUE(SamePixels(exported, Surface(16, 16)));
}

TEST(ElementPixels, SelectionDecidesWhoDrawsAnElement) {
    CElementList list;
    ElementRecord* a = Shape(list, ELEMENT_BOX, {0, 0, 4, 4}, kRed, true, kRed, true);
    ElementRecord* b = Shape(list, ELEMENT_BOX, {8, 8, 12, 12}, kRed, true, kRed, true);
    ASSERT_EQ(0, list.Select(b));
    QImage work = Surface(16, 16);
    ASSERT_TRUE(DrawElements(work, list, 0, Options()));
    EXPECT_EQ(ElementColour(kRed), work.pixel(1, 1));
    EXPECT_EQ(kBack, work.pixel(9, 9));
    ASSERT_TRUE(DrawSelected(work, list, 0, Options()));
    EXPECT_EQ(ElementColour(kRed), work.pixel(9, 9));
    // Handles: white 8 x 8 squares with a black border around each handle.
    QImage handles = Surface(40, 40);
    *b->Body<ShapeBody>() = ShapeBody{{10, 10, 30, 30}, 1, 0, 0, 1, 1, {0, 0}, kRed, kRed};
    ASSERT_TRUE(DrawHandles(handles, list));
    EXPECT_EQ(qRgb(0, 0, 0), handles.pixel(6, 6));
    EXPECT_EQ(qRgb(0, 0, 0), handles.pixel(13, 13));
    EXPECT_EQ(kBack, handles.pixel(14, 14));
    EXPECT_EQ(qRgb(255, 255, 255), handles.pixel(10, 10));
    // An export draws every element shown, selected or not, from its copy of the list.
    std::vector<ElementRecord> snapshot;
    for (int i = 0; i < list.Count(); ++i)
        snapshot.push_back(*list.At(i));
    QImage all = Surface(40, 40);
    ASSERT_TRUE(DrawAllElements(all, snapshot, 0, Options(true)));
    EXPECT_EQ(ElementColour(kRed), all.pixel(1, 1));
    EXPECT_EQ(ElementColour(kRed), all.pixel(20, 20));
    (void)a;
}

TEST(ElementPixels, TransparentImagesKeyOutTeal) {
    CElementList list;
    ElementRecord* e = list.Create(0, 0, ELEMENT_IMAGE);
    // 2 x 2, 24 bits, bottom row first: (teal, red) at the bottom, (0x848200, green) on top.
    ImageInfoHeader info{};
    info.biSize = 40;
    info.biWidth = 2;
    info.biHeight = 2;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const uint8_t bits[16] = {128, 128, 0, 0, 0, 255, 0, 0, 132, 130, 0, 0, 255, 0, 0, 0};
    ASSERT_EQ(0, list.SetImage(e, info, bits, sizeof bits));
    *e->Body<ElementRect>() = {0, 0, 4, 4}; // doubled, nearest neighbour
    e->Body<ImageBody>()->transparentFlag = 1;
    QImage img = Surface(4, 4);
    ASSERT_TRUE(DrawElement(img, *e, 0, Options()));
    EXPECT_EQ(qRgb(0, 130, 132), img.pixel(0, 0));
    EXPECT_EQ(qRgb(0, 255, 0), img.pixel(3, 1));
    EXPECT_EQ(kBack, img.pixel(1, 2)); // teal keyed out
    EXPECT_EQ(qRgb(255, 0, 0), img.pixel(2, 3));
    // On a 16-bit screen both teals key out: their 5-6-5 values are the same.
    ElementDrawOptions sixteen = Options();
    sixteen.sixteenBitScreen = true;
    img = Surface(4, 4);
    ASSERT_TRUE(DrawElement(img, *e, 0, sixteen));
    EXPECT_EQ(kBack, img.pixel(0, 0));
    EXPECT_EQ(kBack, img.pixel(0, 3));
    // Without the flag every pixel shows.
    e->Body<ImageBody>()->transparentFlag = 0;
    img = Surface(4, 4);
    ASSERT_TRUE(DrawElement(img, *e, 0, Options()));
    EXPECT_EQ(kTeal, img.pixel(0, 3));
}

TEST(ElementPixels, HostileElementsDrawSafely) {
    CElementList list;
    QImage img = Surface(64, 48);
    // An image whose header claims 10^9 bytes of bits it does not have.
    ElementRecord* image = list.Create(0, 0, ELEMENT_IMAGE);
    ImageInfoHeader info{};
    info.biSize = 40;
    info.biWidth = 31623;
    info.biHeight = 31623;
    info.biBitCount = 24;
    info.biSizeImage = 1000000000;
    const uint8_t bits[64] = {};
    ASSERT_EQ(0, list.SetImage(image, info, bits, sizeof bits));
    *image->Body<ElementRect>() = {0, 0, 64, 48};
    EXPECT_TRUE(DrawElement(img, *image, 0, Options()));
    EXPECT_TRUE(SamePixels(img, Surface(64, 48)));
    // Pen widths of 2^31 - 1 and coordinates at both ends of the 32-bit range.
    Line(list, INT_MIN, INT_MIN, INT_MAX, INT_MAX, kRed, INT_MAX, 1);
    Line(list, INT_MIN, 10, INT_MAX, 10, kRed, 1, 3);
    Shape(list, ELEMENT_BOX, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, kRed, true, kGreen, true, INT_MAX);
    Shape(list, ELEMENT_CIRCLE, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, kRed, true, kGreen, true, 5, 2);
    Text(list, ELEMENT_SUBSCRIPT1, 0, 0, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, "scroll", false, true);
    ElementRecord* balloon = list.Create(0, 0, ELEMENT_BOX2);
    Box2Body* b = balloon->Body<Box2Body>();
    b->textRect = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    b->penWidth = INT_MIN;
    b->borderFlag = b->fillFlag = 1;
    BuildBox2Outline(b->textRect, {INT_MAX, INT_MAX}, b->outline);
    // A text element on INT_MIN ... INT_MAX frames: n overflows 32 bits.
    ElementRecord* wide = Text(list, ELEMENT_SUBSCRIPT2, 0, INT_MAX, {0, 0, 60, 40}, "typewriter");
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_TRUE(DrawElement(img, *list.At(i), 0, Options())) << i;
    EXPECT_FALSE(DrawElement(img, *wide, 1000, Options())); // outside the frames
    // A body or tail whose size does not match its kind is refused.
    ElementRecord broken = *list.At(0);
    broken.body.resize(10);
    EXPECT_FALSE(DrawElement(img, broken, 0, Options()));
    ElementRecord badTail = *wide;
    badTail.tail.resize(4);
    EXPECT_FALSE(DrawElement(img, badTail, 0, Options()));
}
