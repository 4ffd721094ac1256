// `zovrec record` (the capture engine on the X11 screen or, on a Wayland desktop, on the screen
// the desktop portal shares; into a project or a ".zov" stream)
// and `zovrec recover` (the frames a crashed recording left behind).
#include "app/cli/Cli.h"
#include "app/cli/RecordSound.h"

#include "base/BinFile.h"
#include "base/Path.h"
#include "base/ProgramFolder.h"
#include "codec/StreamContainer.h"
#include "core/Ani.h"
#include "core/Recover.h"
#include "platform/PortalScreen.h"
#include "platform/X11Screen.h"
#include "recorder/CaptureEngine.h"
#include "sound/SoundFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <unistd.h>

namespace {

using namespace zov;
using namespace zov::cli;

const char* kRecordUsage =
    "record OUT [--area L,T,R,B | --window ID | --full] [--delay MS (11..32767)] [--no-pointer] "
    "[--big-pointer] [--frames N | --seconds S] [--progress] [--display :N | --portal] "
    "[--sound [--mp3-kbps 8|16|24]]";

class RecordEvents : public IDocumentEvents {
  public:
    RecordEvents(CAni& ani, int32_t framesBefore, long long frameLimit, bool progress)
        : m_ani(ani), m_before(framesBefore), m_limit(frameLimit), m_progress(progress) {}
    void OnFrameCaptured(int frameCount) override {
        m_count = frameCount;
        // --progress: one line per stored frame, for programs that drive a recording.
        if (m_progress) {
            std::printf("frame %d\n", frameCount - m_before);
            std::fflush(stdout);
        }
        // The run stops on the frame that completes the count: the pacing sees the stop state
        // before another frame is taken.
        if (m_limit > 0 && frameCount - m_before >= m_limit)
            m_ani.m_control_rec_scr = C_CONTROL_STOP;
    }
    void OnRecordFinish() override { m_done = true; }
    void OnRecordFailed(const std::string&) override { m_done = true; }
    bool Done() const { return m_done; }
    int Count() const { return m_count; }

  private:
    CAni& m_ani;
    int32_t m_before;
    long long m_limit;
    bool m_progress;
    std::atomic<int> m_count{0};
    std::atomic<bool> m_done{false};
};

bool ParseArea(const std::string& text, CaptureRect& r) {
    long long v[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t comma = text.find(',', start);
        if ((i < 3) != (comma != std::string::npos))
            return false;
        std::string part = text.substr(start, i < 3 ? comma - start : std::string::npos);
        if (!ParseInt(part, -100000, 100000, v[i]))
            return false;
        start = comma + 1;
    }
    r = {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2]),
         static_cast<int32_t>(v[3])};
    return r.right > r.left && r.bottom > r.top;
}

bool ParseWindowId(const std::string& text, uint64_t& id) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v == 0 || text[0] == '-')
        return false;
    id = v;
    return true;
}

