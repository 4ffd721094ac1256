#include "ui/RecorderWindows.h"

#include "platform/X11Windows.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <string>

namespace zov {

namespace {

bool OnX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace

void SyncWithServer() {
    QGuiApplication::sync();
}

void HiddenWindows::Hide(QWidget* main) {
    m_tools.clear();
    m_ids.clear();
    if (main) {
        m_ids.push_back(main->winId());
        main->hide();
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == main || !w->isVisible() || w->windowType() != Qt::Tool ||
            w->property(kRecorderOwnWindow).toBool())
            continue;
        m_ids.push_back(w->winId());
        m_tools.push_back(w);
        w->hide();
    }
}

void HiddenWindows::Show(QWidget* main, bool toolWindows) {
    if (main) {
        main->show();
        main->raise();
        main->activateWindow();
    }
    if (toolWindows)
        for (QWidget* w : m_tools)
            w->show();
    m_tools.clear();
}

void WhenOffScreen(QObject* context, std::vector<WId> windows, int settleMs, std::function<void()> done) {
    if (OnX11()) {
        // The hide requests leave the toolkit's queue first; then the windows are watched on
        // a connection of their own until the server has unmapped them.
        SyncWithServer();
        std::vector<uint64_t> ids(windows.begin(), windows.end());
        WaitWindowsUnmapped(std::string(), ids, 3000, 0);
        SyncWithServer();
    }
    QTimer::singleShot(settleMs, context, std::move(done));
}

} // namespace zov
