#include "render/ElementPainter.h"

#include <mutex>

namespace zov {

namespace {
std::mutex g_lock;
ElementPainter g_painter;
} // namespace

void SetElementPainter(ElementPainter painter) {
    std::lock_guard<std::mutex> g(g_lock);
    g_painter = std::move(painter);
}

bool PaintElements(QPainter& painter, int frame, ElementLayer layer) {
    ElementPainter p;
    {
        std::lock_guard<std::mutex> g(g_lock);
        p = g_painter;
    }
    return !p || p(painter, frame, layer);
}

} // namespace zov
