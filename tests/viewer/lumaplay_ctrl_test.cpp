// The viewer's control logic against a fake page: loading, stepping with time-outs, the
// timer tick and its end of stream, speeds and sound, still frames, drawing and panning,
// and the C API the page calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/StreamReader.h"
#include "codec/StreamWriter.h"
#include "viewer/LumaplayCtrl.h"
#include "viewer/WasmApi.h"

using namespace zov::viewer;

namespace {

struct Call {
    std::string what;
    int arg = 0;
    long long num = 0;
    std::string text;
};

class FakeHost : public ViewerHost {
  public:
    std::vector<Call> calls;
    int lastSource = 0;
    std::string lastOpenUrl, lastProbeUrl;
    int lastProbe = 0;
    void Add(const char* w, int a = 0, long long n = 0, std::string t = {}) { calls.push_back({w, a, n, t}); }
    void OpenSource(int source, const std::string& url) override {
        lastSource = source;
        lastOpenUrl = url;
        Add("open", source, 0, url);
    }
    void CloseSource(int source) override { Add("close", source); }
    void Probe(int probe, const std::string& url) override {
        lastProbe = probe;
        lastProbeUrl = url;
        Add("probe", probe, 0, url);
    }
    void StartTimer(int periodMs) override { Add("timer", periodMs); }
    void KillTimer() override { Add("kill"); }
    void Redraw() override { Add("redraw"); }
    void Navigate(const std::string& url) override { Add("navigate", 0, 0, url); }
    void OpenNewWindow(const std::string& url) override { Add("window", 0, 0, url); }
    void SetStatusText(const std::string& text) override { Add("status", 0, 0, text); }
    void SoundCreate(const std::string& url) override { Add("sound", 0, 0, url); }
    void SoundStop() override { Add("sound-stop"); }
    void SoundPause() override { Add("sound-pause"); }
    void SoundSetSpeed(int s) override { Add("sound-speed", s); }
    void SoundPlayFrom(long long ms) override { Add("sound-play", 0, ms); }

    int Count(const std::string& w) const {
        int n = 0;
        for (const auto& c : calls)
            n += c.what == w;
        return n;
    }
    const Call* Last(const std::string& w) const {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->what == w)
                return &*it;
        return nullptr;
    }
};

struct MemorySink : zov::StreamSink {
    std::vector<uint8_t> bytes;
    bool Write(const void* d, size_t n) override {
        auto p = static_cast<const uint8_t*>(d);
        bytes.insert(bytes.end(), p, p + n);
        return true;
    }
};

constexpr int W = 37, H = 21;

// Colourful frames: a gradient that drifts, a moving box, and a noisy patch (raw blocks).
std::vector<uint32_t> Frame(int k) {
    std::vector<uint32_t> px(size_t(W) * H);
    uint32_t seed = 12345u + uint32_t(k) * 7919u;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint32_t r = uint32_t((x * 7 + k * 11) & 255), g = uint32_t((y * 12) & 255),
                     b = uint32_t((x + y) * 5 & 255);
            uint32_t c = (r << 16) | (g << 8) | b;
            if (x >= k && x < k + 6 && y >= 3 && y < 9)
                c = 0xFF2020;
            if (x >= 20 && x < 28 && y >= 12 && y < 18) {
                seed = seed * 1103515245u + 12345u;
                c = (seed >> 8) & 0xFFFFFF;
            }
            px[size_t(y) * W + x] = c;
        }
    return px;
}

// A stream of `frames` frames (frame 1 repeated when `repeatFirst`, giving a length-0 record).
// Intervals the writer refuses (1..10 ms, which players take for a still picture) are put
// into the header afterwards, as another writer might have.
std::vector<uint8_t> MakeStream(int frames, int interval, bool endMarker, bool repeatFirst = false) {
    MemorySink sink;
    zov::StreamWriter writer;
    const bool playable = zov::IsPlayableInterval(interval);
    EXPECT_TRUE(writer.Begin(&sink, W, H, playable ? interval : 500));
    for (int k = 0; k < frames; ++k) {
        auto f = Frame(repeatFirst && k == 1 ? 0 : k);
        EXPECT_TRUE(writer.AddFrame32(f.data()));
    }
    EXPECT_TRUE(writer.End(endMarker ? zov::StreamEnd::Marker : zov::StreamEnd::NoMarker));
    if (!playable) {
        sink.bytes[10] = uint8_t(interval >> 8);
        sink.bytes[11] = uint8_t(interval);
    }
    return sink.bytes;
}

