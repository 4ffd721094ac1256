// The goto dialog: a slider over the frames, and the chosen frame's time in minutes and
// seconds (display only); "Go" closes it with the chosen frame.
#pragma once

#include <QDialog>
#include <vector>

class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;

namespace zov {

class ZovApp;

// The slider's tick marks: the first, one at 10, then every 20, and the last.
std::vector<int> GotoTickPositions(int minimum, int maximum);

class CDialogGoto : public QDialog {
    Q_OBJECT
  public:
    CDialogGoto(QWidget* parent, const QString& title, const QString& goText, int frameCount,
                int frameDelayMs);

    // Before showing: a frame outside 0 .. count - 1 becomes 0.
    void SetFrame(int frame);
    int GetFrame() const { return m_frame; }

    QSlider* Slider() const { return m_slider; }
    QString MinutesText() const;
    QString SecondsText() const;
    QSpinBox* MinutesUpDown() const { return m_minutesUpDown; }
    QSpinBox* SecondsUpDown() const { return m_secondsUpDown; }
    QPushButton* GoButton() const { return m_go; }

    // Runs the dialog for the application's open project; true with *frame set on "Go".
    static bool Ask(QWidget* parent, ZovApp& app, int* frame);

  private:
    void OnSlider(int position);

    QSlider* m_slider;
    QLineEdit* m_minutes;
    QLineEdit* m_seconds;
    QSpinBox* m_minutesUpDown;
    QSpinBox* m_secondsUpDown;
    QPushButton* m_go;
    int m_count;
    int m_delay;
    int m_frame = 0;
};

} // namespace zov
