// The area selection: a frozen full-screen picture of the screen the pointer is on, shown in
// an override-redirect window above every panel that holds the pointer and keyboard grabs.
// The user drags a rectangle (the rubber band); a drag of more than 2 x 2 pixels closes with
// that rectangle, a smaller one waits for a new drag, Escape cancels.
//
// Use: hide your windows first (and wait for them to be gone, platform/X11Windows.h
// WaitWindowsUnmapped), then CAreaSelectWindow::Select(); it returns the rectangle in screen
// device pixels, normalised (left <= right, top <= bottom: the smaller and the larger of the
// two corners' coordinates), or nothing on Escape or when the grabs could not be had.
#pragma once

#include "platform/ScreenSource.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <optional>

class QEventLoop;

namespace zov {

// The rectangle of a drag from `start` to `end`: left and top the smaller, right and bottom
// the larger coordinates.
ScreenRect NormalizedDrag(QPoint start, QPoint end);
// Whether a drag's rectangle is big enough to close the selection: more than 2 pixels each way.
bool DragIsBigEnough(const ScreenRect& rect);

class CAreaSelectWindow : public QWidget {
    Q_OBJECT
  public:
    // `snapshot` is the screen's picture in device pixels; `origin` its top-left corner on the
    // whole screen (device pixels).
    CAreaSelectWindow(const QImage& snapshot, QPoint origin);
    ~CAreaSelectWindow() override;

    // Runs the selection on the screen the pointer is on. `grabFailed` (optional) tells
    // whether it ended because another program held the pointer or keyboard.
    static std::optional<ScreenRect> Select(bool* grabFailed = nullptr);

    // Runs the selection on a picture of a screen this display cannot grab (a Wayland
    // desktop's shared screen): the window covers its screen with the picture scaled to fit and
    // takes no grabs, since the desktop gives a full-screen window the input. The rectangle is
    // in the picture's pixels.
    static std::optional<ScreenRect> SelectOnPicture(const QImage& picture);

    // Shows the window, grabs and waits until it closes.
    std::optional<ScreenRect> Exec();
    const QImage& Snapshot() const { return m_snapshot; }
    bool GrabFailed() const { return m_grabFailed; }

  signals:
    void finished();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QPoint DevicePoint(const QPointF& local) const;
    void TryGrab();
    void Finish(std::optional<ScreenRect> result);

    QImage m_snapshot;
    QPoint m_origin;
    bool m_fit = false;    // the picture scaled to the window, no grabs
    QPoint m_start, m_end; // device pixels in the snapshot
    bool m_dragging = false;
    bool m_beeped = false;
    QElapsedTimer m_grabClock; // since the window was shown
    bool m_grabFailed = false;
    std::optional<ScreenRect> m_result;
    QEventLoop* m_loop = nullptr;
};

} // namespace zov
