#include "ui/ElementCommands.h"

#include "app/Application.h"
#include "app/Settings.h"
#include "base/Log.h"
#include "core/Ani.h"
#include "elements/ElementList.h"
#include "ui/ElementEditor.h"
#include "ui/ElementToolWindow.h"
#include "ui/ExportCommands.h"
#include "ui/FrameView.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace zov {

namespace {
constexpr int kChooseMarkText = 172;

// Clears the "Tool Window" option when the user closes the tool window itself.
class ToolWindowCloseWatch : public QObject {
  public:
    ToolWindowCloseWatch(CMainWindow& window, QObject* parent) : QObject(parent), m_window(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Close) {
            m_window.App().Config().SetFlag(Settings::kShowToolWindow, false);
            m_window.UpdateCommandStates();
        }
        return QObject::eventFilter(watched, e);
    }

  private:
    CMainWindow& m_window;
};
} // namespace

MarkDialog::MarkDialog(const QStringList& marks, const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(title, this));
    m_list = new QListWidget(this);
    m_list->setViewMode(QListView::IconMode);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setMovement(QListView::Static);
    m_list->setIconSize(QSize(48, 48));
    m_list->setGridSize(QSize(60, 60));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const QString& path : marks) {
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(QImage(path))), QString(), m_list);
        item->setData(Qt::UserRole, path);
        item->setToolTip(QFileInfo(path).completeBaseName());
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(460, 360);
}

QString MarkDialog::ChosenPath() const {
    const QListWidgetItem* item = m_list->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

ElementEditor* ElementEditorOf(const CMainWindow& window) {
    return window.findChild<ElementEditor*>(QString(), Qt::FindDirectChildrenOnly);
}

ElementToolWindow* ElementToolWindowOf(const CMainWindow& window) {
    return window.findChild<ElementToolWindow*>(QString(), Qt::FindDirectChildrenOnly);
}

bool StartExportArea(CMainWindow& window, const ExportOptions& options,
                     std::function<void(const ExportOptions&)> run) {
    ElementEditor* editor = ElementEditorOf(window);
    return editor && editor->StartSaveArea(options, std::move(run));
}

void InstallElementCommands(CMainWindow& window) {
    CAni& doc = window.App().Doc();
    auto* editor = new ElementEditor(window, doc);
    ZovApp* app = &window.App();
    auto* tool = new ElementToolWindow(
        app->Config(), [app](int id) { return app->Text(id); }, &window);
    // Shown beside the editor's right edge once the editor is on the screen; closing it by
    // its own close box clears the option like "Tool Window" does.
    auto placeTool = [&window, tool] {
        const QRect g = window.frameGeometry();
        tool->adjustSize();
        tool->move(std::max(0, g.right() - tool->width() - 40), g.top() + 160);
    };
    QTimer::singleShot(0, tool, [&window, tool, placeTool] {
        if (window.App().Config().Flag(Settings::kShowToolWindow)) {
            placeTool();
            tool->show();
        }
    });
    tool->installEventFilter(new ToolWindowCloseWatch(window, tool));

    window.SetEditModeHook([editor](int mode) { editor->SetEditMode(mode); });

    // The frame view's mouse reaches the editor after the window's own handling.
    FrameView* view = window.View();
    QObject::connect(view, &FrameView::Pressed, editor,
                     [editor](QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers m, QPoint global) {
                         if (button == Qt::LeftButton)
                             editor->ViewPress(p, m);
                         else if (button == Qt::RightButton)
                             editor->ShowPopup(global);
                     });
    QObject::connect(view, &FrameView::Moved, editor, [editor](QPoint p) { editor->ViewMove(p); });
    QObject::connect(view, &FrameView::Released, editor, [editor](QPoint p) { editor->ViewRelease(p); });

    // Made or picked: the tool window shows that element's style (queued, as a posted message).
    QObject::connect(
        editor, &ElementEditor::ElementPicked, tool,
        [editor, tool](int) { tool->ReceiveStyle(editor->CurrentStyle()); }, Qt::QueuedConnection);
    // Each change in the tool window goes to the element being edited.
    QObject::connect(
        tool, &ElementToolWindow::StyleChanged, editor,
        [editor, tool] {
            if (editor->Mode() != MODE_NONE)
                editor->ApplyStyleToCurrent(tool->Style());
        },
        Qt::QueuedConnection);

    // "Area Select": the export flow hands its options here; the placed area runs the export.
    ExportDialogHooks().startAreaSelection = [&window](const ExportOptions& options) {
        if (!StartExportArea(window, options,
                             [&window](const ExportOptions& placed) { RunExport(window, placed); }))
            ZOV_LOG("***** Fail!");
    };
    QObject::connect(&window, &QObject::destroyed, [] { ExportDialogHooks().startAreaSelection = nullptr; });

    CommandTable& t = window.Commands();
    t.Register(ID_TOOL_WINDOW, [&window, tool, placeTool] {
        Settings& s = window.App().Config();
        const bool show = !s.Flag(Settings::kShowToolWindow);
        s.SetFlag(Settings::kShowToolWindow, show);
        if (show && !tool->isVisible())
            placeTool();
        tool->setVisible(show);
    });
    t.Register(ID_ADD_IMAGE, [editor] { editor->CmdAddImage(); });
    t.Register(ID_ADD_MARK, [editor] { editor->CmdAddMark(); });
    editor->chooseMark = [&window](const QStringList& marks) {
        MarkDialog d(marks, QString::fromStdString(window.App().Text(kChooseMarkText)), &window);
        return d.exec() == QDialog::Accepted ? d.ChosenPath() : QString();
    };

    auto anchor = [&window] { return window.Selection().selection.anchor; };
    t.Register(ID_DELETE_ELEMENT, [editor] { editor->DeleteSelected(); });
    t.Register(ID_DELETE_ALL_ELEMENTS, [editor, anchor] {
        if (!editor->DeleteAllInFrame(anchor()))
            ZOV_LOG("ani.Edit_Element_DeleteAllElementsInFrame Fail");
    });
    t.Register(ID_COPY_ELEMENTS, [editor] { editor->CopySelected(); });
    t.Register(ID_PASTE_ELEMENTS, [editor, &window, &doc] {
        const EditorSelection& sel = window.Selection();
        const int32_t last = std::min(sel.selection.End(), doc.FrameCount() - 1);
        editor->PasteCopied(sel.selection.Start(), last);
    });
    t.Register(ID_SELECT_ALL_ELEMENTS, [editor, anchor] { editor->SelectAllInFrame(anchor()); });

    // Copy and paste of elements are on the element menu too.
    if (QMenu* menu = window.TopMenu(3)) {
        menu->addSeparator();
        for (QAction* a : editor->Popup()->actions()) {
            const int id = a->data().toInt();
            if (id == ID_COPY_ELEMENTS || id == ID_PASTE_ELEMENTS)
                menu->addAction(a);
        }
        QObject::connect(menu, &QMenu::aboutToShow, editor, [editor] { editor->UpdatePopup(); });
    }
    // A language switch relabels the tool window and the pop-up menu too.
    const std::pair<int, const char*> languages[] = {
        {ID_LANG_ENGLISH, "english"}, {ID_LANG_CHINESE, "chinese"}, {ID_LANG_JAPANESE, "japanese"}};
    for (auto [id, name] : languages) {
        const std::string language = name;
        t.Register(id, [&window, tool, editor, language] {
            window.SelectLanguage(language);
            tool->ApplyLanguage();
            editor->UpdatePopup();
        });
    }
    editor->UpdatePopup();
}

} // namespace zov
