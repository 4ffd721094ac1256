// The "Recording Setting" dialog: the frame delay, the area (a preset size, a window picked
// with the finder, or a rectangle dragged on a frozen picture of the screen), the pointer and
// sound options. It opens after New and from "Properties"; once the project holds frames it
// only shows the values and can only be cancelled. OK writes the settings record and the
// document's capture settings.
//
// The dialog runs in an event loop of its own rather than QDialog::exec(): hiding a dialog
// ends exec(), and "Sel Area" must hide this one while the user drags.
#pragma once

#include "ui/RecorderWindows.h"

#include <QDialog>
#include <QIcon>
#include <QRect>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace zov {

class CAni;
class ZovApp;

// Control identifiers; each control's object name is its number.
enum RecordSettingControl : int {
    IDC_RS_SEL_AREA = 3,
    IDC_RS_OK = 2,
    IDC_RS_CANCEL = 1023,
    IDC_RS_FINDER_HELP = 1018,
    IDC_RS_DELAY = 1021,
    IDC_RS_AREA = 1022,
    IDC_RS_MP3 = 1024,
    IDC_RS_POINTER = 1027,
    IDC_RS_SOUND = 1028,
    IDC_RS_FINDER = 1029,
    IDC_RS_HIDE_PARENT = 1030,
    IDC_RS_BIG_POINTER = 1031,
    IDC_RS_DELAY_LABEL = 1069,
    IDC_RS_MP3_LABEL = 1070,
    IDC_RS_AREA_GROUP = 1071,
};

// The custom entry's state: nothing chosen, a window, a rectangle.
enum AreaMode : int { AREA_NONE = 0, AREA_WINDOW = 1, AREA_RECT = 2 };

class RecordSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    // `mainWindow` is what "Hide Parent", "Sel Area", OK and Cancel hide and show;
    // `newStream` pre-checks "Hide Parent" (a stream recording that starts right after).
    RecordSettingsDialog(ZovApp& app, QWidget* mainWindow, bool newStream);

    // Runs the dialog modally; true for OK.
    bool Run();

    // The rectangle dragged in the area-selection window (screen coordinates, right and
    // bottom exclusive), or nothing when it was cancelled.
    using AreaSelector = std::function<std::optional<QRect>(QWidget* dialog)>;
    void SetAreaSelector(AreaSelector s) { m_selectArea = std::move(s); }
    // The message shown when OK finds nothing chosen; tests replace it.
    void SetMessageHook(std::function<void(const QString&)> m) { m_message = std::move(m); }
    // Puts the finder in place of the icon control (1029); the dialog keeps it.
    void SetFinder(QWidget* finder);
    // On a Wayland desktop, where no window can be searched: the desktop's screen sharing
    // chooses. A "Window..." button (1029) asks for one window, chosen in the desktop's picker
    // when recording begins; the sizes and "Sel Area" are cut from the shared monitor, "Sel
    // Area" on a frozen first picture of it.
    void UsePortalChoice();
    void OnPortalWindow();

    // The finder's reports: over a window (not this dialog), over no window, released.
    void FinderEntered(quint64 window, const QString& title, const QIcon& icon);
    void FinderLeft();
    void FinderReleased();

    QWidget* Control(int id) const;
    int Mode() const { return m_mode; }
    quint64 ChosenWindow() const { return m_window; }
    QRect ChosenRect() const { return m_rect; }
    bool ReadOnly() const { return m_readOnly; }

    // The controls' reactions, as clicking them runs them.
    void OnOk();
    void OnCancel();
    void OnSelArea();
    void OnHideParent(bool checked);

  protected:
    void reject() override; // Escape and the close box act as Cancel

  private:
    void Build();
    void Fill();
    // Puts `control` where the finder's icon is, with its id (1029).
    void PutInFinderPlace(QWidget* control);
    void ShowMain();
    void SetCustomText(const QString& text);
    QString Tr(int id) const;

    ZovApp& m_app;
    CAni& m_doc;
    QWidget* m_main;
    bool m_newStream;
    bool m_readOnly = false;
    int m_mode = AREA_NONE;
    quint64 m_window = 0;
    QRect m_rect;
    bool m_mainHidden = false;
    HiddenWindows m_hidden;
    AreaSelector m_selectArea;
    std::function<void(const QString&)> m_message;

    QComboBox* m_delay = nullptr;
    QComboBox* m_area = nullptr;
    QComboBox* m_mp3 = nullptr;
    QCheckBox* m_pointer = nullptr;
    QCheckBox* m_bigPointer = nullptr;
    QCheckBox* m_hideParent = nullptr;
    QCheckBox* m_sound = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_selArea = nullptr;
    QLabel* m_delayLabel = nullptr;
    QLabel* m_mp3Label = nullptr;
    QLabel* m_finderHelp = nullptr;
    QGroupBox* m_areaGroup = nullptr;
    QWidget* m_finder = nullptr;
    QIcon m_windowIcon;
};

} // namespace zov
