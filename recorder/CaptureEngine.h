// The capture engine: one worker thread per recording run that takes a picture of the
// screen area at the frame delay, draws the pointer into it, converts it to the project's
// 24-bit image and hands it to the frame sink of the document's mode (FrameSink.h): a frame
// of the open project (key frame every key-frame interval, difference frames between), or
// a record of the stream file when the document records straight into a stream (DOC_STREAM).
//
// Driven through CAni::m_control_rec_scr. Reports through the document's callback
// interface, on the capture thread: OnFrameCaptured after each frame (UM_FRAME_CAPTURED),
// OnRecordFinish after a normal end (UM_RECORD_FINISH), OnRecordFailed with a sentence when
// the run ended early (unsupported screen, a failed write, the 2 GiB limit, the window gone).
// Frames stored before an early end are kept: the index is written at every end of a run.
#pragma once

#include "base/Bitmap.h"
#include "base/Pacing.h"
#include "core/Ani.h"
#include "platform/ScreenSource.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace zov {

struct CaptureParams {
    // Who hears of the run; null means the document's listeners.
    IDocumentEvents* events = nullptr;
    // The screen to record from; must outlive the run and be left alone by other threads
    // while it runs.
    IScreenSource* screen = nullptr;
    // Draw the pointer at 64 x 64 instead of 32 x 32 (PointerScaleFor in Pointer.h).
    bool bigPointer = false;
    // The external drawing tool; empty means the program folder's "inkpane".
    std::string drawingTool;
};

// What a run measured, for the command line and the bench.
struct CaptureStats {
    int frames = 0;
    double grabSeconds = 0, pointerSeconds = 0, convertSeconds = 0, storeSeconds = 0; // thread CPU time
};

class CaptureEngine {
  public:
    explicit CaptureEngine(CAni& ani);
    ~CaptureEngine(); // stops a run still going

    // Starts a run. False with "E: Fail" in the log in DOC_NONE or in DOC_PROJECT without an
    // open file; false without a log when the params lack a screen. False with the document's
    // last message set when the area cannot be recorded: a project's area over 2,359,296
    // bytes (the message suggests a ".zov" stream), an area outside the screen, an area whose
    // size differs from the frames the project holds, or a window that cannot be found.
    bool StartCapture(const CaptureParams& params);
    // Returns once no grab is under way; none starts until ResumeCapture.
    void PauseCapture();
    void ResumeCapture();
    // Sets the stop state and waits for the thread. True when it has ended (at once when it
    // had already ended early).
    bool StopCapture();

    // True from a successful start until the thread has left its loop and finished the file.
    bool IsRunning() const { return m_running.load(); }
    // After the run: whether it ended early, and why.
    bool Failed() const { return m_failed.load(); }
    std::string FailureReason() const;
    CaptureStats Stats() const;

    // The area of the run (screen coordinates at its start).
    ScreenRect Area() const { return m_area; }

  private:
    void Run();
    void Fail(const std::string& reason);
    // Sets the stop state and tells the listener how the run ended (`failure` empty: normally).
    void EndRun(IDocumentEvents* events, const std::string& failure);

    CAni& m_ani;
    CaptureParams m_params;
    ScreenRect m_area;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_failed{false};
    mutable std::mutex m_lock;
    std::mutex m_grabLock; // held by the thread from its state check through a grab
    std::string m_reason;
    CaptureStats m_stats;
};

} // namespace zov
