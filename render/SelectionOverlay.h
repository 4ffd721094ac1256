// The selection overlay of the frame view: the element editor draws the selected elements of
// the current frame and their handles on the display surface through this hook (the elements
// themselves reach the frames through the document's element painter). Until one is
// installed, the view shows no overlay.
#pragma once

#include <functional>

class QImage;

namespace zov {

// Draws the overlay of `frame` onto the display surface (no painter is open on it); returns
// false when drawing failed.
using SelectionOverlayPainter = std::function<bool(QImage& surface, int frame)>;

// Window thread only.
void SetSelectionOverlayPainter(SelectionOverlayPainter painter);
// True when nothing is installed or the painter succeeded.
bool PaintSelectionOverlay(QImage& surface, int frame);

} // namespace zov
