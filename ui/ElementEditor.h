// The element editor: the element tools of the editor window, making an element by a press
// and drag on the frame view, picking, moving and reshaping elements by their handles, the
// multiple selection, the element clipboard, images and marks, the export area, and the
// element pop-up menu. It acts on the document's element list and keeps the edit state
// beside it: the edit mode (the window's, so the command states follow it), the current
// element (by id, so an undo or a close that takes it away leaves nothing dangling), its
// handles, the press and last points and the current style.
//
// Every change that can be undone pushes one step on the document's undo stack (CAni::
// PushElementUndo): a creation names the element it made, a move or reshape keeps copies of
// the elements as they were before the drag, a delete keeps the deleted elements themselves.
//
// Window thread only.
#pragma once

#include "core/UndoStack.h"
#include "elements/ElementGeometry.h"
#include "elements/ElementTypes.h"
#include "export/ExportOptions.h"

#include <QObject>
#include <QPoint>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;

namespace zov {

class CAni;
class CMainWindow;
class CElementList;
class ElementRecord;
class ElementToolWindow;
class Settings;

// Edit modes beyond the tools the command table names.
enum ElementEditMode : int {
    MODE_SAVE_AREA = 6,
    MODE_IMAGE = 11,
    MODE_PICKED = 12,
    MODE_MULTIPLE = 13,
};

// Element pop-up menu commands.
enum ElementMenuCommand : int {
    ID_DELETE_ELEMENT = 33016,
    ID_DELETE_ALL_ELEMENTS = 33020,
    ID_COPY_ELEMENTS = 33024,
    ID_PASTE_ELEMENTS = 33026,
    ID_SELECT_ALL_ELEMENTS = 33029,
};

// The style new elements start from: the settings' record of new text elements for the
// fields it holds (scroll mode, pen, fore and back colours, font, border and fill), the
// blue border of a fresh style, and the language's default text.
void DefaultElementStyle(const Settings& settings, const std::string& defaultText, ElementStyle& out);

// Reads a bitmap file for an image element: the bits at the file's pixel offset, 40-, 108- or
// 124-byte headers; 16-, 24- and 32-bit uncompressed bits are kept as they are (32-bit ones
// read as RGB), bit-field ones are converted to 24 bits, top-down rows turned bottom-up.
// `info` is the 40-byte header of the bits returned. False with nothing changed otherwise.
bool ReadImageFile(const std::string& path, ImageInfoHeader& info, std::vector<uint8_t>& bits);

class ElementEditor : public QObject {
    Q_OBJECT
  public:
    ElementEditor(CMainWindow& window, CAni& doc);
    ~ElementEditor() override;

    // ---- state --------------------------------------------------------------------------
    int Mode() const;
    // The tool commands' mode change: empties the selection, sets the mode, redraws; when the
    // mode really changed, finishes the current element (which leaves mode 0).
    void SetEditMode(int mode);
    // The element being made or reshaped, or null.
    ElementRecord* Current() const;
    const HandleSet& Handles() const { return m_handles; }
    const ElementStyle& CurrentStyle() const { return *m_style; }

    // ---- the mouse, in view pixels (mapped to frame pixels: scaled in fit mode, else
    // shifted by the scroll position) and in frame pixels -------------------------------------
    void ViewPress(QPoint view, Qt::KeyboardModifiers modifiers);
    void ViewMove(QPoint view);
    void ViewRelease(QPoint view);
    QPoint ToFrame(QPoint view) const;
    void MouseDown(QPoint p);
    void MouseMove(QPoint p);
    void MouseUp(QPoint p);
    bool ToggleSelectAt(QPoint p);

    // ---- operations ---------------------------------------------------------------------
    // Ends the editing of the current element: saves the block (the export area instead
    // leaves the list and goes to the export). False when there is none.
    bool FinishCurrent();
    bool SelectAllInFrame(int32_t f);
    bool DeleteSelected();
    bool DeleteAllInFrame(int32_t f);
    bool CopySelected();
    bool PasteCopied(int32_t first, int32_t last);
    // An image element over the frames selected in the strip, centred in the frame.
    bool AddImageFromFile(const std::string& path, bool transparent = false);
    void ApplyStyleToCurrent(const ElementStyle& style);
    // The export area of an export with "Area Select" on: a kind-10 element over the
    // request's frames on the centred half of the frame, sized like a box until it is
    // finished; then `run` gets the request with the placed area, as a queued call. False
    // (nothing started) without frames, while an element is being edited, or for paths too
    // long for the element's record.
    bool StartSaveArea(const ExportOptions& options, std::function<void(const ExportOptions&)> run);

    // ---- commands -----------------------------------------------------------------------
    void CmdAddImage();
    void CmdAddMark();
    // The element pop-up menu at a global position (not while a player runs).
    void ShowPopup(QPoint globalPos);
    QMenu* Popup() const { return m_popup; }
    void UpdatePopup();
    // The mark chooser over the given mark files; returns the chosen path or "" (tests
    // replace it).
    std::function<QString(const QStringList& marks)> chooseMark;
    QStringList MarkFiles() const;

  signals:
    // An element was made or picked: its kind; the style is CurrentStyle(). The tool window
    // hears it queued.
    void ElementPicked(int kind);

  private:
    void Press(QPoint p, int depth);
    bool Ready() const;
    int32_t RangeFirst() const;
    int32_t RangeLast() const;
    int32_t Anchor() const;
    void SetMode(int mode);
    void SetCurrent(ElementRecord* r);
    void RedrawWork();
    void RedrawDisplay();
    void RedrawStrip();
    void SaveBlock();
    void PushChange(const std::vector<ElementRecord*>& changing);
    void PushCreation(const std::vector<uint64_t>& ids, ElementUndo&& base);
    QString Tr(int id) const;

    CMainWindow& m_window;
    CAni& m_doc;
    uint64_t m_currentId = 0;
    HandleSet m_handles;
    std::unique_ptr<ElementStyle> m_style;
    QPoint m_pressPoint, m_lastPoint;
    bool m_pressed = false;
    bool m_creating = false; // the press made the current element: its undo step is pushed
    bool m_changePushed = false;
    bool m_moved = false;
    QMenu* m_popup = nullptr;
    ExportOptions m_pendingExport;
    std::function<void(const ExportOptions&)> m_runExport;
};

} // namespace zov
