#include "ui/AreaSelectWindow.h"

#include "base/Log.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>

namespace zov {

ScreenRect NormalizedDrag(QPoint start, QPoint end) {
    return {std::min(start.x(), end.x()), std::min(start.y(), end.y()), std::max(start.x(), end.x()),
            std::max(start.y(), end.y())};
}

bool DragIsBigEnough(const ScreenRect& rect) {
    return rect.Width() > 2 && rect.Height() > 2;
}

CAreaSelectWindow::CAreaSelectWindow(const QImage& snapshot, QPoint origin)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowStaysOnTopHint),
      m_snapshot(snapshot.convertToFormat(QImage::Format_RGB32)), m_origin(origin) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
}

CAreaSelectWindow::~CAreaSelectWindow() = default;

QPoint CAreaSelectWindow::DevicePoint(const QPointF& local) const {
    const qreal ratio = devicePixelRatioF();
    const qreal sx = m_fit && width() > 0 ? qreal(m_snapshot.width()) / width() : ratio;
    const qreal sy = m_fit && height() > 0 ? qreal(m_snapshot.height()) / height() : ratio;
    const int x = static_cast<int>(std::floor(local.x() * sx));
    const int y = static_cast<int>(std::floor(local.y() * sy));
    return {std::clamp(x, 0, std::max(0, m_snapshot.width() - 1)),
            std::clamp(y, 0, std::max(0, m_snapshot.height() - 1))};
}

void CAreaSelectWindow::paintEvent(QPaintEvent*) {
    if (!m_beeped) {
        // A short sound when the frozen picture comes up, so the user knows the screen is
        // waiting for a drag.
        m_beeped = true;
        QApplication::beep();
    }
    QPainter p(this);
    if (m_fit) {
        // Picture pixels throughout, the picture filling the window.
        p.scale(qreal(width()) / std::max(1, m_snapshot.width()),
                qreal(height()) / std::max(1, m_snapshot.height()));
    } else {
        // Device pixels throughout, so the picture is the screen 1:1 at any scaling.
        const qreal ratio = devicePixelRatioF();
        p.scale(1.0 / ratio, 1.0 / ratio);
    }
    p.drawImage(0, 0, m_snapshot);
    if (m_dragging) {
        const ScreenRect r = NormalizedDrag(m_start, m_end);
        if (r.Width() > 0 && r.Height() > 0) {
            // The rubber band: a 1-pixel black outline on the pixels left .. right - 1 and
            // top .. bottom - 1, nothing filled.
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawRect(r.left, r.top, r.Width(), 1);
            p.drawRect(r.left, r.bottom - 1, r.Width(), 1);
            p.drawRect(r.left, r.top, 1, r.Height());
            p.drawRect(r.right - 1, r.top, 1, r.Height());
        }
    }
}

void CAreaSelectWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_start = m_end = DevicePoint(event->position());
    m_dragging = true;
    update();
}

void CAreaSelectWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    m_end = DevicePoint(event->position());
    update();
}

void CAreaSelectWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_end = DevicePoint(event->position());
    m_dragging = false;
    ScreenRect r = NormalizedDrag(m_start, m_end);
    update();
    if (!DragIsBigEnough(r))
        return; // too small: wait for another drag
    r.left += m_origin.x();
    r.right += m_origin.x();
    r.top += m_origin.y();
    r.bottom += m_origin.y();
    Finish(r);
}

void CAreaSelectWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        Finish(std::nullopt);
}

void CAreaSelectWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_fit) {
        activateWindow();
        setFocus();
        return;
    }
    m_grabClock.start();
    QTimer::singleShot(0, this, &CAreaSelectWindow::TryGrab);
}

void CAreaSelectWindow::TryGrab() {
    if (!isVisible() || !windowHandle())
        return;
    // The grabs fail until the window is viewable, and while another program holds one; try
    // for three seconds, which a loaded machine may need before the window is on the screen.
    const bool pointer = windowHandle()->setMouseGrabEnabled(true);
    const bool keyboard = windowHandle()->setKeyboardGrabEnabled(true);
    if (pointer && keyboard) {
        activateWindow();
        setFocus();
        return;
    }
    if (m_grabClock.elapsed() < 3000) {
        QTimer::singleShot(10, this, &CAreaSelectWindow::TryGrab);
        return;
    }
    Log("E: area selection could not grab the pointer or the keyboard", __FILE__, __LINE__);
    m_grabFailed = true;
    Finish(std::nullopt);
}

void CAreaSelectWindow::Finish(std::optional<ScreenRect> result) {
    m_result = result;
    if (windowHandle()) {
        windowHandle()->setMouseGrabEnabled(false);
        windowHandle()->setKeyboardGrabEnabled(false);
    }
    hide();
    emit finished();
    if (m_loop)
        m_loop->quit();
}

std::optional<ScreenRect> CAreaSelectWindow::Exec() {
    m_result.reset();
    m_grabFailed = false;
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(screen->geometry());
    if (m_fit)
        showFullScreen();
    else
        show();
    raise();
    QEventLoop loop;
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    return m_result;
}

std::optional<ScreenRect> CAreaSelectWindow::Select(bool* grabFailed) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    // The picture of that screen in device pixels, frozen now.
    const QPixmap shot = screen->grabWindow(0);
    const qreal ratio = screen->devicePixelRatio();
    const QRect logical = screen->geometry();
    const QPoint origin(static_cast<int>(std::lround(logical.x() * ratio)),
                        static_cast<int>(std::lround(logical.y() * ratio)));
    CAreaSelectWindow window(shot.toImage(), origin);
    window.setWindowTitle(QStringLiteral("zov-area-select"));
    std::optional<ScreenRect> result = window.Exec();
    if (grabFailed)
        *grabFailed = window.GrabFailed();
    return result;
}

std::optional<ScreenRect> CAreaSelectWindow::SelectOnPicture(const QImage& picture) {
    if (picture.isNull())
        return std::nullopt;
    CAreaSelectWindow window(picture, QPoint(0, 0));
    window.m_fit = true;
    window.setWindowTitle(QStringLiteral("zov-area-select"));
    return window.Exec();
}

} // namespace zov
