#include "platform/X11ErrorTrap.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>

namespace zov {

namespace {

struct Record {
    uint64_t sequence;
    Display* dpy;
    int code;
};

std::mutex g_mutex;
std::deque<Record> g_records; // the latest errors, a bounded history
uint64_t g_sequence = 0;
std::atomic<int> g_count{0};
std::once_flag g_once;

int RecordError(Display* dpy, XErrorEvent* event) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.push_back({++g_sequence, dpy, event->error_code});
    while (g_records.size() > 256)
        g_records.pop_front();
    ++g_count;
    return 0;
}

} // namespace

void InstallX11ErrorHandler() {
    std::call_once(g_once, [] { XInitThreads(); });
    // Set again every time: a toolkit that installs its own handler later (Qt's xcb platform
    // may) would otherwise take the errors these traps wait for.
    XSetErrorHandler(RecordError);
}

int X11ErrorCount() {
    return g_count;
}

X11ErrorTrap::X11ErrorTrap(_XDisplay* dpy) : m_dpy(dpy) {
    InstallX11ErrorHandler();
    std::lock_guard<std::mutex> lock(g_mutex);
    m_first = g_sequence + 1;
}

std::vector<int> X11ErrorTrap::Codes() const {
    std::vector<int> codes;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const Record& r : g_records)
        if (r.sequence >= m_first && r.dpy == m_dpy)
            codes.push_back(r.code);
    return codes;
}

bool X11ErrorTrap::Has(int code) const {
    std::vector<int> codes = Codes();
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

} // namespace zov
