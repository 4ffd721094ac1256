// The main editor window: the thumbnail strip, the frame view, the menus and the toolbar, the
// status text. It turns every command into a call on the document through the command table
// (ui/CommandTable.h), which other subsystems extend with their own handlers.
#pragma once

#include "render/FrameSurfaces.h"
#include "render/Playback.h"
#include "ui/CommandTable.h"
#include "ui/EditorLayout.h"
#include "ui/FrameSelection.h"

#include <QMainWindow>
#include <functional>
#include <map>
#include <string>

class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QAction;

namespace zov {

class CAni;
class DocumentEventsAdapter;
class FrameView;
class PlayerWindow;
class ThumbnailStrip;
class ZovApp;

// PlayerState of the editor: 0 idle, 1 playing, 2 paused.
enum PlayerStateValue : int { PLAYER_IDLE = 0, PLAYER_PLAYING = 1, PLAYER_PAUSED = 2 };

// The next size of the Ctrl+Shift+click cycle: 400x300 -> 460x360 -> 640x480 -> 800x600,
// anything else -> 400x300.
QSize NextCycleSize(QSize current);

class CMainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainWindow(ZovApp& app, QWidget* parent = nullptr);
    ~CMainWindow() override;

    // The questions and messages the window shows; tests replace them.
    struct Dialogs {
        std::function<bool(const QString& text)> askYesNo;
        std::function<void(const QString& text, bool warning)> message;
        std::function<QString(const QString& title, const QString& folder, const QString& filter)> openPath;
        // Returns the path and, for New, whether the stream type was chosen.
        std::function<QString(const QString& title, const QString& folder, const QStringList& filters,
                              int* chosenFilter)>
            savePath;
        std::function<bool(int* frame)> gotoFrame; // runs the goto dialog
    };
    Dialogs& DialogHooks() { return m_dialogs; }

    // New after its file dialog: the recording subsystem installs its settings dialog and
    // stream start here. Returns whether the document now holds the new project.
    using NewProjectHook = std::function<bool(std::string& path, bool stream)>;
    void SetNewProjectHook(NewProjectHook hook) { m_newProjectHook = std::move(hook); }
    // Run before the window closes without a question (signals, session end) and after a yes
    // to the Exit question: stop workers, write indexes.
    void AddCloseHook(std::function<void()> hook) { m_closeHooks.push_back(std::move(hook)); }

    CommandTable& Commands() { return m_commands; }
    // Runs a menu command as the menu would, then refreshes the command states.
    void RunCommand(int menuId);
    CommandContext Context() const;
    QAction* Action(int menuId) const;
    QAction* ToolbarAction(int toolbarId) const;
    QMenu* TopMenu(int index) const;

    // Opens a project as Open does after its dialog; false (message shown) on failure.
    bool OpenProjectPath(const QString& path);
    // The language switch of the View menu ("english", "chinese", "japanese").
    void SelectLanguage(const std::string& name);
    void ApplyLanguage();

    // Selects `frame` alone, shows it, scrolls the strip to it, refreshes the commands.
    void SelectAndShowFrame(int32_t frame);
    // The tool commands' mode change; the element editor installs what it does (its hook),
    // and reports the modes it enters through ReflectEditMode.
    void SetEditMode(int mode);
    void SetEditModeHook(std::function<void(int mode)> hook) { m_editModeHook = std::move(hook); }
    void ReflectEditMode(int mode);
    int EditMode() const { return m_editMode; }
    void SetRecording(bool recording);

    // Closing without the Exit question (SIGTERM, SIGINT, session end): hooks, playback
    // stopped, project closed, then the event loop ends.
    void CloseWithoutQuestion();

    // The document's events, as queued signals (the recording and import windows connect here).
    DocumentEventsAdapter* DocumentEvents() const { return m_events; }

