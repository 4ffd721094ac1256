// The recorder's part of the main window: its commands (Begin, Pause, Resume, Stop,
// "Properties"), the settings dialog after New, the tray icon or status window, and the
// system-wide hot keys.
#pragma once

namespace zov {

class CMainWindow;
class RecorderControl;

// Made once by the main window's set-up; the objects live as the window's children.
void InstallRecorder(CMainWindow& window);
// The window's recorder control (null before InstallRecorder).
RecorderControl* Recorder(CMainWindow& window);

} // namespace zov