// The codec's own reader decodes the same bytes: the pictures the viewer must show.
std::vector<std::vector<uint32_t>> Reference(const std::vector<uint8_t>& bytes) {
    zov::StreamReader r;
    r.Append(bytes.data(), bytes.size());
    r.Finish();
    std::vector<std::vector<uint32_t>> out;
    zov::StreamRecord rec;
    while (r.Next(rec) == zov::ReadStatus::Record) {
        std::vector<uint32_t> pic(r.Picture(), r.Picture() + size_t(r.Header().width) * r.Header().height);
        for (auto& p : pic)
            p &= 0xFFFFFF;
        out.push_back(std::move(pic));
    }
    return out;
}

std::vector<uint32_t> Shown(const CLumaplayCtrl& c) {
    const auto& rgba = c.Reader().Bitmap();
    std::vector<uint32_t> px(rgba.size() / 4);
    for (size_t i = 0; i < px.size(); ++i) {
        EXPECT_EQ(rgba[4 * i + 3], 255);
        px[i] = (uint32_t(rgba[4 * i]) << 16) | (uint32_t(rgba[4 * i + 1]) << 8) | rgba[4 * i + 2];
    }
    return px;
}

const std::string kPage = "http://127.0.0.1:9000/out/demo.htm";
const uint8_t kProbeOk[] = {'Z', 'V', '0', '1', 0};

// Loads a control with the given stream bytes (all delivered at once) and answers probes.
struct Player {
    FakeHost host;
    CLumaplayCtrl ctrl{host};
    std::vector<uint8_t> bytes;
    double now = 1000;
    bool soundExists = true;
    std::string videoFile = "demo.zov";

    void Load(std::vector<uint8_t> b, int still = -1, const std::string& after = "") {
        bytes = std::move(b);
        ctrl.m_videoFile = videoFile;
        ctrl.m_urlAfterPlay = after;
        ctrl.m_stillFrameNo = still;
        ctrl.Resize(W, H);
        ctrl.Load(kPage, now);
        AnswerProbe(true);
        Deliver();
        AnswerProbe(soundExists);
    }
    void AnswerProbe(bool ok) {
        if (host.lastProbe == 0)
            return;
        int p = host.lastProbe;
        host.lastProbe = 0;
        if (ok)
            ctrl.OnProbe(p, kProbeOk, sizeof kProbeOk, now);
        else
            ctrl.OnProbe(p, reinterpret_cast<const uint8_t*>("404"), 3, now);
    }
    // Delivers the whole stream to the source the control opened last.
    void Deliver() {
        if (host.lastSource == 0)
            return;
        int s = host.lastSource;
        host.lastSource = 0;
        ctrl.FeedBytes(s, bytes.data(), bytes.size(), now);
        ctrl.FeedEnd(s, now);
    }
    void Tick() {
        now += 100;
        ctrl.Tick(now);
        Deliver();
    }
};

} // namespace

TEST(LumaplayCtrl, LoadShowsFirstPictureAndStartsTimer) {
    auto bytes = MakeStream(4, 100, true);
    auto ref = Reference(bytes);
    ASSERT_EQ(ref.size(), 4u);
    Player p;
    p.Load(bytes);
    EXPECT_EQ(p.host.calls.front().text, "http://127.0.0.1:9000/out/demo.zov");
    EXPECT_EQ(p.ctrl.OpenStatus(), "Open OK!");
    EXPECT_EQ(p.ctrl.CopyText(), "Image(w37 x h21) Copy");
    EXPECT_EQ(p.ctrl.Reader().StatusLine(),
              "http://127.0.0.1:9000/out/demo.zov, W37*H21, 100 msec per frame");
    EXPECT_EQ(p.ctrl.SoundUrlText(), "http://127.0.0.1:9000/out/demo.mp3");
    EXPECT_EQ(Shown(p.ctrl), ref[0]);
    EXPECT_EQ(p.ctrl.Reader().StepCount(), 1);
    ASSERT_NE(p.host.Last("timer"), nullptr);
    EXPECT_EQ(p.host.Last("timer")->arg, 100);
    EXPECT_EQ(p.host.Count("sound"), 1);
    EXPECT_TRUE(p.ctrl.MenuEnabled(ID_STOP));
    EXPECT_FALSE(p.ctrl.MenuEnabled(ID_GO));
    EXPECT_TRUE(p.ctrl.MenuChecked(ID_SPEED_NORMAL));

    // Each tick shows the next frame; the first tick starts the sound at 0.
    p.Tick();
    EXPECT_EQ(p.host.Last("sound-play")->num, 0);
    for (int k = 1; k < 4; ++k) {
        if (k > 1)
            p.Tick();
        EXPECT_EQ(Shown(p.ctrl), ref[size_t(k)]) << "frame " << k + 1;
        EXPECT_EQ(p.ctrl.Reader().StepCount(), k + 1);
    }
}

