#include "ui/FrameView.h"

#include "render/FrameSurfaces.h"

#include <QMouseEvent>
#include <QPainter>

namespace zov {

FrameView::FrameView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void FrameView::SetSource(const QImage* image, std::mutex* guard) {
    m_image = image;
    m_guard = guard;
    update();
}

void FrameView::SetScroll(QPoint scroll) {
    m_scroll = scroll;
    update();
}

void FrameView::SetStretch(bool on) {
    m_stretch = on;
    update();
}

QSize FrameView::DeviceSize() const {
    const qreal dpr = devicePixelRatioF();
    return QSize(qRound(width() * dpr), qRound(height() * dpr));
}

QPoint FrameView::ToFramePixel(QPoint p, QSize frame) const {
    const QSize view = DeviceSize();
    const qreal dpr = devicePixelRatioF();
    const QPoint d(qRound(p.x() * dpr), qRound(p.y() * dpr));
    if (m_stretch && view.width() > 0 && view.height() > 0)
        return QPoint(frame.width() * d.x() / view.width(), frame.height() * d.y() / view.height());
    return d + m_scroll;
}

void FrameView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Paint in device pixels, so a frame pixel is a screen pixel.
    const qreal dpr = devicePixelRatioF();
    p.scale(1 / dpr, 1 / dpr);
    const QSize client = DeviceSize();
    p.fillRect(QRect(QPoint(0, 0), client), QColor(kEmptyViewColour));
    if (!m_image)
        return;
    std::unique_lock<std::mutex> lock;
    if (m_guard)
        lock = std::unique_lock<std::mutex>(*m_guard);
    PresentDisplay(p, *m_image, client, m_scroll, m_stretch);
}

void FrameView::mousePressEvent(QMouseEvent* e) {
    emit Pressed(e->position().toPoint(), e->button(), e->modifiers(), e->globalPosition().toPoint());
}

void FrameView::mouseMoveEvent(QMouseEvent* e) {
    emit Moved(e->position().toPoint());
}

void FrameView::mouseReleaseEvent(QMouseEvent* e) {
    emit Released(e->position().toPoint());
}

} // namespace zov
