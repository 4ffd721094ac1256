#include "ui/MainWindow.h"

#include "app/Application.h"
#include "base/Log.h"
#include "base/StringIds.h"
#include "core/Ani.h"
#include "ui/BitmapCommands.h"
#include "ui/DocumentEventsAdapter.h"
#include "ui/ElementCommands.h"
#include "ui/ExportCommands.h"
#include "ui/FrameView.h"
#include "ui/IconTheme.h"
#include "ui/RecorderCommands.h"
#include "ui/SoundCommands.h"
#include "ui/ThumbnailStrip.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace zov {

QSize NextCycleSize(QSize s) {
    if (s == QSize(400, 300))
        return QSize(460, 360);
    if (s == QSize(460, 360))
        return QSize(640, 480);
    if (s == QSize(640, 480))
        return QSize(800, 600);
    return QSize(400, 300);
}

namespace {

struct MenuItem {
    int id;       // 0: separator
    int stringId; // caption
    bool checkable;
};

} // namespace

CMainWindow::CMainWindow(ZovApp& app, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_doc(app.Doc()), m_surfaces(app.Doc()),
      m_playback(app.Doc(), app.FrameMutex()) {
    m_dialogs.askYesNo = [this](const QString& text) {
        return QMessageBox::question(this, Tr(S_APP_TITLE), text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    m_dialogs.message = [this](const QString& text, bool warning) {
        if (warning)
            QMessageBox::warning(this, Tr(S_APP_TITLE), text);
        else
            QMessageBox::information(this, Tr(S_APP_TITLE), text);
    };
    m_dialogs.openPath = [this](const QString& title, const QString& folder, const QString& filter) {
        return QFileDialog::getOpenFileName(this, title, folder, filter);
    };
    m_dialogs.savePath = [this](const QString& title, const QString& folder, const QStringList& filters,
                                int* chosen) {
        QString selected;
        QString path = QFileDialog::getSaveFileName(this, title, folder, filters.join(";;"), &selected);
        if (chosen)
            *chosen = static_cast<int>(filters.indexOf(selected));
        return path;
    };
    m_newProjectHook = [this](std::string& path, bool stream) { return m_doc.NewProject(path, stream); };

    m_frameSelect = m_app.Config().Flag(Settings::kFrameSelect);
    m_areaSelect = m_app.Config().Flag(Settings::kAreaSelect);
    m_frameSelect = m_areaSelect = false; // both off at start
    m_app.Config().SetFlag(Settings::kFrameSelect, false);
    m_app.Config().SetFlag(Settings::kAreaSelect, false);

    RegisterBuiltInCommands();
    RegisterBitmapCommands(*this);
    RegisterExportCommands(*this);
    BuildMenus();
    BuildChildren();
    BuildToolbar();
    InstallElementCommands(*this);
    setWindowIcon(LoadIcon(m_app.Folders().data, "zov.svg"));
    m_sel.Reset(0);

    // The worker's reports cross to this thread as queued signals.
    connect(this, &CMainWindow::PlayFrameReported, this, &CMainWindow::OnPlayFrame, Qt::QueuedConnection);
    connect(this, &CMainWindow::PlayFinishReported, this, &CMainWindow::OnPlayFinish, Qt::QueuedConnection);
    m_playback.SetListener(
        {[this](int f) { emit PlayFrameReported(f); }, [this](int f) { emit PlayFinishReported(f); }});
    m_events = new DocumentEventsAdapter(m_doc, this);
    connect(m_events, &DocumentEventsAdapter::RecordFinished, this, &CMainWindow::OnRecordFinished,
            Qt::QueuedConnection);
    connect(m_events, &DocumentEventsAdapter::ElementListChanged, this, &CMainWindow::OnElementListChanged,
            Qt::QueuedConnection);
    connect(m_events, &DocumentEventsAdapter::Closed, this, &CMainWindow::OnDocumentClosed,
            Qt::QueuedConnection);

    InstallRecorder(*this); // commands, New's settings, tray and hot keys of the recorder
    InstallSound(*this);    // sound with the screen and while playing

    ApplyLanguage();
    SetNoFileTitle();
    UpdateStatus();
    UpdateCommandStates();
}

CMainWindow::~CMainWindow() {
    m_playback.Stop();
    delete m_events; // stops listening before the window's members go
    m_events = nullptr;
}

QString CMainWindow::Tr(int id) const {
    return QString::fromStdString(m_app.Text(id));
}

// ---- construction -------------------------------------------------------------------------

void CMainWindow::BuildMenus() {
    using Items = std::vector<MenuItem>;
    auto fill = [this](QMenu* menu, const Items& items) {
        for (const MenuItem& it : items) {
            if (it.id == 0) {
                menu->addSeparator();
                continue;
            }
            QAction* a = menu->addAction(QString());
            a->setCheckable(it.checkable);
            a->setData(it.id);
            a->setProperty("zovString", it.stringId);
            const int id = it.id;
            connect(a, &QAction::triggered, this, [this, id] { RunCommand(id); });
            m_actions[id] = a;
        }
    };
    QMenuBar* bar = menuBar();
    for (int i = 0; i < 7; ++i)
        m_topMenus.push_back(bar->addMenu(QString()));
    fill(m_topMenus[0], {{ID_NEW, S_NEW, false},
                         {ID_OPEN, S_OPEN, false},
                         {ID_SAVE, S_SAVE, false},
                         {ID_SAVE_AS, S_SAVE_AS, false},
                         {ID_PROPERTIES, S_PROPERTIES, false},
                         {ID_CLOSE, S_CLOSE, false},
                         {0, 0, false},
                         {ID_EXPORT_ZOV, S_EXPORT_ZOV, false},
                         {ID_EXPORT_AVI, S_EXPORT_AVI, false},
                         {ID_EXPORT_WMV, S_EXPORT_WMV, false},
                         {ID_EXPORT_BMP, S_EXPORT_BMP, false}});
    // "Save Option" is the File menu's item at position 11.
    m_saveOption = m_topMenus[0]->addMenu(QString());
    fill(m_saveOption, {{ID_FRAME_SELECT, S_FRAME_SELECT, true}, {ID_AREA_SELECT, S_AREA_SELECT, true}});
    fill(m_topMenus[0],
         {{0, 0, false}, {ID_IMPORT_BMP, S_IMPORT_BMP, false}, {0, 0, false}, {ID_EXIT, S_EXIT, false}});
    fill(m_topMenus[1], {{ID_TOOLBAR, S_TOOLBAR, true},
                         {ID_STATUS_BAR, S_STATUS_BAR, true},
                         {ID_TOOL_WINDOW, S_TOOL_WINDOW, true},
                         {ID_FULL_SCREEN, S_FULL_SCREEN, false},
                         {0, 0, false},
                         {ID_LANG_ENGLISH, -1, true},
                         {ID_LANG_CHINESE, -1, true},
                         {ID_LANG_JAPANESE, -1, true}});
    // The language items name themselves in their own language.
    m_actions[ID_LANG_ENGLISH]->setText("&English");
    m_actions[ID_LANG_CHINESE]->setText("&Chinese (中文)");
    m_actions[ID_LANG_JAPANESE]->setText("&Japanese (日本語)");
    fill(m_topMenus[2], {{ID_UNDO, S_UNDO, false},
                         {0, 0, false},
                         {ID_SELECT_ALL, S_SELECT_ALL, false},
                         {ID_CUT, S_CUT, false},
                         {ID_COPY, S_COPY, false},
                         {ID_PASTE, S_PASTE, false},
                         {ID_DELETE, S_DELETE, false},
                         {0, 0, false},
                         {ID_GOTO, S_GOTO, false}});
    fill(m_topMenus[3], {{ID_CANCEL_EDIT, S_CANCEL_EDIT, false},
                         {0, 0, false},
                         {ID_DRAW_LINE, S_DRAW_LINE, false},
                         {ID_DRAW_CIRCLE, S_DRAW_CIRCLE, false},
                         {ID_DRAW_BOX, S_DRAW_BOX, false},
                         {ID_DRAW_BOX2, S_DRAW_BOX2, false},
                         {ID_ADD_MARK, S_ADD_MARK, false},
                         {ID_ADD_TEXT, S_ADD_TEXT, false},
                         {ID_ADD_SUBSCRIPT1, S_ADD_SUBSCRIPT1, false},
                         {ID_ADD_SUBSCRIPT2, S_ADD_SUBSCRIPT2, false},
                         {ID_ADD_IMAGE, S_ADD_IMAGE, false},
                         {ID_SET_URL_LINK, S_SET_URL_LINK, false},
                         {0, 0, false},
                         {ID_ELEMENTS_ONLY, S_ELEMENTS_ONLY, true}});
    fill(m_topMenus[4], {{ID_PLAY, S_PLAY, false},
                         {ID_FAST_PLAY, S_FAST_PLAY, false},
                         {ID_PLAY_PAUSE, S_PLAY_PAUSE, false},
                         {ID_PLAY_STOP, S_PLAY_STOP, false},
                         {0, 0, false},
                         {ID_READY_TO_RECORD_SOUND, S_READY_TO_RECORD_SOUND, true}});
    fill(m_topMenus[5], {{ID_REC_BEGIN, S_REC_BEGIN, false},
                         {ID_REC_PAUSE, S_REC_PAUSE, false},
                         {ID_REC_RESUME, S_REC_RESUME, false},
                         {ID_REC_STOP, S_REC_STOP, false}});
    fill(m_topMenus[6], {{ID_HOW_TO, S_HOW_TO, false}, {ID_ABOUT, S_ABOUT, false}});

    m_stripMenu = new QMenu(this);
    for (int id : {ID_CUT, ID_COPY, ID_PASTE, ID_DELETE})
        m_stripMenu->addAction(m_actions[id]);
    m_drawingTools = new QMenu(this);
    for (int id : {ID_DRAW_LINE, ID_DRAW_CIRCLE, ID_DRAW_BOX, ID_DRAW_BOX2})
        m_drawingTools->addAction(m_actions[id]);
}

void CMainWindow::BuildChildren() {
    m_client = new QWidget(this);
    setCentralWidget(m_client);
    m_client->installEventFilter(this);
    m_strip = new ThumbnailStrip(m_client);
    auto button = [this](const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), m_client);
        b->setFocusPolicy(Qt::NoFocus);
        b->setStyleSheet("QPushButton { padding: 0px; font-size: 9px; }");
        return b;
    };
    m_first = button("<<");
    m_previous = button("<");
    m_next = button(">");
    m_last = button(">>");
    m_stripScroll = new QScrollBar(Qt::Horizontal, m_client);
    m_tree = new QTreeWidget(m_client);
    m_tree->setHeaderHidden(true);
    m_tree->hide();
    m_view = new FrameView(m_client);
    m_hScroll = new QScrollBar(Qt::Horizontal, m_client);
    m_vScroll = new QScrollBar(Qt::Vertical, m_client);
    m_fitButton = new QToolButton(m_client);
    m_fitButton->setCheckable(true);
    m_fitButton->setFocusPolicy(Qt::NoFocus);
    m_status = new QLabel(m_client);
    m_status->setContentsMargins(4, 0, 0, 0);

    connect(m_first, &QPushButton::clicked, this, [this] {
        if (m_sel.firstVisible != 0)
            ScrollStripTo(0);
    });
    connect(m_previous, &QPushButton::clicked, this, [this] {
        if (m_sel.firstVisible != 0)
            ScrollStripTo(m_sel.firstVisible - 1);
    });
    auto lastVisible = [this] { return m_sel.firstVisible + m_strip->Slots() - 1 >= m_doc.FrameCount() - 1; };
    connect(m_next, &QPushButton::clicked, this, [this, lastVisible] {
        if (!lastVisible())
            ScrollStripTo(m_sel.firstVisible + 1);
    });
    connect(m_last, &QPushButton::clicked, this, [this, lastVisible] {
        if (!lastVisible())
            ScrollStripTo(MaxFirstVisible(m_strip->Slots(), m_doc.FrameCount()));
    });
    connect(m_stripScroll, &QScrollBar::valueChanged, this, [this](int v) {
        if (v != m_sel.firstVisible) {
            m_sel.firstVisible = v;
            RefreshStrip();
        }
    });
    connect(m_hScroll, &QScrollBar::valueChanged, this,
            [this](int v) { m_view->SetScroll(QPoint(v, m_view->Scroll().y())); });
    connect(m_vScroll, &QScrollBar::valueChanged, this,
            [this](int v) { m_view->SetScroll(QPoint(m_view->Scroll().x(), v)); });
    connect(m_fitButton, &QToolButton::clicked, this, [this](bool on) { SetFitToWindow(on); });
    connect(m_strip, &ThumbnailStrip::FramePressed, this, &CMainWindow::OnStripPressed);
    connect(m_strip, &ThumbnailStrip::ContextMenuAt, this, [this](QPoint at) {
        if (m_playerState == PLAYER_IDLE)
            m_stripMenu->popup(at);
    });
    connect(m_view, &FrameView::Pressed, this, &CMainWindow::OnViewPressed);
    connect(m_view, &FrameView::Released, this, [this](QPoint) { m_pressInView = false; });
}

void CMainWindow::BuildToolbar() {
    m_toolbar = new QToolBar(m_client);
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setContentsMargins(0, 0, 0, 0);
    m_toolbar->setStyleSheet("QToolBar { spacing: 0px; padding: 0px; border: none; }"
                             "QToolButton { padding: 1px; margin: 0px; }");
    for (const ToolbarEntry& e : ToolbarEntries()) {
        if (e.toolbarId == 0) {
            m_toolbar->addSeparator();
            continue;
        }
        QAction* a = m_toolbar->addAction(LoadIcon(m_app.Folders().data, e.icon), QString());
        a->setData(e.toolbarId);
        a->setProperty("zovTip", e.tipString);
        m_toolActions[e.toolbarId] = a;
        if (e.toolbarId == TB_DRAWING_TOOLS) {
            connect(a, &QAction::triggered, this, [this] {
                // Leaves any element tool first, then offers the four drawing tools.
                SetEditMode(MODE_NONE);
                QWidget* w = m_toolbar->widgetForAction(m_toolActions[TB_DRAWING_TOOLS]);
                m_drawingTools->popup(w ? w->mapToGlobal(QPoint(0, w->height())) : QCursor::pos());
            });
        } else {
            const int menuId = e.menuId;
            connect(a, &QAction::triggered, this, [this, menuId] { RunCommand(menuId); });
        }
    }
}

// ---- layout -------------------------------------------------------------------------------

void CMainWindow::LayOut() {
    const Settings& s = m_app.Config();
    const bool toolbarShown = s.Flag(Settings::kShowToolbar);
    const bool statusShown = s.Flag(Settings::kShowStatusBar);
    const bool indexShown = s.Flag(Settings::kShowIndexWindow);
    m_layout =
        ComputeEditorLayout(m_client->width(), m_client->height(), toolbarShown, statusShown, indexShown);
    m_toolbar->setGeometry(m_layout.toolbar);
    m_toolbar->setVisible(toolbarShown);
    m_strip->setGeometry(m_layout.strip);
    m_first->setGeometry(m_layout.first);
    m_previous->setGeometry(m_layout.previous);
    m_stripScroll->setGeometry(m_layout.stripScroll);
    m_next->setGeometry(m_layout.next);
    m_last->setGeometry(m_layout.last);
    m_tree->setGeometry(m_layout.indexTree);
    m_tree->setVisible(indexShown);
    m_view->setGeometry(m_layout.view);
    m_hScroll->setGeometry(m_layout.viewHScroll);
    m_vScroll->setGeometry(m_layout.viewVScroll);
    m_fitButton->setGeometry(m_layout.fitButton);
    m_status->setGeometry(m_layout.status);
    m_status->setVisible(statusShown);
    // The strip's range follows its width.
    const int maxFirst = MaxFirstVisible(m_strip->Slots(), m_doc.FrameCount());
    m_stripScroll->setRange(0, maxFirst);
    m_stripScroll->setPageStep(std::max(1, m_strip->Slots()));
    if (m_sel.firstVisible > maxFirst)
        m_sel.firstVisible = maxFirst;
    m_stripScroll->setValue(m_sel.firstVisible);
    UpdateViewScrollBars();
    RefreshStrip();
}

bool CMainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == m_client && e->type() == QEvent::Resize)
        LayOut();
    return QMainWindow::eventFilter(watched, e);
}

