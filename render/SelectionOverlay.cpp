#include "render/SelectionOverlay.h"

namespace zov {

namespace {
SelectionOverlayPainter g_overlay;
}

void SetSelectionOverlayPainter(SelectionOverlayPainter painter) {
    g_overlay = std::move(painter);
}

bool PaintSelectionOverlay(QPainter& painter, int frame) {
    return !g_overlay || g_overlay(painter, frame);
}

} // namespace zov
