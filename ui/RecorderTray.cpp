#include "ui/RecorderTray.h"

#include "app/Application.h"
#include "base/StringIds.h"
#include "ui/IconTheme.h"
#include "ui/MainWindow.h"
#include "ui/RecorderControl.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace zov {

namespace {

struct MenuEntry {
    int id;
    int caption;
};
const MenuEntry kMenu[] = {{ID_TRAY_BEGIN, S_TRAY_BEGIN},
                           {ID_TRAY_PAUSE, S_TRAY_PAUSE},
                           {ID_TRAY_RESUME, S_TRAY_RESUME},
                           {ID_TRAY_STOP, S_TRAY_STOP}};

bool CommandEnabled(int id, bool projectOpen, int state) {
    switch (id) {
    case ID_TRAY_BEGIN:
        return projectOpen && state == REC_IDLE;
    case ID_TRAY_PAUSE:
        return state == REC_RECORDING;
    case ID_TRAY_RESUME:
        return state == REC_PAUSED;
    case ID_TRAY_STOP:
        return state == REC_RECORDING || state == REC_PAUSED;
    default:
        return false;
    }
}

// The status window: its context menu is the recorder's menu.
class StatusPanel : public QWidget {
  public:
    explicit StatusPanel(RecorderTray& tray)
        : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), m_tray(tray) {}

  protected:
    void contextMenuEvent(QContextMenuEvent* e) override { m_tray.RunMenu(e->globalPos()); }

  private:
    RecorderTray& m_tray;
};

QRect ScreenAt(QPoint p) {
    QScreen* s = QGuiApplication::screenAt(p);
    if (!s)
        s = QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect(0, 0, 1024, 768);
}

} // namespace

RecorderTray::RecorderTray(CMainWindow& main, RecorderControl& control)
    : QObject(&main), m_main(main), m_control(control) {
    m_tip = QStringLiteral("....");
    m_picture = QStringLiteral("idle");
    const std::string& data = m_main.App().Folders().data;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(LoadIcon(data, "tray-idle.svg"), this);
        m_tray->setToolTip(m_tip);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
            if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::Context)
                Clicked(QCursor::pos());
        });
        m_tray->show();
    } else {
        m_status = new StatusPanel(*this);
        m_status->setProperty(kRecorderOwnWindow, true);
        m_status->setWindowTitle(Tr(S_REC_STATUS_TITLE));
        m_status->setWindowIcon(LoadIcon(data, "tray-recording.svg"));
        auto* layout = new QVBoxLayout(m_status);
        m_statusText = new QLabel(m_tip);
        m_statusText->setObjectName("statusText");
        layout->addWidget(m_statusText);
        auto* row = new QHBoxLayout;
        for (const MenuEntry& e : kMenu) {
            auto* b = new QPushButton(Tr(e.caption));
            b->setObjectName(QString::number(e.id));
            b->setFocusPolicy(Qt::NoFocus);
            const int id = e.id;
            connect(b, &QPushButton::clicked, this, [this, id] {
                if (id == ID_TRAY_BEGIN)
                    m_control.Begin();
                else if (id == ID_TRAY_PAUSE)
                    m_control.Pause();
                else if (id == ID_TRAY_RESUME)
                    m_control.Resume();
                else
                    m_control.Stop();
            });
            row->addWidget(b);
            m_buttons.push_back(b);
        }
        layout->addLayout(row);
        m_status->adjustSize();
    }
    connect(&m_control, &RecorderControl::stateChanged, this, &RecorderTray::OnState);
    connect(&m_control, &RecorderControl::frameCountChanged, this, &RecorderTray::OnFrames);
    connect(&m_control, &RecorderControl::started, this, [this] { UpdateStatusWindow(); });
    m_control.GetHooks().beforeRun = [this] { return BeforeRun(); };
}

RecorderTray::~RecorderTray() {
    delete m_status;
}

QString RecorderTray::Tr(int id) const {
    return QString::fromStdString(m_main.App().Text(id));
}

void RecorderTray::OnState(int state) {
    m_picture = state == REC_IDLE ? QStringLiteral("idle") : QStringLiteral("recording");
    if (m_tray)
        m_tray->setIcon(LoadIcon(m_main.App().Folders().data,
                                 state == REC_IDLE ? "tray-idle.svg" : "tray-recording.svg"));
    if (state != REC_IDLE)
        OnFrames(m_control.FrameCount());
    UpdateStatusWindow();
}