void CMainWindow::UpdateViewScrollBars() {
    const QSize frame = m_surfaces.ShownSize();
    const QSize view = m_view->DeviceSize();
    const bool scrollable = !m_fit && m_surfaces.Prepared();
    const int hMax = scrollable ? std::max(0, frame.width() - view.width()) : 0;
    const int vMax = scrollable ? std::max(0, frame.height() - view.height()) : 0;
    m_hScroll->setRange(0, hMax);
    m_hScroll->setPageStep(std::max(1, view.width()));
    m_vScroll->setRange(0, vMax);
    m_vScroll->setPageStep(std::max(1, view.height()));
    m_hScroll->setEnabled(scrollable);
    m_vScroll->setEnabled(scrollable);
    m_view->SetScroll(QPoint(m_hScroll->value(), m_vScroll->value()));
}

void CMainWindow::SetFitToWindow(bool on) {
    m_fit = on;
    m_fitButton->setChecked(on);
    m_view->SetStretch(on);
    UpdateViewScrollBars();
}

// ---- language and titles --------------------------------------------------------------------

void CMainWindow::ApplyLanguage() {
    for (int i = 0; i < 7; ++i)
        m_topMenus[i]->setTitle(Tr(S_MENU_FILE + i));
    m_saveOption->setTitle(Tr(S_SAVE_OPTION));
    for (auto& [id, a] : m_actions) {
        const int s = a->property("zovString").toInt();
        if (s >= 0)
            a->setText(Tr(s));
    }
    for (auto& [id, a] : m_toolActions)
        a->setToolTip(Tr(a->property("zovTip").toInt()));
    const int lang = m_app.Config().LanguageIndex();
    m_actions[ID_LANG_ENGLISH]->setChecked(lang == 0);
    m_actions[ID_LANG_CHINESE]->setChecked(lang == 1);
    m_actions[ID_LANG_JAPANESE]->setChecked(lang == 2);
    const InterfaceFontDesc fd = InterfaceFont(lang);
    QFont font(QString::fromStdString(fd.family));
    font.setPixelSize(-fd.height);
    m_client->setFont(font);
    m_status->setFont(font);
    const std::string path = m_doc.DocumentPath();
    setWindowTitle(QString("%1 - [%2]")
                       .arg(Tr(S_APP_TITLE), path.empty() ? Tr(S_NO_FILE) : QString::fromStdString(path)));
    UpdateStatus();
    RefreshStrip();
    UpdateCommandStates();
}

