#include "render/SelectionOverlay.h"

namespace zov {

namespace {
SelectionOverlayPainter g_overlay;
}

void SetSelectionOverlayPainter(SelectionOverlayPainter painter) {
    g_overlay = std::move(painter);
}

bool PaintSelectionOverlay(QImage& surface, int frame) {
    return !g_overlay || g_overlay(surface, frame);
}

} // namespace zov
