#include "render/GdiCanvas.h"

#include "elements/ElementGeometry.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zov {

namespace {

using i128 = __int128;

// On/off runs of the 1-pixel dashed styles, starting with "on".
struct DashPattern {
    const int* runs;
    int count;
    int length;
};

const int kDash[] = {18, 6};
const int kDot[] = {3, 3};
const int kDashDot[] = {9, 6, 3, 6};
const int kDashDotDot[] = {9, 3, 3, 3, 3, 3};

std::optional<DashPattern> PatternOf(int32_t style) {
    switch (style) {
    case kPenDash:
        return DashPattern{kDash, 2, 24};
    case kPenDot:
        return DashPattern{kDot, 2, 6};
    case kPenDashDot:
        return DashPattern{kDashDot, 4, 24};
    case kPenDashDotDot:
        return DashPattern{kDashDotDot, 6, 24};
    default:
        return std::nullopt;
    }
}

bool PatternOn(const DashPattern& p, int64_t position) {
    int64_t at = position % p.length;
    for (int i = 0; i < p.count; ++i) {
        if (at < p.runs[i])
            return i % 2 == 0;
        at -= p.runs[i];
    }
    return false;
}

// Rounds i * num / den (all >= 0, den > 0) to the nearest, a tie going down.
int64_t RoundTieDown(int64_t i, int64_t num, int64_t den) {
    return static_cast<int64_t>((2 * i128{i} * num + den - 1) / (2 * i128{den}));
}

// Whether the point c lies within sqrt(r2) of the segment a-b (all doubled coordinates).
// Exact while the coordinates fit in 2^40 (every product below 2^124); hostile ends beyond
// that are measured in long double, which only blurs a line no frame can show whole.
bool Covered(i128 ax, i128 ay, i128 bx, i128 by, i128 cx, i128 cy, i128 r2) {
    const i128 limit = i128{1} << 40;
    const auto big = [limit](i128 v) { return v > limit || v < -limit; };
    if (big(ax) || big(ay) || big(bx) || big(by)) {
        using ld = long double;
        const ld dx = ld(bx - ax), dy = ld(by - ay), px = ld(cx - ax), py = ld(cy - ay);
        const ld len2 = dx * dx + dy * dy, t = px * dx + py * dy;
        if (len2 == 0 || t <= 0)
            return px * px + py * py <= ld(r2);
        if (t >= len2) {
            const ld qx = ld(cx - bx), qy = ld(cy - by);
            return qx * qx + qy * qy <= ld(r2);
        }
        const ld cross = dx * py - dy * px;
        return cross * cross <= ld(r2) * len2;
    }
    const i128 dx = bx - ax, dy = by - ay, px = cx - ax, py = cy - ay;
    const i128 len2 = dx * dx + dy * dy, t = px * dx + py * dy;
    if (len2 == 0 || t <= 0)
        return px * px + py * py <= r2;
    if (t >= len2) {
        const i128 qx = cx - bx, qy = cy - by;
        return qx * qx + qy * qy <= r2;
    }
    const i128 cross = dx * py - dy * px; // below 2^82: squared below 2^124
    return cross * cross <= r2 * len2;
}

} // namespace

int32_t ClampPenWidth(int32_t width) {
    return std::clamp<int32_t>(width, 1, kMaxPenWidth);
}

struct GdiCanvas::PenPath {
    GdiPen pen;
    std::optional<DashPattern> pattern;
    int64_t position = 0; // pixels drawn along the path so far (dash phase)
};

GdiCanvas::GdiCanvas(QImage& image) : m_image(image) {
    ResetClip();
}

void GdiCanvas::ResetClip() {
    m_cl = 0;
    m_ct = 0;
    m_cr = m_image.width();
    m_cb = m_image.height();
}

void GdiCanvas::ClipTo(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    m_cl = std::max(m_cl, left);
    m_ct = std::max(m_ct, top);
    m_cr = std::min(m_cr, right);
    m_cb = std::min(m_cb, bottom);
}

void GdiCanvas::Plot(int64_t x, int64_t y, QRgb colour) {
    if (x < m_cl || x >= m_cr || y < m_ct || y >= m_cb)
        return;
    reinterpret_cast<QRgb*>(m_image.scanLine(static_cast<int>(y)))[x] = colour;
}

void GdiCanvas::FillRect(int64_t left, int64_t top, int64_t right, int64_t bottom, QRgb colour) {
    left = std::max(left, m_cl);
    top = std::max(top, m_ct);
    right = std::min(right, m_cr);
    bottom = std::min(bottom, m_cb);
    for (int64_t y = top; y < bottom; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(m_image.scanLine(static_cast<int>(y)));
        std::fill(row + left, row + std::max(left, right), colour);
    }
}

