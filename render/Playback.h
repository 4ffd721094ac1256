// The playback worker: decodes the frames in order from a start frame, composes each with its
// elements into a shared picture under the application's frame mutex, reports the frame and
// waits for the next tick. It never touches a widget: the listener forwards its reports to
// the window thread, which paints the shared picture.
#pragma once

#include "base/Pacing.h"

#include <QImage>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace zov {

class CAni;

class PlaybackEngine {
  public:
    // Called on the playback thread; must not block on the window thread.
    struct Listener {
        std::function<void(int frame)> onFrame;  // UM_PLAY_FRAME: the frame just composed
        std::function<void(int frame)> onFinish; // UM_PLAY_FINISH: the last frame reached
    };

    PlaybackEngine(CAni& doc, std::mutex& frameMutex);
    ~PlaybackEngine(); // stops a running playback
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    void SetListener(Listener listener) { m_listener = std::move(listener); }
    // Tests replace the clock; the default paces in real time.
    void SetPacer(TickPacer pacer) { m_pacer = std::move(pacer); }

    // Needs frames and 0 <= index <= count; the count itself starts at 0.
    bool SetPlayStart(int index);
    int PlayStart() const { return m_start; }
    // Sets the control state to running and starts the worker when none runs.
    bool Play();
    bool Pause();
    bool Resume();
    // Asks the worker to stop and waits up to 20 s; true when it ended in time.
    bool Stop();
    bool Running() const { return m_threadAlive.load(); }

    // The picture the worker last composed, at the capture size. Lock FrameMutex() around
    // any use of it.
    const QImage& Shared() const { return m_shared; }
    std::mutex& FrameMutex() { return m_frameMutex; }

  private:
    void Run(int start);
    void JoinFinished();

    CAni& m_doc;
    std::mutex& m_frameMutex;
    Listener m_listener;
    TickPacer m_pacer;
    std::thread m_thread;
    std::atomic<bool> m_threadAlive{false};
    int m_start = 0;
    QImage m_shared;
};

} // namespace zov
