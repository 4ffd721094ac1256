// Puts the element drawing into the document: its element painter (the view's work surface,
// the strip's thumbnails, every export) and the view's selection overlay (selected elements,
// then their handles).
#pragma once

#include "core/Ani.h"

namespace zov {

// The painter the document calls: the unselected elements of the list for the view and the
// strip, every element of an export's snapshot for an export. With sixteenBitScreen the
// transparent images of the view key the way a 16-bit display does (exports never do).
ElementPainter MakeElementPainter(bool sixteenBitScreen);
// Installs that painter and the selection overlay. Window thread; the document outlives them.
void InstallElementDrawing(CAni& doc, bool sixteenBitScreen);

} // namespace zov