void CMainWindow::SelectLanguage(const std::string& name) {
    m_app.SelectLanguage(name);
    ApplyLanguage();
}

void CMainWindow::SetNoFileTitle() {
    setWindowTitle(QString("%1 - [%2]").arg(Tr(S_APP_TITLE), Tr(S_NO_FILE)));
}

void CMainWindow::SetPathTitle(const QString& path) {
    setWindowTitle(QString("%1 - %2").arg(Tr(S_APP_TITLE), path));
}

QString CMainWindow::StatusText() const {
    if (!m_doc.IsFileOpen() || m_doc.FrameCount() < 1)
        return Tr(S_NO_FRAME);
    return QString("%1: %2").arg(Tr(S_FRAME_LABEL)).arg(m_sel.selection.anchor + 1);
}

void CMainWindow::UpdateStatus() {
    m_status->setText(StatusText());
}

// ---- state ----------------------------------------------------------------------------------

CommandContext CMainWindow::Context() const {
    CommandContext c;
    c.projectOpen = m_doc.IsFileOpen() && m_doc.DocMode() == DOC_PROJECT;
    c.hasFrames = c.projectOpen && m_doc.FrameCount() > 0 && m_sel.selection.anchor >= 0 &&
                  m_sel.selection.anchor < m_doc.FrameCount();
    c.atEnd = c.projectOpen && m_doc.FrameCount() > 0 && m_sel.selection.anchor == m_doc.FrameCount();
    c.playing = m_playerState == PLAYER_PLAYING;
    c.playingFast = m_playingFast;
    c.paused = m_playerState == PLAYER_PAUSED;
    c.recording = m_recording;
    c.editMode = m_editMode;
    c.canPaste = c.projectOpen && m_sel.CanPaste();
    c.playerOpen = m_player != nullptr;
    return c;
}