TEST(LumaplayCtrl, SoundUrlKeepsItsEscapes) {
    // The page writes the name URL-encoded; the sound's URL is a URL too, "%20" included.
    Player p;
    p.videoFile = "my%20clip%2520x%23.zov";
    p.Load(MakeStream(2, 100, true));
    ASSERT_NE(p.host.Last("sound"), nullptr);
    EXPECT_EQ(p.host.Last("sound")->text, "http://127.0.0.1:9000/out/my%20clip%2520x%23.mp3");
}

TEST(LumaplayCtrl, EndReopensThenStopsAndNavigates) {
    auto bytes = MakeStream(2, 100, true);
    auto ref = Reference(bytes);
    Player p;
    p.Load(bytes, -1, "next.htm");
    EXPECT_EQ(p.ctrl.EndUrlText(), "http://127.0.0.1:9000/out/next.htm");
    p.Tick(); // frame 2
    p.Tick(); // the end marker: the step fails, the stream must be reopened
    EXPECT_EQ(p.ctrl.Reader().RecordLength(), -1);
    EXPECT_EQ(p.host.Count("navigate"), 0);
    int opens = p.host.Count("open");
    p.Tick(); // reopens and shows the first frame again, count 0
    EXPECT_EQ(p.host.Count("open"), opens + 1);
    EXPECT_EQ(p.ctrl.Reader().StepCount(), 0);
    EXPECT_EQ(Shown(p.ctrl), ref[0]);
    p.Tick(); // stops and leaves
    EXPECT_FALSE(p.ctrl.TimerRunning());
    EXPECT_EQ(p.host.Count("sound-stop"), 1);
    ASSERT_NE(p.host.Last("navigate"), nullptr);
    EXPECT_EQ(p.host.Last("navigate")->text, "http://127.0.0.1:9000/out/next.htm");

    // Without an end page (or with one we do not follow) playback stops on frame 1.
    for (const char* after : {"", "javascript:alert(1)"}) {
        Player q;
        q.Load(bytes, -1, after);
        for (int i = 0; i < 4; ++i)
            q.Tick();
        EXPECT_FALSE(q.ctrl.TimerRunning());
        EXPECT_EQ(q.host.Count("navigate"), 0);
        EXPECT_EQ(q.ctrl.Reader().StepCount(), 1);
        EXPECT_TRUE(q.ctrl.MenuEnabled(ID_GO));
    }
}

TEST(LumaplayCtrl, StillFrameAndShortIntervalsNeverPlay) {
    auto bytes = MakeStream(5, 100, true);
    auto ref = Reference(bytes);
    Player p;
    p.Load(bytes, 3);
    EXPECT_EQ(Shown(p.ctrl), ref[2]);
    EXPECT_EQ(p.host.Count("timer"), 0);
    EXPECT_EQ(p.host.Count("sound"), 0);
    EXPECT_FALSE(p.ctrl.SourceOpen());
    p.ctrl.Resize(100, 100);
    for (int id : {ID_STOP, ID_GO, ID_NEXT_FRAME, ID_ORIGIN_SIZE, ID_VIEW_ALL})
        EXPECT_FALSE(p.ctrl.MenuEnabled(id)) << id;
    EXPECT_TRUE(p.ctrl.MenuEnabled(ID_COPY));
    p.ctrl.Command(ID_SPEED_FAST2, p.now);
    p.ctrl.DoubleClick(p.now);
    EXPECT_EQ(p.host.Count("timer"), 0);
    EXPECT_EQ(Shown(p.ctrl), ref[2]);

    for (int interval : {0, 1, 10}) {
        Player q;
        q.Load(MakeStream(2, interval, true));
        EXPECT_EQ(q.host.Count("timer"), 0) << interval;
        q.ctrl.Command(ID_SPEED_NORMAL, q.now);
        EXPECT_EQ(q.host.Count("timer"), 0) << interval;
    }
    Player r;
    r.Load(MakeStream(2, 11, true));
    EXPECT_EQ(r.host.Count("timer"), 1);
    // A single picture (interval 0) closes its source at once.
    Player s;
    s.Load(MakeStream(2, 0, true));
    EXPECT_FALSE(s.ctrl.SourceOpen());
    EXPECT_TRUE(s.ctrl.Reader().HasBitmap());
}

