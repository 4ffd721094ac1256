// The recorder's part of the main window: its commands (Begin, Pause, Resume, Stop,
// "Properties"), the settings dialog after New, the tray icon or status window, and the
// system-wide hot keys.
#pragma once

#include "platform/ScreenSource.h"

#include <QImage>
#include <memory>
#include <string>

namespace zov {

class CMainWindow;
class RecorderControl;
class ZovApp;

// The desktop portal's screen for the open project: a monitor, or one window when `window`;
// the pointer and the pace as the project records them. A monitor and a window keep a restore
// token each, so that asking for one never brings back the other's choice.
std::unique_ptr<IScreenSource> OpenProjectPortal(ZovApp& app, bool window, std::string& error);
// The first picture of the portal's monitor, frozen for the area selection; a null image with
// `error` set when the screen could not be shared.
QImage PortalMonitorPicture(ZovApp& app, std::string& error);

// Made once by the main window's set-up; the objects live as the window's children.
void InstallRecorder(CMainWindow& window);
// The window's recorder control (null before InstallRecorder).
RecorderControl* Recorder(CMainWindow& window);

} // namespace zov
