#include "ui/RecorderCommands.h"

#include "app/Application.h"
#include "base/Bitmap.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "platform/HotKeys.h"
#include "platform/PortalScreen.h"
#include "platform/X11Screen.h"
#include "recorder/ScreenConvert.h"
#include "ui/CommandTable.h"
#include "ui/HotKeyService.h"
#include "ui/MainWindow.h"
#include "ui/RecorderControl.h"
#include "ui/RecorderTray.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <algorithm>

namespace zov {

std::unique_ptr<IScreenSource> OpenProjectPortal(ZovApp& app, bool window, std::string& error) {
    const CAni& doc = app.Doc();
    PortalOptions options;
    options.window = window;
    options.monitor = !window;
    options.pointer = doc.RecordPointer();
    options.tokenFile =
        app.Folders().writable + (window ? "portal-restore-token-window" : "portal-restore-token");
    options.maxFramesPerSecond = 1000 / std::max(1, static_cast<int>(doc.FrameDelay())) + 1;
    return OpenPortalScreen(options, error);
}

QImage PortalMonitorPicture(ZovApp& app, std::string& error) {
    std::unique_ptr<IScreenSource> screen = OpenProjectPortal(app, false, error);
    if (!screen)
        return QImage();
    const int w = screen->ScreenWidth(), h = screen->ScreenHeight();
    ScreenPixels pixels;
    Image24 frame;
    if (w > 0 && h > 0)
        frame.Allocate(w, h);
    if (w <= 0 || h <= 0 || !screen->Prepare(w, h) || !screen->Grab(0, 0, pixels) ||
        !ConvertScreenPixels(pixels, frame)) {
        error = screen->GrabFailure();
        if (error.empty())
            error = "the shared screen gave no picture.";
        return QImage();
    }
    screen->Release();
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const uint8_t* bgr = frame.PixelTopDown(x, y);
            row[x] = qRgb(bgr[2], bgr[1], bgr[0]);
        }
    }
    return picture;
}

RecorderControl* Recorder(CMainWindow& window) {
    return window.findChild<RecorderControl*>(QString(), Qt::FindDirectChildrenOnly);
}

void InstallRecorder(CMainWindow& window) {
    auto* control = new RecorderControl(window);
    ZovApp& app = window.App();
    control->GetHooks().openScreen = [&app](std::string& error) -> std::unique_ptr<IScreenSource> {
        // On a Wayland desktop the screen comes through the desktop portal, whose picker asks
        // for a screen, or a window when the project records one; the choice is kept for the
        // next recording.
        if (WaylandSession())
            return OpenProjectPortal(app, app.Doc().RecordWindowFlag(), error);
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return nullptr; // the language's sentence for no screen is shown
        return OpenX11Screen(std::string(), error);
    };
    new RecorderTray(window, *control);

    CommandTable& t = window.Commands();
    auto open = [control](const CommandContext& c) {
        CommandState s;
        s.enabled = control->ProjectOpen() && !c.playing && !c.paused &&
                    control->RecorderState() == REC_IDLE && c.Idle();
        return s;
    };
    t.Register(
        ID_REC_BEGIN, [control] { control->Begin(); }, open);
    t.Register(
        ID_REC_PAUSE, [control] { control->Pause(); },
        [control](const CommandContext&) {
            return CommandState{control->RecorderState() == REC_RECORDING, false};
        });
    t.Register(
        ID_REC_RESUME, [control] { control->Resume(); },
        [control](const CommandContext&) {
            return CommandState{control->RecorderState() == REC_PAUSED, false};
        });
    t.Register(
        ID_REC_STOP, [control] { control->Stop(); },
        [control](const CommandContext&) {
            return CommandState{control->RecorderState() != REC_IDLE, false};
        });
    t.Register(
        ID_PROPERTIES, [control] { control->RunSettings(false); },
        [control](const CommandContext& c) {
            return CommandState{control->ProjectOpen() && !c.Busy(), false};
        });
    window.SetNewProjectHook(
        [control](std::string& path, bool stream) { return control->NewProject(path, stream); });
    // The system-wide hot keys; a key another program holds is reported once, the rest work.
    // On a Wayland desktop they are the desktop's global shortcuts, where it has them.
    if (WaylandSession() || QGuiApplication::platformName() == QLatin1String("xcb")) {
        const CHotKeyService::TextLookup text = [&app](int id) { return app.Text(id); };
        auto* keys = new CHotKeyService(CHotKeyService::OpenSystemHotKeys(text), text, &window);
        QObject::connect(keys, &CHotKeyService::hotKey, control, [control](int id) {
            switch (id) {
            case HOTKEY_BEGIN:
                control->Begin();
                break;
            case HOTKEY_PAUSE:
                control->Pause();
                break;
            case HOTKEY_RESUME:
                control->Resume();
                break;
            case HOTKEY_STOP:
                control->Stop();
                break;
            default:
                break;
            }
        });
        QObject::connect(keys, &CHotKeyService::grabProblem, &window, [&window, &app](const QString& text) {
            // The service has logged it. Shown once, not modal: the program goes on starting.
            auto* box = new QMessageBox(QMessageBox::Information,
                                        QString::fromStdString(app.Text(S_REC_HOTKEYS_TITLE)), text,
                                        QMessageBox::Ok, &window);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        });
        keys->Start();
    }
    window.AddCloseHook([control] {
        if (control->RecorderState() != REC_IDLE)
            control->Stop();
    });
}

} // namespace zov