void CMainWindow::UpdateCommandStates() {
    const CommandContext c = Context();
    for (auto& [id, a] : m_toolActions) {
        const int menuId = MenuIdForToolbar(id);
        CommandState s =
            menuId && m_commands.Has(menuId) ? m_commands.State(menuId, c) : ToolbarButtonState(id, c);
        a->setEnabled(s.enabled);
        a->setCheckable(true);
        a->setChecked(s.pressed);
    }
    for (auto& [id, a] : m_actions) {
        if (ToolbarIdForMenu(id) || m_commands.HasAvailability(id))
            a->setEnabled(m_commands.State(id, c).enabled);
    }
    const Settings& s = m_app.Config();
    m_actions[ID_TOOLBAR]->setChecked(s.Flag(Settings::kShowToolbar));
    m_actions[ID_STATUS_BAR]->setChecked(s.Flag(Settings::kShowStatusBar));
    m_actions[ID_TOOL_WINDOW]->setChecked(s.Flag(Settings::kShowToolWindow));
    m_actions[ID_ELEMENTS_ONLY]->setChecked(m_elementsOnly);
    m_actions[ID_FRAME_SELECT]->setChecked(m_frameSelect);
    m_actions[ID_AREA_SELECT]->setChecked(m_areaSelect);
    m_actions[ID_READY_TO_RECORD_SOUND]->setChecked(m_recordSoundOnPlay);
}

