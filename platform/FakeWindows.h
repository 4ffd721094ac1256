// Fakes of the window query, the highlight and the hot keys for tests of what sits above
// them (the settings dialog, the recorder control). They keep what they are told and record
// what they are asked.
#pragma once

#include "platform/HotKeys.h"
#include "platform/WindowHighlight.h"
#include "platform/WindowQuery.h"

#include <map>
#include <set>

namespace zov {

// Windows are kept bottom to top; the last one added is on top.
class FakeWindowQuery final : public IWindowQuery {
  public:
    void Add(const WindowInfo& window) { m_windows.push_back(window); }
    void Remove(uint64_t id);
    void MovePointer(int x, int y) {
        m_x = x;
        m_y = y;
    }
    bool PointerAt(int& x, int& y) override;
    std::optional<WindowInfo> TopLevelAt(int x, int y, const std::vector<uint64_t>& ignore) override;
    std::optional<WindowInfo> Describe(uint64_t id) override;

  private:
    std::vector<WindowInfo> m_windows;
    int m_x = 0, m_y = 0;
};

class FakeWindowHighlight final : public IWindowHighlight {
  public:
    explicit FakeWindowHighlight(bool usesWindows = false) : m_usesWindows(usesWindows) {}
    void Toggle(const ScreenRect& rect) override;
    void Clear() override { m_shown.clear(); }
    void Flush() override { ++m_flushes; }
    std::vector<uint64_t> OwnWindows() const override;
    bool UsesWindows() const override { return m_usesWindows; }

    // Every Toggle() in order, and the rectangles marked now.
    const std::vector<ScreenRect>& Toggles() const { return m_toggles; }
    std::vector<ScreenRect> Shown() const { return m_shown; }
    int Flushes() const { return m_flushes; }

  private:
    bool m_usesWindows;
    std::vector<ScreenRect> m_toggles;
    std::vector<ScreenRect> m_shown;
    int m_flushes = 0;
};

// Key presses are queued with Press() and come out of Dispatch(); a pipe makes Fd() readable
// while presses wait, as the display connection's descriptor would be.
class FakeHotKeys final : public IHotKeys {
  public:
    FakeHotKeys();
    ~FakeHotKeys() override;
    // Keys another program "holds": Grab() reports them and their presses are dropped.
    void SetHeldElsewhere(std::set<int> ids) { m_held = std::move(ids); }
    void Press(int id);
    std::vector<HotKeyGrabProblem> Grab() override;
    void Ungrab() override { m_grabbed.clear(); }
    int Fd() const override { return m_pipe[0]; }
    std::vector<int> Dispatch() override;
    const std::set<int>& Grabbed() const { return m_grabbed; }
    int GrabCalls() const { return m_grabCalls; }

  private:
    int m_pipe[2] = {-1, -1};
    std::set<int> m_held, m_grabbed;
    std::vector<int> m_pending;
    int m_grabCalls = 0;
};

} // namespace zov