void GdiCanvas::ThinSegment(int64_t x1, int64_t y1, int64_t x2, int64_t y2, PenPath& path) {
    const int64_t adx = x2 > x1 ? x2 - x1 : x1 - x2, ady = y2 > y1 ? y2 - y1 : y1 - y2;
    const int64_t sx = x2 >= x1 ? 1 : -1, sy = y2 >= y1 ? 1 : -1;
    const bool xMajor = adx >= ady;
    const int64_t steps = xMajor ? adx : ady; // the end point is left out
    // Only the steps whose major coordinate lies inside the clip are visited, so a hostile
    // line costs no more than the surface is wide.
    const int64_t start = xMajor ? x1 : y1, dir = xMajor ? sx : sy;
    const int64_t lo = xMajor ? m_cl : m_ct, hi = xMajor ? m_cr : m_cb;
    int64_t first = 0, last = steps - 1;
    if (dir > 0) {
        first = std::max(first, lo - start);
        last = std::min(last, hi - 1 - start);
    } else {
        first = std::max(first, start - (hi - 1));
        last = std::min(last, start - lo);
    }
    for (int64_t i = first; i <= last; ++i) {
        if (path.pattern && !PatternOn(*path.pattern, path.position + i))
            continue; // gaps are transparent
        if (xMajor)
            Plot(x1 + i * sx, y1 + sy * RoundTieDown(i, ady, adx), path.pen.colour);
        else
            Plot(x1 + sx * RoundTieDown(i, adx, ady), y1 + i * sy, path.pen.colour);
    }
    path.position += steps;
}

void GdiCanvas::WideSegment(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int32_t width, QRgb colour) {
    // In doubled coordinates: an odd width is centred on the pixel centres of the path, an
    // even one on their top-left corners (the spare pixel goes left and up). A pixel is
    // covered when its centre lies within width / 2 of the segment.
    const int64_t o = width % 2;
    const i128 ax = 2 * x1 + o, ay = 2 * y1 + o, bx = 2 * x2 + o, by = 2 * y2 + o;
    const i128 r2 = i128{width} * width;
    const int64_t left = std::max(m_cl, std::min(x1, x2) - width),
                  right = std::min(m_cr, std::max(x1, x2) + width + 1);
    const int64_t top = std::max(m_ct, std::min(y1, y2) - width),
                  bottom = std::min(m_cb, std::max(y1, y2) + width + 1);
    for (int64_t y = top; y < bottom; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(m_image.scanLine(static_cast<int>(y)));
        const i128 cy = 2 * y + 1;
        for (int64_t x = left; x < right; ++x) {
            const i128 cx = 2 * x + 1;
            if (!Covered(ax, ay, bx, by, cx, cy, r2))
                continue;
            row[x] = colour;
        }
    }
}

void GdiCanvas::Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const GdiPen& pen) {
    if (pen.Null())
        return;
    const int32_t width = ClampPenWidth(pen.width);
    if (width > 1) {
        WideSegment(x1, y1, x2, y2, width, pen.colour);
        return;
    }
    PenPath path{pen, PatternOf(pen.style), 0};
    ThinSegment(x1, y1, x2, y2, path);
}

void GdiCanvas::Polyline(const ElementPoint* points, int n, const GdiPen& pen) {
    if (!points || n < 2 || pen.Null())
        return;
    const int32_t width = ClampPenWidth(pen.width);
    if (width > 1) {
        for (int i = 1; i < n; ++i)
            WideSegment(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, width, pen.colour);
        return;
    }
    PenPath path{pen, PatternOf(pen.style), 0};
    bool drew = false;
    for (int i = 1; i < n; ++i) {
        if (points[i].x != points[i - 1].x || points[i].y != points[i - 1].y)
            drew = true;
        ThinSegment(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, path);
    }
    if (!drew) // every segment empty: the single point still shows
        Plot(points[0].x, points[0].y, pen.colour);
}

void GdiCanvas::FillPolygon(const ElementPoint* points, int n, QRgb brush) {
    if (!points || n < 3)
        return;
    int64_t l = points[0].x, r = points[0].x, t = points[0].y, b = points[0].y;
    for (int i = 1; i < n; ++i) {
        l = std::min<int64_t>(l, points[i].x), r = std::max<int64_t>(r, points[i].x);
        t = std::min<int64_t>(t, points[i].y), b = std::max<int64_t>(b, points[i].y);
    }
    l = std::max(l, m_cl), t = std::max(t, m_ct), r = std::min(r, m_cr), b = std::min(b, m_cb);
    for (int64_t y = t; y < b; ++y)
        for (int64_t x = l; x < r; ++x)
            if (PolygonContains(points, n, x, y))
                Plot(x, y, brush);
}