QAction* CMainWindow::Action(int menuId) const {
    auto it = m_actions.find(menuId);
    return it == m_actions.end() ? nullptr : it->second;
}

QAction* CMainWindow::ToolbarAction(int toolbarId) const {
    auto it = m_toolActions.find(toolbarId);
    return it == m_toolActions.end() ? nullptr : it->second;
}

QMenu* CMainWindow::TopMenu(int index) const {
    return index >= 0 && index < static_cast<int>(m_topMenus.size()) ? m_topMenus[index] : nullptr;
}

void CMainWindow::RunCommand(int menuId) {
    if (!m_commands.Run(menuId))
        ZOV_LOG("***** Fail!");
    UpdateCommandStates();
}

void CMainWindow::SetEditMode(int mode) {
    if (m_editModeHook)
        m_editModeHook(mode);
    else
        ReflectEditMode(mode);
}

void CMainWindow::ReflectEditMode(int mode) {
    m_editMode = mode;
    UpdateCommandStates();
}

void CMainWindow::SetRecording(bool recording) {
    m_recording = recording;
    UpdateCommandStates();
}

// ---- frames on screen -------------------------------------------------------------------------

void CMainWindow::RefreshView() {
    if (m_playerState != PLAYER_IDLE && m_playback.Running()) {
        m_view->SetSource(&m_playback.Shared(), &m_playback.FrameMutex());
    } else if (m_surfaces.Prepared() && m_doc.DocMode() == DOC_PROJECT && m_doc.IsFileOpen()) {
        m_surfaces.DrawToView(m_sel.selection.anchor);
        m_view->SetSource(&m_surfaces.Display(), nullptr);
    } else {
        m_view->SetSource(nullptr, nullptr);
    }
}

