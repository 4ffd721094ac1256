// The viewer control's logic, independent of the browser: loading (probe, open, first
// picture, still frame), the timer tick with the pending jump target, the playback
// commands and their speed arithmetic, the context menu's state, the drawing geometry and
// panning. The page side (viewer/web/zov-player.js) supplies the ViewerHost and forwards
// events; everything here runs on the page's one thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/ViewerHost.h"
#include "viewer/ViewerStreamReader.h"

namespace zov::viewer {

// Menu command ids.
enum MenuId : int {
    ID_STOP = 32769,
    ID_GO = 32771,
    ID_SPEED_NORMAL = 203,
    ID_SPEED_FAST2 = 204,
    ID_SPEED_FAST5 = 206,
    ID_SPEED_FAST10 = 205,
    ID_SPEED_FASTEST = 209,
    ID_SPEED_SLOW2 = 207,
    ID_SPEED_SLOW3 = 208,
    ID_NEXT_FRAME = 32770,
    ID_ORIGIN_SIZE = 32772,
    ID_VIEW_ALL = 32775,
    ID_COPY = 32768,
    ID_ABOUT = 1,
    ID_HOME = 32776,
};

enum ProbeId : int { PROBE_STREAM = 1, PROBE_SOUND = 2 };

// How to draw: nothing yet (white with a frame), a 1:1 copy, or a scaled copy.
enum class DrawMode : int32_t { Empty = 0, Copy = 1, Stretch = 2, Nothing = 3 };

struct DrawPlan {
    DrawMode mode = DrawMode::Empty;
    int32_t sx = 0, sy = 0, sw = 0, sh = 0; // source rectangle in the bitmap
    int32_t dx = 0, dy = 0, dw = 0, dh = 0; // destination (the invalid rectangle)
};

// The pending jump target shared by every control of the page (0 = none).
int PendingJumpTarget();
void SetPendingJumpTarget(int target);

// Timer period for a frame interval and a speed in per mille: interval * 1000 / speed.
int TimerPeriod(int intervalMs, int speedPerMille);

// Every player of a page shares one module memory of at most 1 GiB, so the pictures they may
// hold together are budgeted: a stream whose header asks for more than is left is refused
// ("File Open error!") before anything is allocated for it, and the others play on.
// What one pixel of a stream costs a player: picture, display bitmap and the decoder's
// per-pixel tables.
constexpr uint64_t kPlayerBytesPerPixel = 14;
constexpr uint64_t kDefaultPictureBudget = 512ull * 1024 * 1024;
uint64_t PictureBudget();
void SetPictureBudget(uint64_t bytes);
// Bytes the open players hold against the budget.
uint64_t PicturesReserved();
// Block sizes a stream header may give: 0 (meaning 32) or 8 to 128 pixels.
bool UsableBlockSize(int blockSize);

class CLumaplayCtrl {
  public:
    explicit CLumaplayCtrl(ViewerHost& host);
    ~CLumaplayCtrl();
    CLumaplayCtrl(const CLumaplayCtrl&) = delete;
    CLumaplayCtrl& operator=(const CLumaplayCtrl&) = delete;

    // Persisted properties, set before Load(); changing them later does not reopen.
    std::string m_videoFile;
    std::string m_urlAfterPlay;
    int32_t m_stillFrameNo = -1;

    // Load sequence and window creation: resolves the URLs against the page's URL, probes
    // and opens the stream, shows its first (or still) picture, probes the sound, then starts
    // the timer. Continues through Pump() and OnProbe().
    void Load(const std::string& pageUrl, double now);
    void OnProbe(int probe, const uint8_t* bytes, size_t size, double now);
    // Continues a read that waits for bytes or for its time-out.
    void Pump(double now);
    // True while a load or a step waits; commands wait for it (a tick is dropped).
    bool Busy() const { return m_job != Job::None; }
    bool Loaded() const { return m_loaded; }

    void FeedBytes(int source, const uint8_t* data, size_t size, double now);
    void FeedEnd(int source, double now);
    void FeedError(int source, double now);

    void Tick(double now);
    void Command(int id, double now);
    void Stop();
    void Go(double now);
    void SetSpeed(int perMille, double now);
    void NextFrame(double now);
    void DoubleClick(double now);
    void SetFitMode(int mode);

    // Client area of the element, in pixels.
    void Resize(int width, int height);
    void Wheel(int delta);
    void LeftDown(int x, int y);
    // `leftOnly`: the left button and no other button or modifier key is held.
    void Move(int x, int y, bool anyButton, bool leftOnly);
    void LeftUp();
    bool Dragging() const { return m_anchorX != -1 || m_anchorY != -1; }

    DrawPlan Plan(int boundsW, int boundsH, int invL, int invT, int invR, int invB) const;

    bool MenuEnabled(int id) const;
    bool MenuChecked(int id) const;

    const ViewerStreamReader& Reader() const { return m_reader; }
    const std::string& BaseUrl() const { return m_baseUrl; }
    const std::string& StreamUrlText() const { return m_streamUrl; }
    const std::string& EndUrlText() const { return m_endUrl; }
    const std::string& SoundUrlText() const { return m_soundUrl; }
    const std::string& OpenStatus() const { return m_openStatus; }
    const std::string& CopyText() const { return m_copyText; }
    bool TimerRunning() const { return m_timerRunning; }
    int Speed() const { return m_speed; }
    int FitMode() const { return m_fitMode; }
    int PanX() const { return m_panX; }
    int PanY() const { return m_panY; }
    int ClientWidth() const { return m_clientW; }
    int ClientHeight() const { return m_clientH; }
    bool SourceOpen() const { return m_reader.IsOpen(); }
    bool SoundCreated() const { return m_soundCreated; }

    static constexpr const char* kHomeUrl = "https://zov-recorder.example/";

  private:
    enum class Job {
        None,
        LoadProbe,
        LoadOpen,
        LoadFirstStep,
        LoadStill,
        LoadSound,
        TickJump,
        TickStep,
        NextStep
    };
    // Holds back the first bytes of each source until its header is admitted (block size,
    // picture budget); a refused header fails the source as if it could not be opened.
    void Admit(int source, double now);
    void ReleasePictures();

    void StartStep(double now);
    void RunJob(double now);
    void FinishLoad(double now);
    void WindowCreated();
    void TickRest(double now);
    void StartTimer();
    void KillTimer();
    void ClampPan();
    bool SizesDiffer() const;
    void ShowStatus();

    ViewerHost& m_host;
    ViewerStreamReader m_reader;
    std::string m_baseUrl, m_streamUrl, m_endUrl, m_soundUrl, m_soundCandidate;
    std::string m_openStatus;
    std::string m_copyText = "Image(0 x 0) Copy";
    std::string m_shownStatus;
    bool m_timerRunning = false;
    int m_speed = 1000;
    int m_panX = 0, m_panY = 0;
    int m_anchorX = -1, m_anchorY = -1;
    int m_fitMode = 1;
    int m_clientW = 0, m_clientH = 0;
    bool m_soundCreated = false;
    bool m_loaded = false;

    int m_gateSource = 0;
    bool m_gateOpen = false;
    std::vector<uint8_t> m_gateBytes;
    uint64_t m_reserved = 0;

    Job m_job = Job::None;
    int m_stillRemaining = 0;
    int m_jumpTarget = 0;
    bool m_jumpRewound = false;
    bool m_jumpFirst = false;
};

} // namespace zov::viewer
