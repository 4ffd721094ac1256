// The recorder control: Begin, Pause, Resume and Stop of a recording, the recorder state,
// the main window hidden while the screen is recorded, the insert of a new recording before
// the selected frame, and a recording that ends early or cannot start (stopped as Stop
// would, then the reason shown). The settings dialog after New and "Properties", and the
// start of a recording straight into a stream file, go through here too.
//
// Others hook in through the signals: started (with the sound file beside the document),
// paused, resumed, stopping (before the capture is stopped: the sound ends here) and stopped.
#pragma once

#include "platform/ScreenSource.h"
#include "recorder/CaptureEngine.h"
#include "ui/RecorderWindows.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <string>

namespace zov {

class CAni;
class CMainWindow;
class ZovApp;

// RecorderState: 0 idle, 1 recording, 2 paused.
enum RecorderStateValue : int { REC_IDLE = 0, REC_RECORDING = 1, REC_PAUSED = 2 };

// The answers of the question Begin asks about a project that has frames.
enum class BeginAnswer { Replace, Insert, Cancel };

class RecorderControl : public QObject {
    Q_OBJECT
  public:
    explicit RecorderControl(CMainWindow& main);
    ~RecorderControl() override;

    int RecorderState() const { return m_state; }
    // Whether a project (or a stream document) is open for recording.
    bool ProjectOpen() const;

    // The four commands. Each refusal writes its log line and changes nothing.
    void Begin();
    void Pause();
    // `alsoGone`: windows (a menu just closed) that must leave the screen before it runs.
    void Resume(std::vector<WId> alsoGone = {});
    void Stop();

    // New after its file dialog: the document made, the settings dialog run, and for a
    // stream the recording begun at once. A cancelled dialog abandons a new stream.
    bool NewProject(std::string& path, bool stream);
    // "Properties": the settings dialog for the open project.
    bool RunSettings(bool newStream);

    // While a menu of the recorder is open the capture is held (paused, with no grab under
    // way), so the menu never reaches a frame. Hold returns whether it paused; Release after
    // the menu has closed resumes once its window has left the screen.
    bool HoldForMenu();
    void ReleaseAfterMenu(bool held, WId menuWindow);

    // The area being recorded (screen coordinates), known from the capture start.
    QRect CaptureArea() const { return m_area; }
    int FrameCount() const { return m_frames; }

    // What tests and the program replace.
    struct Hooks {
        // The screen to record from; null with `error` set when there is none.
        std::function<std::unique_ptr<IScreenSource>(std::string& error)> openScreen;
        std::function<BeginAnswer(const QString& question)> askBegin;
        std::function<void(const QString& text)> message;
        // Runs the settings dialog; true for OK.
        std::function<bool(bool newStream)> settings;
        // Called before the capture runs (at the start and on Resume): the windows it hid
        // that must leave the screen first.
        std::function<std::vector<WId>()> beforeRun;
        // Milliseconds to let the screen settle after the windows are hidden.
        int settleMs = 200;
    };
    Hooks& GetHooks() { return m_hooks; }

  signals:
    void started(const QString& soundPath);
    void paused();
    void resumed();
    void stopping();
    void stopped();
    // The capture held while a recorder menu is open, and let go again (the sound drops its
    // buffers meanwhile, as in a pause).
    void heldForMenu();
    void releasedAfterMenu();
    void stateChanged(int state);
    void frameCountChanged(int count);

  private:
    void SetState(int state);
    void StartCapture(int generation);
    // After a pause or a menu: the first picture that waited, or the held capture again;
    // true when a running capture goes on.
    bool ContinueCapture(int generation);
    void FailStop(const QString& reason);
    void OnRecordFailed(const QString& reason);
    void ShowMainWindow();
    void RunWhenSettled(std::vector<WId> windows, std::function<void()> run);
    QString Tr(int id) const;

    CMainWindow& m_main;
    ZovApp& m_app;
    CAni& m_doc;
    CaptureEngine m_engine;
    std::unique_ptr<IScreenSource> m_screen;
    Hooks m_hooks;
    HiddenWindows m_hidden;
    int m_state = REC_IDLE;
    int m_generation = 0; // counts Begin/Stop so a late start of a stopped run is dropped
    bool m_captureStarted = false;
    bool m_menuHeld = false;      // a menu holds the capture (or its start)
    bool m_startDeferred = false; // the first picture waits for a menu or a pause to end
    bool m_insert = false;
    int32_t m_framesBefore = 0;
    int32_t m_selectedBefore = 0;
    bool m_streamEnded = false;
    int m_frames = 0;
    QRect m_area;
};

} // namespace zov