void GdiCanvas::Rectangle(const ElementRect& raw, const GdiPen& pen, std::optional<QRgb> brush) {
    const ElementRect n = NormaliseRect(raw);
    const int64_t l = n.left, t = n.top, r = n.right, b = n.bottom;
    if (r <= l || b <= t)
        return;
    if (pen.Null()) {
        if (brush)
            FillRect(l, t, r - 1, b - 1, *brush);
        return;
    }
    if (brush)
        FillRect(l + 1, t + 1, r - 1, b - 1, *brush);
    // The outline runs clockwise from the top-left pixel, the dash pattern with it.
    const int32_t width = ClampPenWidth(pen.width);
    const int64_t xs[5] = {l, r - 1, r - 1, l, l}, ys[5] = {t, t, b - 1, b - 1, t};
    if (width > 1) {
        for (int i = 1; i < 5; ++i) {
            // Edges far outside the surface cannot reach it with a pen of at most 64.
            const int64_t pad = kMaxPenWidth + 2;
            const int64_t ax = std::clamp(xs[i - 1], m_cl - pad, m_cr + pad);
            const int64_t bx = std::clamp(xs[i], m_cl - pad, m_cr + pad);
            const int64_t ay = std::clamp(ys[i - 1], m_ct - pad, m_cb + pad);
            const int64_t by = std::clamp(ys[i], m_ct - pad, m_cb + pad);
            WideSegment(ax, ay, bx, by, width, pen.colour);
        }
        return;
    }
    if (r - l == 1 && b - t == 1) {
        Plot(l, t, pen.colour);
        return;
    }
    PenPath path{pen, PatternOf(pen.style), 0};
    for (int i = 1; i < 5; ++i)
        ThinSegment(xs[i - 1], ys[i - 1], xs[i], ys[i], path);
}

void GdiCanvas::Ellipse(const ElementRect& raw, const GdiPen& pen, std::optional<QRgb> brush) {
    const ElementRect n = NormaliseRect(raw);
    const int64_t l = n.left, t = n.top, r = n.right, b = n.bottom;
    if (r <= l || b <= t)
        return;
    if (pen.Null()) {
        if (!brush)
            return;
        // One pixel less on the right and at the bottom, as a rectangle without a border.
        const ElementRect inner{n.left, n.top, static_cast<int32_t>(r - 1), static_cast<int32_t>(b - 1)};
        for (int64_t y = std::max(t, m_ct); y < std::min(b, m_cb); ++y)
            for (int64_t x = std::max(l, m_cl); x < std::min(r, m_cr); ++x)
                if (EllipseContains(inner, x, y))
                    Plot(x, y, *brush);
        return;
    }
    const int32_t width = ClampPenWidth(pen.width);
    if (width == 1) {
        const std::optional<DashPattern> pattern = PatternOf(pen.style);
        std::vector<std::pair<double, std::pair<int64_t, int64_t>>> outline;
        for (int64_t y = std::max(t, m_ct - 1); y < std::min(b, m_cb + 1); ++y)
            for (int64_t x = std::max(l, m_cl - 1); x < std::min(r, m_cr + 1); ++x) {
                if (!EllipseContains(n, x, y))
                    continue;
                const bool edge = !EllipseContains(n, x - 1, y) || !EllipseContains(n, x + 1, y) ||
                                  !EllipseContains(n, x, y - 1) || !EllipseContains(n, x, y + 1);
                if (!edge) {
                    if (brush)
                        Plot(x, y, *brush);
                } else if (!pattern) {
                    Plot(x, y, pen.colour);
                } else {
                    // The dash runs round the ellipse clockwise (on screen) from the east.
                    double a = std::atan2(static_cast<double>(2 * y + 1 - t - b),
                                          static_cast<double>(2 * x + 1 - l - r));
                    if (a < 0)
                        a += 2 * M_PI;
                    outline.push_back({a, {x, y}});
                }
            }
        if (pattern) {
            std::sort(outline.begin(), outline.end());
            for (size_t i = 0; i < outline.size(); ++i)
                if (PatternOn(*pattern, static_cast<int64_t>(i)))
                    Plot(outline[i].second.first, outline[i].second.second, pen.colour);
        }
        return;
    }
    // A wide pen: the band between two ellipses, centred on the 1-pixel outline (an even
    // width's spare pixel towards smaller coordinates), over the filled inside.
    if (brush)
        for (int64_t y = std::max(t, m_ct); y < std::min(b, m_cb); ++y)
            for (int64_t x = std::max(l, m_cl); x < std::min(r, m_cr); ++x)
                if (EllipseContains(n, x, y))
                    Plot(x, y, *brush);
    const int64_t grow = width % 2 ? (width - 1) / 2 : width / 2;
    const int64_t growEnd = width % 2 ? (width - 1) / 2 : width / 2 - 1;
    const auto clamp32 = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    const ElementRect outer{clamp32(l - grow), clamp32(t - grow), clamp32(r + growEnd), clamp32(b + growEnd)};
    const ElementRect inner{clamp32(l - grow + width), clamp32(t - grow + width),
                            clamp32(r + growEnd - width), clamp32(b + growEnd - width)};
    const bool innerEmpty = inner.right <= inner.left || inner.bottom <= inner.top;
    for (int64_t y = std::max<int64_t>(outer.top, m_ct); y < std::min<int64_t>(outer.bottom, m_cb); ++y)
        for (int64_t x = std::max<int64_t>(outer.left, m_cl); x < std::min<int64_t>(outer.right, m_cr); ++x)
            if (EllipseContains(outer, x, y) && (innerEmpty || !EllipseContains(inner, x, y)))
                Plot(x, y, pen.colour);
}

} // namespace zov