TEST(LumaplayCtrl, MissingStreamAndBadHeaders) {
    Player p;
    p.ctrl.m_videoFile = "gone.zov";
    p.ctrl.Load(kPage, p.now);
    p.AnswerProbe(false);
    p.AnswerProbe(false);
    EXPECT_EQ(p.ctrl.OpenStatus(), "Open Error!");
    EXPECT_EQ(p.ctrl.Reader().StatusLine(), "File Open error! http://127.0.0.1:9000/out/gone.zov");
    EXPECT_EQ(p.ctrl.CopyText(), "Image(0 x 0) Copy");
    EXPECT_TRUE(p.ctrl.Loaded());
    EXPECT_EQ(p.host.Count("timer"), 0);
    EXPECT_EQ(p.ctrl.Plan(W, H, 0, 0, W, H).mode, DrawMode::Empty);

    auto good = MakeStream(2, 100, true);
    struct Case {
        const char* name;
        size_t at;
        std::vector<uint8_t> bytes;
    };
    for (Case c :
         {Case{"magic", 0, {'X', 'V'}}, Case{"version", 2, {'0', '2'}}, Case{"zero width", 4, {0, 0}},
          Case{"negative height", 6, {0x80, 0x01}}, Case{"huge", 4, {0x7F, 0xFF, 0x7F, 0xFF}}}) {
        auto bad = good;
        std::memcpy(bad.data() + c.at, c.bytes.data(), c.bytes.size());
        Player q;
        q.Load(bad);
        EXPECT_EQ(q.ctrl.OpenStatus(), "Open OK!") << c.name;
        EXPECT_FALSE(q.ctrl.SourceOpen()) << c.name;
        EXPECT_FALSE(q.ctrl.Reader().HasBitmap()) << c.name;
        EXPECT_EQ(q.host.Count("timer"), 0) << c.name;
    }
    // A fetch that fails outright reads as an open error.
    Player e;
    e.ctrl.m_videoFile = "demo.zov";
    e.ctrl.Load(kPage, e.now);
    e.AnswerProbe(true);
    e.ctrl.FeedError(e.host.lastSource, e.now);
    EXPECT_EQ(e.ctrl.Reader().StatusLine(), "File Open error! http://127.0.0.1:9000/out/demo.zov");
}

TEST(LumaplayCtrl, RecordsOfLengthZeroAndOddRecords) {
    auto bytes = MakeStream(3, 100, true, true); // frame 2 equals frame 1
    // Records: header(12) control(4) frame1 00000000 frame3 end.
    auto ref = Reference(bytes);
    Player p;
    p.Load(bytes);
    auto first = Shown(p.ctrl);
    p.Tick();
    EXPECT_EQ(p.ctrl.Reader().StepCount(), 2);
    EXPECT_EQ(p.ctrl.Reader().RecordLength(), 0);
    EXPECT_EQ(Shown(p.ctrl), first);
    p.Tick();
    EXPECT_EQ(Shown(p.ctrl), ref[2]);

    // A control record with another top byte is skipped; one of 0x81 sets the version; a
    // length of 1..16 fails one step and the next reads on.
    auto odd = MakeStream(2, 100, true);
    std::vector<uint8_t> extra = {0x82, 0x05, 0, 0, 0x81, 0x09, 0, 0, 0, 0, 0, 5};
    odd.insert(odd.begin() + 16, extra.begin(), extra.end());
    Player q;
    q.Load(odd);
    EXPECT_FALSE(q.ctrl.Reader().HasBitmap()); // the first step met the length 5
    EXPECT_EQ(q.ctrl.Reader().Version(), 9);
    q.Tick();
    EXPECT_EQ(Shown(q.ctrl), Reference(MakeStream(2, 100, true))[0]);
}

