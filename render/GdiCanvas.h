// The drawing calls elements are made of, with the pixels of the platform the project files
// come from, on a QImage (Format_RGB32):
//  - a rectangle covers columns left ... right - 1 and rows top ... bottom - 1, its 1-pixel
//    outline on those outer columns and rows; with the border off (null pen) the fill covers
//    left ... right - 2 and top ... bottom - 2;
//  - a 1-pixel line steps along its major axis (Bresenham) and leaves out its end point; a
//    tie on the minor axis stays on the start's side;
//  - an ellipse fills exactly the pixels EllipseContains (the hit test) finds, its 1-pixel
//    outline being those of them with a 4-neighbour outside;
//  - a pen wider than 1 is solid whatever its style, centred on the 1-pixel outline with
//    round caps and joins; an even width puts its spare pixel on the side of smaller
//    coordinates (left, top);
//  - 1-pixel dashed styles run 18/6 (dash), 3/3 (dot), 9/6/3/6 (dash-dot), 9/3/3/3/3/3
//    (dash-dot-dot) along the path; the gaps are left transparent.
// Everything is clipped to the image and, when set, to a clip rectangle. Coordinates are
// 64-bit, so hostile values are only clipped, never overflowed.
#pragma once

#include "elements/ElementTypes.h"

#include <QImage>
#include <QRgb>
#include <cstdint>
#include <optional>

namespace zov {

constexpr int32_t kPenSolid = 0, kPenDash = 1, kPenDot = 2, kPenDashDot = 3, kPenDashDotDot = 4, kPenNull = 5;
constexpr int32_t kMaxPenWidth = 64;

struct GdiPen {
    int32_t style = kPenSolid; // 0..5; other values draw as solid
    int32_t width = 1;         // clamped to 1 ... 64
    QRgb colour = 0xFF000000u;
    bool Null() const { return style == kPenNull; }
};

class GdiCanvas {
  public:
    explicit GdiCanvas(QImage& image);

    // Intersects the clip with [left, right) x [top, bottom); Reset drops it.
    void ClipTo(int64_t left, int64_t top, int64_t right, int64_t bottom);
    void ResetClip();

    void Rectangle(const ElementRect& r, const GdiPen& pen, std::optional<QRgb> brush);
    void Ellipse(const ElementRect& r, const GdiPen& pen, std::optional<QRgb> brush);
    void Line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const GdiPen& pen);
    // Segments from point to point, the dash pattern running on across them.
    void Polyline(const ElementPoint* points, int n, const GdiPen& pen);
    // Fills the polygon's pixels by the alternate rule (PolygonContains).
    void FillPolygon(const ElementPoint* points, int n, QRgb brush);
    // [left, right) x [top, bottom), clipped.
    void FillRect(int64_t left, int64_t top, int64_t right, int64_t bottom, QRgb colour);
    void Plot(int64_t x, int64_t y, QRgb colour);

    int64_t ClipLeft() const { return m_cl; }
    int64_t ClipTop() const { return m_ct; }
    int64_t ClipRight() const { return m_cr; }
    int64_t ClipBottom() const { return m_cb; }

  private:
    struct PenPath; // a pen with the position in its dash pattern
    void ThinSegment(int64_t x1, int64_t y1, int64_t x2, int64_t y2, PenPath& path);
    void WideSegment(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int32_t width, QRgb colour);

    QImage& m_image;
    int64_t m_cl = 0, m_ct = 0, m_cr = 0, m_cb = 0;
};

// Clamps a pen width from a file to 1 ... 64.
int32_t ClampPenWidth(int32_t width);

} // namespace zov