int Record(CAni& ani, const Args& input) {
    Args args = input;
    std::string areaText, windowText, delayText, framesText, secondsText, display;
    const bool haveArea = TakeOption(args, "--area", areaText);
    const bool haveWindow = TakeOption(args, "--window", windowText);
    const bool full = TakeFlag(args, "--full");
    const bool haveDelay = TakeOption(args, "--delay", delayText);
    const bool noPointer = TakeFlag(args, "--no-pointer");
    const bool bigPointer = TakeFlag(args, "--big-pointer");
    const bool haveFrames = TakeOption(args, "--frames", framesText);
    const bool haveSeconds = TakeOption(args, "--seconds", secondsText);
    const bool progress = TakeFlag(args, "--progress");
    const bool haveDisplay = TakeOption(args, "--display", display);
    const bool portalFlag = TakeFlag(args, "--portal");
    std::string kbpsText;
    const bool sound = TakeFlag(args, "--sound");
    const bool haveKbps = TakeOption(args, "--mp3-kbps", kbpsText);
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return Usage(kRecordUsage);
    if (int(haveArea) + int(haveWindow) + int(full) > 1)
        return Fail("choose one of --area, --window and --full.", 2);
    if (haveFrames && haveSeconds)
        return Fail("choose one of --frames and --seconds.", 2);
    if (portalFlag && haveDisplay)
        return Fail("choose one of --portal and --display.", 2);
    if (portalFlag && haveWindow)
        return Fail("--window takes an X window; with --portal the desktop's own picker chooses the window.",
                    2);
    // On a Wayland desktop an X11 grab sees only the X11 windows (or nothing): the portal is
    // the way there, unless an X display or an X window is asked for.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool usePortal = portalFlag || (!haveDisplay && !haveWindow && WaylandSession());
    CaptureRect area;
    if (haveArea && !ParseArea(areaText, area))
        return Fail(
            "--area takes LEFT,TOP,RIGHT,BOTTOM with RIGHT > LEFT and BOTTOM > TOP, for example 0,0,640,480.",
            2);
    uint64_t window = 0;
    if (haveWindow && !ParseWindowId(windowText, window))
        return Fail("--window takes an X window id, decimal or 0x hexadecimal.", 2);
    long long delay = 100, frames = 0, seconds = 0;
    // The players take 10 ms or less for a still picture.
    if (haveDelay && !ParseInt(delayText, kMinPlayedIntervalMs, kMaxIntervalMs, delay))
        return Fail("--delay takes milliseconds from 11 to 32767.", 2);
    if (haveFrames && !ParseInt(framesText, 1, 100000000, frames))
        return Fail("--frames takes a positive number of frames.", 2);
    if (haveSeconds && !ParseInt(secondsText, 1, 100000000, seconds))
        return Fail("--seconds takes a positive number of seconds.", 2);

    if (haveKbps && kbpsText != "8" && kbpsText != "16" && kbpsText != "24")
        return Fail("--mp3-kbps takes 8, 16 or 24.", 2);
    if (haveKbps && !sound)
        return Fail("--mp3-kbps goes with --sound.", 2);
    const int kbps = haveKbps ? std::atoi(kbpsText.c_str()) : 8;

    std::string error;
    std::unique_ptr<IScreenSource> screen;
    if (usePortal) {
        std::fprintf(stderr, "zovrec: recording the screen the desktop portal shares (ScreenCast, %s)%s.\n",
                     wayland && *wayland ? wayland : "no WAYLAND_DISPLAY",
                     portalFlag ? "" : "; --display :N records an X display instead");
        PortalOptions options;
        options.pointer = !noPointer;
        options.tokenFile = WritableFolder() + "portal-restore-token";
        options.maxFramesPerSecond = static_cast<int>(1000 / delay) + 1;
        screen = OpenPortalScreen(options, error);
        if (!screen)
            return Fail(error);
        const PortalPointer pointerMode = PortalPointerMode(*screen);
        std::fprintf(stderr, "zovrec: the shared screen is %d x %d; the pointer %s.\n", screen->ScreenWidth(),
                     screen->ScreenHeight(),
                     pointerMode == PortalPointer::Metadata   ? "comes as metadata and is drawn in"
                     : pointerMode == PortalPointer::Embedded ? "is in the picture (no shape recorded)"
                                                              : "is not recorded");
    } else {
        screen = OpenX11Screen(display, error);
        if (!screen)
            return Fail(error);
    }

    ani.SetScreenSize(screen->ScreenWidth(), screen->ScreenHeight());
    ani.SetDefaultFrameDelay(static_cast<int32_t>(delay));
    ani.SetDefaultRecordPointer(!noPointer);
    std::string path = args[0];
    const bool stream = HasExtension(path, "zov");
    bool existing = false;
    if (stream) {
        if (!ani.NewProject(path, true))
            return Fail("cannot record into " + path + ": " + ani.LastMessage());
    } else {
        std::string withScp = HasExtension(path, "scp") ? path : ReplaceExtension(path, "scp");
        existing = FileExists(path) || FileExists(withScp);
        if (existing) {
            if (!ani.OpenProject(path))
                return Fail("cannot open " + path + ": " + ani.LastMessage());
        } else if (!ani.NewProject(path, false)) {
            return Fail("cannot create the project " + path + ".");
        }
    }
    const int32_t framesBefore = ani.FrameCount();
    if (!existing || haveDelay)
        ani.SetFrameDelay(static_cast<int32_t>(delay));
    ani.SetRecordPointer(!noPointer);
    if (haveWindow) {
        ani.SetRecordWindow(window, true);
    } else {
        ani.SetRecordWindow(0, false);
        CaptureRect r = area;
        if (!haveArea) {
            if (existing && !full && framesBefore > 0)
                r = ani.GetCaptureRect(); // a new run of an existing project keeps its area
            else
                r = {0, 0, screen->ScreenWidth(), screen->ScreenHeight()};
        }
        if (!ani.SetCaptureRect(r))
            return Fail(ani.LastMessage().empty() ? "the capture area cannot be used." : ani.LastMessage());
    }

    // SIGINT and SIGTERM stop the run, SIGUSR1 pauses it and SIGUSR2 resumes it; they are
    // taken by this thread only, so the capture thread is never interrupted.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    RecordEvents events(ani, framesBefore, frames, progress);
    CaptureEngine engine(ani);
    CaptureParams params;
    params.events = &events;
    params.screen = screen.get();
    params.bigPointer = bigPointer;
    // The sound starts first, as in the program; without a sound server nothing is recorded.
    RecordSound soundRecording(ani);
    if (sound && !soundRecording.Start(kbps, error))
        return Fail("no sound can be recorded: " + error);
    if (!engine.StartCapture(params)) {
        if (sound)
            soundRecording.Stop();
        std::string why = ani.LastMessage();
        return Fail(why.empty() ? "the recording cannot be started." : why);
    }
    const auto start = std::chrono::steady_clock::now();
    bool interrupted = false;
    // On a terminal, the frame count is shown as the run goes.
    const bool showProgress = isatty(STDERR_FILENO) == 1;
    int shown = -1;
    std::string soundFailure;
    while (!events.Done()) {
        if (showProgress && events.Count() != shown) {
            shown = events.Count();
            std::fprintf(stderr, "\rrecording %s: %d frames (Ctrl+C stops)", ani.DocumentPath().c_str(),
                         shown - (stream ? 0 : framesBefore));
        }
        timespec wait{0, 50 * 1000 * 1000};
        int s = sigtimedwait(&signals, nullptr, &wait);
        if (s == SIGINT || s == SIGTERM) {
            interrupted = true;
            break;
        }
        if (s == SIGUSR1) {
            engine.PauseCapture();
            soundRecording.Pause();
        }
        if (s == SIGUSR2) {
            engine.ResumeCapture();
            soundRecording.Resume();
        }
        if (sound && soundFailure.empty() && !(soundFailure = soundRecording.Failure()).empty())
            std::fprintf(stderr, "zovrec: the sound recording ended: %s; the screen recording goes on.\n",
                         soundFailure.c_str());
        if (seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::seconds(seconds))
            break;
    }
    // Sound first, then the screen: both go on for the sound's last buffers, so they stay in
    // step; the MP3 is made once the screen has stopped.
    if (sound)
        soundRecording.Stop();
    engine.StopCapture();
    if (showProgress)
        std::fprintf(stderr, "\n");
    if (sound) {
        std::string message;
        if (soundRecording.Finish(message))
            std::printf("sound in %s and %s\n", soundRecording.WavPath().c_str(),
                        SoundMp3Path(soundRecording.WavPath()).c_str());
        else
            std::fprintf(stderr, "zovrec: the sound stays in %s; no MP3: %s\n",
                         soundRecording.WavPath().c_str(), message.c_str());
    }
    const std::string target = ani.DocumentPath();
    const CaptureStats stats = engine.Stats();
    if (engine.Failed()) {
        std::fprintf(stderr, "zovrec: the recording ended early: %s\n", engine.FailureReason().c_str());
        if (stats.frames > 0)
            std::fprintf(stderr, "zovrec: the %d frames recorded before are kept in %s.\n", stats.frames,
                         target.c_str());
        ani.Close();
        return 1;
    }
    std::printf("recorded %d frames (%dx%d) into %s%s\n", stats.frames, engine.Area().Width(),
                engine.Area().Height(), target.c_str(),
                interrupted             ? " (stopped by a signal)"
                : screen->EndedByUser() ? " (sharing was stopped on the desktop)"
                                        : "");
    ani.Close();
    return 0;
}

int Recover(CAni& ani, const Args& args) {
    if (args.size() != 1)
        return Usage("recover PROJECT");
    std::string path = args[0];
    if (!FileExists(path) && !HasExtension(path, "scp") && FileExists(ReplaceExtension(path, "scp")))
        path = ReplaceExtension(path, "scp");
    if (!FileExists(path))
        return Fail("there is no project " + args[0] + ".");
    RecoverResult result;
    if (!RecoverProject(path, result))
        return Fail(result.message);
    // The result must be a project that opens and passes the check.
    std::string opened = path;
    if (!ani.OpenProject(opened))
        return Fail("after recovery the project does not open: " + ani.LastMessage());
    const int32_t count = ani.FrameCount();
    ani.Close();
    std::printf("%s\n%s now holds %d frames.\n", result.message.c_str(), path.c_str(), count);
    return 0;
}

CliRegistration regRecord({"record", kRecordUsage,
                           "record the X11 or Wayland screen into a project or a .zov stream", Record});
CliRegistration regRecover({"recover", "recover PROJECT",
                            "add the frames a crashed recording left after the last index", Recover});

} // namespace