TEST(LumaplayCtrl, ReadTimeoutsWaitTwiceThenEnd) {
    auto bytes = MakeStream(2, 100, false); // no end marker, as direct recording writes
    Player p;
    p.ctrl.m_videoFile = "demo.zov";
    p.ctrl.Resize(W, H);
    p.ctrl.Load(kPage, p.now);
    p.AnswerProbe(true);
    int src = p.host.lastSource;
    // The header arrives in pieces: nothing shows before it is whole.
    p.ctrl.FeedBytes(src, bytes.data(), 7, p.now);
    EXPECT_TRUE(p.ctrl.Busy());
    // A trickle: the first picture shows while the rest has not arrived.
    size_t firstRecordEnd =
        16 + 4 +
        ((size_t(bytes[16]) << 24) | (size_t(bytes[17]) << 16) | (size_t(bytes[18]) << 8) | bytes[19]);
    for (size_t at = 7; at < firstRecordEnd; at += 5)
        p.ctrl.FeedBytes(src, bytes.data() + at, std::min<size_t>(5, firstRecordEnd - at), p.now += 1);
    EXPECT_TRUE(p.ctrl.Reader().HasBitmap());
    EXPECT_EQ(p.ctrl.Reader().StepCount(), 1);
    p.AnswerProbe(false);
    ASSERT_TRUE(p.ctrl.TimerRunning());
    // Deliver the second record whole, then nothing more: the source has ended.
    p.ctrl.FeedBytes(src, bytes.data() + firstRecordEnd, bytes.size() - firstRecordEnd, p.now);
    p.ctrl.FeedEnd(src, p.now);
    p.ctrl.Tick(p.now += 100);
    EXPECT_EQ(p.ctrl.Reader().StepCount(), 2);
    p.ctrl.Tick(p.now += 100);
    EXPECT_TRUE(p.ctrl.Busy());
    double start = p.now;
    p.ctrl.Pump(start + 3999);
    EXPECT_TRUE(p.ctrl.Busy());
    p.ctrl.Pump(start + 4001); // the one extension
    EXPECT_TRUE(p.ctrl.Busy());
    p.ctrl.Tick(start + 4050); // ticks while a read waits are dropped
    p.ctrl.Pump(start + 8000);
    EXPECT_TRUE(p.ctrl.Busy());
    p.ctrl.Pump(start + 8002);
    EXPECT_FALSE(p.ctrl.Busy());
    EXPECT_EQ(p.ctrl.Reader().RecordLength(), -1);
    EXPECT_EQ(p.ctrl.Reader().StepCount(), 3);

    // A header that never completes fails the open after 2 x 5000 ms.
    Player q;
    q.now = 0;
    q.ctrl.m_videoFile = "demo.zov";
    q.ctrl.Load(kPage, 0);
    q.AnswerProbe(true);
    q.ctrl.FeedBytes(q.host.lastSource, bytes.data(), 5, 0);
    q.ctrl.Pump(5001);
    q.ctrl.Pump(10003);
    EXPECT_FALSE(q.ctrl.SourceOpen());
    EXPECT_EQ(q.host.lastProbe, PROBE_SOUND);
}

TEST(LumaplayCtrl, HostileRecordLengthEndsWithoutBuffering) {
    auto bytes = MakeStream(1, 100, false);
    std::vector<uint8_t> hostile = {0x7F, 0xFF, 0xFF, 0xF0, 1, 2, 3};
    bytes.insert(bytes.begin() + 16, hostile.begin(), hostile.end());
    Player p;
    p.Load(bytes);
    EXPECT_FALSE(p.ctrl.Busy());
    EXPECT_EQ(p.ctrl.Reader().RecordLength(), -1);
    EXPECT_FALSE(p.ctrl.Reader().HasBitmap());
}