void CMainWindow::ShowAnchor() {
    m_surfaces.SetElementsOnly(m_elementsOnly);
    m_surfaces.ShowFrame(m_sel.selection.anchor);
    RefreshView();
    UpdateStatus();
}

void CMainWindow::RefreshStrip() {
    StripModel m;
    m.projectOpen = m_doc.IsFileOpen() && m_doc.DocMode() == DOC_PROJECT;
    m.frameCount = m_doc.FrameCount();
    m.frameDelayMs = m_doc.FrameDelay();
    m.sel = m_sel;
    m.fontFamily = QString::fromStdString(FontFamilyForFace(m_app.Text(S_STRIP_FONT_FACE)));
    CAni* doc = &m_doc;
    m.thumbnail = [doc](int32_t f) {
        std::vector<uint8_t> bits;
        FrameHeader header;
        if (!doc->LoadFrame(f, bits, header))
            return QImage();
        doc->PaintElements(f, bits.data());
        QImage frame = ImageFromFrameBits(bits.data(), doc->ImageWidth(), doc->ImageHeight());
        return frame.scaled(kThumbWidth, kThumbHeight, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    };
    m_strip->SetModel(std::move(m));
    const int maxFirst = MaxFirstVisible(m_strip->Slots(), m_doc.FrameCount());
    QSignalBlocker block(m_stripScroll);
    m_stripScroll->setRange(0, maxFirst);
    m_stripScroll->setValue(m_sel.firstVisible);
}

void CMainWindow::ScrollStripTo(int32_t first) {
    m_sel.firstVisible = std::clamp(first, 0, MaxFirstVisible(m_strip->Slots(), m_doc.FrameCount()));
    RefreshStrip();
}

void CMainWindow::SelectAndShowFrame(int32_t frame) {
    m_sel.SelectOne(frame);
    m_sel.firstVisible = ScrollToShow(frame, m_sel.firstVisible, m_strip->Slots(), m_doc.FrameCount());
    ShowAnchor();
    RefreshStrip();
    UpdateCommandStates();
}

void CMainWindow::AfterFramesChanged(int32_t anchor) {
    const int32_t count = m_doc.FrameCount();
    m_strip->InvalidateThumbnails();
    if (count < 1) {
        m_sel.Reset(0);
        m_surfaces.Release();
        RefreshView();
        UpdateStatus();
        LayOut();
        UpdateCommandStates();
        return;
    }
    if (!m_surfaces.Prepared() || m_surfaces.ShownSize() != QSize(m_doc.ImageWidth(), m_doc.ImageHeight()))
        m_surfaces.Prepare();
    SelectAndShowFrame(std::clamp(anchor, 0, count));
    UpdateViewScrollBars();
}

// ---- mouse ------------------------------------------------------------------------------------

void CMainWindow::OnStripPressed(int32_t frame, Qt::KeyboardModifiers modifiers) {
    if (m_playerState != PLAYER_IDLE || (modifiers & Qt::ControlModifier) || !m_doc.IsFileOpen())
        return;
    if (modifiers & Qt::ShiftModifier) {
        SetEditMode(MODE_NONE);
        m_sel.ExtendTo(frame);
        RefreshStrip();
        UpdateCommandStates();
        return;
    }
    if (frame != m_sel.selection.anchor || m_sel.selection.Length() > 1) {
        SetEditMode(MODE_NONE);
        m_sel.SelectOne(frame);
        ShowAnchor();
        RefreshStrip();
        UpdateCommandStates();
    }
}

void CMainWindow::OnViewPressed(QPoint, Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                                QPoint globalPos) {
    if (button == Qt::RightButton)
        return; // the element pop-up menu belongs to the element editor
    if (button != Qt::LeftButton)
        return;
    if ((modifiers & Qt::ControlModifier) && (modifiers & Qt::ShiftModifier) && !isMaximized()) {
        const QSize next = NextCycleSize(frameGeometry().size());
        move(0, 0);
        resize(next - (frameGeometry().size() - size()));
        return;
    }
    if (m_playerState != PLAYER_IDLE)
        return;
    m_pressInView = true;
    m_doc.Select(m_sel.selection.Start(), m_sel.selection.End());
    if (m_editMode == MODE_NONE) {
        m_view->setCursor(Qt::ArrowCursor);
        ShowAnchor();
    }
}

// ---- closing ----------------------------------------------------------------------------------

void CMainWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        e->accept(); // Escape never closes the editor
        return;
    }
    QMainWindow::keyPressEvent(e);
}

bool CMainWindow::RunCloseSteps() {
    for (auto& hook : m_closeHooks)
        hook();
    if (m_playerState != PLAYER_IDLE || m_playback.Running()) {
        m_playback.Stop();
        m_playerState = PLAYER_IDLE;
    }
    m_doc.Close();
    return true;
}

void CMainWindow::closeEvent(QCloseEvent* e) {
    if (!m_closing) {
        if (!m_dialogs.askYesNo(Tr(S_EXIT_QUESTION))) {
            e->ignore();
            return;
        }
        m_closing = true;
        RunCloseSteps();
    }
    e->accept();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void CMainWindow::CloseWithoutQuestion() {
    if (m_closing)
        return;
    m_closing = true;
    RunCloseSteps();
    close();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void CMainWindow::CmdExit() {
    if (!m_dialogs.askYesNo(Tr(S_EXIT_QUESTION)))
        return;
    m_closing = true;
    RunCloseSteps();
    close();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace zov
