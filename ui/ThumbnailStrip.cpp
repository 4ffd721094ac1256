#include "ui/ThumbnailStrip.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>

namespace zov {

QString StripTimeText(int32_t frame, int32_t frameDelayMs) {
    const int64_t ms = static_cast<int64_t>(frame) * frameDelayMs;
    return QString::asprintf("%4d.%02d", static_cast<int>(ms / 1000), static_cast<int>(ms % 1000 / 10));
}

namespace {

// A 2-pixel outline just outside the thumbnail of slot i.
void Outline(QPainter& p, int slot, QRgb colour) {
    const QRect thumb(7 + kThumbSlot * slot, 2, kThumbWidth, kThumbHeight);
    const QRect outer = thumb.adjusted(-2, -2, 2, 2);
    p.fillRect(QRect(outer.left(), outer.top(), outer.width(), 2), QColor(colour));
    p.fillRect(QRect(outer.left(), outer.bottom() - 1, outer.width(), 2), QColor(colour));
    p.fillRect(QRect(outer.left(), outer.top(), 2, outer.height()), QColor(colour));
    p.fillRect(QRect(outer.right() - 1, outer.top(), 2, outer.height()), QColor(colour));
}

} // namespace

QImage RenderStrip(QSize size, const StripModel& m) {
    QImage img(size, QImage::Format_RGB32);
    if (!m.projectOpen) {
        img.fill(Qt::black);
        return img;
    }
    img.fill(kStripBackground);
    QPainter p(&img);
    const int slotCount = VisibleSlots(size.width());
    const int32_t first = m.sel.firstVisible;
    // Every visible slot is drawn, however wide the window.
    for (int i = 0; i < slotCount; ++i) {
        const int32_t f = first + i;
        if (f >= m.frameCount)
            break;
        QImage thumb = m.thumbnail ? m.thumbnail(f) : QImage();
        if (!thumb.isNull())
            p.drawImage(QRect(7 + kThumbSlot * i, 2, kThumbWidth, kThumbHeight), thumb);
    }
    const int bottom = size.height();
    const int lineY = bottom - 3;
    p.fillRect(QRect(0, lineY, size.width(), 1), QColor(kStripTimeColour));
    QFont font(m.fontFamily);
    font.setPixelSize(14);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(QColor(kStripTimeColour));
    const int tickSlots = std::max(slotCount, 12);
    for (int i = 0; i < tickSlots; ++i) {
        p.fillRect(QRect(3 + kThumbSlot * i, lineY - 9, 1, 9), QColor(kStripTimeColour));
        p.fillRect(QRect(46 + kThumbSlot * i, lineY - 5, 1, 5), QColor(kStripTimeColour));
        p.drawText(QRect(22 + kThumbSlot * i, bottom - 21, kThumbSlot - 15, 18), Qt::AlignLeft | Qt::AlignTop,
                   StripTimeText(first + i, m.frameDelayMs));
    }
    // Outlines: the mark first, then the selection, the anchor on top.
    for (int i = 0; i < slotCount; ++i) {
        const int32_t f = first + i;
        if (f > m.frameCount)
            break;
        if (m.sel.markKind != MarkKind::None && m.sel.mark.Contains(f))
            Outline(p, i, kStripMarkColour);
        if (f != m.sel.selection.anchor && m.sel.selection.Contains(f))
            Outline(p, i, kStripSelectedColour);
        if (f == m.sel.selection.anchor && (m.frameCount > 0))
            Outline(p, i, kStripAnchorColour);
    }
    return img;
}

ThumbnailStrip::ThumbnailStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ThumbnailStrip::SetModel(StripModel model) {
    m_model = std::move(model);
    update();
}

void ThumbnailStrip::paintEvent(QPaintEvent*) {
    StripModel m = m_model;
    auto source = m_model.thumbnail;
    m.thumbnail = [this, source](int32_t f) {
        auto it = m_cache.find(f);
        if (it != m_cache.end())
            return it->second;
        QImage t = source ? source(f) : QImage();
        if (m_cache.size() > 64)
            m_cache.clear();
        m_cache[f] = t;
        return t;
    };
    QPainter p(this);
    p.drawImage(0, 0, RenderStrip(size(), m));
}

void ThumbnailStrip::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        emit ContextMenuAt(e->globalPosition().toPoint());
        return;
    }
    if (e->button() != Qt::LeftButton)
        return;
    const int32_t f = FrameAtStripX(static_cast<int>(e->position().x()), m_model.sel.firstVisible, Slots(),
                                    m_model.frameCount);
    emit FramePressed(f, e->modifiers());
}

} // namespace zov
