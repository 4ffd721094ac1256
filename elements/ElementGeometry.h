// Geometry of elements without any drawing: the point-in-shape tests that both the hit tests
// and the element drawing use (so a filled pixel is exactly a pixel that hits), the handles of
// the element being edited, and the reshaping of an element when a handle is dragged. All
// arithmetic on coordinates is 64-bit or wider, so hostile values from a file cannot overflow.
#pragma once

#include "elements/ElementTypes.h"

#include <cstdint>
#include <string>

namespace zov {

class CElementList;
class ElementRecord;

// The rectangle with left <= right and top <= bottom.
ElementRect NormaliseRect(const ElementRect& r);
// Inside the normalised rectangle: left and top inclusive, right and bottom exclusive.
bool RectContains(const ElementRect& r, int64_t x, int64_t y);
// Inside the ellipse inscribed in the normalised rectangle (right and bottom exclusive),
// tested exactly at the pixel's centre. The ellipse drawing fills exactly these pixels.
bool EllipseContains(const ElementRect& r, int64_t x, int64_t y);
// Inside the polygon of n points by the alternate (even-odd) rule, at the pixel's centre,
// exactly. The balloon's fill covers exactly these pixels.
bool PolygonContains(const ElementPoint* points, int n, int64_t x, int64_t y);
// Within 3 pixels of the line from (x1, y1) to (x2, y2), inside its box grown by 3 pixels
// (right and bottom edges excluded).
bool LineNear(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int64_t x, int64_t y);

// The URL of the first link element shown on frame f (list order, at most 1,024 elements)
// under (x, y); empty when none is there or it has no URL.
std::string UrlAt(const CElementList& list, int32_t f, int32_t x, int32_t y);

// Mouse cursors of handles, by the standard shapes.
enum HandleCursor : int32_t {
    CURSOR_NONE = -1, // HandleAt: no handle there
    CURSOR_ARROW = 0,
    CURSOR_SIZEALL,  // four-way move
    CURSOR_SIZENWSE, // north-west / south-east
    CURSOR_SIZENS,
    CURSOR_SIZENESW,
    CURSOR_SIZEWE,
};

constexpr int kHandleNone = -2;  // current handle: none (arrow)
constexpr int kHandleWhole = -1; // current handle: the whole element (move)
constexpr int kMaxHandles = 100;

struct Handle {
    int32_t x = 0, y = 0;
    HandleCursor cursor = CURSOR_ARROW;
};

// The handles of the element being edited, in frame pixels.
struct HandleSet {
    Handle handles[kMaxHandles];
    int count = 0;
    int current = kHandleNone;
};

// Builds the handles of an element: 8 around the rectangle (kinds 1, 2, 4, 5, 6, 8, 9, 10),
// those 8 of the text rectangle plus the tip (kind 3), start, middle and end (kind 0). A
// kind-7 element or a body of the wrong size gives no handles and false.
bool BuildHandles(const ElementRecord& record, HandleSet& set, int current);
void ClearHandles(HandleSet& set);
// The cursor of the first handle within reach of (x, y) (2 * |d| < 5 on each axis), or
// CURSOR_NONE.
HandleCursor HandleAt(const HandleSet& set, int32_t x, int32_t y);
// Makes the first handle within reach current (-1 when none); whether one was found.
bool PickHandle(HandleSet& set, int32_t x, int32_t y);
// Arrow for -2, four-way move for -1, else the current handle's cursor.
HandleCursor CurrentCursor(const HandleSet& set);
// The 8-by-8 square (x-4, y-4, x+4, y+4) around handle `index`; all zero outside the set.
ElementRect HandleRect(const HandleSet& set, int index);

// Moves the edges of a rectangle by (dx, dy) as handle `handle` says: -1 the whole rectangle,
// 0 left+top, 1 top, 2 right+top, 3 left, 4 right, 5 left+bottom, 6 bottom, 7 right+bottom.
// False (nothing changed) for other handles. Results are clamped to the 32-bit range.
bool ResizeRect(ElementRect& rect, int32_t dx, int32_t dy, int handle, bool normalise);
// Moves a line's ends: -1 and 1 both, 0 the start, 2 the end; false for other handles.
bool MoveLine(ElementPoint& start, ElementPoint& end, int32_t dx, int32_t dy, int handle);
// Reshapes a balloon box: -1 moves the rectangle and the tip, 0..7 move edges as ResizeRect,
// 8 moves only the tip; then rebuilds the 8-point outline from the rectangle and the tip.
// False (nothing changed) for other handles.
bool ReshapeBox2(ElementRect& textRect, ElementPoint& tip, ElementPoint outline[8], int32_t dx, int32_t dy,
                 int handle, bool normalise);
// The sector (1..8) through which the pointer of a balloon with this rectangle and tip
// leaves: 1 right edge upper half, 2 top right, 3 top left, 4 left upper, 5 left lower,
// 6 bottom left, 7 bottom right, 8 right lower.
int Box2Sector(const ElementRect& rect, const ElementPoint& tip);
// The outline of a balloon with this (already normalised or not) rectangle and tip.
void BuildBox2Outline(const ElementRect& rect, const ElementPoint& tip, ElementPoint outline[8]);

} // namespace zov
