// Element drawing on QImage surfaces (Format_RGB32), with the pixels of the platform whose
// drawing rules the project files were made with: rectangles and ellipses cover left ...
// right - 1 and top ... bottom - 1, a line leaves out its end point, a border that is off
// fills one pixel less. Everything here draws with antialiasing off; colours in elements are
// 0x00BBGGRR.
//
// Every call takes the frame being drawn and what the caller knows of the moment (an export
// running, a 16-bit screen) as arguments: there is no global drawing state, so an export on a
// worker and the view on the window thread draw side by side.
#pragma once

#include <QImage>
#include <QRgb>
#include <cstdint>
#include <limits>
#include <vector>

namespace zov {

class CElementList;
class ElementRecord;
struct HandleSet;

constexpr int kMaxElementsPerFrame = 1024;
// Key colour of transparent images (RGB(0, 128, 128)) and its value on a 16-bit screen.
constexpr uint32_t kImageKeyColour = 0x808000;
constexpr uint32_t kImageKeyColour16Bit = 0x848200;

struct ElementDrawOptions {
    bool exporting = false;        // an export is running: link areas are not drawn
    bool sixteenBitScreen = false; // keying compares 5-6-5 values (display only, never exports)
    // Frames of the project: a frame outside 0 ... frameCount - 1 draws nothing (failure).
    int32_t frameCount = std::numeric_limits<int32_t>::max();
};

// An element colour (0x00BBGGRR) as an opaque QRgb.
QRgb ElementColour(uint32_t colour);

// Draws one element as it looks on frame f. False for a kind without drawing (7), a body or
// tail whose size does not match its kind, or f outside the frames; nothing drawn then.
bool DrawElement(QImage& surface, const ElementRecord& element, int32_t f, const ElementDrawOptions& options);
// The unselected elements shown on f, in list order (the first 1,024). Stops with false at
// the first element that cannot be drawn.
bool DrawElements(QImage& surface, const CElementList& list, int32_t f, const ElementDrawOptions& options);
// The selected elements shown on f, in selection order.
bool DrawSelected(QImage& surface, const CElementList& list, int32_t f, const ElementDrawOptions& options);
// The handles of every selected element (selection order): the rectangle (x - 4, y - 4,
// x + 4, y + 4) by the rectangle rule (8 x 8 pixels), white with a 1-pixel black border.
// False at a kind-7 element.
bool DrawHandles(QImage& surface, const CElementList& list);
// Draws one handle set's squares.
void DrawHandleSet(QImage& surface, const HandleSet& set);
// An export's drawing: every element of `elements` shown on f (the first 1,024 of them in
// list order), selected or not.
bool DrawAllElements(QImage& surface, const std::vector<ElementRecord>& elements, int32_t f,
                     const ElementDrawOptions& options);

// Draws elements over a project picture (24 bits, B G R, rows bottom-up padded to 4 bytes)
// and writes the result back into the same bits. From `list`: the unselected elements (the
// view and the strip); from `snapshot`: every element shown (exports).
bool MergeElements(uint8_t* bits, int32_t width, int32_t height, const CElementList& list, int32_t f,
                   const ElementDrawOptions& options);
bool MergeElements(uint8_t* bits, int32_t width, int32_t height, const std::vector<ElementRecord>& snapshot,
                   int32_t f, const ElementDrawOptions& options);

} // namespace zov
