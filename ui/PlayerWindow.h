// The player window: the project large, with scroll bars, a frame counter and the playback
// buttons. It owns no playback: its buttons run the editor's playback commands and the
// playback worker's picture is shown in its view.
#pragma once

#include <QDialog>
#include <QRect>

class QLineEdit;
class QPushButton;
class QScrollBar;

namespace zov {

class CMainWindow;
class FrameView;

struct PlayerLayout {
    QRect view, vScroll, hScroll, counter, play, fast, pause, stop, ret;
};
PlayerLayout ComputePlayerLayout(int width, int height);

// Scroll range end (the start is 0) for a capture extent shown in a view extent: capture -
// view + 1, not below 0.
int PlayerScrollMax(int captureExtent, int viewExtent);
// Page of a scroll bar over 0 ... max: max / 10 + 1 when it spans 11 or more positions, else 2.
int PlayerScrollPage(int max);
// "%d / %d, %6.2f": frame + 1, the count, frame x delay in seconds.
QString PlayerCounterText(int frame, int frameCount, int frameDelayMs);

class PlayerWindow : public QDialog {
    Q_OBJECT
  public:
    explicit PlayerWindow(CMainWindow& main);

    // Opens modally over the available screen area; returns when it closes.
    void Run();

    void OnPlayFrame(int frame);
    void OnPlayFinish(int frame);
    void UpdateButtons();
    void LayOut();

    FrameView* View() const { return m_view; }
    QScrollBar* HScroll() const { return m_hScroll; }
    QScrollBar* VScroll() const { return m_vScroll; }
    QLineEdit* Counter() const { return m_counter; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* FastButton() const { return m_fast; }
    QPushButton* PauseButton() const { return m_pause; }
    QPushButton* StopButton() const { return m_stop; }
    QPushButton* ReturnButton() const { return m_return; }

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void reject() override; // Escape and the close box close as "Return" does

  private:
    void RefreshSource();

    CMainWindow& m_main;
    int m_frameCount;
    int m_frameDelay;
    bool m_laidOut = false;
    FrameView* m_view;
    QScrollBar* m_vScroll;
    QScrollBar* m_hScroll;
    QLineEdit* m_counter;
    QPushButton* m_play;
    QPushButton* m_fast;
    QPushButton* m_pause;
    QPushButton* m_stop;
    QPushButton* m_return;
};

} // namespace zov
