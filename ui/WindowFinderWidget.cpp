#include "ui/WindowFinderWidget.h"

#include "platform/X11Windows.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace zov {

QPixmap FinderIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal s = size;
    // A frame with a crosshair: the tool one drags over a window.
    p.setPen(QPen(QColor(60, 60, 60), s / 16.0));
    p.setBrush(QColor(245, 245, 245));
    p.drawRoundedRect(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88), s * 0.12, s * 0.12);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(20, 20, 20), s / 14.0));
    p.drawEllipse(QPointF(s / 2, s / 2), s * 0.26, s * 0.26);
    p.drawLine(QPointF(s / 2, s * 0.16), QPointF(s / 2, s * 0.84));
    p.drawLine(QPointF(s * 0.16, s / 2), QPointF(s * 0.84, s / 2));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QPointF(s / 2, s / 2), s * 0.07, s * 0.07);
    return pixmap;
}

QPixmap WindowIconPixmap(const WindowInfo& window) {
    if (window.iconWidth <= 0 || window.iconHeight <= 0 ||
        window.iconArgb.size() < static_cast<size_t>(window.iconWidth) * window.iconHeight)
        return QPixmap();
    QImage image(window.iconWidth, window.iconHeight, QImage::Format_ARGB32);
    for (int y = 0; y < window.iconHeight; ++y)
        std::copy_n(window.iconArgb.data() + static_cast<size_t>(y) * window.iconWidth, window.iconWidth,
                    reinterpret_cast<uint32_t*>(image.scanLine(y)));
    return QPixmap::fromImage(image);
}

namespace {
bool SameWindow(const std::optional<WindowInfo>& a, const std::optional<WindowInfo>& b) {
    if (!a || !b)
        return !a && !b;
    return a->id == b->id && a->rect.left == b->rect.left && a->rect.top == b->rect.top &&
           a->rect.right == b->rect.right && a->rect.bottom == b->rect.bottom;
}
} // namespace

CWindowFinderWidget::CWindowFinderWidget(QWidget* parent) : QLabel(parent) {
    std::string error;
    m_query = OpenX11WindowQuery(std::string(), error);
    m_ownHighlight = true;
    ShowFinderIcon(true);
    setFixedSize(36, 36);
    setAlignment(Qt::AlignCenter);
}

CWindowFinderWidget::CWindowFinderWidget(std::unique_ptr<IWindowQuery> query,
                                         std::unique_ptr<IWindowHighlight> highlight, QWidget* parent)
    : QLabel(parent), m_query(std::move(query)), m_highlight(std::move(highlight)) {
    ShowFinderIcon(true);
    setFixedSize(36, 36);
    setAlignment(Qt::AlignCenter);
}

CWindowFinderWidget::~CWindowFinderWidget() {
    if (m_dragging && m_highlight)
        m_highlight->Clear();
}

void CWindowFinderWidget::ShowFinderIcon(bool shown) {
    if (shown)
        setPixmap(FinderIconPixmap(32));
    else
        setPixmap(QPixmap());
}

std::vector<uint64_t> CWindowFinderWidget::OwnWindows() const {
    std::vector<uint64_t> ids = m_ignored;
    // The dialog and the windows it owns (its child dialogs, pop-ups); other windows of this
    // program, such as the main window, may be picked.
    for (QWidget* top : QApplication::topLevelWidgets()) {
        bool owned = false;
        for (QWidget* w = top; w && !owned; w = w->parentWidget())
            owned = w == window();
        if (owned && top->internalWinId())
            ids.push_back(static_cast<uint64_t>(top->internalWinId()));
    }
    if (window() && window()->internalWinId())
        ids.push_back(static_cast<uint64_t>(window()->internalWinId()));
    if (m_highlight) {
        std::vector<uint64_t> own = m_highlight->OwnWindows();
        ids.insert(ids.end(), own.begin(), own.end());
    }
    return ids;
}

void CWindowFinderWidget::BeginDrag() {
    if (m_dragging || !m_pickEnabled)
        return;
    if (m_ownHighlight) {
        // Opened per drag: whether a compositor runs may have changed since the last one.
        std::string error;
        m_highlight = OpenX11WindowHighlight(std::string(), error);
    }
    m_dragging = true;
    m_current.reset();
    ShowFinderIcon(false);
    QApplication::setOverrideCursor(QCursor(FinderIconPixmap(32), 16, 16));
}

void CWindowFinderWidget::DragTo(int x, int y) {
    if (!m_dragging || !m_query)
        return;
    std::optional<WindowInfo> found = m_query->TopLevelAt(x, y, OwnWindows());
    if (SameWindow(found, m_current))
        return;
    if (m_highlight) {
        if (found)
            m_highlight->Toggle(found->rect);
        if (m_current)
            m_highlight->Toggle(m_current->rect);
        m_highlight->Flush();
    }
    m_current = found;
    if (found)
        emit windowEntered(*found);
    else
        emit windowLeft();
}

void CWindowFinderWidget::EndDrag() {
    if (!m_dragging)
        return;
    m_dragging = false;
    if (m_highlight) {
        m_highlight->Clear();
        m_highlight->Flush();
    }
    QApplication::restoreOverrideCursor();
    ShowFinderIcon(true);
    if (m_current)
        emit windowPicked(*m_current);
    else
        emit pickCancelled();
}

void CWindowFinderWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pickEnabled) {
        QLabel::mousePressEvent(event);
        return;
    }
    BeginDrag();
    grabMouse();
}

void CWindowFinderWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        QLabel::mouseMoveEvent(event);
        return;
    }
    // The server's pointer position is in device pixels whatever Qt's scaling is.
    int x = 0, y = 0;
    if (m_query && m_query->PointerAt(x, y))
        DragTo(x, y);
}

void CWindowFinderWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    int x = 0, y = 0;
    if (m_query && m_query->PointerAt(x, y))
        DragTo(x, y);
    releaseMouse();
    EndDrag();
}

} // namespace zov
