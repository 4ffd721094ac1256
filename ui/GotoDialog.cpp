#include "ui/GotoDialog.h"

#include "app/Application.h"
#include "base/StringIds.h"
#include "core/Ani.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace zov {

namespace {

// An up-down control whose arrows run the other way (its range is given high to low).
class ReversedSpinBox : public QSpinBox {
  public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override { QSpinBox::stepBy(-steps); }
};

// A slider whose ticks are those of GotoTickPositions, drawn under the groove.
class TickedSlider : public QSlider {
  public:
    using QSlider::QSlider;
    void paintEvent(QPaintEvent* e) override {
        QSlider::paintEvent(e);
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
        const int span = width() - handle.width();
        for (int v : GotoTickPositions(minimum(), maximum())) {
            const int x = QStyle::sliderPositionFromValue(minimum(), maximum(), v, span) + handle.width() / 2;
            p.drawLine(x, height() - 4, x, height() - 1);
        }
    }
};

} // namespace

std::vector<int> GotoTickPositions(int minimum, int maximum) {
    std::vector<int> ticks;
    for (int v = minimum; v <= maximum; v += 20)
        ticks.push_back(v);
    if (10 >= minimum && 10 <= maximum)
        ticks.push_back(10);
    if (maximum > minimum && (maximum - minimum) % 20 != 0)
        ticks.push_back(maximum);
    std::sort(ticks.begin(), ticks.end());
    return ticks;
}

CDialogGoto::CDialogGoto(QWidget* parent, const QString& title, const QString& goText, int frameCount,
                         int frameDelayMs)
    : QDialog(parent), m_count(frameCount), m_delay(frameDelayMs) {
    setWindowTitle(title);
    auto* grid = new QGridLayout(this);
    m_slider = new TickedSlider(Qt::Horizontal, this);
    m_slider->setMinimumWidth(300);
    m_minutes = new QLineEdit(this);
    m_seconds = new QLineEdit(this);
    m_minutesUpDown = new QSpinBox(this);
    m_secondsUpDown = new ReversedSpinBox(this);
    // The up-downs are set up as the dialog always had them; they move nothing.
    m_minutesUpDown->setRange(0, 1000);
    m_minutesUpDown->setValue(20);
    m_secondsUpDown->setRange(0, 100);
    m_secondsUpDown->setValue(20);
    m_go = new QPushButton(goText, this);
    m_go->setDefault(true);
    grid->addWidget(m_slider, 0, 0, 1, 6);
    grid->addWidget(m_minutes, 1, 0);
    grid->addWidget(m_minutesUpDown, 1, 1);
    grid->addWidget(new QLabel("m", this), 1, 2);
    grid->addWidget(m_seconds, 1, 3);
    grid->addWidget(m_secondsUpDown, 1, 4);
    grid->addWidget(new QLabel("s", this), 1, 5);
    grid->addWidget(m_go, 2, 5);
    m_slider->setRange(0, std::max(0, frameCount - 1));
    m_slider->setMinimumHeight(28);
    connect(m_slider, &QSlider::valueChanged, this, &CDialogGoto::OnSlider);
    connect(m_slider, &QSlider::sliderMoved, this, &CDialogGoto::OnSlider);
    connect(m_go, &QPushButton::clicked, this, &QDialog::accept);
    SetFrame(0);
}

void CDialogGoto::SetFrame(int frame) {
    if (frame < 0 || frame > m_count - 1)
        frame = 0;
    m_frame = frame;
    QSignalBlocker b(m_slider);
    m_slider->setValue(frame);
    OnSlider(frame);
}

void CDialogGoto::OnSlider(int position) {
    m_frame = position;
    const int64_t s = static_cast<int64_t>(m_delay) * position / 1000;
    const int64_t m = s / 60;
    m_minutes->setText(QString::asprintf("%d", static_cast<int>(m)));
    m_seconds->setText(QString::asprintf("%d", static_cast<int>(s - 60 * m)));
}

QString CDialogGoto::MinutesText() const {
    return m_minutes->text();
}

QString CDialogGoto::SecondsText() const {
    return m_seconds->text();
}

bool CDialogGoto::Ask(QWidget* parent, ZovApp& app, int* frame) {
    CDialogGoto dlg(parent, QString::fromStdString(app.Text(S_APP_TITLE)),
                    QString::fromStdString(app.Text(S_GOTO_GO)), app.Doc().FrameCount(),
                    app.Doc().FrameDelay());
    dlg.SetFrame(*frame);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    *frame = dlg.GetFrame();
    return true;
}

} // namespace zov