    EditorSelection& Selection() { return m_sel; }
    int PlayerState() const { return m_playerState; }
    int PlayingFrame() const { return m_playingFrame; }
    const EditorLayout& Layout() const { return m_layout; }
    ThumbnailStrip* Strip() const { return m_strip; }
    FrameView* View() const { return m_view; }
    QScrollBar* StripScrollBar() const { return m_stripScroll; }
    QLabel* StatusLabel() const { return m_status; }
    FrameSurfaces& Surfaces() { return m_surfaces; }
    PlaybackEngine& Playback() { return m_playback; }
    ZovApp& App() { return m_app; }
    // "Ready to Record Sound": the next Play also records sound.
    bool RecordSoundOnPlay() const { return m_recordSoundOnPlay; }
    QWidget* Client() const { return m_client; }
    QString StatusText() const;
    bool FitToWindow() const { return m_fit; }
    void SetFitToWindow(bool on);

    // Playback commands, shared with the player window.
    void CmdPlay();
    void CmdFastPlay();
    void CmdPause();
    void CmdStop();

    // Lays the children out for the current client size.
    void LayOut();
    // Re-evaluates every menu item and toolbar button.
    void UpdateCommandStates();
    // Draws the strip again (after edits, playback, language).
    void RefreshStrip();
    // Composes the anchor frame again (frame, then its unselected elements) and shows it.
    void ShowAnchor();
    // Shows the work surface again with the selection overlay (no new composition).
    void RefreshView();

  signals:
    // The playback worker's reports, forwarded to the window thread.
    void PlayFrameReported(int frame);
    void PlayFinishReported(int frame);

  protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void BuildMenus();
    void BuildToolbar();
    void BuildChildren();
    void RegisterBuiltInCommands();
    void UpdateViewScrollBars();
    void UpdateStatus();
    void SetNoFileTitle();
    void SetPathTitle(const QString& path);
    void AfterFramesChanged(int32_t anchor);
    void StartPlayback(bool fast);
    void OnPlayFrame(int frame);
    void OnPlayFinish(int frame);
    void OnRecordFinished();
    void OnElementListChanged();
    void OnDocumentClosed();
    void OnStripPressed(int32_t frame, Qt::KeyboardModifiers modifiers);
    void OnViewPressed(QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint globalPos);
    void ScrollStripTo(int32_t first);
    void ShowPlayer();
    void ShowAbout();
    void OpenHelp();
    bool RunCloseSteps();
    QString Tr(int id) const;

    // Built-in command bodies.
    void CmdNew();
    void CmdOpen();
    void CmdSave();
    void CmdSaveAs();
    void CmdClose();
    void CmdExit();
    void CmdUndo();
    void CmdCut();
    void CmdCopy();
    void CmdPaste();
    void CmdDelete();
    void CmdGoto();

    ZovApp& m_app;
    CAni& m_doc;
    FrameSurfaces m_surfaces;
    PlaybackEngine m_playback;
    CommandTable m_commands;
    EditorSelection m_sel;
    EditorLayout m_layout;
    Dialogs m_dialogs;
    NewProjectHook m_newProjectHook;
    std::function<void(int)> m_editModeHook;
    std::vector<std::function<void()>> m_closeHooks;

    QWidget* m_client = nullptr;
    QToolBar* m_toolbar = nullptr;
    ThumbnailStrip* m_strip = nullptr;
    QPushButton* m_first = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_last = nullptr;
    QScrollBar* m_stripScroll = nullptr;
    QTreeWidget* m_tree = nullptr;
    FrameView* m_view = nullptr;
    QScrollBar* m_hScroll = nullptr;
    QScrollBar* m_vScroll = nullptr;
    QToolButton* m_fitButton = nullptr;
    QLabel* m_status = nullptr;
    std::map<int, QAction*> m_actions;     // by menu id
    std::map<int, QAction*> m_toolActions; // by toolbar id
    std::vector<QMenu*> m_topMenus;
    QMenu* m_saveOption = nullptr;
    QMenu* m_drawingTools = nullptr;
    QMenu* m_stripMenu = nullptr;
    PlayerWindow* m_player = nullptr;
    DocumentEventsAdapter* m_events = nullptr;

    int m_playerState = PLAYER_IDLE;
    bool m_playingFast = false;
    int m_playingFrame = 0;
    int m_editMode = 0;
    bool m_recording = false;
    bool m_fit = false;
    bool m_elementsOnly = false;
    bool m_frameSelect = false;
    bool m_areaSelect = false;
    bool m_recordSoundOnPlay = false;
    bool m_closing = false;
    bool m_pressInView = false;
    friend class PlayerWindow;
};

} // namespace zov
