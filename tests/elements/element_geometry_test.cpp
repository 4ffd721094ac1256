// Hit tests, handles and reshaping of elements, in frame pixels.
#include "elements/ElementGeometry.h"
#include "elements/ElementList.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace zov;

namespace {

ElementRecord* Line(CElementList& list, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    ElementRecord* e = list.Create(0, 0, ELEMENT_LINE);
    LineBody* l = e->Body<LineBody>();
    l->x1 = x1, l->y1 = y1, l->x2 = x2, l->y2 = y2;
    return e;
}

bool SameOutline(const ElementPoint* got, std::initializer_list<ElementPoint> want) {
    int i = 0;
    for (const ElementPoint& p : want)
        if (got[i].x != p.x || got[i++].y != p.y)
            return false;
    return true;
}

} // namespace

TEST(ElementGeometry, LineHitsWithinThreePixelsInsideTheGrownBox) {
    CElementList list;
    ElementRecord* e = Line(list, 0, 0, 10, 0);
    EXPECT_TRUE(list.HitTest(e, 5, 2, 0, false));
    EXPECT_TRUE(list.HitTest(e, 5, -3, 0, false));
    EXPECT_FALSE(list.HitTest(e, 5, 3, 0, false)); // the grown box's bottom edge is out
    EXPECT_TRUE(list.HitTest(e, -3, 0, 0, false));
    EXPECT_FALSE(list.HitTest(e, 13, 0, 0, false));
    // A diagonal: distance^2 = cross^2 / len^2 in integer division, hit while <= 9.
    ElementRecord* d = Line(list, 0, 0, 30, 30);     // len2 = 1800
    EXPECT_TRUE(list.HitTest(d, 12, 16, 0, false));  // cross 120: 14400 / 1800 = 8
    EXPECT_FALSE(list.HitTest(d, 12, 17, 0, false)); // cross 150: 22500 / 1800 = 12
    ElementRecord* dot = Line(list, 4, 4, 4, 4);
    EXPECT_TRUE(list.HitTest(dot, 6, 6, 0, false)); // 8 <= 9
    EXPECT_FALSE(list.HitTest(dot, 7, 5, 0, false));
    // Hostile ends a full 32-bit range apart neither overflow nor hit far away.
    ElementRecord* far = Line(list, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    EXPECT_TRUE(list.HitTest(far, 0, 0, 0, false));
    EXPECT_FALSE(list.HitTest(far, 0, 100, 0, false));
}

TEST(ElementGeometry, EllipseAndPolygonTestThePixelCentre) {
    // The 10 x 6 ellipse: its widest row spans the whole box, its corners are out.
    const ElementRect r{20, 10, 10, 16}; // stored unnormalised
    EXPECT_TRUE(EllipseContains(r, 10, 13));
    EXPECT_TRUE(EllipseContains(r, 19, 12));
    EXPECT_FALSE(EllipseContains(r, 20, 13)); // right edge excluded
    EXPECT_FALSE(EllipseContains(r, 10, 10));
    EXPECT_FALSE(EllipseContains(r, 19, 15));
    EXPECT_TRUE(EllipseContains(r, 14, 10));
    EXPECT_FALSE(EllipseContains({0, 0, 0, 5}, 0, 2)); // no width, no pixels
    EXPECT_TRUE(EllipseContains({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 0, 0));

    const ElementPoint square[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_TRUE(PolygonContains(square, 4, 0, 0));
    EXPECT_TRUE(PolygonContains(square, 4, 9, 9));
    EXPECT_FALSE(PolygonContains(square, 4, 10, 5));
    EXPECT_FALSE(PolygonContains(square, 4, -1, 5));
    // Alternate rule: a pentagram's centre is outside.
    const ElementPoint star[5] = {{50, 0}, {80, 100}, {0, 35}, {100, 35}, {20, 100}};
    EXPECT_FALSE(PolygonContains(star, 5, 50, 50));
    EXPECT_TRUE(PolygonContains(star, 5, 50, 10));
}

TEST(ElementGeometry, BalloonSectors) {
    const ElementRect r{0, 0, 100, 60};      // centre (50, 30)
    EXPECT_EQ(7, Box2Sector(r, {50, 200}));  // straight below the centre
    EXPECT_EQ(2, Box2Sector(r, {50, -200})); // straight above: right, not below
    EXPECT_EQ(8, Box2Sector(r, {150, 90}));  // exactly diagonal goes to a side
    EXPECT_EQ(4, Box2Sector(r, {-50, -30}));
    EXPECT_EQ(6, Box2Sector(r, {40, 90}));
    EXPECT_EQ(3, Box2Sector(r, {40, -90}));
    EXPECT_EQ(1, Box2Sector(r, {300, 10}));
    EXPECT_EQ(5, Box2Sector(r, {-300, 40}));
    EXPECT_EQ(8, Box2Sector(r, {300, 30})); // level with the centre counts as below
}

TEST(ElementGeometry, BalloonOutlineInsertsThePointerIntoItsEdge) {
    ElementRect rect{0, 0, 60, 120};
    ElementPoint tip{100, 10};
    ElementPoint out[8];
    // dx6 10, dy6 20, centre (30, 60): sector 1.
    ASSERT_TRUE(ReshapeBox2(rect, tip, out, 0, 0, -1, true));
    EXPECT_TRUE(
        SameOutline(out, {{60, 120}, {60, 40}, {100, 10}, {60, 20}, {60, 0}, {0, 0}, {0, 120}, {60, 120}}));
    tip = {30, 200}; // sector 7: C (40, 120), A (50, 120) at the end
    ASSERT_TRUE(ReshapeBox2(rect, tip, out, 0, 0, -1, true));
    EXPECT_TRUE(
        SameOutline(out, {{60, 120}, {60, 0}, {0, 0}, {0, 120}, {40, 120}, {30, 200}, {50, 120}, {60, 120}}));
    // Handle 8 moves only the tip; 0 moves left and top and leaves it.
    ASSERT_TRUE(ReshapeBox2(rect, tip, out, 5, -300, 8, false));
    EXPECT_EQ(35, tip.x);
    EXPECT_EQ(-100, tip.y);
    EXPECT_EQ(2, Box2Sector(rect, tip));
    ASSERT_TRUE(ReshapeBox2(rect, tip, out, 70, 0, 0, false));
    EXPECT_EQ(70, rect.left);
    EXPECT_EQ(35, tip.x);
    ASSERT_TRUE(ReshapeBox2(rect, tip, out, 0, 0, -1, true)); // normalising with no movement
    EXPECT_EQ(60, rect.left);
    EXPECT_EQ(70, rect.right);
    EXPECT_EQ(out[0].x, out[7].x);
    EXPECT_EQ(out[0].y, out[7].y);
    EXPECT_FALSE(ReshapeBox2(rect, tip, out, 1, 1, 9, false));
    // Hostile corners do not overflow the products of the side test.
    ElementRect huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    ElementPoint farTip{INT_MAX, INT_MIN};
    ASSERT_TRUE(ReshapeBox2(huge, farTip, out, 0, 0, -1, true));
    EXPECT_EQ(INT_MAX, out[0].x);
}

TEST(ElementGeometry, ResizeRectAndMoveLineByHandle) {
    ElementRect r{10, 10, 20, 20};
    EXPECT_TRUE(ResizeRect(r, -30, 5, 7, false));
    EXPECT_EQ(-10, r.right);
    EXPECT_EQ(25, r.bottom);
    EXPECT_TRUE(ResizeRect(r, 0, 0, 7, true));
    EXPECT_EQ(-10, r.left);
    EXPECT_EQ(10, r.right);
    EXPECT_TRUE(ResizeRect(r, 3, 4, -1, false));
    EXPECT_EQ(-7, r.left);
    EXPECT_EQ(14, r.top);
    EXPECT_TRUE(ResizeRect(r, 1, 1, 1, false)); // top only
    EXPECT_EQ(-7, r.left);
    EXPECT_EQ(15, r.top);
    const ElementRect before = r;
    EXPECT_FALSE(ResizeRect(r, 1, 1, 8, false));
    EXPECT_EQ(0, std::memcmp(&before, &r, sizeof r));
    r = {INT_MAX - 1, 0, INT_MAX, 0};
    EXPECT_TRUE(ResizeRect(r, 10, 0, -1, false)); // clamped, not wrapped
    EXPECT_EQ(INT_MAX, r.left);

    ElementPoint a{0, 0}, b{10, 10};
    EXPECT_TRUE(MoveLine(a, b, 2, 3, 0));
    EXPECT_EQ(2, a.x);
    EXPECT_EQ(10, b.x);
    EXPECT_TRUE(MoveLine(a, b, 1, 1, 1));
    EXPECT_EQ(3, a.x);
    EXPECT_EQ(11, b.x);
    EXPECT_TRUE(MoveLine(a, b, -1, 0, 2));
    EXPECT_EQ(10, b.x);
    EXPECT_FALSE(MoveLine(a, b, 1, 1, 3));
}

TEST(ElementGeometry, HandlesAndPicking) {
    CElementList list;
    ElementRecord* box = list.Create(0, 0, ELEMENT_BOX);
    *box->Body<ElementRect>() = {10, 20, 31, 41};
    HandleSet set;
    ASSERT_TRUE(BuildHandles(*box, set, kHandleNone));
    ASSERT_EQ(8, set.count);
    EXPECT_EQ(20, set.handles[1].x); // (10 + 31) / 2
    EXPECT_EQ(30, set.handles[3].y);
    EXPECT_EQ(CURSOR_SIZENWSE, set.handles[7].cursor);
    EXPECT_EQ(CURSOR_ARROW, CurrentCursor(set));
    // Reach is 2 pixels on each axis.
    EXPECT_EQ(CURSOR_SIZENESW, HandleAt(set, 33, 18));
    EXPECT_EQ(CURSOR_NONE, HandleAt(set, 34, 20));
    EXPECT_TRUE(PickHandle(set, 29, 43));
    EXPECT_EQ(7, set.current);
    EXPECT_FALSE(PickHandle(set, 25, 30));
    EXPECT_EQ(kHandleWhole, set.current);
    EXPECT_EQ(CURSOR_SIZEALL, CurrentCursor(set));
    const ElementRect hr = HandleRect(set, 0);
    EXPECT_EQ(6, hr.left);
    EXPECT_EQ(24, hr.bottom);

    ElementRecord* balloon = list.Create(0, 0, ELEMENT_BOX2);
    balloon->Body<Box2Body>()->tip = {70, 5};
    ASSERT_TRUE(BuildHandles(*balloon, set, 8));
    EXPECT_EQ(9, set.count);
    EXPECT_EQ(70, set.handles[8].x);
    ElementRecord* line = Line(list, 0, 0, 9, 5);
    ASSERT_TRUE(BuildHandles(*line, set, 2));
    EXPECT_EQ(3, set.count);
    EXPECT_EQ(4, set.handles[1].x);
    EXPECT_EQ(CURSOR_SIZEALL, CurrentCursor(set));
}

TEST(ElementGeometry, UrlAtFindsTheFirstLinkUnderThePoint) {
    CElementList list;
    ElementRecord* box = list.Create(0, 5, ELEMENT_BOX);
    *box->Body<ElementRect>() = {0, 0, 50, 50};
    ElementRecord* a = list.Create(2, 3, ELEMENT_URLLINK);
    *a->Body<ElementRect>() = {0, 0, 20, 20};
    ASSERT_EQ(0, list.SetText(a, "http://a.example/"));
    ElementRecord* b = list.Create(0, 5, ELEMENT_URLLINK);
    *b->Body<ElementRect>() = {10, 10, 30, 30};
    ASSERT_EQ(0, list.SetText(b, "http://b.example/"));
    EXPECT_EQ("http://a.example/", UrlAt(list, 2, 15, 15));
    EXPECT_EQ("http://b.example/", UrlAt(list, 4, 15, 15));
    EXPECT_EQ("", UrlAt(list, 2, 40, 40));
    EXPECT_EQ("", UrlAt(list, 2, 20, 5)); // right edge excluded
}
