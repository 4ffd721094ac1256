// Installs the element editing of the editor window: the element editor on the frame view,
// the element style tool window, the image and mark commands, the element pop-up menu and
// its commands, and the edit-mode hook through which the tool commands reach the editor.
#pragma once

#include "export/ExportOptions.h"

#include <QDialog>
#include <QStringList>
#include <functional>

class QListWidget;

namespace zov {

class CMainWindow;
class ElementEditor;
class ElementToolWindow;

// Called once from the window's set-up.
void InstallElementCommands(CMainWindow& window);
// The window's element editor and style tool window (null before installing).
ElementEditor* ElementEditorOf(const CMainWindow& window);
ElementToolWindow* ElementToolWindowOf(const CMainWindow& window);
// An export with "Area Select" on: the user places the export area on the frame view (moved
// and sized like a box); when it is finished (a press outside it, or "Cancel Edit") `run` is
// called, queued, with `options` whose area and frames are the placed ones. False when the
// area cannot be placed (no frames, an element being edited, paths too long to store).
bool StartExportArea(CMainWindow& window, const ExportOptions& options,
                     std::function<void(const ExportOptions&)> run);

// The mark chooser: a scrollable grid of the marks, the chosen one's path as its result.
class MarkDialog : public QDialog {
    Q_OBJECT
  public:
    MarkDialog(const QStringList& marks, const QString& title, QWidget* parent = nullptr);
    QString ChosenPath() const;
    QListWidget* List() const { return m_list; }

  private:
    QListWidget* m_list = nullptr;
};

} // namespace zov
