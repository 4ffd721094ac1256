#include "platform/FakeWindows.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace zov {

namespace {
bool Contains(const ScreenRect& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}
bool SameRect(const ScreenRect& a, const ScreenRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
} // namespace

void FakeWindowQuery::Remove(uint64_t id) {
    m_windows.erase(std::remove_if(m_windows.begin(), m_windows.end(),
                                   [id](const WindowInfo& w) { return w.id == id || w.client == id; }),
                    m_windows.end());
}

bool FakeWindowQuery::PointerAt(int& x, int& y) {
    x = m_x;
    y = m_y;
    return true;
}

std::optional<WindowInfo> FakeWindowQuery::TopLevelAt(int x, int y, const std::vector<uint64_t>& ignore) {
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        bool ignored = std::find(ignore.begin(), ignore.end(), it->id) != ignore.end() ||
                       std::find(ignore.begin(), ignore.end(), it->client) != ignore.end();
        if (!ignored && Contains(it->rect, x, y))
            return *it;
    }
    return std::nullopt;
}

std::optional<WindowInfo> FakeWindowQuery::Describe(uint64_t id) {
    for (const WindowInfo& w : m_windows)
        if (w.id == id || w.client == id)
            return w;
    return std::nullopt;
}

void FakeWindowHighlight::Toggle(const ScreenRect& rect) {
    m_toggles.push_back(rect);
    auto it =
        std::find_if(m_shown.begin(), m_shown.end(), [&](const ScreenRect& r) { return SameRect(r, rect); });
    if (it != m_shown.end())
        m_shown.erase(it);
    else
        m_shown.push_back(rect);
}

std::vector<uint64_t> FakeWindowHighlight::OwnWindows() const {
    std::vector<uint64_t> ids;
    if (m_usesWindows)
        for (size_t i = 0; i < m_shown.size() * 4; ++i)
            ids.push_back(0xF000 + i);
    return ids;
}

FakeHotKeys::FakeHotKeys() {
    if (pipe(m_pipe) == 0) {
        fcntl(m_pipe[0], F_SETFL, O_NONBLOCK);
        fcntl(m_pipe[1], F_SETFL, O_NONBLOCK);
    }
}

FakeHotKeys::~FakeHotKeys() {
    for (int fd : m_pipe)
        if (fd >= 0)
            close(fd);
}

void FakeHotKeys::Press(int id) {
    if (!m_grabbed.count(id))
        return;
    m_pending.push_back(id);
    char byte = 1;
    if (write(m_pipe[1], &byte, 1) != 1)
        return;
}

std::vector<HotKeyGrabProblem> FakeHotKeys::Grab() {
    ++m_grabCalls;
    m_grabbed.clear();
    std::vector<HotKeyGrabProblem> problems;
    for (int id = HOTKEY_BEGIN; id <= HOTKEY_STOP; ++id) {
        if (m_held.count(id))
            problems.push_back({id, HotKeyName(id)});
        else
            m_grabbed.insert(id);
    }
    return problems;
}

std::vector<int> FakeHotKeys::Dispatch() {
    char buffer[64];
    while (read(m_pipe[0], buffer, sizeof buffer) > 0) {
    }
    std::vector<int> ids;
    ids.swap(m_pending);
    return ids;
}

} // namespace zov
