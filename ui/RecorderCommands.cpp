#include "ui/RecorderCommands.h"

#include "app/Application.h"
#include "base/StringIds.h"
#include "platform/HotKeys.h"
#include "platform/PortalScreen.h"
#include "platform/X11Screen.h"
#include "ui/CommandTable.h"
#include "ui/HotKeyService.h"
#include "ui/MainWindow.h"
#include "ui/RecorderControl.h"
#include "ui/RecorderTray.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <algorithm>

namespace zov {

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
        if (WaylandSession()) {
            const CAni& doc = app.Doc();
            PortalOptions options;
            options.window = doc.RecordWindowFlag();
            options.monitor = !options.window;
            options.pointer = doc.RecordPointer();
            options.tokenFile = app.Folders().writable + "portal-restore-token";
            options.maxFramesPerSecond = 1000 / std::max(1, static_cast<int>(doc.FrameDelay())) + 1;
            return OpenPortalScreen(options, error);
        }
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
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto* keys = new CHotKeyService(
            CHotKeyService::OpenSystemHotKeys(), [&app](int id) { return app.Text(id); }, &window);
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
