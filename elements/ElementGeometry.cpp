#include "elements/ElementGeometry.h"

#include "elements/ElementList.h"

#include <algorithm>
#include <limits>

namespace zov {

namespace {

using i128 = __int128;

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Truncating halving of a sum, as the handles and the balloon's centre use it.
int64_t Mid(int64_t a, int64_t b) {
    return (a + b) / 2;
}

} // namespace

ElementRect NormaliseRect(const ElementRect& r) {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

bool RectContains(const ElementRect& raw, int64_t x, int64_t y) {
    const ElementRect r = NormaliseRect(raw);
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

bool EllipseContains(const ElementRect& raw, int64_t x, int64_t y) {
    if (!RectContains(raw, x, y))
        return false;
    const ElementRect r = NormaliseRect(raw);
    // With w, h the box's size and the centre at (l + r) / 2, the pixel centre x + 0.5 is
    // inside when (2x + 1 - l - r)^2 * h^2 + (2y + 1 - t - b)^2 * w^2 <= w^2 * h^2.
    const int64_t w = int64_t{r.right} - r.left, h = int64_t{r.bottom} - r.top;
    const int64_t u = 2 * x + 1 - r.left - r.right, v = 2 * y + 1 - r.top - r.bottom;
    if (w < (int64_t{1} << 30) && h < (int64_t{1} << 30)) {
        // |u| <= w and |v| <= h: every product stays below 2^120.
        const i128 w2 = i128{w} * w, h2 = i128{h} * h;
        return i128{u} * u * h2 + i128{v} * v * w2 <= w2 * h2;
    }
    const long double fu = static_cast<long double>(u) / static_cast<long double>(w);
    const long double fv = static_cast<long double>(v) / static_cast<long double>(h);
    return fu * fu + fv * fv <= 1.0L;
}

bool PolygonContains(const ElementPoint* pts, int n, int64_t x, int64_t y) {
    if (!pts || n < 3)
        return false;
    // Doubled coordinates put the pixel centre (x + 0.5, y + 0.5) on integers.
    const int64_t px = 2 * x + 1, py = 2 * y + 1;
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const int64_t xi = 2 * int64_t{pts[i].x}, yi = 2 * int64_t{pts[i].y};
        const int64_t xj = 2 * int64_t{pts[j].x}, yj = 2 * int64_t{pts[j].y};
        if ((yi > py) == (yj > py))
            continue;
        // px < xi + (xj - xi) * (py - yi) / (yj - yi), without the division.
        const i128 lhs = i128{px - xi} * (yj - yi);
        const i128 rhs = i128{xj - xi} * (py - yi);
        if (yj > yi ? lhs < rhs : lhs > rhs)
            inside = !inside;
    }
    return inside;
}

bool LineNear(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int64_t x, int64_t y) {
    const int64_t minX = std::min(x1, x2) - int64_t{3}, maxX = std::max(x1, x2) + int64_t{3};
    const int64_t minY = std::min(y1, y2) - int64_t{3}, maxY = std::max(y1, y2) + int64_t{3};
    if (x < minX || x >= maxX || y < minY || y >= maxY)
        return false;
    const i128 dx = int64_t{x2} - x1, dy = int64_t{y2} - y1;
    const i128 px = x - x1, py = y - y1;
    const i128 len2 = dx * dx + dy * dy;
    if (len2 == 0)
        return px * px + py * py <= 9;
    // cross^2 / len2 <= 9 in integer division is cross^2 < 10 * len2.
    i128 cross = dx * py - dy * px;
    if (cross < 0)
        cross = -cross;
    if (cross >= (i128{1} << 64))
        return false; // far beyond any 10 * len2 these coordinates give
    return cross * cross < 10 * len2;
}

std::string UrlAt(const CElementList& list, int32_t f, int32_t x, int32_t y) {
    ElementRecord* shown[1024];
    int n = list.ElementsInFrame(f, shown, 1024);
    if (n == -2)
        n = 1024;
    for (int i = 0; i < n; ++i) {
        if (shown[i]->kind != ELEMENT_URLLINK || !list.HitTest(shown[i], x, y, f, false))
            continue;
        return shown[i]->Text();
    }
    return {};
}

// ---- handles ------------------------------------------------------------------------------

namespace {

void RectHandles(const ElementRect& r, HandleSet& set) {
    const int32_t mx = static_cast<int32_t>(Mid(r.left, r.right));
    const int32_t my = static_cast<int32_t>(Mid(r.top, r.bottom));
    const Handle hs[8] = {{r.left, r.top, CURSOR_SIZENWSE},  {mx, r.top, CURSOR_SIZENS},
                          {r.right, r.top, CURSOR_SIZENESW}, {r.left, my, CURSOR_SIZEWE},
                          {r.right, my, CURSOR_SIZEWE},      {r.left, r.bottom, CURSOR_SIZENESW},
                          {mx, r.bottom, CURSOR_SIZENS},     {r.right, r.bottom, CURSOR_SIZENWSE}};
    for (const Handle& h : hs)
        set.handles[set.count++] = h;
}

bool Within(int32_t a, int32_t b) {
    int64_t d = int64_t{a} - b;
    if (d < 0)
        d = -d;
    return 2 * d < 5;
}

} // namespace

void ClearHandles(HandleSet& set) {
    set.count = 0;
    set.current = kHandleNone;
}

bool BuildHandles(const ElementRecord& record, HandleSet& set, int current) {
    ClearHandles(set);
    if (record.kind < 0 || record.kind >= kElementKindCount || record.kind == ELEMENT_RESERVED7 ||
        record.body.size() != ElementFixedBodySize(record.kind))
        return false;
    switch (record.kind) {
    case ELEMENT_LINE: {
        const LineBody& l = *record.Body<LineBody>();
        set.handles[0] = {l.x1, l.y1, CURSOR_SIZEALL};
        set.handles[1] = {static_cast<int32_t>(Mid(l.x1, l.x2)), static_cast<int32_t>(Mid(l.y1, l.y2)),
                          CURSOR_SIZEALL};
        set.handles[2] = {l.x2, l.y2, CURSOR_SIZEALL};
        set.count = 3;
        break;
    }
    case ELEMENT_BOX2: {
        const Box2Body& b = *record.Body<Box2Body>();
        RectHandles(b.textRect, set);
        set.handles[set.count++] = {b.tip.x, b.tip.y, CURSOR_SIZEALL};
        break;
    }
    default:
        // Every other kind starts with its rectangle.
        RectHandles(*record.Body<ElementRect>(), set);
        break;
    }
    set.current = current;
    return true;
}

HandleCursor HandleAt(const HandleSet& set, int32_t x, int32_t y) {
    for (int i = 0; i < set.count && i < kMaxHandles; ++i)
        if (Within(set.handles[i].x, x) && Within(set.handles[i].y, y))
            return set.handles[i].cursor;
    return CURSOR_NONE;
}

bool PickHandle(HandleSet& set, int32_t x, int32_t y) {
    for (int i = 0; i < set.count && i < kMaxHandles; ++i)
        if (Within(set.handles[i].x, x) && Within(set.handles[i].y, y)) {
            set.current = i;
            return true;
        }
    set.current = kHandleWhole;
    return false;
}

HandleCursor CurrentCursor(const HandleSet& set) {
    if (set.current == kHandleNone)
        return CURSOR_ARROW;
    if (set.current == kHandleWhole)
        return CURSOR_SIZEALL;
    if (set.current < 0 || set.current >= set.count || set.current >= kMaxHandles)
        return CURSOR_ARROW;
    return set.handles[set.current].cursor;
}

ElementRect HandleRect(const HandleSet& set, int index) {
    if (index < 0 || index >= set.count || index >= kMaxHandles)
        return {0, 0, 0, 0};
    const Handle& h = set.handles[index];
    return {Clamp32(int64_t{h.x} - 4), Clamp32(int64_t{h.y} - 4), Clamp32(int64_t{h.x} + 4),
            Clamp32(int64_t{h.y} + 4)};
}

// ---- reshaping ----------------------------------------------------------------------------

bool ResizeRect(ElementRect& rect, int32_t dx, int32_t dy, int handle, bool normalise) {
    const auto addX = [dx](int32_t& v) { v = Clamp32(int64_t{v} + dx); };
    const auto addY = [dy](int32_t& v) { v = Clamp32(int64_t{v} + dy); };
    switch (handle) {
    case -1:
        addX(rect.left), addX(rect.right), addY(rect.top), addY(rect.bottom);
        break;
    case 0:
        addX(rect.left), addY(rect.top);
        break;
    case 1:
        addY(rect.top);
        break;
    case 2:
        addX(rect.right), addY(rect.top);
        break;
    case 3:
        addX(rect.left);
        break;
    case 4:
        addX(rect.right);
        break;
    case 5:
        addX(rect.left), addY(rect.bottom);
        break;
    case 6:
        addY(rect.bottom);
        break;
    case 7:
        addX(rect.right), addY(rect.bottom);
        break;
    default:
        return false;
    }
    if (normalise)
        rect = NormaliseRect(rect);
    return true;
}

bool MoveLine(ElementPoint& start, ElementPoint& end, int32_t dx, int32_t dy, int handle) {
    const auto move = [dx, dy](ElementPoint& p) {
        p.x = Clamp32(int64_t{p.x} + dx);
        p.y = Clamp32(int64_t{p.y} + dy);
    };
    switch (handle) {
    case -1:
    case 1:
        move(start), move(end);
        return true;
    case 0:
        move(start);
        return true;
    case 2:
        move(end);
        return true;
    default:
        return false;
    }
}

int Box2Sector(const ElementRect& r, const ElementPoint& tip) {
    const int64_t l = r.left, t = r.top, rr = r.right, b = r.bottom;
    const int64_t cx = Mid(l, rr), cy = Mid(t, b);
    const int64_t W = rr - l, H = b - t;
    const int64_t X = tip.x, Y = tip.y;
    const bool below = Y >= cy;
    // The tip mirrored into the lower right quarter.
    const int64_t mx = X > cx ? X : 2 * cx - X;
    const int64_t my = Y > cy ? Y : 2 * cy - Y;
    const bool left = X < cx;
    if (i128{mx - cx} * H < i128{my - cy} * W) // through the top or bottom edge
        return left ? (below ? 6 : 3) : (below ? 7 : 2);
    return left ? (below ? 5 : 4) : (below ? 8 : 1); // left or right edge, ties included
}

void BuildBox2Outline(const ElementRect& r, const ElementPoint& tip, ElementPoint out[8]) {
    const int64_t l = r.left, t = r.top, rr = r.right, b = r.bottom;
    const int64_t dx6 = (rr - l) / 6, dy6 = (b - t) / 6;
    const int64_t cx = Mid(l, rr), cy = Mid(t, b);
    const auto P = [](int64_t x, int64_t y) { return ElementPoint{Clamp32(x), Clamp32(y)}; };
    ElementPoint a{}, c{};
    const int sector = Box2Sector(r, tip);
    switch (sector) {
    case 1:
        a = P(rr, t + dy6), c = P(rr, cy - dy6);
        break;
    case 2:
        a = P(cx + dx6, t), c = P(rr - dx6, t);
        break;
    case 3:
        a = P(l + dx6, t), c = P(cx - dx6, t);
        break;
    case 4:
        a = P(l, cy - dy6), c = P(l, t + dy6);
        break;
    case 5:
        a = P(l, b - dy6), c = P(l, cy + dy6);
        break;
    case 6:
        a = P(cx - dx6, b), c = P(l + dx6, b);
        break;
    case 7:
        a = P(rr - dx6, b), c = P(cx + dx6, b);
        break;
    default:
        a = P(rr, cy + dy6), c = P(rr, b - dy6);
        break;
    }
    const ElementPoint corners[4] = {P(rr, b), P(rr, t), P(l, t), P(l, b)};
    // The pointer goes into the edge after corner `edge`: right edge after (r, b), top after
    // (r, t), left after (l, t), bottom after (l, b).
    const int edge = (sector == 1 || sector == 8)   ? 0
                     : (sector == 2 || sector == 3) ? 1
                     : (sector == 4 || sector == 5) ? 2
                                                    : 3;
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        out[n++] = corners[i];
        if (i == edge) {
            out[n++] = c;
            out[n++] = tip;
            out[n++] = a;
        }
    }
    out[7] = corners[0];
}

bool ReshapeBox2(ElementRect& rect, ElementPoint& tip, ElementPoint outline[8], int32_t dx, int32_t dy,
                 int handle, bool normalise) {
    if (handle < -1 || handle > 8)
        return false;
    if (handle == -1 || handle == 8) {
        tip.x = Clamp32(int64_t{tip.x} + dx);
        tip.y = Clamp32(int64_t{tip.y} + dy);
    }
    if (handle != 8)
        (void)ResizeRect(rect, dx, dy, handle, false);
    if (normalise)
        rect = NormaliseRect(rect);
    BuildBox2Outline(rect, tip, outline);
    return true;
}

} // namespace zov
