// The recorder's place on the desktop while the main window is hidden: a tray icon from
// start-up (idle and recording pictures, the frame count in its tip, a menu of the four
// commands), or, where the desktop has no tray, a small always-on-top status window with the
// frame count and the same commands. Neither ever reaches a recorded frame: the capture is
// held while the menu is open, and the status window keeps out of the recorded area (it is
// hidden while the capture runs when the area leaves no room for it).
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <qwindowdefs.h>
#include <vector>

class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QWidget;

namespace zov {

class CMainWindow;
class RecorderControl;

// Tray menu command identifiers.
enum TrayCommand : int {
    ID_TRAY_BEGIN = 32794,
    ID_TRAY_PAUSE = 32790,
    ID_TRAY_RESUME = 32796,
    ID_TRAY_STOP = 32783
};

class RecorderTray : public QObject {
    Q_OBJECT
  public:
    RecorderTray(CMainWindow& main, RecorderControl& control);
    ~RecorderTray() override;

    // Null where the desktop has no tray.
    QSystemTrayIcon* Tray() const { return m_tray; }
    // The status window (made where there is no tray).
    QWidget* StatusWindow() const { return m_status; }
    QString Tip() const { return m_tip; }
    // "idle" or "recording": which picture the icon shows.
    QString Picture() const { return m_picture; }

    // A click on the icon: raises the main window while idle, else opens the menu at `at`.
    void Clicked(QPoint at);
    // The menu of the four commands with its captions and enabling for the state now.
    QMenu* BuildMenu(QWidget* parent);
    // Opens the menu with its bottom-right corner at `at`, the capture held meanwhile; runs
    // the chosen command. Returns the chosen command (0: dismissed).
    int RunMenu(QPoint at);
    // Where a menu of `size` opened at `at` stands (its bottom-right corner at `at`, kept on
    // the screen `screen`).
    static QPoint MenuPosition(QPoint at, QSize size, QRect screen);
    // Where the status window goes: a corner of `screen` clear of `area`, or no place.
    static bool StatusPlace(QRect screen, QRect area, QSize size, QPoint& topLeft);

  signals:
    // A menu has been shown (for tests that dismiss it).
    void menuShown(QMenu* menu);

  private:
    void OnState(int state);
    void OnFrames(int count);
    void UpdateStatusWindow();
    std::vector<WId> BeforeRun();
    QString Tr(int id) const;

    CMainWindow& m_main;
    RecorderControl& m_control;
    QSystemTrayIcon* m_tray = nullptr;
    QWidget* m_status = nullptr;
    QLabel* m_statusText = nullptr;
    std::vector<QPushButton*> m_buttons;
    QString m_tip;
    QString m_picture;
    bool m_menuOpen = false;
};

} // namespace zov
