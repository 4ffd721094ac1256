#include "viewer/WasmApi.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "codec/StreamReader.h"
#include "viewer/LumaplayCtrl.h"

// The page reads these structs from memory; their layout is part of the page's contract.
static_assert(sizeof(ZvState) == 20 * 4, "ZvState is twenty 32-bit fields");
static_assert(offsetof(ZvState, bitmapSerial) == 60 && offsetof(ZvState, clientWidth) == 64);
static_assert(sizeof(ZvDrawPlan) == 9 * 4 && offsetof(ZvDrawPlan, dh) == 32);
static_assert(offsetof(ZvEvent, kind) == 0 && offsetof(ZvEvent, arg) == 4 && offsetof(ZvEvent, num) == 8 &&
              offsetof(ZvEvent, text) == 16);
#ifdef __EMSCRIPTEN__
static_assert(sizeof(void*) == 4 && sizeof(ZvEvent) == 24, "wasm32 layout read by zov-player.js");
#endif

namespace {

using namespace zov::viewer;

struct QueuedEvent {
    int32_t kind;
    int32_t arg;
    double num;
    std::string text;
};

class EventHost final : public ViewerHost {
  public:
    std::deque<QueuedEvent> events;
    void Push(int32_t kind, int32_t arg = 0, double num = 0, std::string text = {}) {
        events.push_back({kind, arg, num, std::move(text)});
    }
    void OpenSource(int source, const std::string& url) override { Push(ZV_EV_OPEN_SOURCE, source, 0, url); }
    void CloseSource(int source) override { Push(ZV_EV_CLOSE_SOURCE, source); }
    void Probe(int probe, const std::string& url) override { Push(ZV_EV_PROBE, probe, 0, url); }
    void StartTimer(int periodMs) override { Push(ZV_EV_START_TIMER, periodMs); }
    void KillTimer() override { Push(ZV_EV_KILL_TIMER); }
    void Redraw() override { Push(ZV_EV_REDRAW); }
    void Navigate(const std::string& url) override { Push(ZV_EV_NAVIGATE, 0, 0, url); }
    void OpenNewWindow(const std::string& url) override { Push(ZV_EV_OPEN_WINDOW, 0, 0, url); }
    void SetStatusText(const std::string& text) override { Push(ZV_EV_STATUS, 0, 0, text); }
    void SoundCreate(const std::string& url) override { Push(ZV_EV_SOUND_CREATE, 0, 0, url); }
    void SoundStop() override { Push(ZV_EV_SOUND_STOP); }
    void SoundPause() override { Push(ZV_EV_SOUND_PAUSE); }
    void SoundSetSpeed(int perMille) override { Push(ZV_EV_SOUND_SPEED, perMille); }
    void SoundPlayFrom(long long ms) override { Push(ZV_EV_SOUND_PLAY, 0, double(ms)); }
};

struct Control {
    EventHost host;
    // Reset when the player failed inside the module (see Fail): it then keeps only texts.
    std::unique_ptr<CLumaplayCtrl> ctrl = std::make_unique<CLumaplayCtrl>(host);
    std::vector<std::string> failedTexts;
    int32_t failedStill = -1;
    std::vector<uint8_t> buffer;
    ZvState state{};
    ZvDrawPlan plan{};
    ZvEvent current{};
    std::string currentText;
    std::string text;
};

std::vector<std::unique_ptr<Control>> g_controls;
double g_slowestRecordMs = 0;

Control* Get(int32_t h) {
    if (h < 1 || size_t(h) > g_controls.size())
        return nullptr;
    return g_controls[size_t(h) - 1].get();
}

std::string BufferText(Control& c, int32_t n) {
    if (n <= 0 || size_t(n) > c.buffer.size())
        return {};
    return std::string(reinterpret_cast<const char*>(c.buffer.data()), size_t(n));
}

std::string TextOf(const CLumaplayCtrl& k, int32_t which) {
    switch (which) {
    case ZV_TEXT_VIDEO_FILE:
        return k.m_videoFile;
    case ZV_TEXT_URL_AFTER_PLAY:
        return k.m_urlAfterPlay;
    case ZV_TEXT_STATUS_LINE:
        return k.Reader().StatusLine();
    case ZV_TEXT_OPEN_STATUS:
        return k.OpenStatus();
    case ZV_TEXT_COPY:
        return k.CopyText();
    case ZV_TEXT_STREAM_URL:
        return k.StreamUrlText();
    case ZV_TEXT_END_URL:
        return k.EndUrlText();
    case ZV_TEXT_SOUND_URL:
        return k.SoundUrlText();
    case ZV_TEXT_BASE_URL:
        return k.BaseUrl();
    case ZV_TEXT_DECODE_ERROR:
        return k.Reader().LastDecodeError();
    default:
        return {};
    }
}

constexpr int32_t kTextCount = ZV_TEXT_DECODE_ERROR + 1;

// A player that met a failure inside the module (memory the module could not get) is ended
// alone: its memory is given back, the page is told to drop its source and timer, and it
// shows "File Open error!" like a stream that could not be opened. The other players of the
// page share the module and play on.
void Fail(Control& c) {
    CLumaplayCtrl& k = *c.ctrl;
    const int source = k.Reader().CurrentSource();
    const bool timer = k.TimerRunning();
    c.failedStill = k.m_stillFrameNo;
    std::vector<std::string> texts;
    for (int32_t i = 0; i < kTextCount; ++i)
        texts.push_back(TextOf(k, i));
    c.ctrl.reset();
    std::vector<uint8_t>().swap(c.buffer);
    texts[ZV_TEXT_STATUS_LINE] = "File Open error! " + texts[ZV_TEXT_STREAM_URL];
    texts[ZV_TEXT_COPY] = "Image(0 x 0) Copy";
    texts[ZV_TEXT_SOUND_URL].clear();
    c.failedTexts = std::move(texts);
    c.host.events.clear();
    if (source != 0)
        c.host.Push(ZV_EV_CLOSE_SOURCE, source);
    if (timer)
        c.host.Push(ZV_EV_KILL_TIMER);
    c.host.Push(ZV_EV_STATUS, 0, 0, c.failedTexts[ZV_TEXT_STATUS_LINE]);
    c.host.Push(ZV_EV_REDRAW);
}

// Runs `fn` on a working player; an exception from inside fails that player alone.
template <class F> void Run(int32_t h, F&& fn) {
    Control* c = Get(h);
    if (!c || !c->ctrl)
        return;
    try {
        fn(*c, *c->ctrl);
    } catch (const std::exception&) {
        Fail(*c);
    }
}

} // namespace

