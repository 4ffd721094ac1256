// Which element lies under a point, in frame pixels. Rectangles are stored as drawn, so each
// test normalises a copy first.
#include "elements/ElementList.h"

#include <algorithm>

namespace zov {

namespace {

ElementRect Normalised(const ElementRect& r) {
    return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
}

bool InRect(const ElementRect& raw, int32_t x, int32_t y) {
    ElementRect r = Normalised(raw);
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// Within 3 pixels of the segment, inside its box grown by 3 (right and bottom edges out).
bool NearLine(const LineBody& l, int32_t x, int32_t y) {
    const int64_t minX = std::min(l.x1, l.x2) - int64_t{3}, maxX = std::max(l.x1, l.x2) + int64_t{3};
    const int64_t minY = std::min(l.y1, l.y2) - int64_t{3}, maxY = std::max(l.y1, l.y2) + int64_t{3};
    if (x < minX || x >= maxX || y < minY || y >= maxY)
        return false;
    const __int128 dx = int64_t{l.x2} - l.x1, dy = int64_t{l.y2} - l.y1;
    const __int128 px = int64_t{x} - l.x1, py = int64_t{y} - l.y1;
    const __int128 len2 = dx * dx + dy * dy;
    if (len2 == 0)
        return px * px + py * py <= 9;
    // cross^2 / len2 <= 9 in integer division is cross^2 < 10 * len2.
    __int128 cross = dx * py - dy * px;
    if (cross < 0)
        cross = -cross;
    if (cross >= (__int128{1} << 64))
        return false; // far beyond any 10 * len2 these coordinates give
    return cross * cross < 10 * len2;
}

// Ellipse inscribed in the rectangle, tested at the pixel's centre.
bool InEllipse(const ElementRect& raw, int32_t x, int32_t y) {
    if (!InRect(raw, x, y))
        return false;
    ElementRect r = Normalised(raw);
    const long double a = (static_cast<long double>(r.right) - r.left) / 2;
    const long double b = (static_cast<long double>(r.bottom) - r.top) / 2;
    const long double cx = (static_cast<long double>(r.left) + r.right) / 2;
    const long double cy = (static_cast<long double>(r.top) + r.bottom) / 2;
    const long double u = (x + 0.5L - cx) / a, v = (y + 0.5L - cy) / b;
    return u * u + v * v <= 1.0L;
}

// Alternate (even-odd) rule over the polygon, at the pixel's centre.
bool InPolygon(const ElementPoint* pts, int n, int32_t x, int32_t y) {
    const long double px = x + 0.5L, py = y + 0.5L;
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const long double xi = pts[i].x, yi = pts[i].y, xj = pts[j].x, yj = pts[j].y;
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

} // namespace

bool CElementList::HitTest(const ElementRecord* record, int32_t x, int32_t y, int32_t f,
                           bool startOnly) const {
    if (!record || record->kind < 0 || record->kind >= kElementKindCount ||
        record->body.size() != ElementFixedBodySize(record->kind))
        return false;
    if (startOnly ? record->firstFrame != f : !record->ShownOn(f))
        return false;
    switch (record->kind) {
    case ELEMENT_LINE:
        return NearLine(*record->Body<LineBody>(), x, y);
    case ELEMENT_CIRCLE:
        return InEllipse(record->Body<ShapeBody>()->rect, x, y);
    case ELEMENT_BOX2:
        return InPolygon(record->Body<Box2Body>()->outline, 7, x, y);
    case ELEMENT_RESERVED7:
        return false;
    default:
        return InRect(*record->Body<ElementRect>(), x, y);
    }
}

} // namespace zov
