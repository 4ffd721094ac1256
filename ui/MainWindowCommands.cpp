// The editor's built-in commands: files, frame edits, playback, views and help.
#include "app/Application.h"
#include "base/Log.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "platform/Process.h"
#include "ui/AboutDialog.h"
#include "ui/FrameView.h"
#include "ui/GotoDialog.h"
#include "ui/MainWindow.h"
#include "ui/PlayerWindow.h"
#include "ui/ProgressDialog.h"
#include "ui/SoundCommands.h"
#include "ui/ThumbnailStrip.h"

#include <QAction>
#include <QFileInfo>
#include <thread>

namespace zov {

void OpenWithDesktop(const std::string& target) {
    ProcessOptions quiet;
    quiet.output = ProcessOutput::Discard();
    quiet.errors = ProcessOutput::Discard();
    pid_t pid = SpawnProcess({"xdg-open", target}, quiet);
    if (pid > 0)
        std::thread([pid] { WaitProcess(pid); }).detach(); // reaped without waiting here
}

void CMainWindow::RegisterBuiltInCommands() {
    CommandTable& t = m_commands;
    t.Register(ID_NEW, [this] { CmdNew(); });
    t.Register(ID_OPEN, [this] { CmdOpen(); });
    t.Register(ID_SAVE, [this] { CmdSave(); });
    t.Register(ID_SAVE_AS, [this] { CmdSaveAs(); });
    t.Register(ID_CLOSE, [this] { CmdClose(); });
    t.Register(ID_EXIT, [this] { CmdExit(); });
    t.Register(ID_TOOLBAR, [this] {
        Settings& s = m_app.Config();
        s.SetFlag(Settings::kShowToolbar, !s.Flag(Settings::kShowToolbar));
        LayOut();
    });
    t.Register(ID_STATUS_BAR, [this] {
        Settings& s = m_app.Config();
        s.SetFlag(Settings::kShowStatusBar, !s.Flag(Settings::kShowStatusBar));
        LayOut();
    });
    t.Register(ID_TOOL_WINDOW, [this] {
        Settings& s = m_app.Config();
        s.SetFlag(Settings::kShowToolWindow, !s.Flag(Settings::kShowToolWindow));
    });
    t.Register(ID_FULL_SCREEN, [this] { ShowPlayer(); });
    t.Register(ID_LANG_ENGLISH, [this] { SelectLanguage("english"); });
    t.Register(ID_LANG_CHINESE, [this] { SelectLanguage("chinese"); });
    t.Register(ID_LANG_JAPANESE, [this] { SelectLanguage("japanese"); });
    t.Register(ID_UNDO, [this] { CmdUndo(); });
    t.Register(ID_SELECT_ALL, [this] {
        m_sel.SelectAll(m_doc.FrameCount());
        RefreshStrip();
    });
    t.Register(ID_CUT, [this] { CmdCut(); });
    t.Register(ID_COPY, [this] { CmdCopy(); });
    t.Register(ID_PASTE, [this] { CmdPaste(); });
    t.Register(ID_DELETE, [this] { CmdDelete(); });
    t.Register(ID_GOTO, [this] { CmdGoto(); });
    t.Register(ID_PLAY, [this] { CmdPlay(); });
    t.Register(ID_FAST_PLAY, [this] { CmdFastPlay(); });
    t.Register(ID_PLAY_PAUSE, [this] { CmdPause(); });
    t.Register(ID_PLAY_STOP, [this] { CmdStop(); });
    t.Register(ID_READY_TO_RECORD_SOUND, [this] { m_recordSoundOnPlay = !m_recordSoundOnPlay; });
    t.Register(ID_ELEMENTS_ONLY, [this] {
        m_elementsOnly = !m_elementsOnly;
        ShowAnchor();
    });
    t.Register(ID_FRAME_SELECT, [this] {
        m_frameSelect = !m_frameSelect;
        m_app.Config().SetFlag(Settings::kFrameSelect, m_frameSelect);
    });
    t.Register(ID_AREA_SELECT, [this] {
        m_areaSelect = !m_areaSelect;
        m_app.Config().SetFlag(Settings::kAreaSelect, m_areaSelect);
    });
    t.Register(ID_CANCEL_EDIT, [this] {
        SetEditMode(MODE_NONE);
        ShowAnchor();
    });
    // The element tools set their mode; the element editor acts on it.
    const std::pair<int, int> tools[] = {{ID_DRAW_LINE, MODE_LINE},
                                         {ID_DRAW_CIRCLE, MODE_CIRCLE},
                                         {ID_DRAW_BOX, MODE_BOX},
                                         {ID_DRAW_BOX2, MODE_BOX2},
                                         {ID_ADD_TEXT, MODE_TEXT},
                                         {ID_ADD_SUBSCRIPT1, MODE_SUBSCRIPT1},
                                         {ID_ADD_SUBSCRIPT2, MODE_SUBSCRIPT2},
                                         {ID_SET_URL_LINK, MODE_URL}};
    for (auto [id, mode] : tools) {
        const int m = mode;
        t.Register(id, [this, m] {
            if (m_editMode != m)
                SetEditMode(m);
            RefreshView();
        });
    }
    t.Register(ID_HOW_TO, [this] { OpenHelp(); });
    t.Register(ID_ABOUT, [this] { ShowAbout(); });
}

// ---- files ------------------------------------------------------------------------------------

void CMainWindow::CmdNew() {
    if (m_playerState != PLAYER_IDLE || m_recording) {
        ZOV_LOG("***** Error status!");
        return;
    }
    const QStringList filters = {QString("%1 (*.scp)").arg(Tr(S_FILTER_PROJECT)),
                                 QString("%1 (*.zov)").arg(Tr(S_FILTER_ZOV))};
    int chosen = 0;
    QString path = m_dialogs.savePath(Tr(S_NEW_TITLE), QString::fromStdString(m_app.Config().DefaultFolder()),
                                      filters, &chosen);
    if (path.isEmpty())
        return;
    const bool stream = chosen == 1 || path.endsWith(".zov", Qt::CaseInsensitive);
    m_playback.Stop();
    std::string p = path.toStdString();
    if (!m_newProjectHook(p, stream)) {
        const std::string why = m_doc.LastMessage();
        if (!why.empty())
            m_dialogs.message(QString::fromStdString(why), true);
        return;
    }
    SetPathTitle(QString::fromStdString(m_doc.DocumentPath().empty() ? p : m_doc.DocumentPath()));
    m_sel.Reset(m_doc.FrameCount());
    AfterFramesChanged(0);
}

void CMainWindow::CmdOpen() {
    const QString filter = QString("%1 (*.scp);;%2 (*)").arg(Tr(S_FILTER_PROJECT), Tr(S_FILTER_ALL));
    QString path =
        m_dialogs.openPath(Tr(S_OPEN_TITLE), QString::fromStdString(m_app.Config().DefaultFolder()), filter);
    if (!path.isEmpty())
        OpenProjectPath(path);
}

bool CMainWindow::OpenProjectPath(const QString& given) {
    QString path = given;
    if (path.size() >= 2 && path.startsWith('"') && path.endsWith('"'))
        path = path.mid(1, path.size() - 2);
    if (m_playerState != PLAYER_IDLE) {
        m_playback.Stop();
        m_playerState = PLAYER_IDLE;
    }
    std::string p = path.toStdString();
    bool ok = false;
    bool cancelled = false;
    {
        ProgressDialog progress(this, Tr(S_PROGRESS_TITLE), Tr(S_PROGRESS_OPENING), Tr(S_PROGRESS_CANCEL));
        ok = progress.Run([this, &p, &progress] { return m_doc.OpenProject(p, &progress.CancelFlag()); },
                          /*cancellable=*/true);
        cancelled = !ok && progress.Cancelled();
    }
    if (!ok) {
        // A cancelled open keeps the project that was open; the user knows why.
        if (!cancelled)
            m_dialogs.message(QString::fromStdString(m_doc.LastMessage()), true);
        return false;
    }
    m_editMode = MODE_NONE;
    m_sel.Reset(m_doc.FrameCount());
    SetPathTitle(QString::fromStdString(m_doc.DocumentPath()));
    m_surfaces.Release();
    AfterFramesChanged(0);
    return true;
}

void CMainWindow::CmdSave() {
    if (!m_doc.IsFileOpen()) {
        ZOV_LOG("***** No opened file!");
        return;
    }
    if (!m_doc.WriteIndex())
        m_dialogs.message(Tr(S_SAVE_FAILED), true);
}

void CMainWindow::CmdSaveAs() {
    if (!m_doc.IsFileOpen()) {
        ZOV_LOG("***** No opened file!");
        return;
    }
    const QStringList filters = {QString("%1 (*.scp)").arg(Tr(S_FILTER_PROJECT))};
    QString path = m_dialogs.savePath(Tr(S_SAVE_AS), QString::fromStdString(m_app.Config().DefaultFolder()),
                                      filters, nullptr);
    if (path.isEmpty())
        return;
    std::string p = path.toStdString();
    bool ok = false;
    bool cancelled = false;
    {
        ProgressDialog progress(this, Tr(S_PROGRESS_TITLE), Tr(S_PROGRESS_SAVING), Tr(S_PROGRESS_CANCEL));
        ok = progress.Run([this, &p, &progress] { return m_doc.SaveAs(p, &progress.CancelFlag()); },
                          /*cancellable=*/true);
        cancelled = !ok && progress.Cancelled();
    }
    if (cancelled)
        return;
    if (!ok) {
        const std::string why = m_doc.LastMessage();
        m_dialogs.message(why.empty() ? Tr(S_SAVE_FAILED) : QString::fromStdString(why), true);
        return;
    }
    SetPathTitle(QString::fromStdString(m_doc.DocumentPath()));
    m_dialogs.message(Tr(S_SAVE_AS_DONE), false);
}

void CMainWindow::CmdClose() {
    m_playback.Stop();
    m_playerState = PLAYER_IDLE;
    m_playingFast = false;
    m_doc.Close();
    m_editMode = MODE_NONE;
    m_sel.Reset(0);
    m_surfaces.Release();
    m_strip->InvalidateThumbnails();
    SetNoFileTitle();
    RefreshView();
    UpdateStatus();
    LayOut();
}

// ---- frame edits --------------------------------------------------------------------------------

void CMainWindow::CmdUndo() {
    if (!m_doc.Undo()) {
        ZOV_LOG("***** Fail!");
        return;
    }
    m_sel.markKind = MarkKind::None;
    AfterFramesChanged(std::min(m_sel.selection.anchor, m_doc.FrameCount() - 1));
}

void CMainWindow::CmdCut() {
    if (m_doc.FrameCount() < 1) {
        m_dialogs.message(Tr(S_CUT_NO_FRAMES), false);
        return;
    }
    m_sel.SetMark(MarkKind::Cut);
    RefreshStrip();
}

void CMainWindow::CmdCopy() {
    if (m_doc.FrameCount() < 1) {
        ZOV_LOG("***** No Frame!");
        return;
    }
    m_sel.SetMark(MarkKind::Copy);
    RefreshStrip();
}

void CMainWindow::CmdPaste() {
    if (!m_sel.CanPaste()) {
        ZOV_LOG("***** Error status!");
        return;
    }
    const int32_t at = m_sel.selection.anchor;
    const int32_t start = m_sel.mark.Start(), len = m_sel.mark.Length();
    if (!m_doc.PasteFrames(start, len, at)) {
        m_dialogs.message(Tr(S_PASTE_FAILED), true);
        return;
    }
    int32_t first = at;
    if (m_sel.markKind == MarkKind::Cut) {
        // The marked frames moved up by the pasted count when they lay at or after the anchor.
        const int32_t now = start >= at ? start + len : start;
        if (!m_doc.DeleteFrames(now, len, /*snapshot=*/false))
            ZOV_LOG("***** Delete Fail!");
        if (start < at)
            first = at - len;
        m_sel.markKind = MarkKind::None;
    } else if (start >= at) {
        m_sel.mark.anchor += len;
    }
    AfterFramesChanged(first);
}

void CMainWindow::CmdDelete() {
    if (m_editMode != MODE_NONE)
        return;
    const int32_t start = m_sel.selection.Start(), len = m_sel.selection.Length();
    if (len < 1 || start < 0 || start + len > m_doc.FrameCount()) {
        ZOV_LOG("***** No Frame!");
        return;
    }
    if (!m_doc.DeleteFrames(start, len)) {
        ZOV_LOG("***** Delete Fail!");
        return;
    }
    m_sel.markKind = MarkKind::None;
    AfterFramesChanged(std::min(start, std::max(0, m_doc.FrameCount() - 1)));
}

void CMainWindow::CmdGoto() {
    if (m_doc.FrameCount() < 1) {
        ZOV_LOG("***** No Frame!");
        return;
    }
    int frame = m_sel.selection.Start();
    bool ok = m_dialogs.gotoFrame ? m_dialogs.gotoFrame(&frame) : CDialogGoto::Ask(this, m_app, &frame);
    if (!ok)
        return;
    SelectAndShowFrame(frame);
}

// ---- playback -----------------------------------------------------------------------------------

void CMainWindow::StartPlayback(bool fast) {
    if (m_doc.FrameCount() < 1) {
        ZOV_LOG(fast ? "***** No frame to play!" : "***** No Frame to play!");
        return;
    }
    m_doc.SetSpeed(fast ? 30 : 10);
    if (m_playerState == PLAYER_IDLE) {
        if (!m_playback.SetPlayStart(m_sel.selection.anchor))
            return;
        if (!fast && m_recordSoundOnPlay)
            SoundPlaybackStarting(*this); // narration
        if (!m_playback.Play()) {
            SoundPlaybackEnded(*this, m_recordSoundOnPlay);
            return;
        }
    } else if (m_playerState == PLAYER_PAUSED) {
        m_playback.Resume();
    }
    m_playingFast = fast;
    m_playerState = PLAYER_PLAYING;
    RefreshView();
    UpdateCommandStates();
}

void CMainWindow::CmdPlay() {
    StartPlayback(false);
}

void CMainWindow::CmdFastPlay() {
    StartPlayback(true);
}

void CMainWindow::CmdPause() {
    if (!m_playback.Pause())
        return;
    m_playerState = PLAYER_PAUSED;
    m_sel.SelectOne(m_playingFrame);
    ShowAnchor();
    RefreshStrip();
    UpdateCommandStates();
}

void CMainWindow::CmdStop() {
    if (!m_doc.IsFileOpen()) {
        ZOV_LOG("***** No Opened File");
        return;
    }
    if (m_playerState != PLAYER_PLAYING && m_playerState != PLAYER_PAUSED) {
        ZOV_LOG("E: status error");
        return;
    }
    m_playback.Stop();
    SoundPlaybackEnded(*this, m_recordSoundOnPlay);
    m_recordSoundOnPlay = false;
    m_playerState = PLAYER_IDLE;
    m_playingFast = false;
    SelectAndShowFrame(m_playingFrame);
}

void CMainWindow::OnPlayFrame(int frame) {
    m_playingFrame = frame;
    if (m_player)
        m_player->OnPlayFrame(frame);
    if (m_playerState != PLAYER_IDLE)
        m_view->update();
}

void CMainWindow::OnPlayFinish(int frame) {
    m_playback.Stop(); // joins the finished worker
    SoundPlaybackEnded(*this, m_recordSoundOnPlay);
    m_recordSoundOnPlay = false;
    m_playerState = PLAYER_IDLE;
    m_playingFast = false;
    m_playingFrame = frame;
    m_strip->InvalidateThumbnails();
    SelectAndShowFrame(frame);
    if (m_player)
        m_player->OnPlayFinish(frame);
}

// ---- document events ----------------------------------------------------------------------------

void CMainWindow::OnRecordFinished() {
    // A finished recording: frame 0 in the view, the strip from frame 0, everything redrawn.
    m_recording = false;
    m_sel.Reset(m_doc.FrameCount());
    m_surfaces.Release();
    AfterFramesChanged(0);
    ScrollStripTo(0);
}

void CMainWindow::OnElementListChanged() {
    m_strip->InvalidateThumbnails();
    if (m_surfaces.Prepared() && m_playerState == PLAYER_IDLE)
        ShowAnchor();
    RefreshStrip();
}

void CMainWindow::OnDocumentClosed() {
    if (m_doc.IsFileOpen())
        return; // a project opened since
    m_sel.Reset(0);
    m_surfaces.Release();
    m_strip->InvalidateThumbnails();
    RefreshView();
    UpdateStatus();
    LayOut();
    UpdateCommandStates();
}

// ---- windows ------------------------------------------------------------------------------------

void CMainWindow::ShowPlayer() {
    if (m_doc.FrameCount() < 1)
        ZOV_LOG("***** No Frame!");
    PlayerWindow player(*this);
    m_player = &player;
    UpdateCommandStates();
    player.Run();
    m_player = nullptr;
    RefreshView();
    UpdateCommandStates();
}

void CMainWindow::ShowAbout() {
    AboutDialog about(m_app, this);
    about.exec();
}

void CMainWindow::OpenHelp() {
    const int lang = m_app.Config().LanguageIndex();
    const char* folder = lang == 1 ? "help_cn" : lang == 2 ? "help_jp" : "help_en";
    const std::string page = m_app.Folders().data + folder + "/index.html";
    // No shell: the page path is one argument; failures are not reported.
    OpenWithDesktop(page);
}

} // namespace zov