extern "C" {

int32_t zv_create(void) {
    try {
        for (size_t i = 0; i < g_controls.size(); ++i)
            if (!g_controls[i]) {
                g_controls[i] = std::make_unique<Control>();
                return int32_t(i + 1);
            }
        g_controls.push_back(std::make_unique<Control>());
        return int32_t(g_controls.size());
    } catch (const std::exception&) {
        return 0;
    }
}

void zv_destroy(int32_t h) {
    if (Get(h))
        g_controls[size_t(h) - 1].reset();
}

uint8_t* zv_buffer(int32_t h, int32_t n) {
    uint8_t* out = nullptr;
    if (n < 0)
        return nullptr;
    Run(h, [&](Control& c, CLumaplayCtrl&) {
        if (c.buffer.size() < size_t(n))
            c.buffer.resize(size_t(n));
        out = c.buffer.data();
    });
    return out;
}

void zv_set_text(int32_t h, int32_t which, int32_t n) {
    Run(h, [&](Control& c, CLumaplayCtrl& k) {
        if (which == ZV_TEXT_VIDEO_FILE)
            k.m_videoFile = BufferText(c, n);
        if (which == ZV_TEXT_URL_AFTER_PLAY)
            k.m_urlAfterPlay = BufferText(c, n);
    });
}

void zv_set_still(int32_t h, int32_t frame) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.m_stillFrameNo = frame; });
}

void zv_load(int32_t h, int32_t n, double now) {
    Run(h, [&](Control& c, CLumaplayCtrl& k) { k.Load(BufferText(c, n), now); });
}

void zv_probe_result(int32_t h, int32_t probe, int32_t n, double now) {
    Run(h, [&](Control& c, CLumaplayCtrl& k) {
        size_t size = n > 0 && size_t(n) <= c.buffer.size() ? size_t(n) : 0;
        k.OnProbe(probe, c.buffer.data(), size, now);
    });
}

void zv_feed(int32_t h, int32_t source, int32_t n, double now) {
    Run(h, [&](Control& c, CLumaplayCtrl& k) {
        if (n > 0 && size_t(n) <= c.buffer.size())
            k.FeedBytes(source, c.buffer.data(), size_t(n), now);
    });
}

void zv_feed_end(int32_t h, int32_t source, double now) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.FeedEnd(source, now); });
}
void zv_feed_error(int32_t h, int32_t source, double now) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.FeedError(source, now); });
}
void zv_pump(int32_t h, double now) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.Pump(now); });
}
void zv_tick(int32_t h, double now) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.Tick(now); });
}
void zv_command(int32_t h, int32_t id, double now) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.Command(id, now); });
}
int32_t zv_menu_enabled(int32_t h, int32_t id) {
    Control* c = Get(h);
    if (c && !c->ctrl)
        return id == ID_ABOUT || id == ID_HOME ? 1 : 0;
    return c && c->ctrl->MenuEnabled(id) ? 1 : 0;
}
int32_t zv_menu_checked(int32_t h, int32_t id) {
    Control* c = Get(h);
    return c && c->ctrl && c->ctrl->MenuChecked(id) ? 1 : 0;
}
void zv_double_click(int32_t h, double now) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.DoubleClick(now); });
}
void zv_resize(int32_t h, int32_t w, int32_t hgt) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.Resize(w, hgt); });
}
void zv_wheel(int32_t h, int32_t delta) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.Wheel(delta); });
}
void zv_left_down(int32_t h, int32_t x, int32_t y) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.LeftDown(x, y); });
}
void zv_move(int32_t h, int32_t x, int32_t y, int32_t anyButton, int32_t leftOnly) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.Move(x, y, anyButton != 0, leftOnly != 0); });
}
void zv_left_up(int32_t h) {
    Run(h, [&](Control&, CLumaplayCtrl& k) { k.LeftUp(); });
}

