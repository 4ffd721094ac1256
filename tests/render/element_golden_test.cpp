// One committed picture per element kind, compared pixel for pixel. The pictures were made by
// running this test with ZOV_WRITE_GOLDEN=1 and then looked at; a change of the drawing shows
// up here as a picture that no longer matches.
#include "elements/ElementGeometry.h"
#include "elements/ElementList.h"
#include "render/ElementDraw.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

using namespace zov;

namespace {

constexpr int kW = 96, kH = 64;

// A background with structure, so that what an element leaves alone shows.
QImage Background() {
    QImage img(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            img.setPixel(x, y, ((x / 8 + y / 8) % 2) ? qRgb(200, 200, 200) : qRgb(160, 170, 180));
    return img;
}

LogFontA Font(int32_t height, const char* face) {
    LogFontA f{};
    f.lfHeight = height;
    f.lfWeight = 400;
    std::strncpy(f.lfFaceName, face, sizeof f.lfFaceName - 1);
    return f;
}

ElementRecord* ShapeOf(CElementList& l, int32_t kind, ElementRect r, int32_t width, int32_t style,
                       bool border, bool fill, uint32_t borderColour, uint32_t fillColour) {
    ElementRecord* e = l.Create(0, 9, kind);
    ShapeBody* s = e->Body<ShapeBody>();
    *s = ShapeBody{r, width, style, 0, border, fill, {0, 0}, borderColour, fillColour};
    return e;
}

ElementRecord* TextOf(CElementList& l, int32_t kind, ElementRect r, const char* text, const LogFontA& font,
                      bool border, bool fill, bool vertical = false) {
    ElementRecord* e = l.Create(0, 9, kind);
    TextBody* t = e->Body<TextBody>();
    t->rect = r;
    t->penWidth = 1;
    t->borderFlag = border;
    t->fillFlag = fill;
    t->scrollMode = vertical;
    t->font = font;
    t->textColour = 0x00FFFF; // yellow
    t->fillColour = 0x400000; // dark blue
    t->borderColour = 0x0000FF;
    EXPECT_EQ(0, l.SetText(e, text));
    return e;
}

void Check(const std::string& name, const std::function<void(CElementList&)>& build, int32_t frame = 0,
           bool exporting = false) {
    CElementList list;
    build(list);
    QImage img = Background();
    ElementDrawOptions options;
    options.exporting = exporting;
    options.frameCount = 10;
    ASSERT_TRUE(DrawElements(img, list, frame, options));
    const std::string path = std::string(ZOV_SOURCE_DIR) + "/tests/render/golden/" + name + ".png";
    if (std::getenv("ZOV_WRITE_GOLDEN")) {
        ASSERT_TRUE(img.save(QString::fromStdString(path)));
        return;
    }
    QImage want(QString::fromStdString(path));
    ASSERT_FALSE(want.isNull()) << path;
    want = want.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(want.size(), img.size());
    int differ = 0, fx = -1, fy = -1;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (want.pixel(x, y) != img.pixel(x, y) && differ++ == 0)
                fx = x, fy = y;
    EXPECT_EQ(0, differ) << name << ": first difference at (" << fx << ", " << fy << ")";
}

} // namespace

TEST(ElementGolden, Lines) {
    Check("line", [](CElementList& l) {
        ElementRecord* e[6] = {l.Create(0, 9, 0), l.Create(0, 9, 0), l.Create(0, 9, 0),
                               l.Create(0, 9, 0), l.Create(0, 9, 0), l.Create(0, 9, 0)};
        *e[0]->Body<LineBody>() = {4, 4, 90, 20, 1, 0, 0x0000FF};   // red, sloped
        *e[1]->Body<LineBody>() = {90, 28, 4, 24, 1, 1, 0xFF0000};  // blue dashes, right to left
        *e[2]->Body<LineBody>() = {4, 34, 90, 34, 1, 3, 0x000000};  // dash-dot
        *e[3]->Body<LineBody>() = {10, 44, 86, 58, 3, 2, 0x00AA00}; // width 3 dotted: solid
        *e[4]->Body<LineBody>() = {6, 60, 40, 40, 6, 0, 0x00FFFF};  // width 6
        *e[5]->Body<LineBody>() = {70, 40, 70, 62, 1, 4, 0xFF00FF}; // dash-dot-dot, vertical
    });
}

TEST(ElementGolden, Circles) {
    Check("circle", [](CElementList& l) {
        ShapeOf(l, ELEMENT_CIRCLE, {4, 4, 44, 34}, 1, 0, true, true, 0xFF0000, 0x00FFFF);
        ShapeOf(l, ELEMENT_CIRCLE, {90, 4, 52, 30}, 1, 1, true, false, 0x0000FF, 0);
        ShapeOf(l, ELEMENT_CIRCLE, {8, 40, 40, 60}, 1, 0, false, true, 0, 0x008000);
        ShapeOf(l, ELEMENT_CIRCLE, {50, 36, 90, 60}, 4, 0, true, true, 0x000080, 0xFFFFFF);
    });
}

TEST(ElementGolden, Boxes) {
    Check("box", [](CElementList& l) {
        ShapeOf(l, ELEMENT_BOX, {4, 4, 44, 30}, 1, 0, true, true, 0xFF0000, 0x00FFFF);
        ShapeOf(l, ELEMENT_BOX, {92, 30, 50, 4}, 1, 3, true, false, 0x0000FF, 0);
        ShapeOf(l, ELEMENT_BOX, {6, 38, 40, 60}, 1, 0, false, true, 0, 0x008000);
        ShapeOf(l, ELEMENT_BOX, {52, 38, 88, 58}, 5, 1, true, true, 0x000080, 0xFFFFFF);
    });
}

TEST(ElementGolden, Balloon) {
    Check("balloon", [](CElementList& l) {
        ElementRecord* e = l.Create(0, 9, ELEMENT_BOX2);
        Box2Body* b = e->Body<Box2Body>();
        b->textRect = {8, 6, 70, 36};
        b->tip = {84, 58};
        b->penWidth = 1;
        b->borderFlag = b->fillFlag = 1;
        b->borderColour = 0x000000;
        b->fillColour = 0xC0FFFF;
        b->textColour = 0x800000;
        b->font = Font(-12, "Arial");
        BuildBox2Outline(b->textRect, b->tip, b->outline);
        ASSERT_EQ(0, l.SetText(e, "Click here"));
    });
}

TEST(ElementGolden, Text) {
    Check("text", [](CElementList& l) {
        TextOf(l, ELEMENT_TEXT, {4, 4, 92, 28}, "Text 123", Font(-16, "Times New Roman"), true, true);
        TextOf(l, ELEMENT_TEXT, {4, 34, 92, 60}, "Mono, no box", Font(13, "Courier New"), false, false);
    });
}

TEST(ElementGolden, ScrollingSubtitle) {
    Check(
        "subtitle-scroll",
        [](CElementList& l) {
            TextOf(l, ELEMENT_SUBSCRIPT1, {4, 4, 92, 28}, "first line\r\nsecond line", Font(-13, "System"),
                   true, true, true);
            TextOf(l, ELEMENT_SUBSCRIPT1, {4, 36, 92, 60}, "a text that scrolls sideways", Font(-13, "Arial"),
                   true, false);
        },
        6);
}

TEST(ElementGolden, TypewriterSubtitle) {
    Check(
        "subtitle-type",
        [](CElementList& l) {
            TextOf(l, ELEMENT_SUBSCRIPT2, {4, 4, 92, 28}, "Typewriter", Font(-14, "Arial"), false, true);
            LogFontA cjk = Font(-14, "SimSun");
            cjk.lfCharSet = 134;
            TextOf(l, ELEMENT_SUBSCRIPT2, {4, 36, 92, 60},
                   "\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C", cjk, true, false);
        },
        4);
}

TEST(ElementGolden, LinkAndExportArea) {
    const auto build = [](CElementList& l) {
        ElementRecord* link = l.Create(0, 9, ELEMENT_URLLINK);
        *link->Body<ElementRect>() = {6, 6, 50, 30};
        ASSERT_EQ(0, l.SetText(link, "http://example.org/"));
        ElementRecord* area = l.Create(0, 9, ELEMENT_SAVEAREA);
        area->Body<SaveAreaBody>()->area = {24, 20, 90, 60};
    };
    Check("link-area", build);
    Check("link-area-exported", build, 0, true);
}

TEST(ElementGolden, Image) {
    Check("image", [](CElementList& l) {
        // A 6 x 4 picture: a teal frame around red, green and blue, drawn keyed and plain.
        ImageInfoHeader info{};
        info.biSize = 40;
        info.biWidth = 6;
        info.biHeight = 4;
        info.biPlanes = 1;
        info.biBitCount = 24;
        std::vector<uint8_t> bits(4 * 20, 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                uint8_t* p = bits.data() + y * 20 + x * 3;
                const bool edge = x == 0 || x == 5 || y == 0 || y == 3;
                const uint8_t bgr[4][3] = {{128, 128, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
                const int c = edge ? 0 : 1 + (x - 1) * 3 / 4;
                std::memcpy(p, bgr[c], 3);
            }
        for (int i = 0; i < 2; ++i) {
            ElementRecord* e = l.Create(0, 9, ELEMENT_IMAGE);
            ASSERT_EQ(0, l.SetImage(e, info, bits.data(), static_cast<uint32_t>(bits.size())));
            *e->Body<ElementRect>() = i == 0 ? ElementRect{4, 4, 46, 34} : ElementRect{90, 60, 50, 30};
            e->Body<ImageBody>()->transparentFlag = i == 0;
        }
    });
}
