#include "recorder/CaptureEngine.h"

#include "base/Log.h"
#include "platform/DrawingTool.h"
#include "recorder/FrameSink.h"
#include "recorder/Pointer.h"
#include "recorder/ScreenConvert.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <utility>

namespace zov {

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Measures one step of a frame into a running total of thread CPU time.
class StepTimer {
  public:
    explicit StepTimer(double& total) : m_total(total), m_start(ThreadCpuSeconds()) {}
    ~StepTimer() { m_total += ThreadCpuSeconds() - m_start; }

  private:
    double& m_total;
    double m_start;
};

} // namespace

CaptureEngine::CaptureEngine(CAni& ani) : m_ani(ani) {}

CaptureEngine::~CaptureEngine() {
    if (m_thread.joinable())
        StopCapture();
}

std::string CaptureEngine::FailureReason() const {
    std::lock_guard lock(m_lock);
    return m_reason;
}

CaptureStats CaptureEngine::Stats() const {
    std::lock_guard lock(m_lock);
    return m_stats;
}

void CaptureEngine::Fail(const std::string& reason) {
    std::lock_guard lock(m_lock);
    if (!m_failed.exchange(true))
        m_reason = reason;
}

bool CaptureEngine::StartCapture(const CaptureParams& params) {
    if (m_running.load() || m_thread.joinable()) {
        if (m_running.load()) {
            ZOV_LOG("E: Fail");
            return false;
        }
        m_thread.join(); // the previous run ended on its own
    }
    const int32_t mode = m_ani.DocMode();
    if (mode == DOC_NONE || (mode == DOC_PROJECT && !m_ani.IsFileOpen())) {
        ZOV_LOG("E: Fail");
        return false;
    }
    if (!params.screen)
        return false;
    IScreenSource& screen = *params.screen;

    // The area is settled here, before any thread or file is touched, so that a refusal
    // reaches the caller as a message and leaves the document as it was.
    ScreenRect area;
    if (m_ani.RecordWindowFlag()) {
        if (screen.WindowRect(m_ani.RecordWindow(), area) != WindowState::Shown) {
            m_ani.SetLastMessage("the window to record cannot be found or is not shown.");
            return false;
        }
    } else {
        CaptureRect r = m_ani.GetCaptureRect();
        area = {r.left, r.top, r.right, r.bottom};
        if (area.left < 0 || area.top < 0 || area.right > screen.ScreenWidth() ||
            area.bottom > screen.ScreenHeight()) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "the capture area %d,%d,%d,%d does not lie within the screen (%d x %d).", area.left,
                          area.top, area.right, area.bottom, screen.ScreenWidth(), screen.ScreenHeight());
            m_ani.SetLastMessage(text);
            return false;
        }
    }
    if (area.Width() <= 0 || area.Height() <= 0) {
        m_ani.SetLastMessage("the capture area is empty.");
        return false;
    }
    if (mode == DOC_PROJECT && RowBytes24(area.Width()) * area.Height() > kMaxImageBytes) {
        m_ani.SetLastMessage(TooLargeAreaMessage(area.Width(), area.Height()));
        return false;
    }
    if (mode == DOC_PROJECT && m_ani.FrameCount() > 0 &&
        (area.Width() != m_ani.ImageWidth() || area.Height() != m_ani.ImageHeight())) {
        char text[200];
        std::snprintf(
            text, sizeof text,
            "the capture area of %d x %d differs from the %d x %d frames of this project; record into a "
            "new project.",
            area.Width(), area.Height(), m_ani.ImageWidth(), m_ani.ImageHeight());
        m_ani.SetLastMessage(text);
        return false;
    }
    if (mode == DOC_STREAM && (area.Width() > 32767 || area.Height() > 32767)) {
        m_ani.SetLastMessage("the capture area is larger than a stream file can hold (32767 x 32767).");
        return false;
    }
    if (m_ani.RecordWindowFlag() && !m_ani.SetCaptureRect({area.left, area.top, area.right, area.bottom}))
        return false;

    m_params = params;
    m_area = area;
    m_failed = false;
    {
        std::lock_guard lock(m_lock);
        m_reason.clear();
        m_stats = {};
    }
    m_ani.m_control_rec_scr = C_CONTROL_RUN;
    m_ani.SetSpeed(10);
    m_running = true;
    m_thread = std::thread([this] {
        // Nothing may leave the thread: a failure (out of memory for a huge area) ends the
        // run with its reason instead of the process.
        try {
            Run();
        } catch (const std::exception& e) {
            EndRun(m_params.events ? m_params.events : &m_ani.Broadcast(),
                   std::string("the recording stopped: ") + e.what());
        }
    });
    return true;
}

void CaptureEngine::PauseCapture() {
    m_ani.m_control_rec_scr = C_CONTROL_PAUSE;
    // A grab that began before the pause ends before this returns: a window shown after it
    // (a menu, say) cannot reach the frame.
    std::lock_guard<std::mutex> wait(m_grabLock);
}

void CaptureEngine::ResumeCapture() {
    m_ani.m_control_rec_scr = C_CONTROL_RUN;
}

bool CaptureEngine::StopCapture() {
    char text[80];
    std::snprintf(text, sizeof text, "WaitForSingleObject: 0x%08X",
                  static_cast<unsigned>(std::hash<std::thread::id>{}(m_thread.get_id())));
    ZOV_LOG(text);
    m_ani.m_control_rec_scr = C_CONTROL_STOP;
    if (!m_thread.joinable())
        return true;
    m_thread.join();
    std::snprintf(text, sizeof text, "GetErrorInformation: dw_rtn: %d, WAIT_OBJECT_0: %d", 0, 0);
    ZOV_LOG(text);
    return true;
}

