// The windows a recording keeps off the screen: the main window and the tool windows beside
// it are hidden before the first picture and shown again afterwards, and the recorder waits
// until the X server has really taken them away (a window manager unmaps its frame a moment
// later, a compositor fades it out) before it grabs anything.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>
#include <vector>

namespace zov {

// Windows of the recorder's own that are never counted as tool windows (the status window).
constexpr const char* kRecorderOwnWindow = "zovRecorderOwnWindow";

class HiddenWindows {
  public:
    // Hides `main` and every visible tool window, remembering which.
    void Hide(QWidget* main);
    // Shows `main` again, raised and activated, and the tool windows hidden before when
    // `toolWindows` is on.
    void Show(QWidget* main, bool toolWindows);
    // The native ids of the windows hidden last (main first), for WhenOffScreen.
    std::vector<WId> Ids() const { return m_ids; }

  private:
    std::vector<QWidget*> m_tools;
    std::vector<WId> m_ids;
};

// Calls `done` on the window thread once none of `windows` (native ids) is on the screen any
// more, the server has seen every request queued before, and `settleMs` have passed, so a
// grab taken then cannot see them. Without X11 (the offscreen platform) only the settle time
// is waited. A window that stays up is given up on after three seconds.
void WhenOffScreen(QObject* context, std::vector<WId> windows, int settleMs, std::function<void()> done);

// Pushes everything queued on the toolkit's X connection to the server and waits for it.
void SyncWithServer();

} // namespace zov
