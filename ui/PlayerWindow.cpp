#include "ui/PlayerWindow.h"

#include "app/Application.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "ui/FrameView.h"
#include "ui/IconTheme.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

namespace zov {

PlayerLayout ComputePlayerLayout(int w, int h) {
    PlayerLayout l;
    l.view = QRect(5, 5, w - 25, h - 50);
    l.vScroll = QRect(w - 20, 5, 15, h - 50);
    l.hScroll = QRect(5, h - 45, w - 25, 15);
    l.counter = QRect(10, h - 25, 100, 20);
    const int right = w - 25;
    l.play = QRect(right - 270, h - 25, 55, 20);
    l.fast = QRect(right - 215, h - 25, 55, 20);
    l.pause = QRect(right - 160, h - 25, 55, 20);
    l.stop = QRect(right - 105, h - 25, 55, 20);
    l.ret = QRect(right - 50, h - 25, 55, 20);
    return l;
}

int PlayerScrollMax(int captureExtent, int viewExtent) {
    return std::max(0, captureExtent - viewExtent + 1);
}

int PlayerScrollPage(int max) {
    return max + 1 >= 11 ? max / 10 + 1 : 2;
}

QString PlayerCounterText(int frame, int frameCount, int frameDelayMs) {
    return QString::asprintf("%d / %d, %6.2f", frame + 1, frameCount, frameDelayMs * frame * 0.001);
}

PlayerWindow::PlayerWindow(CMainWindow& main)
    : QDialog(&main), m_main(main), m_frameCount(main.App().Doc().FrameCount()),
      m_frameDelay(main.App().Doc().FrameDelay()) {
    ZovApp& app = main.App();
    auto tr = [&app](int id) { return QString::fromStdString(app.Text(id)); };
    setWindowTitle(tr(S_PLAYER_TITLE));
    setWindowIcon(LoadIcon(app.Folders().data, "zov.svg"));
    m_view = new FrameView(this);
    m_vScroll = new QScrollBar(Qt::Vertical, this);
    m_hScroll = new QScrollBar(Qt::Horizontal, this);
    // The picture moves when the thumb is released, not while it is dragged.
    m_vScroll->setTracking(false);
    m_hScroll->setTracking(false);
    m_counter = new QLineEdit(this);
    m_counter->setReadOnly(true);
    m_counter->setAlignment(Qt::AlignRight);
    m_play = new QPushButton(tr(S_PLAYER_PLAY), this);
    m_fast = new QPushButton(tr(S_PLAYER_FAST), this);
    m_pause = new QPushButton(tr(S_PLAYER_PAUSE), this);
    m_stop = new QPushButton(tr(S_PLAYER_STOP), this);
    m_return = new QPushButton(tr(S_PLAYER_RETURN), this);
    for (QPushButton* b : {m_play, m_fast, m_pause, m_stop, m_return}) {
        b->setAutoDefault(false);
        b->setStyleSheet("QPushButton { padding: 0px; }");
    }
    auto after = [this](void (CMainWindow::*command)()) {
        return [this, command] {
            (m_main.*command)();
            RefreshSource();
            UpdateButtons();
        };
    };
    connect(m_play, &QPushButton::clicked, this, after(&CMainWindow::CmdPlay));
    connect(m_fast, &QPushButton::clicked, this, after(&CMainWindow::CmdFastPlay));
    connect(m_pause, &QPushButton::clicked, this, after(&CMainWindow::CmdPause));
    connect(m_stop, &QPushButton::clicked, this, after(&CMainWindow::CmdStop));
    connect(m_return, &QPushButton::clicked, this, &QDialog::accept);
    auto scrolled = [this] { m_view->SetScroll(QPoint(m_hScroll->value(), m_vScroll->value())); };
    connect(m_hScroll, &QScrollBar::valueChanged, this, scrolled);
    connect(m_vScroll, &QScrollBar::valueChanged, this, scrolled);
    if (QScreen* s = QGuiApplication::primaryScreen())
        setGeometry(s->availableGeometry());
    m_laidOut = true;
    LayOut();
    RefreshSource();
    UpdateButtons();
}

void PlayerWindow::Run() {
    // Maximised, not full screen; without a window manager the geometry above stands for it.
    setWindowState(windowState() | Qt::WindowMaximized);
    exec();
}

void PlayerWindow::LayOut() {
    const PlayerLayout l = ComputePlayerLayout(width(), height());
    m_view->setGeometry(l.view);
    m_vScroll->setGeometry(l.vScroll);
    m_hScroll->setGeometry(l.hScroll);
    m_counter->setGeometry(l.counter);
    m_play->setGeometry(l.play);
    m_fast->setGeometry(l.fast);
    m_pause->setGeometry(l.pause);
    m_stop->setGeometry(l.stop);
    m_return->setGeometry(l.ret);
    CAni& doc = m_main.App().Doc();
    const QSize view = m_view->DeviceSize();
    const int hMax = PlayerScrollMax(doc.ImageWidth(), view.width());
    const int vMax = PlayerScrollMax(doc.ImageHeight(), view.height());
    m_hScroll->setRange(0, hMax);
    m_vScroll->setRange(0, vMax);
    m_hScroll->setPageStep(PlayerScrollPage(hMax));
    m_vScroll->setPageStep(PlayerScrollPage(vMax));
    m_hScroll->setSingleStep(1);
    m_vScroll->setSingleStep(1);
}

void PlayerWindow::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (m_laidOut)
        LayOut();
}

void PlayerWindow::RefreshSource() {
    if (m_main.PlayerState() != PLAYER_IDLE && m_main.Playback().Running())
        m_view->SetSource(&m_main.Playback().Shared(), &m_main.Playback().FrameMutex());
    else if (m_main.Surfaces().Prepared())
        m_view->SetSource(&m_main.Surfaces().Display(), nullptr);
    else
        m_view->SetSource(nullptr, nullptr);
}

void PlayerWindow::UpdateButtons() {
    auto enabled = [this](int toolbarId) {
        QAction* a = m_main.ToolbarAction(toolbarId);
        return a && a->isEnabled();
    };
    m_play->setEnabled(enabled(TB_PLAY));
    m_pause->setEnabled(enabled(TB_PLAY_PAUSE));
    m_fast->setEnabled(enabled(TB_PLAY_FAST));
    m_stop->setEnabled(enabled(TB_PLAY_STOP));
    m_return->setEnabled(true);
}

void PlayerWindow::OnPlayFrame(int frame) {
    m_counter->setText(PlayerCounterText(frame, m_frameCount, m_frameDelay));
    m_view->update();
}

void PlayerWindow::OnPlayFinish(int) {
    RefreshSource();
    UpdateButtons();
}

void PlayerWindow::reject() {
    accept();
}

} // namespace zov
