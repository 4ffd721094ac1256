// The hook through which frames get their elements: the element subsystem installs one
// painter that draws, per kind, the elements of a frame onto a picture of the frame's size.
// Until one is installed, frames are drawn without elements.
#pragma once

#include <functional>

class QPainter;

namespace zov {

enum class ElementLayer {
    All,              // every element shown on the frame (playback, the frame surface)
    Unselected,       // the thumbnails: the frame without the selected elements
    SelectionOverlay, // the selected elements in selection order, then their handles
};

// Draws the elements of `frame` for `layer`; returns false when drawing failed.
using ElementPainter = std::function<bool(QPainter& painter, int frame, ElementLayer layer)>;

// Installed once at start by the element subsystem; called on the window thread and, under
// the application's frame mutex, on the playback thread.
void SetElementPainter(ElementPainter painter);
// True when nothing is installed or the painter succeeded.
bool PaintElements(QPainter& painter, int frame, ElementLayer layer);

} // namespace zov