const ZvState* zv_state(int32_t h) {
    Control* c = Get(h);
    if (!c)
        return nullptr;
    ZvState& s = c->state;
    if (!c->ctrl) {
        // A failed player: loaded, without a picture or a source.
        s = ZvState{};
        s.speed = 1000;
        s.fitMode = 1;
        s.loaded = 1;
        s.stillFrameNo = c->failedStill;
        s.recordLength = -1;
        return &s;
    }
    const CLumaplayCtrl& k = *c->ctrl;
    const ViewerStreamReader& r = k.Reader();
    s.width = r.Width();
    s.height = r.Height();
    s.interval = r.Interval();
    s.speed = k.Speed();
    s.fitMode = k.FitMode();
    s.panX = k.PanX();
    s.panY = k.PanY();
    s.stepCount = r.StepCount();
    s.timerRunning = k.TimerRunning();
    s.sourceOpen = k.SourceOpen();
    s.hasBitmap = r.HasBitmap();
    s.busy = k.Busy();
    s.loaded = k.Loaded();
    s.stillFrameNo = k.m_stillFrameNo;
    s.wantsBytes = r.WantsBytes();
    s.bitmapSerial = int32_t(r.BitmapSerial());
    s.clientWidth = k.ClientWidth();
    s.clientHeight = k.ClientHeight();
    s.dragging = k.Dragging();
    s.recordLength = r.RecordLength();
    return &s;
}

const ZvDrawPlan* zv_plan(int32_t h, int32_t bw, int32_t bh, int32_t l, int32_t t, int32_t r, int32_t b) {
    Control* c = Get(h);
    if (!c)
        return nullptr;
    if (!c->ctrl) {
        c->plan = {int32_t(DrawMode::Empty), 0, 0, 0, 0, l, t, r - l, b - t};
        return &c->plan;
    }
    DrawPlan p = c->ctrl->Plan(bw, bh, l, t, r, b);
    c->plan = {int32_t(p.mode), p.sx, p.sy, p.sw, p.sh, p.dx, p.dy, p.dw, p.dh};
    return &c->plan;
}

const uint8_t* zv_bitmap(int32_t h) {
    Control* c = Get(h);
    if (!c || !c->ctrl || !c->ctrl->Reader().HasBitmap())
        return nullptr;
    return c->ctrl->Reader().Bitmap().data();
}

const char* zv_text(int32_t h, int32_t which) {
    Control* c = Get(h);
    if (!c)
        return "";
    try {
        if (c->ctrl)
            c->text = TextOf(*c->ctrl, which);
        else
            c->text = which >= 0 && which < kTextCount ? c->failedTexts[size_t(which)] : std::string();
    } catch (const std::exception&) {
        return "";
    }
    return c->text.c_str();
}

const ZvEvent* zv_next_event(int32_t h) {
    Control* c = Get(h);
    if (!c || c->host.events.empty())
        return nullptr;
    QueuedEvent e = std::move(c->host.events.front());
    c->host.events.pop_front();
    c->currentText = std::move(e.text);
    c->current = {e.kind, e.arg, e.num, c->currentText.c_str()};
    return &c->current;
}

int32_t zv_jump_target(void) {
    return zov::viewer::PendingJumpTarget();
}

int32_t zv_decode_all(int32_t h, int32_t n) {
    Control* c = Get(h);
    g_slowestRecordMs = 0;
    if (!c || n < 0 || size_t(n) > c->buffer.size())
        return -1;
    try {
        zov::StreamReader reader;
        reader.Append(c->buffer.data(), size_t(n));
        reader.Finish();
        int32_t frames = 0;
        zov::StreamRecord record;
        for (;;) {
            auto start = std::chrono::steady_clock::now();
            zov::ReadStatus st = reader.Next(record);
            double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            if (st != zov::ReadStatus::Record)
                return st == zov::ReadStatus::Damaged || record.rejected ? -1 : frames;
            if (record.rejected)
                return -1;
            g_slowestRecordMs = std::max(g_slowestRecordMs, ms);
            ++frames;
        }
    } catch (const std::exception&) {
        return -1;
    }
}

double zv_slowest_record_ms(void) {
    return g_slowestRecordMs;
}

} // extern "C"
