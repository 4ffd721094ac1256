// The frame view: shows the display surface 1:1 from the scroll position, or stretched over
// the view with fit on; while playing, the picture the playback worker composed. Frames are
// shown 1:1 in device pixels on high-density screens.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <mutex>

namespace zov {

class FrameView : public QWidget {
    Q_OBJECT
  public:
    explicit FrameView(QWidget* parent = nullptr);

    // What to paint: a picture with its guard (null mutex for the window's own surfaces),
    // or nothing (the empty-view colour).
    void SetSource(const QImage* image, std::mutex* guard);
    void SetScroll(QPoint scroll);
    QPoint Scroll() const { return m_scroll; }
    void SetStretch(bool on);
    bool Stretch() const { return m_stretch; }
    // The view's size in device pixels (what 1:1 means).
    QSize DeviceSize() const;
    // A view point as frame pixels (fit: scaled; else shifted by the scroll position).
    QPoint ToFramePixel(QPoint viewPoint, QSize frameSize) const;

  signals:
    void Pressed(QPoint viewPoint, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos);
    void Moved(QPoint viewPoint);
    void Released(QPoint viewPoint);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    const QImage* m_image = nullptr;
    std::mutex* m_guard = nullptr;
    QPoint m_scroll;
    bool m_stretch = false;
};

} // namespace zov
