#include "ui/RecorderCommands.h"

#include "app/Application.h"
#include "platform/X11Screen.h"
#include "ui/CommandTable.h"
#include "ui/MainWindow.h"
#include "ui/RecorderControl.h"
#include "ui/RecorderTray.h"

#include <QGuiApplication>

namespace zov {

RecorderControl* Recorder(CMainWindow& window) {
    return window.findChild<RecorderControl*>(QString(), Qt::FindDirectChildrenOnly);
}

void InstallRecorder(CMainWindow& window) {
    auto* control = new RecorderControl(window);
    control->GetHooks().openScreen = [](std::string& error) -> std::unique_ptr<IScreenSource> {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            error = "there is no X11 screen to record from.";
            return nullptr;
        }
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
    window.AddCloseHook([control] {
        if (control->RecorderState() != REC_IDLE)
            control->Stop();
    });
}

} // namespace zov
