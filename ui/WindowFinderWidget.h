// The finder tool of the recording settings: an icon the user presses, drags over the screen
// and releases on a window. While dragging, the top-level window under the pointer (never this
// program's own windows) is marked with the highlight and announced; the release picks it.
//
// Use: put it in the dialog; SetIgnoredWindows() with the ids of any further windows to pass
// over (the dialog's own window and the windows it owns always are); connect windowEntered (show
// the title and icon), windowLeft (ask for a window again) and windowPicked / pickCancelled.
// SetEnabledForPick(false) while the project holds frames. The default constructor uses the
// X11 query and highlight of $DISPLAY; tests pass fakes.
#pragma once

#include "platform/WindowHighlight.h"
#include "platform/WindowQuery.h"

#include <QLabel>
#include <QPixmap>
#include <memory>
#include <optional>

namespace zov {

// The icon's picture (a finder crosshair, drawn, the same on every system).
QPixmap FinderIconPixmap(int size = 32);
// A window's icon as a pixmap; null when it has none.
QPixmap WindowIconPixmap(const WindowInfo& window);

class CWindowFinderWidget : public QLabel {
    Q_OBJECT
  public:
    explicit CWindowFinderWidget(QWidget* parent = nullptr);
    CWindowFinderWidget(std::unique_ptr<IWindowQuery> query, std::unique_ptr<IWindowHighlight> highlight,
                        QWidget* parent = nullptr);
    ~CWindowFinderWidget() override;

    void SetIgnoredWindows(const std::vector<uint64_t>& ids) { m_ignored = ids; }
    void SetEnabledForPick(bool enabled) { m_pickEnabled = enabled; }
    bool IsDragging() const { return m_dragging; }
    // The window under the pointer now (while dragging) or the one picked last.
    const std::optional<WindowInfo>& Current() const { return m_current; }
    IWindowQuery* Query() const { return m_query.get(); }

    // The drag by steps, as the mouse drives it (public for tests on the offscreen platform,
    // where there is no pointer): begin, a move to screen point (x, y) in device pixels, end.
    void BeginDrag();
    void DragTo(int x, int y);
    void EndDrag();

  signals:
    void windowEntered(const zov::WindowInfo& window);
    void windowLeft();
    void windowPicked(const zov::WindowInfo& window);
    void pickCancelled(); // released over no window

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    std::vector<uint64_t> OwnWindows() const;
    void ShowFinderIcon(bool shown);

    std::unique_ptr<IWindowQuery> m_query;
    std::unique_ptr<IWindowHighlight> m_highlight;
    std::vector<uint64_t> m_ignored;
    std::optional<WindowInfo> m_current;
    bool m_dragging = false;
    bool m_pickEnabled = true;
    bool m_ownHighlight = false; // the X11 highlight, opened anew for each drag
};

} // namespace zov

Q_DECLARE_METATYPE(zov::WindowInfo)