void RecorderTray::OnFrames(int count) {
    m_tip = QString::asprintf("%s %d", m_main.App().Text(S_TRAY_LABEL).c_str(), count);
    if (m_tray)
        m_tray->setToolTip(m_tip);
    if (m_statusText)
        m_statusText->setText(m_control.RecorderState() == REC_PAUSED ? m_tip + "  " + Tr(S_REC_PAUSED_NOTE)
                                                                      : m_tip);
}

bool RecorderTray::StatusPlace(QRect screen, QRect area, QSize size, QPoint& topLeft) {
    const int m = 8;
    const QPoint corners[] = {
        {screen.right() + 1 - m - size.width(), screen.bottom() + 1 - m - size.height()},
        {screen.right() + 1 - m - size.width(), screen.top() + m},
        {screen.left() + m, screen.bottom() + 1 - m - size.height()},
        {screen.left() + m, screen.top() + m},
    };
    for (QPoint c : corners) {
        // The frame a window manager adds stays clear too.
        const QRect r = QRect(c, size).adjusted(-m, -m - 30, m, m);
        if (!r.intersects(area)) {
            topLeft = c;
            return true;
        }
    }
    return false;
}

void RecorderTray::UpdateStatusWindow() {
    if (!m_status)
        return;
    const int state = m_control.RecorderState();
    const bool open = m_control.ProjectOpen();
    for (QPushButton* b : m_buttons)
        b->setEnabled(CommandEnabled(b->objectName().toInt(), open, state));
    if (state == REC_IDLE) {
        m_status->hide();
        return;
    }
    const QRect area = m_control.CaptureArea();
    if (area.isEmpty() && state == REC_RECORDING)
        return; // shown once the capture has started and its area is known
    QPoint at;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const bool clear = StatusPlace(screen, area, m_status->sizeHint(), at);
    if (!clear) {
        if (state == REC_RECORDING) {
            m_status->hide(); // no room outside the recorded area
            return;
        }
        at = QPoint(screen.right() + 1 - 8 - m_status->sizeHint().width(),
                    screen.bottom() + 1 - 8 - m_status->sizeHint().height());
    }
    m_status->move(at);
    m_status->show();
    m_status->raise();
}

std::vector<WId> RecorderTray::BeforeRun() {
    std::vector<WId> gone;
    if (!m_status || !m_status->isVisible())
        return gone;
    QPoint at;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    if (!m_control.CaptureArea().isEmpty() &&
        !StatusPlace(screen, m_control.CaptureArea(), m_status->sizeHint(), at)) {
        gone.push_back(m_status->winId());
        m_status->hide();
    }
    return gone;
}

void RecorderTray::Clicked(QPoint at) {
    if (m_control.RecorderState() == REC_IDLE) {
        m_main.setWindowState(m_main.windowState() & ~Qt::WindowMinimized);
        m_main.show();
        m_main.raise();
        m_main.activateWindow();
        return;
    }
    if (!m_menuOpen)
        RunMenu(at);
}

QMenu* RecorderTray::BuildMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName("recorderMenu");
    const int state = m_control.RecorderState();
    const bool open = m_control.ProjectOpen();
    for (const MenuEntry& e : kMenu) {
        QAction* a = menu->addAction(Tr(e.caption));
        a->setData(e.id);
        a->setEnabled(CommandEnabled(e.id, open, state));
    }
    return menu;
}

QPoint RecorderTray::MenuPosition(QPoint at, QSize size, QRect screen) {
    int x = at.x() - size.width();
    int y = at.y() - size.height();
    x = std::max(screen.left(), std::min(x, screen.right() + 1 - size.width()));
    y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
    return {x, y};
}

int RecorderTray::RunMenu(QPoint at) {
    m_menuOpen = true;
    QMenu* menu = BuildMenu(nullptr);
    // Paused before the menu is mapped, so that no frame shows it (streams too).
    const bool held = m_control.HoldForMenu();
    menu->ensurePolished();
    menu->adjustSize();
    const QPoint pos = MenuPosition(at, menu->sizeHint(), ScreenAt(at));
    emit menuShown(menu);
    QAction* chosen = menu->exec(pos);
    const int id = chosen ? chosen->data().toInt() : 0;
    const WId menuWindow = menu->winId();
    m_menuOpen = false;
    switch (id) {
    case ID_TRAY_BEGIN:
        m_control.Begin();
        break;
    case ID_TRAY_PAUSE:
        m_control.Pause(); // the capture is paused already
        break;
    case ID_TRAY_RESUME:
        m_control.Resume({menuWindow});
        break;
    case ID_TRAY_STOP:
        m_control.Stop();
        break;
    default:
        m_control.ReleaseAfterMenu(held, menuWindow); // dismissed: the capture goes on
        break;
    }
    menu->deleteLater();
    return id;
}

} // namespace zov
