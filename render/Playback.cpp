#include "render/Playback.h"

#include "base/Log.h"
#include "core/Ani.h"
#include "render/FrameSurfaces.h"

#include <chrono>
#include <condition_variable>
#include <vector>

namespace zov {

PlaybackEngine::PlaybackEngine(CAni& doc, std::mutex& frameMutex) : m_doc(doc), m_frameMutex(frameMutex) {}

PlaybackEngine::~PlaybackEngine() {
    m_doc.m_control_play = C_CONTROL_STOP;
    if (m_thread.joinable())
        m_thread.join();
}

bool PlaybackEngine::SetPlayStart(int index) {
    const int count = m_doc.FrameCount();
    if (count < 1 || index < 0 || index > count)
        return false;
    m_start = index == count ? 0 : index;
    m_doc.SetPlayStartFrame(m_start);
    return true;
}

void PlaybackEngine::JoinFinished() {
    if (m_thread.joinable() && !m_threadAlive)
        m_thread.join();
}

bool PlaybackEngine::Play() {
    if (!m_doc.IsFileOpen()) {
        ZOV_LOG("E: no opened file");
        return false;
    }
    if (m_doc.FrameCount() < 1) {
        ZOV_LOG("E: no frame");
        return false;
    }
    m_doc.m_control_play = C_CONTROL_RUN;
    JoinFinished();
    if (!m_thread.joinable()) {
        m_threadAlive = true;
        m_thread = std::thread(&PlaybackEngine::Run, this, m_start);
    }
    return true;
}

bool PlaybackEngine::Pause() {
    if (!m_doc.IsFileOpen() || m_doc.FrameCount() < 1 || m_doc.m_control_play != C_CONTROL_RUN)
        return false;
    m_doc.m_control_play = C_CONTROL_PAUSE;
    return true;
}

bool PlaybackEngine::Resume() {
    if (m_doc.m_control_play != C_CONTROL_PAUSE)
        return false;
    m_doc.m_control_play = C_CONTROL_RUN;
    return true;
}

bool PlaybackEngine::Stop() {
    m_doc.m_control_play = C_CONTROL_STOP;
    if (!m_thread.joinable())
        return true;
    // The worker polls the state every 20 ms; 20 s is the most we wait for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_threadAlive && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (m_threadAlive) {
        m_thread.detach(); // forget it, as the handle is forgotten; it ends on its own
        return false;
    }
    m_thread.join();
    return true;
}

void PlaybackEngine::Run(int start) {
    int last = -1;
    bool reachedEnd = false;
    {
        const int width = m_doc.ImageWidth(), height = m_doc.ImageHeight();
        std::vector<uint8_t> bits;
        FrameHeader header;
        if (width < 1 || height < 1) {
            ZOV_LOG("E: Fail");
        } else if (start > 0 && !m_doc.LoadFrame(start - 1, bits, header)) {
            // The frames before the start are decoded silently, so the start frame's
            // difference applies to the right picture.
            ZOV_LOG("Decode Frame Fail");
        } else {
            reachedEnd = true;
            const int delay = m_doc.FrameDelay();
            m_pacer.WaitForNextTick(true, m_doc.m_control_play, delay, m_doc.Speed());
            for (int i = start; i < m_doc.FrameCount(); ++i) {
                bool loaded = m_doc.LoadFrame(i, bits, header);
                {
                    std::lock_guard<std::mutex> g(m_frameMutex);
                    if (m_shared.size() != QSize(width, height))
                        m_shared = QImage(width, height, QImage::Format_RGB32);
                    m_doc.SetCurrentFrame(i);
                    if (loaded) {
                        m_doc.PaintElements(i, bits.data()); // nothing to draw without a painter
                        CopyFrameBits(bits.data(), width, height, m_shared);
                    }
                }
                last = i;
                if (m_listener.onFrame)
                    m_listener.onFrame(i);
                if (!m_pacer.WaitForNextTick(false, m_doc.m_control_play, delay, m_doc.Speed()))
                    break;
            }
        }
    }
    if (reachedEnd && m_listener.onFinish)
        m_listener.onFinish(last < 0 ? start : last);
    m_threadAlive = false;
}

} // namespace zov
