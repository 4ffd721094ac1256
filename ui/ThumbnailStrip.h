// The thumbnail strip: one 80 x 60 picture per frame every 87 pixels, a time line with ticks
// and times under them, and the outlines of the selection and of the cut/copy mark.
#pragma once

#include "ui/FrameSelection.h"

#include <QImage>
#include <QWidget>
#include <functional>
#include <map>

namespace zov {

// Colours of the strip, as RGB.
constexpr QRgb kStripBackground = 0xFF101040u; // (16, 16, 64)
constexpr QRgb kStripTimeColour = 0xFFFFFF00u; // yellow
constexpr QRgb kStripAnchorColour = 0xFFFF0000u;
constexpr QRgb kStripSelectedColour = 0xFF00FF00u;
constexpr QRgb kStripMarkColour = 0xFFFFFFAAu; // (255, 255, 170)

// Everything one picture of the strip depends on.
struct StripModel {
    bool projectOpen = false;
    int32_t frameCount = 0;
    int32_t frameDelayMs = 0;
    EditorSelection sel;
    QString fontFamily;
    // The thumbnail of a frame (80 x 60); a null image leaves its slot empty.
    std::function<QImage(int32_t frame)> thumbnail;
};

// Draws the strip of `size` into a new image.
QImage RenderStrip(QSize size, const StripModel& model);
// The time text under slot `frame`: "%4d.%02d" of frame x delay.
QString StripTimeText(int32_t frame, int32_t frameDelayMs);

class ThumbnailStrip : public QWidget {
    Q_OBJECT
  public:
    explicit ThumbnailStrip(QWidget* parent = nullptr);

    void SetModel(StripModel model);
    StripModel& Model() { return m_model; }
    // Forget cached thumbnails (after an edit, an undo, a new project).
    void InvalidateThumbnails() { m_cache.clear(); }
    int32_t Slots() const { return VisibleSlots(width()); }

  signals:
    // A left press on the strip, with the frame under it and the modifiers.
    void FramePressed(int32_t frame, Qt::KeyboardModifiers modifiers);
    void ContextMenuAt(QPoint globalPos);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    StripModel m_model;
    std::map<int32_t, QImage> m_cache;
};

} // namespace zov