// A header asking for a big picture, one empty frame record and the end marker.
std::vector<uint8_t> HostileStream(int width, int height, uint8_t block) {
    std::vector<uint8_t> b = {'Z',
                              'V',
                              '0',
                              '1',
                              uint8_t(width >> 8),
                              uint8_t(width),
                              uint8_t(height >> 8),
                              uint8_t(height),
                              block,
                              block,
                              0,
                              100,
                              0,
                              0,
                              0,
                              17};
    b.resize(b.size() + 17, 0);
    b.insert(b.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    return b;
}

TEST(LumaplayCtrl, HostileHeadersStayWithinThePictureBudget) {
    const uint64_t saved = PictureBudget();
    // Room for one 200 x 200 stream and a little more.
    SetPictureBudget(200 * 200 * kPlayerBytesPerPixel + 100 * 1000);
    const std::string refused = "File Open error! http://127.0.0.1:9000/out/demo.zov";
    {
        Player first, second;
        first.Load(HostileStream(200, 200, 16));
        EXPECT_EQ(first.ctrl.Reader().StatusLine(),
                  "http://127.0.0.1:9000/out/demo.zov, W200*H200, 100 msec per frame");
        EXPECT_EQ(PicturesReserved(), 200u * 200u * kPlayerBytesPerPixel);
        second.Load(HostileStream(200, 200, 16));
        EXPECT_EQ(second.ctrl.Reader().StatusLine(), refused);
        EXPECT_FALSE(second.ctrl.Reader().HasBitmap());
        EXPECT_FALSE(second.ctrl.SourceOpen());
        // A small stream still fits beside the big one and plays every frame exactly.
        auto bytes = MakeStream(3, 100, true);
        auto ref = Reference(bytes);
        Player good;
        good.Load(bytes);
        EXPECT_EQ(Shown(good.ctrl), ref[0]);
        good.Tick();
        EXPECT_EQ(Shown(good.ctrl), ref[1]);
        good.Tick();
        EXPECT_EQ(Shown(good.ctrl), ref[2]);
        // Reopening at the end keeps the player's own share instead of counting it twice.
        for (int i = 0; i < 4; ++i)
            first.Tick();
        EXPECT_EQ(first.ctrl.Reader().StatusLine(),
                  "http://127.0.0.1:9000/out/demo.zov, W200*H200, 100 msec per frame");
    }
    // Players that are gone give their share back.
    EXPECT_EQ(PicturesReserved(), 0u);
    Player again;
    again.Load(HostileStream(200, 200, 16));
    EXPECT_NE(again.ctrl.Reader().StatusLine(), refused);
    SetPictureBudget(saved);
}

TEST(LumaplayCtrl, BlockSizeByteIsChecked) {
    for (uint8_t block : {1, 2, 7, 129, 255}) {
        Player p;
        p.Load(HostileStream(64, 48, block));
        EXPECT_EQ(p.ctrl.Reader().StatusLine(), "File Open error! http://127.0.0.1:9000/out/demo.zov")
            << int(block);
        EXPECT_FALSE(p.ctrl.Reader().HasBitmap()) << int(block);
    }
    for (uint8_t block : {0, 8, 16, 32, 128}) {
        Player p;
        p.Load(HostileStream(64, 48, block));
        EXPECT_EQ(p.ctrl.Reader().StatusLine(),
                  "http://127.0.0.1:9000/out/demo.zov, W64*H48, 100 msec per frame")
            << int(block);
    }
    EXPECT_EQ(PicturesReserved(), 0u);
}

TEST(LumaplayCtrl, SpeedsTimerPeriodsAndSound) {
    EXPECT_EQ(TimerPeriod(100, 1000), 100);
    EXPECT_EQ(TimerPeriod(100, 333), 300);
    EXPECT_EQ(TimerPeriod(100, 100000), 1);
    EXPECT_EQ(TimerPeriod(250, 2000), 125);
    Player p;
    p.Load(MakeStream(6, 100, true));
    p.Tick();
    p.Tick(); // step count 3
    struct S {
        int id;
        int period;
        bool sound;
    };
    for (S s : {S{ID_SPEED_FAST2, 50, true}, S{ID_SPEED_FAST5, 20, true}, S{ID_SPEED_FAST10, 10, false},
                S{ID_SPEED_FASTEST, 1, false}, S{ID_SPEED_SLOW2, 200, true}, S{ID_SPEED_SLOW3, 300, true},
                S{ID_SPEED_NORMAL, 100, true}}) {
        size_t before = p.host.calls.size();
        p.ctrl.Command(s.id, p.now);
        EXPECT_TRUE(p.ctrl.MenuChecked(s.id)) << s.id;
        EXPECT_EQ(p.host.Last("timer")->arg, s.period) << s.id;
        bool stopped = false, played = false;
        for (size_t i = before; i < p.host.calls.size(); ++i) {
            stopped |= p.host.calls[i].what == "sound-stop";
            if (p.host.calls[i].what == "sound-play") {
                played = true;
                EXPECT_EQ(p.host.calls[i].num, 300); // interval x step count
            }
        }
        EXPECT_EQ(played, s.sound) << s.id;
        EXPECT_EQ(stopped, !s.sound) << s.id;
        if (s.sound) {
            EXPECT_EQ(p.host.Last("sound-speed")->arg, p.ctrl.Speed());
        }
    }
    EXPECT_EQ(p.host.Last("sound-speed")->arg, 1000);
    // Stop pauses the sound and kills the timer; Go starts both again at the same speed.
    p.ctrl.Command(ID_SPEED_SLOW3, p.now);
    p.ctrl.Command(ID_STOP, p.now);
    EXPECT_FALSE(p.ctrl.TimerRunning());
    EXPECT_EQ(p.host.calls.back().what, "sound-pause");
    EXPECT_TRUE(p.ctrl.MenuEnabled(ID_NEXT_FRAME));
    p.ctrl.DoubleClick(p.now);
    EXPECT_EQ(p.ctrl.Reader().StepCount(), 4);
    p.ctrl.Command(ID_GO, p.now);
    EXPECT_EQ(p.host.Last("timer")->arg, 300);
    EXPECT_EQ(p.host.Last("sound-speed")->arg, 333);
}

TEST(LumaplayCtrl, DrawingGeometryAndPanning) {
    Player p;
    p.Load(MakeStream(2, 0, true)); // a still picture, 37 x 21
    DrawPlan same = p.ctrl.Plan(W, H, 0, 0, W, H);
    EXPECT_EQ(same.mode, DrawMode::Copy);
    EXPECT_EQ(same.sw, W);
    // View all (the start mode) scales the stream to the client on each axis.
    p.ctrl.Resize(74, 63);
    DrawPlan all = p.ctrl.Plan(74, 63, 10, 9, 74, 63);
    EXPECT_EQ(all.mode, DrawMode::Stretch);
    EXPECT_EQ(all.sx, 37 * 10 / 74);
    EXPECT_EQ(all.sw, 37 * 64 / 74);
    EXPECT_EQ(all.sy, 21 * 9 / 63);
    EXPECT_EQ(all.sh, 21 * 54 / 63);
    EXPECT_EQ(all.dw, 64);

    // Fit mode commands do nothing when the sizes agree.
    p.ctrl.Resize(W, H);
    p.ctrl.SetFitMode(0);
    EXPECT_EQ(p.ctrl.FitMode(), 1);

    // Origin size in a smaller client: pans stay inside the picture.
    p.ctrl.Resize(20, 10);
    p.ctrl.SetFitMode(0);
    EXPECT_EQ(p.ctrl.FitMode(), 0);
    p.ctrl.Wheel(-120 * 5);
    EXPECT_EQ(p.ctrl.PanY(), H - 10);
    p.ctrl.Wheel(30);
    EXPECT_EQ(p.ctrl.PanY(), H - 10 - 10);
    p.ctrl.Wheel(120 * 10);
    EXPECT_EQ(p.ctrl.PanY(), 0);
    p.ctrl.LeftDown(15, 5);
    p.ctrl.Move(5, 2, true, true);
    EXPECT_EQ(p.ctrl.PanX(), 10);
    EXPECT_EQ(p.ctrl.PanY(), 3);
    p.ctrl.Move(-100, -100, true, true);
    EXPECT_EQ(p.ctrl.PanX(), W - 20);
    EXPECT_EQ(p.ctrl.PanY(), H - 10);
    DrawPlan pan = p.ctrl.Plan(20, 10, 2, 3, 20, 10);
    EXPECT_EQ(pan.mode, DrawMode::Copy);
    EXPECT_EQ(pan.sx, 2 + W - 20);
    EXPECT_EQ(pan.sy, 3 + H - 10);
    // A move with another button or key held does not pan; after the button is up neither.
    p.ctrl.Move(200, 200, true, false);
    EXPECT_EQ(p.ctrl.PanX(), W - 20);
    p.ctrl.LeftUp();
    p.ctrl.Move(300, 300, true, true);
    EXPECT_EQ(p.ctrl.PanX(), W - 20);
    // Growing the client pulls the pan back inside the picture.
    p.ctrl.Resize(30, 20);
    EXPECT_EQ(p.ctrl.PanX(), W - 30);
    EXPECT_EQ(p.ctrl.PanY(), H - 20);
    p.ctrl.Resize(100, 100);
    EXPECT_EQ(p.ctrl.PanX(), 0);
    EXPECT_EQ(p.ctrl.PanY(), 0);
    // In view all nothing pans.
    p.ctrl.Resize(20, 10);
    p.ctrl.SetFitMode(1);
    p.ctrl.Wheel(-600);
    EXPECT_EQ(p.ctrl.PanY(), 0);
    EXPECT_EQ(p.ctrl.Plan(20, 10, 0, 0, 0, 0).mode, DrawMode::Stretch);
}

TEST(LumaplayCtrl, HomeSetsTheSharedJumpTarget) {
    auto bytes = MakeStream(12, 100, true);
    auto ref = Reference(bytes);
    Player p, other;
    p.Load(bytes);
    other.Load(bytes);
    p.ctrl.Command(ID_HOME, p.now);
    EXPECT_EQ(p.host.Last("window")->text, CLumaplayCtrl::kHomeUrl);
    EXPECT_EQ(PendingJumpTarget(), 10);
    // Any player may take it: this one jumps to frame 10, then steps once more.
    other.Tick();
    EXPECT_EQ(PendingJumpTarget(), 0);
    EXPECT_EQ(other.ctrl.Reader().StepCount(), 11);
    EXPECT_EQ(Shown(other.ctrl), ref[10]);
    // Past the target: it rewinds to the first frame and steps to the target again.
    SetPendingJumpTarget(3);
    other.Tick();
    EXPECT_EQ(other.ctrl.Reader().StepCount(), 4);
    EXPECT_EQ(Shown(other.ctrl), ref[3]);
    EXPECT_TRUE(other.ctrl.TimerRunning());
}

TEST(LumaplayCtrl, CApiDrivesAPlayer) {
    auto bytes = MakeStream(2, 100, true);
    int32_t h = zv_create();
    auto text = [&](const std::string& s) {
        std::memcpy(zv_buffer(h, int32_t(s.size())), s.data(), s.size());
        return int32_t(s.size());
    };
    zv_set_text(h, ZV_TEXT_VIDEO_FILE, text("demo.zov"));
    zv_resize(h, W, H);
    zv_load(h, text(kPage), 0);
    const ZvEvent* e = zv_next_event(h);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, ZV_EV_PROBE);
    EXPECT_STREQ(e->text, "http://127.0.0.1:9000/out/demo.zov");
    zv_probe_result(h, e->arg, text("ZV01"), 0);
    e = zv_next_event(h);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->kind, ZV_EV_OPEN_SOURCE);
    int source = e->arg;
    EXPECT_EQ(zv_state(h)->busy, 1);
    EXPECT_EQ(zv_state(h)->wantsBytes, 1);
    std::memcpy(zv_buffer(h, int32_t(bytes.size())), bytes.data(), bytes.size());
    zv_feed(h, source, int32_t(bytes.size()), 1);
    const ZvState* s = zv_state(h);
    EXPECT_EQ(s->width, W);
    EXPECT_EQ(s->height, H);
    EXPECT_EQ(s->interval, 100);
    EXPECT_EQ(s->hasBitmap, 1);
    EXPECT_EQ(s->stepCount, 1);
    EXPECT_STREQ(zv_text(h, ZV_TEXT_COPY), "Image(w37 x h21) Copy");
    ASSERT_NE(zv_bitmap(h), nullptr);
    EXPECT_EQ(zv_bitmap(h)[3], 255);
    bool redraw = false, probeSound = false;
    while ((e = zv_next_event(h))) {
        redraw |= e->kind == ZV_EV_REDRAW;
        probeSound |= e->kind == ZV_EV_PROBE && std::string(e->text).ends_with("demo.mp3");
    }
    EXPECT_TRUE(redraw);
    EXPECT_TRUE(probeSound);
    const ZvDrawPlan* plan = zv_plan(h, W, H, 0, 0, W, H);
    EXPECT_EQ(plan->mode, 1);
    EXPECT_EQ(plan->sw, W);
    zv_destroy(h);
    EXPECT_EQ(zv_state(h), nullptr);
}
