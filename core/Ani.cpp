// CAni: life cycle, queries, settings and selection. The project file lives in
// ProjectFile.cpp, frames in FrameStore.cpp, edits in Editing.cpp and Undo.cpp.
#include "core/Ani.h"
#include "core/AniState.h"

#include "base/Log.h"
#include "elements/ElementList.h"

#include <algorithm>
#include <cstring>

namespace zov {

CAni& Ani() {
    static CAni ani;
    return ani;
}

CAni::CAni() : m_elements(std::make_unique<CElementList>()) {
    Initialise();
}

CAni::~CAni() {
    Close();
}

void CAni::Initialise() {
    Close(); // first, on its own: its "closed" event goes out with the lock free
    std::lock_guard<std::recursive_mutex> g(m_lock);
    Close();
    m_folder.clear();
    m_path.clear();
    m_sidePath.clear();
    std::memset(&m_store.header, 0, sizeof m_store.header);
    m_store.frames.clear();
    m_store.table2.clear();
    m_store.table3.clear();
    m_store.table4.clear();
    m_cache.Disable();
    ClearLastMessage();
    m_speed = 10;
    m_mode = DOC_NONE;
    m_currentFrame = -1;
    m_selStart = 0;
    m_selCount = 0;
    m_playStart = 0;
    ClearUndo();
    m_undo.SetLimit(kUndoLimit);
    m_capture.Reset();
}

void CAni::ResetDocumentState() {
    m_store.Reset();
    m_path.clear();
    m_sidePath.clear();
    m_folder.clear();
    m_cache.Disable();
    m_elements->Clear();
    m_currentFrame = -1;
    m_mode = DOC_NONE;
}

void CAni::Close() {
    PendingEvents events(*this);
    std::lock_guard<std::recursive_mutex> g(m_lock);
    // Snapshots belong to the project they were taken from.
    ClearUndo();
    if (m_mode == DOC_STREAM) {
        m_path.clear();
        m_mode = DOC_NONE;
        events.closed = true;
        return;
    }
    if (!m_store.file.IsOpen())
        return;
    ResetDocumentState();
    // An import between two frames ends when it takes the lock back; the next document
    // need not wait for it.
    ++m_generation;
    m_importing = false;
    events.closed = true;
}

namespace {
thread_local int t_delivering = 0; // listener calls under way on this thread
} // namespace

void CAni::AddListener(IDocumentEvents* listener) {
    std::lock_guard<std::mutex> l(m_listenerLock);
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CAni::RemoveListener(IDocumentEvents* listener) {
    std::unique_lock<std::mutex> l(m_listenerLock);
    std::erase(m_listeners, listener);
    // A call under way on another thread may still be inside the listener.
    m_listenerIdle.wait(l, [this] { return m_delivering <= t_delivering; });
}

template <class F> void CAni::Notify(F&& call) {
    std::vector<IDocumentEvents*> targets;
    {
        std::lock_guard<std::mutex> l(m_listenerLock);
        if (m_listeners.empty())
            return;
        targets = m_listeners;
        ++m_delivering;
    }
    ++t_delivering;
    for (IDocumentEvents* target : targets) {
        {
            std::lock_guard<std::mutex> l(m_listenerLock);
            if (std::find(m_listeners.begin(), m_listeners.end(), target) == m_listeners.end())
                continue; // removed by an earlier call
        }
        call(*target);
    }
    --t_delivering;
    {
        std::lock_guard<std::mutex> l(m_listenerLock);
        --m_delivering;
    }
    m_listenerIdle.notify_all();
}

void CAni::Broadcaster::OnFrameCaptured(int n) {
    m_doc.Notify([n](IDocumentEvents& e) { e.OnFrameCaptured(n); });
}
void CAni::Broadcaster::OnRecordFinish() {
    m_doc.Notify([](IDocumentEvents& e) { e.OnRecordFinish(); });
}
void CAni::Broadcaster::OnRecordFailed(const std::string& reason) {
    m_doc.Notify([&reason](IDocumentEvents& e) { e.OnRecordFailed(reason); });
}
void CAni::Broadcaster::OnPlayFrame(int frame) {
    m_doc.Notify([frame](IDocumentEvents& e) { e.OnPlayFrame(frame); });
}
void CAni::Broadcaster::OnPlayFinish() {
    m_doc.Notify([](IDocumentEvents& e) { e.OnPlayFinish(); });
}
void CAni::Broadcaster::OnImportProgress(int kind, int appended, const std::string& text) {
    m_doc.Notify([&](IDocumentEvents& e) { e.OnImportProgress(kind, appended, text); });
}
void CAni::Broadcaster::OnClosed() {
    m_doc.Notify([](IDocumentEvents& e) { e.OnClosed(); });
}
void CAni::Broadcaster::OnElementListChanged() {
    m_doc.Notify([](IDocumentEvents& e) { e.OnElementListChanged(); });
}

bool CAni::RefuseWhileImporting() {
    if (!m_importing.load())
        return false;
    SetLastMessage("a bitmap import is still running; stop it or wait for it first");
    return true;
}

std::string CAni::DocumentPath() const {
    if (m_mode == DOC_PROJECT && m_store.file.IsOpen())
        return m_path;
    if (m_mode == DOC_STREAM)
        return m_path;
    return {};
}

bool CAni::RequireProject(const char* what) const {
    if (m_mode != DOC_PROJECT || !m_store.file.IsOpen()) {
        ZOV_LOG(what);
        return false;
    }
    return true;
}

int32_t CAni::FrameCount() const {
    if (m_mode != DOC_PROJECT)
        return 0;
    return m_store.header.frameCount < 0 ? 0 : m_store.header.frameCount;
}

int32_t CAni::ImageSize() const {
    return m_mode == DOC_PROJECT ? m_store.header.imageSize : 0;
}
int32_t CAni::RowBytes() const {
    return m_mode == DOC_PROJECT ? m_store.header.rowBytes : 0;
}
int32_t CAni::ImageWidth() const {
    return m_mode == DOC_PROJECT ? m_store.header.bmi.biWidth : 0;
}
int32_t CAni::ImageHeight() const {
    return m_mode == DOC_PROJECT ? m_store.header.bmi.biHeight : 0;
}

int32_t CAni::FrameDelay() const {
    return m_mode == DOC_PROJECT ? m_store.header.frameDelay : 0;
}
void CAni::SetFrameDelay(int32_t ms) {
    m_capture.SetFrameDelay(m_store.header, ms);
}

CaptureRect CAni::GetCaptureRect() const {
    return CaptureSettings::GetCaptureRect(m_store.header);
}

bool CAni::SetCaptureRect(const CaptureRect& r) {
    std::string refusal;
    if (!CaptureSettings::SetCaptureRect(m_store.header, r, m_mode == DOC_STREAM, refusal)) {
        SetLastMessage(refusal);
        return false;
    }
    return true;
}

void CAni::SetKeyFrameInterval(int32_t n) {
    CaptureSettings::SetKeyFrameInterval(m_store.header, n);
}

void CAni::SetSpeed(int32_t speed) {
    if (speed >= 1 && speed <= 100)
        m_speed = speed;
}

void CAni::Select(int32_t first, int32_t last) {
    const int32_t n = FrameCount();
    // Every valid start begins a new selection, even the same start again.
    if (first >= 0 && first < n) {
        m_selStart = first;
        m_selCount = 0;
    }
    int64_t count = int64_t(last) - first + 1;
    if (count < 0)
        return;
    if (m_selStart + count > n)
        count = n - m_selStart;
    m_selCount = static_cast<int32_t>(count < 0 ? 0 : count);
}

std::string CAni::LastMessage() const {
    std::lock_guard<std::mutex> g(m_messageLock);
    return m_lastMessage;
}

void CAni::ClearLastMessage() {
    std::lock_guard<std::mutex> g(m_messageLock);
    m_lastMessage.clear();
}

void CAni::SetLastMessage(const std::string& text) {
    {
        std::lock_guard<std::mutex> g(m_messageLock);
        m_lastMessage = text;
    }
    ZOV_LOG(text.c_str());
}

} // namespace zov
