// zov-recorder [PROJECT]: the desktop program.
#include "app/Application.h"
#include "app/SignalPipe.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "render/ElementPainter.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
// Sanitizer builds: what the desktop's own libraries keep until exit (D-Bus connection
// buffers, the font cache) is theirs, not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\n";
}
#endif

namespace {

bool HaveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

} // namespace

int main(int argc, char** argv) {
    if (!HaveDisplay()) {
        std::fprintf(stderr, "zov-recorder: no display (DISPLAY is not set); nothing to show.\n");
        return 2;
    }
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("zov-recorder");
    // A message box closed while the main window is hidden must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    zov::ZovApp app(zov::Ani(), zov::AppFolders::FromSystem());
    zov::SetApp(&app);
    if (!app.Startup()) {
        QMessageBox::warning(nullptr, "ZOV Recorder", QString::fromStdString(app.StartupWarning()));
        zov::SetApp(nullptr);
        return 1;
    }
    // Elements in the view, the strip and the exports; a 16-bit screen keys images as its
    // bitmaps would.
    const QScreen* primary = QGuiApplication::primaryScreen();
    zov::InstallElementDrawing(zov::Ani(), primary && primary->depth() == 16);
    int status = 0;
    {
        zov::CMainWindow window(app);
        zov::SignalPipe signalPipe([&window](int) { window.CloseWithoutQuestion(); });
        QObject::connect(&qapp, &QGuiApplication::commitDataRequest, &window,
                         [&window](QSessionManager&) { window.CloseWithoutQuestion(); });
        // Maximised; without a window manager that means the available screen area.
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window.setGeometry(screen->availableGeometry());
        window.showMaximized();
        const QStringList args = QApplication::arguments();
        if (args.size() > 1)
            window.OpenProjectPath(args.at(1));
        status = qapp.exec();
    }
    app.Shutdown();
    zov::SetApp(nullptr);
    return status;
}
