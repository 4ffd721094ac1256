#include "ui/SoundCommands.h"

#include "app/Application.h"
#include "app/Settings.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "sound/PulseSoundSource.h"
#include "sound/SoundFiles.h"
#include "sound/SoundRecorder.h"
#include "ui/MainWindow.h"
#include "ui/RecorderCommands.h"
#include "ui/RecorderControl.h"

#include <QApplication>
#include <QMessageBox>
#include <QStatusBar>

namespace zov {

namespace {

class SoundControl : public QObject {
  public:
    explicit SoundControl(CMainWindow& window)
        : QObject(&window), m_window(window), m_doc(window.App().Doc()),
          m_recorder(m_doc, [] { return MakePulseSoundSource(); }) {
        setObjectName("zov-sound");
    }

    bool RecordWithScreen() const { return m_window.App().Config().Flag(Settings::kRecordSound); }
    int BitRate() const { return int(m_window.App().Config().U32(Settings::kMp3BitRate)); }

    // The recorder control's Begin, once the capture runs. The sound's file follows the
    // document: beside a project, or beside a stream recorded straight to disk.
    void StartWithScreen() {
        if (!RecordWithScreen())
            return;
        Start(false);
    }

    void Start(bool narration) {
        m_record = SoundClipRecord{};
        m_record.path = SoundWavPath(m_doc.DocumentPath());
        SoundRequest request;
        request.recordWithScreen = !narration && RecordWithScreen();
        request.narration = narration;
        request.mp3BitRate = BitRate();
        m_narration = narration;
        if (!m_recorder.Start(m_record, request) && !m_recorder.LastError().empty()) {
            // The screen goes on without sound; the log has the reason.
            if (QStatusBar* bar = m_window.statusBar())
                bar->showMessage(QString::fromStdString("No sound: " + m_recorder.LastError()), 10000);
        }
    }

    void Pause() { m_recorder.Pause(); }
    void Resume() { m_recorder.Resume(); }

    // Before the capture stops: the sound's last buffers come while the screen still runs.
    void StopWithScreen() {
        if (m_recorder.IsRecording() && !m_narration)
            m_stoppedWithScreen = m_recorder.Stop(true, false);
    }

    // After the capture stopped: the MP3, with the switches as they are now.
    void FinishWithScreen(bool narrationFlag) {
        if (!m_stoppedWithScreen)
            return;
        m_stoppedWithScreen = false;
        Finish(RecordWithScreen() || narrationFlag);
    }

    void StopNarration(bool narrationFlag) {
        if (!m_recorder.IsRecording() || !m_narration)
            return;
        if (m_recorder.Stop(true, false))
            Finish(RecordWithScreen() || narrationFlag);
    }

  private:
    void Finish(bool wanted) {
        const Mp3Conversion& r = m_recorder.FinishSoundFiles(wanted);
        if (r.noEncoder) {
            QApplication::beep();
            QMessageBox::information(&m_window, QString(), QString::fromUtf8(kNoLameText));
        } else if (!r.ok) {
            if (QStatusBar* bar = m_window.statusBar())
                bar->showMessage(QString::fromStdString("No MP3: " + r.message), 10000);
        }
    }

    CMainWindow& m_window;
    CAni& m_doc;
    CSoundRecorder m_recorder;
    SoundClipRecord m_record;
    bool m_narration = false;
    bool m_stoppedWithScreen = false;
};

SoundControl* Sound(CMainWindow& window) {
    return window.findChild<SoundControl*>("zov-sound", Qt::FindDirectChildrenOnly);
}

} // namespace

void InstallSound(CMainWindow& window) {
    auto* sound = new SoundControl(window);
    RecorderControl* recorder = Recorder(window);
    if (!recorder)
        return;
    QObject::connect(recorder, &RecorderControl::started, sound, [sound] { sound->StartWithScreen(); });
    QObject::connect(recorder, &RecorderControl::paused, sound, [sound] { sound->Pause(); });
    QObject::connect(recorder, &RecorderControl::resumed, sound, [sound] { sound->Resume(); });
    QObject::connect(recorder, &RecorderControl::heldForMenu, sound, [sound] { sound->Pause(); });
    QObject::connect(recorder, &RecorderControl::releasedAfterMenu, sound, [sound] { sound->Resume(); });
    QObject::connect(recorder, &RecorderControl::stopping, sound, [sound] { sound->StopWithScreen(); });
    QObject::connect(recorder, &RecorderControl::stopped, sound,
                     [sound, &window] { sound->FinishWithScreen(window.RecordSoundOnPlay()); });
}

void SoundPlaybackStarting(CMainWindow& window) {
    if (SoundControl* sound = Sound(window))
        sound->Start(true);
}

void SoundPlaybackEnded(CMainWindow& window, bool narrationFlag) {
    if (SoundControl* sound = Sound(window))
        sound->StopNarration(narrationFlag);
}

} // namespace zov
