#include "ui/RecorderWindows.h"

#include "platform/X11Windows.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <memory>
#include <optional>
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
    // Under a window manager the frame around a window goes a moment after the window:
    // its id is taken now, while the window still has it, and waited for too.
    std::unique_ptr<IWindowQuery> query;
    if (OnX11()) {
        std::string error;
        query = OpenX11WindowQuery(std::string(), error);
    }
    auto remember = [&](QWidget* w) {
        const WId id = w->winId();
        m_ids.push_back(id);
        if (query)
            if (std::optional<WindowInfo> info = query->Describe(static_cast<uint64_t>(id)))
                if (info->id != static_cast<uint64_t>(id))
                    m_ids.push_back(static_cast<WId>(info->id));
    };
    if (main) {
        remember(main);
        main->hide();
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == main || !w->isVisible() || w->windowType() != Qt::Tool ||
            w->property(kRecorderOwnWindow).toBool())
            continue;
        remember(w);
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