void CaptureEngine::Run() {
    IScreenSource& screen = *m_params.screen;
    IDocumentEvents* events = m_params.events ? m_params.events : &m_ani.Broadcast();
    const bool recordWindow = m_ani.RecordWindowFlag();
    const uint64_t window = m_ani.RecordWindow();
    const int width = m_area.Width(), height = m_area.Height();
    const auto startTime = std::chrono::system_clock::now();

    if (!ScreenFormatSupported(screen.Depth(), screen.BitsPerPixel())) {
        ZOV_LOG("display resolution not support!");
        EndRun(events, "display resolution not support!");
        return;
    }
    if (!screen.Prepare(width, height)) {
        EndRun(events, "the screen cannot be read.");
        return;
    }

    int32_t frameDelay = m_ani.Header().frameDelay;
    if (frameDelay <= 0)
        frameDelay = 100;
    std::unique_ptr<IFrameSink> sink = MakeDocumentFrameSink(m_ani, frameDelay);
    std::string failure;
    if (!sink || !sink->Begin(width, height, startTime, failure)) {
        screen.Release();
        EndRun(events, failure.empty() ? "the recording could not be started." : failure);
        return;
    }

    Image24 previous, current;
    previous.Allocate(width, height);
    current.Allocate(width, height);
    const bool drawPointer = m_ani.RecordPointer();
    const bool keepPointer = sink->KeepsPointer();

    TickPacer pacer;
    pacer.WaitForNextTick(true, m_ani.m_control_rec_scr, frameDelay);
    DrawingTool tool(m_params.drawingTool);
    tool.Start(m_ani.ProjectFolder());

    int frames = 0;
    FramePointer framePointer;
    PointerState pointer;
    bool havePointer = false;
    CaptureStats stats;
    int originX = m_area.left, originY = m_area.top;
    bool stopped = false;
    for (int counter = 0;; ++counter) {
        // A grab starts only while the capture runs; PauseCapture waits for one under way.
        std::unique_lock<std::mutex> grabbing(m_grabLock);
        while (m_ani.m_control_rec_scr.load() == C_CONTROL_PAUSE) {
            grabbing.unlock();
            if (!pacer.WaitForNextTick(false, m_ani.m_control_rec_scr, frameDelay, m_ani.Speed())) {
                stopped = true;
                break;
            }
            grabbing.lock();
        }
        if (stopped)
            break;
        if (recordWindow) {
            ScreenRect now;
            // A hidden window is recorded at its place until it is shown again; only a
            // window that is gone ends the run.
            if (screen.WindowRect(window, now) == WindowState::Gone) {
                failure = "the recorded window was closed.";
                break;
            }
            originX = now.left;
            originY = now.top;
        }
        ScreenPixels pixels;
        {
            StepTimer t(stats.grabSeconds);
            if (!screen.Grab(originX, originY, pixels)) {
                if (!screen.EndedByUser())
                    failure =
                        screen.GrabFailure().empty() ? "the screen cannot be read." : screen.GrabFailure();
                break;
            }
        }
        grabbing.unlock();
        {
            StepTimer t(stats.convertSeconds);
            if (!ConvertScreenPixels(pixels, current)) {
                ZOV_LOG("display resolution not support!");
                failure = "display resolution not support!";
                break;
            }
        }
        if (keepPointer || drawPointer) {
            StepTimer t(stats.pointerSeconds);
            PointerState read;
            if (screen.ReadPointer(read)) {
                pointer = std::move(read);
                havePointer = true;
                PointerDrawPosition(pointer, m_params.bigPointer, framePointer.x, framePointer.y);
                framePointer.shape = pointer.image ? ShapeIndexFromCursorName(pointer.image->name) : -1;
                if (keepPointer)
                    sink->KeepPointer(pointer, framePointer.x, framePointer.y);
            }
            if (drawPointer && havePointer && pointer.image) {
                int x = 0, y = 0;
                PointerDrawPosition(pointer, m_params.bigPointer, x, y);
                DrawPointer(current, *pointer.image, x - originX, y - originY, m_params.bigPointer);
            }
        }
        {
            StepTimer t(stats.storeSeconds);
            if (!sink->AddFrame(current, previous, counter, framePointer, failure))
                break;
        }
        ++frames;
        std::swap(previous, current);
        stats.frames = frames;
        {
            std::lock_guard lock(m_lock);
            m_stats = stats;
        }
        if (events)
            events->OnFrameCaptured(sink->FrameCount());
        if (!pacer.WaitForNextTick(false, m_ani.m_control_rec_scr, frameDelay, m_ani.Speed()))
            break;
    }

    // End of the run: the frames stored so far are kept whatever ended it.
    std::string endFailure;
    if (!sink->End(endFailure) && failure.empty())
        failure = endFailure;
    screen.Release();
    {
        std::lock_guard lock(m_lock);
        m_stats = stats;
    }
    EndRun(events, failure);
    tool.Stop();
}

void CaptureEngine::EndRun(IDocumentEvents* events, const std::string& failure) {
    // Stopped before anyone hears of the end, however the run ended: a listener that looks
    // at the state, or starts the next run, finds the engine idle.
    m_ani.m_control_rec_scr = C_CONTROL_STOP;
    if (failure.empty()) {
        ZOV_LOG("PostMessage UM_RECORD_FINISH");
        m_running = false;
        if (events)
            events->OnRecordFinish();
    } else {
        Fail(failure);
        m_running = false;
        if (events)
            events->OnRecordFailed(failure);
    }
}

} // namespace zov
