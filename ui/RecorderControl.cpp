#include "ui/RecorderControl.h"

#include "app/Application.h"
#include "base/Log.h"
#include "base/Path.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "ui/DocumentEventsAdapter.h"
#include "ui/MainWindow.h"
#include "ui/RecordSettingsDialog.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

namespace zov {

RecorderControl::RecorderControl(CMainWindow& main)
    : QObject(&main), m_main(main), m_app(main.App()), m_doc(main.App().Doc()), m_engine(main.App().Doc()) {
    m_hooks.askBegin = [this](const QString& question) {
        const auto b = QMessageBox::question(&m_main, Tr(S_APP_TITLE), question,
                                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        return b == QMessageBox::Yes  ? BeginAnswer::Replace
               : b == QMessageBox::No ? BeginAnswer::Insert
                                      : BeginAnswer::Cancel;
    };
    m_hooks.message = [this](const QString& text) {
        // The main window may be hidden still; the box stands on its own then.
        QMessageBox::warning(m_main.isVisible() ? &m_main : nullptr, Tr(S_APP_TITLE), text);
    };
    m_hooks.settings = [this](bool newStream) {
        RecordSettingsDialog dialog(m_app, &m_main, newStream);
        return dialog.Run();
    };
    // A new project starts with the whole screen as its area.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->geometry().size() * screen->devicePixelRatio();
        m_doc.SetScreenSize(size.width(), size.height());
    }
    DocumentEventsAdapter* events = m_main.DocumentEvents();
    connect(
        events, &DocumentEventsAdapter::FrameCaptured, this,
        [this](int count) {
            if (m_state == REC_IDLE)
                return;
            m_frames = count;
            emit frameCountChanged(count);
        },
        Qt::QueuedConnection);
    connect(events, &DocumentEventsAdapter::RecordFailed, this, &RecorderControl::OnRecordFailed,
            Qt::QueuedConnection);
    // A run that ends by itself without a failure (a desktop's "stop sharing") ends as Stop
    // does. The end of a run that Stop ended, heard after a new run began, finds the new
    // engine running or its start not made yet, and is passed over.
    connect(
        events, &DocumentEventsAdapter::RecordFinished, this,
        [this] {
            if (m_state != REC_IDLE && m_captureStarted && !m_engine.IsRunning())
                Stop();
        },
        Qt::QueuedConnection);
}

RecorderControl::~RecorderControl() {
    m_engine.StopCapture();
}

QString RecorderControl::Tr(int id) const {
    return QString::fromStdString(m_app.Text(id));
}

bool RecorderControl::ProjectOpen() const {
    return m_doc.DocMode() == DOC_STREAM || (m_doc.DocMode() == DOC_PROJECT && m_doc.IsFileOpen());
}

void RecorderControl::SetState(int state) {
    m_state = state;
    m_main.SetRecording(state != REC_IDLE);
    emit stateChanged(state);
}

void RecorderControl::Begin() {
    if (!ProjectOpen()) {
        ZOV_LOG("***** No opened file!");
        return;
    }
    if (m_state != REC_IDLE || m_main.PlayerState() != PLAYER_IDLE) {
        ZOV_LOG("***** Error status!");
        return;
    }
    if (m_doc.DocMode() == DOC_STREAM && m_streamEnded) {
        // Another run would write over the finished stream and its pages.
        ZOV_LOG("***** Error status!");
        m_hooks.message(Tr(S_REC_STREAM_ENDED));
        return;
    }
    m_framesBefore = m_doc.FrameCount();
    m_selectedBefore = m_main.Selection().selection.anchor;
    m_insert = false;
    if (m_framesBefore > 0) {
        switch (m_hooks.askBegin(Tr(S_BEGIN_QUESTION_1) + "\n" + Tr(S_BEGIN_QUESTION_2))) {
        case BeginAnswer::Cancel:
            return;
        case BeginAnswer::Replace:
            m_doc.ClearAllFrames();
            m_framesBefore = 0;
            break;
        case BeginAnswer::Insert:
            m_insert = true;
            break;
        }
    }
    m_frames = m_doc.FrameCount();
    m_captureStarted = false;
    m_menuHeld = false;
    m_startDeferred = false;
    m_area = QRect();
    const int generation = ++m_generation;
    SetState(REC_RECORDING);
    m_hidden.Hide(&m_main);
    // The first picture is taken once the hidden windows have really left the screen.
    RunWhenSettled(m_hidden.Ids(), [this, generation] { StartCapture(generation); });
}

void RecorderControl::RunWhenSettled(std::vector<WId> windows, std::function<void()> run) {
    if (m_hooks.beforeRun)
        for (WId id : m_hooks.beforeRun())
            windows.push_back(id);
    WhenOffScreen(this, std::move(windows), m_hooks.settleMs, std::move(run));
}

void RecorderControl::StartCapture(int generation) {
    if (generation != m_generation || m_state == REC_IDLE)
        return; // stopped before the screen had settled
    if (m_menuHeld || m_state == REC_PAUSED) {
        // A menu opened or a pause came before the first picture: the capture starts once
        // the menu is gone or the user resumes, so neither reaches a frame.
        m_startDeferred = true;
        return;
    }
    std::string error;
    m_screen = m_hooks.openScreen ? m_hooks.openScreen(error) : nullptr;
    if (!m_screen) {
        FailStop(QString::fromStdString(error.empty() ? m_app.Text(S_REC_NO_SCREEN) : error));
        return;
    }
    // The area as the engine will take it, for the status window to keep clear of.
    if (m_doc.RecordWindowFlag()) {
        ScreenRect r;
        if (m_screen->WindowRect(m_doc.RecordWindow(), r) == WindowState::Shown)
            m_area = QRect(r.left, r.top, r.Width(), r.Height());
    } else {
        const CaptureRect r = m_doc.GetCaptureRect();
        m_area = QRect(r.left, r.top, r.Width(), r.Height());
    }
    CaptureParams params;
    params.screen = m_screen.get();
    params.bigPointer = m_app.Config().Flag(Settings::kBigPointer);
    m_doc.ClearLastMessage();
    if (!m_engine.StartCapture(params)) {
        const std::string why = m_doc.LastMessage();
        FailStop(QString::fromStdString(why.empty() ? m_app.Text(S_REC_NOT_STARTED) : why));
        return;
    }
    m_captureStarted = true;
    const ScreenRect a = m_engine.Area();
    m_area = QRect(a.left, a.top, a.Width(), a.Height());
    const std::string doc = m_doc.DocumentPath();
    emit started(QString::fromStdString(ReplaceExtension(doc, "WAV")));
}

void RecorderControl::Pause() {
    if (!ProjectOpen() || m_state != REC_RECORDING)
        return;
    if (m_captureStarted)
        m_engine.PauseCapture();
    SetState(REC_PAUSED);
    emit paused();
}

void RecorderControl::Resume(std::vector<WId> alsoGone) {
    if (!ProjectOpen() || m_state != REC_PAUSED)
        return;
    SetState(REC_RECORDING);
    const int generation = m_generation;
    RunWhenSettled(std::move(alsoGone), [this, generation] { ContinueCapture(generation); });
    emit resumed();
}

bool RecorderControl::ContinueCapture(int generation) {
    if (generation != m_generation || m_state != REC_RECORDING || m_menuHeld)
        return false;
    if (m_startDeferred) {
        m_startDeferred = false;
        StartCapture(generation);
        return false;
    }
    if (!m_captureStarted)
        return false;
    m_engine.ResumeCapture();
    return true;
}

void RecorderControl::Stop() {
    if (!ProjectOpen()) {
        ZOV_LOG("***** No Opened File");
        return;
    }
    if (m_state != REC_RECORDING && m_state != REC_PAUSED) {
        ZOV_LOG("***** Status Error");
        return;
    }
    ZOV_LOG("RecordSoundEnd");
    emit stopping();
    ZOV_LOG("CaptureScreenEnd");
    ++m_generation; // a start still waiting for the screen is dropped
    m_menuHeld = false;
    m_startDeferred = false;
    if (m_captureStarted)
        m_engine.StopCapture();
    m_screen.reset();
    ZOV_LOG("ResizeControl");
    if (m_doc.DocMode() == DOC_STREAM && m_captureStarted)
        m_streamEnded = true;
    m_captureStarted = false;
    SetState(REC_IDLE);

    if (m_insert) {
        m_insert = false;
        const int32_t old = m_framesBefore, sel = m_selectedBefore, now = m_doc.FrameCount();
        if (old < 1) {
            ZOV_LOG("E: Fail");
        } else if (sel < now - 1 && now > old && old - sel > 0) {
            // The frames from the selected one on go after the new ones.
            if (m_doc.PasteFrames(sel, old - sel, now))
                m_doc.DeleteFrames(sel, old - sel, false);
        }
    }
    ZOV_LOG("MakeSureVisible");
    if (m_doc.FrameCount() > 0)
        m_main.SelectAndShowFrame(0);
    ShowMainWindow();
    emit stopped();
}

void RecorderControl::ShowMainWindow() {
    m_hidden.Show(&m_main, m_app.Config().Flag(Settings::kShowToolWindow));
}

void RecorderControl::FailStop(const QString& reason) {
    if (m_state != REC_IDLE)
        Stop();
    // The view and the strip start again from frame 0, as after a finished recording.
    emit m_main.DocumentEvents()->RecordFinished();
    m_hooks.message(Tr(S_REC_NOT_STARTED) + "\n" + reason);
}

void RecorderControl::OnRecordFailed(const QString& reason) {
    if (m_state == REC_IDLE)
        return; // a stop already took care of it
    Stop();
    emit m_main.DocumentEvents()->RecordFinished();
    m_hooks.message(Tr(S_REC_FAILED) + "\n" + reason);
}

bool RecorderControl::HoldForMenu() {
    if (m_state != REC_RECORDING || m_menuHeld)
        return false;
    m_menuHeld = true; // a capture not started yet waits for the release
    if (m_captureStarted) {
        m_engine.PauseCapture(); // returns once no grab is under way
        emit heldForMenu();
    }
    return true;
}

void RecorderControl::ReleaseAfterMenu(bool held, WId menuWindow) {
    if (!held)
        return;
    const int generation = m_generation;
    std::vector<WId> windows;
    if (menuWindow)
        windows.push_back(menuWindow);
    const bool wasCapturing = m_captureStarted;
    m_menuHeld = false;
    RunWhenSettled(windows, [this, generation, wasCapturing] {
        if (ContinueCapture(generation) && wasCapturing)
            emit releasedAfterMenu();
    });
}

bool RecorderControl::NewProject(std::string& path, bool stream) {
    if (!m_doc.NewProject(path, stream))
        return false;
    m_streamEnded = false;
    const bool ok = RunSettings(stream);
    if (stream && !ok) {
        // Nothing was recorded: the new stream is given up and no file is left behind.
        m_doc.Close();
        m_doc.ClearLastMessage();
        return false;
    }
    if (stream)
        QTimer::singleShot(0, this, [this] { Begin(); });
    return true;
}

bool RecorderControl::RunSettings(bool newStream) {
    return m_hooks.settings ? m_hooks.settings(newStream) : false;
}

} // namespace zov
