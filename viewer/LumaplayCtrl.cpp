#include "viewer/LumaplayCtrl.h"

#include <algorithm>
#include <cstdio>

#include "codec/StreamContainer.h"
#include "viewer/ViewerUrls.h"

namespace zov::viewer {

namespace {
int g_jumpTarget = 0;
uint64_t g_pictureBudget = kDefaultPictureBudget;
uint64_t g_picturesReserved = 0;

} // namespace

int PendingJumpTarget() {
    return g_jumpTarget;
}
void SetPendingJumpTarget(int target) {
    g_jumpTarget = target;
}

int TimerPeriod(int intervalMs, int speedPerMille) {
    if (speedPerMille <= 0)
        return intervalMs;
    long long period = (long long)intervalMs * 1000 / speedPerMille;
    return int(std::max<long long>(period, 1));
}

uint64_t PictureBudget() {
    return g_pictureBudget;
}
void SetPictureBudget(uint64_t bytes) {
    g_pictureBudget = bytes;
}
uint64_t PicturesReserved() {
    return g_picturesReserved;
}

bool UsableBlockSize(int blockSize) {
    return blockSize == 0 || (blockSize >= 8 && blockSize <= 128);
}

CLumaplayCtrl::CLumaplayCtrl(ViewerHost& host) : m_host(host), m_reader(host) {}

CLumaplayCtrl::~CLumaplayCtrl() {
    ReleasePictures();
}

void CLumaplayCtrl::ReleasePictures() {
    g_picturesReserved -= std::min(m_reserved, g_picturesReserved);
    m_reserved = 0;
}

void CLumaplayCtrl::Admit(int source, double now) {
    zov::StreamHeader header;
    bool refuse = false;
    if (zov::ReadStreamHeader(m_gateBytes.data(), header) == zov::StreamHeaderCheck::Ok) {
        // A reopened stream replaces this player's own pictures: only the others' count.
        ReleasePictures();
        uint64_t cost = uint64_t(header.width) * uint64_t(header.height) * kPlayerBytesPerPixel;
        refuse = !UsableBlockSize(header.blockSize) || cost > g_pictureBudget - g_picturesReserved;
        if (!refuse) {
            m_reserved = cost;
            g_picturesReserved += cost;
        }
    }
    // Headers that are no stream's are left to the reader, which refuses them itself.
    if (refuse) {
        m_gateBytes.clear();
        m_reader.FeedError(source);
        return;
    }
    m_gateOpen = true;
    m_reader.FeedBytes(source, m_gateBytes.data(), m_gateBytes.size());
    m_gateBytes.clear();
    (void)now;
}

void CLumaplayCtrl::Load(const std::string& pageUrl, double now) {
    m_baseUrl = BaseUrlFromPage(pageUrl);
    m_streamUrl = StreamUrl(m_baseUrl, m_videoFile);
    m_endUrl = EndUrl(m_baseUrl, m_urlAfterPlay);
    m_soundCandidate = SoundUrl(m_baseUrl, m_videoFile);
    m_copyText = "Image(0 x 0) Copy";
    m_loaded = false;
    m_job = Job::LoadProbe;
    if (m_videoFile.empty()) {
        // Nothing to fetch: the page itself would answer the probe.
        OnProbe(PROBE_STREAM, nullptr, 0, now);
        return;
    }
    m_host.Probe(PROBE_STREAM, m_streamUrl);
}

void CLumaplayCtrl::OnProbe(int probe, const uint8_t* bytes, size_t size, double now) {
    bool ok = ProbeBytesOk(bytes, size);
    if (probe == PROBE_STREAM && m_job == Job::LoadProbe) {
        if (ok) {
            m_openStatus = "Open OK!";
            m_reader.BeginOpen(m_streamUrl, now);
            m_job = Job::LoadOpen;
            RunJob(now);
        } else {
            m_openStatus = "Open Error!";
            m_reader.SetStatusLine("File Open error! " + m_streamUrl);
            FinishLoad(now);
        }
    } else if (probe == PROBE_SOUND && m_job == Job::LoadSound) {
        m_soundUrl = ok ? m_soundCandidate : std::string();
        m_job = Job::None;
        m_loaded = true;
        WindowCreated();
    }
}

void CLumaplayCtrl::FinishLoad(double now) {
    ShowStatus();
    m_job = Job::LoadSound;
    if (m_videoFile.empty()) {
        OnProbe(PROBE_SOUND, nullptr, 0, now);
        return;
    }
    m_host.Probe(PROBE_SOUND, m_soundCandidate);
}

void CLumaplayCtrl::WindowCreated() {
    if (m_reader.Interval() > 10 && m_stillFrameNo == -1) {
        StartTimer();
        if (!m_soundUrl.empty()) {
            // A URL, escapes and all: the page's audio element fetches it as it stands.
            m_host.SoundCreate(m_soundUrl);
            m_soundCreated = true;
        }
    }
    ShowStatus();
}

void CLumaplayCtrl::Pump(double now) {
    if (m_job != Job::None)
        RunJob(now);
}

void CLumaplayCtrl::RunJob(double now) {
    for (;;) {
        switch (m_job) {
        case Job::None:
        case Job::LoadProbe:
        case Job::LoadSound:
            return;
        case Job::LoadOpen: {
            StepResult r = m_reader.PumpOpen(now);
            if (r == StepResult::Pending)
                return;
            if (r == StepResult::Fail) {
                FinishLoad(now);
                break;
            }
            m_reader.BeginStep(now);
            m_job = Job::LoadFirstStep;
            break;
        }
        case Job::LoadFirstStep: {
            if (m_reader.PumpStep(now) == StepResult::Pending)
                return;
            char text[64];
            std::snprintf(text, sizeof text, "Image(w%d x h%d) Copy", m_reader.Width(), m_reader.Height());
            m_copyText = text;
            m_host.Redraw();
            // A single picture needs its source no longer.
            if (m_reader.Interval() == 0)
                m_reader.Close();
            if (m_stillFrameNo > 0) {
                m_stillRemaining = m_stillFrameNo - 1;
                m_job = Job::LoadStill;
            } else {
                FinishLoad(now);
            }
            break;
        }
        case Job::LoadStill: {
            if (m_reader.Stepping()) {
                if (m_reader.PumpStep(now) == StepResult::Pending)
                    return;
                continue;
            }
            if (m_stillRemaining > 0) {
                --m_stillRemaining;
                m_reader.BeginStep(now);
                continue;
            }
            m_reader.Close();
            m_reader.SetInterval(0);
            m_host.Redraw();
            FinishLoad(now);
            break;
        }
        case Job::TickJump: {
            if (m_reader.Stepping()) {
                if (m_reader.PumpStep(now) == StepResult::Pending)
                    return;
                // After a rewind the first step reopens the stream and reads its first
                // record: that is frame 1, not the "just reopened at the end" mark.
                if (m_jumpFirst && m_reader.StepCount() == 0)
                    m_reader.SetStepCount(1);
                m_jumpFirst = false;
            }
            int count = m_reader.StepCount();
            if (count == m_jumpTarget || count == 0) {
                TickRest(now);
                if (m_job == Job::TickJump)
                    m_job = Job::None;
                if (m_job == Job::None)
                    return;
                break;
            }
            m_reader.BeginStep(now);
            break;
        }
        case Job::TickStep:
        case Job::NextStep: {
            StepResult r = m_reader.PumpStep(now);
            if (r == StepResult::Pending)
                return;
            m_job = Job::None;
            if (r == StepResult::Ok)
                m_host.Redraw();
            ShowStatus();
            return;
        }
        }
    }
}

void CLumaplayCtrl::FeedBytes(int source, const uint8_t* data, size_t size, double now) {
    if (source == m_reader.CurrentSource() && source != 0) {
        if (source != m_gateSource) {
            m_gateSource = source;
            m_gateOpen = false;
            m_gateBytes.clear();
        }
        if (!m_gateOpen) {
            size_t take = std::min(size, zov::kStreamHeaderBytes - m_gateBytes.size());
            m_gateBytes.insert(m_gateBytes.end(), data, data + take);
            data += take;
            size -= take;
            if (m_gateBytes.size() < zov::kStreamHeaderBytes)
                return;
            Admit(source, now);
            if (!m_gateOpen) {
                Pump(now);
                return;
            }
        }
    }
    if (size > 0)
        m_reader.FeedBytes(source, data, size);
    Pump(now);
}

void CLumaplayCtrl::FeedEnd(int source, double now) {
    // A source that ends inside its header hands over what it had, for the reader to judge.
    if (source == m_gateSource && !m_gateOpen && !m_gateBytes.empty()) {
        m_reader.FeedBytes(source, m_gateBytes.data(), m_gateBytes.size());
        m_gateBytes.clear();
    }
    m_reader.FeedEnd(source);
    Pump(now);
}

void CLumaplayCtrl::FeedError(int source, double now) {
    m_reader.FeedError(source);
    Pump(now);
}

void CLumaplayCtrl::StartTimer() {
    m_host.StartTimer(TimerPeriod(m_reader.Interval(), m_speed));
    m_timerRunning = true;
}

void CLumaplayCtrl::KillTimer() {
    if (m_timerRunning)
        m_host.KillTimer();
    m_timerRunning = false;
}

void CLumaplayCtrl::Tick(double now) {
    // A tick that comes while a step still waits is dropped, as window timers coalesce.
    if (!m_timerRunning || Busy())
        return;
    int target = g_jumpTarget;
    g_jumpTarget = 0;
    if (target != 0) {
        m_jumpTarget = target;
        m_job = Job::TickJump;
        m_jumpFirst = false;
        if (m_reader.StepCount() >= target) {
            m_reader.Close();
            m_reader.SetStepCount(0);
            m_jumpFirst = true;
            m_reader.BeginStep(now);
        }
        RunJob(now);
        return;
    }
    TickRest(now);
}

void CLumaplayCtrl::TickRest(double now) {
    int count = m_reader.StepCount();
    if (count == 0) {
        // The stream was reopened after its end: stop, then leave for the end page.
        if (m_soundCreated)
            m_host.SoundStop();
        Stop();
        if (!m_endUrl.empty())
            m_host.Navigate(m_endUrl);
        else
            m_reader.SetStepCount(1);
        m_job = Job::None;
        return;
    }
    if (count == 1 && m_speed >= 200 && m_speed <= 5000 && m_soundCreated)
        m_host.SoundPlayFrom(0);
    m_reader.BeginStep(now);
    m_job = Job::TickStep;
    RunJob(now);
}

void CLumaplayCtrl::Stop() {
    KillTimer();
    if (m_soundCreated)
        m_host.SoundPause();
}

void CLumaplayCtrl::Go(double now) {
    SetSpeed(m_speed, now);
}

void CLumaplayCtrl::SetSpeed(int perMille, double now) {
    if (perMille <= 0)
        return;
    m_speed = perMille;
    KillTimer();
    if (m_reader.Interval() > 10)
        StartTimer();
    if (m_soundCreated) {
        if (perMille >= 200 && perMille <= 5000) {
            m_host.SoundSetSpeed(perMille);
            m_host.SoundPlayFrom((long long)m_reader.Interval() * m_reader.StepCount());
        } else {
            m_host.SoundStop();
        }
    }
}

void CLumaplayCtrl::NextFrame(double now) {
    if (Busy())
        return;
    m_reader.BeginStep(now);
    m_job = Job::NextStep;
    RunJob(now);
}

void CLumaplayCtrl::DoubleClick(double now) {
    if (SourceOpen() && !m_timerRunning && m_reader.Interval() != 0)
        NextFrame(now);
}

bool CLumaplayCtrl::SizesDiffer() const {
    return m_clientW != m_reader.Width() || m_clientH != m_reader.Height();
}

void CLumaplayCtrl::SetFitMode(int mode) {
    if (!SizesDiffer())
        return;
    m_fitMode = mode;
    m_host.Redraw();
}

bool CLumaplayCtrl::MenuEnabled(int id) const {
    bool open = SourceOpen();
    switch (id) {
    case ID_STOP:
        return open && m_timerRunning;
    case ID_GO:
    case ID_NEXT_FRAME:
        return open && !m_timerRunning && m_reader.Interval() != 0;
    case ID_ORIGIN_SIZE:
        return SizesDiffer() && m_fitMode == 1 && open;
    case ID_VIEW_ALL:
        return SizesDiffer() && m_fitMode == 0 && open;
    case ID_COPY:
        return m_reader.HasBitmap();
    default:
        return true;
    }
}

bool CLumaplayCtrl::MenuChecked(int id) const {
    switch (id) {
    case ID_SPEED_NORMAL:
        return m_speed == 1000;
    case ID_SPEED_FAST2:
        return m_speed == 2000;
    case ID_SPEED_FAST5:
        return m_speed == 5000;
    case ID_SPEED_FAST10:
        return m_speed == 10000;
    case ID_SPEED_FASTEST:
        return m_speed == m_reader.Interval() * 1000;
    case ID_SPEED_SLOW2:
        return m_speed == 500;
    case ID_SPEED_SLOW3:
        return m_speed == 333;
    default:
        return false;
    }
}

void CLumaplayCtrl::Command(int id, double now) {
    if (!MenuEnabled(id))
        return;
    switch (id) {
    case ID_STOP:
        Stop();
        break;
    case ID_GO:
        Go(now);
        break;
    case ID_SPEED_NORMAL:
        SetSpeed(1000, now);
        break;
    case ID_SPEED_FAST2:
        SetSpeed(2000, now);
        break;
    case ID_SPEED_FAST5:
        SetSpeed(5000, now);
        break;
    case ID_SPEED_FAST10:
        SetSpeed(10000, now);
        break;
    case ID_SPEED_FASTEST:
        SetSpeed(m_reader.Interval() * 1000, now);
        break;
    case ID_SPEED_SLOW2:
        SetSpeed(500, now);
        break;
    case ID_SPEED_SLOW3:
        SetSpeed(333, now);
        break;
    case ID_NEXT_FRAME:
        NextFrame(now);
        break;
    case ID_ORIGIN_SIZE:
        SetFitMode(0);
        break;
    case ID_VIEW_ALL:
        SetFitMode(1);
        break;
    case ID_HOME:
        m_host.OpenNewWindow(kHomeUrl);
        g_jumpTarget = 10;
        break;
    default:
        break; // copy and about are the page's own
    }
}

void CLumaplayCtrl::ClampPan() {
    m_panX = std::max(std::min(m_panX, m_reader.Width() - m_clientW), 0);
    m_panY = std::max(std::min(m_panY, m_reader.Height() - m_clientH), 0);
}

void CLumaplayCtrl::Resize(int width, int height) {
    m_clientW = std::max(width, 0);
    m_clientH = std::max(height, 0);
    ClampPan();
}

void CLumaplayCtrl::Wheel(int delta) {
    if (!SizesDiffer() || m_fitMode != 0)
        return;
    m_panY -= delta / 3;
    ClampPan();
    m_host.Redraw();
}

void CLumaplayCtrl::LeftDown(int x, int y) {
    if (!SizesDiffer() || m_fitMode != 0)
        return;
    m_anchorX = x;
    m_anchorY = y;
}

void CLumaplayCtrl::Move(int x, int y, bool anyButton, bool leftOnly) {
    if (leftOnly && Dragging() && SizesDiffer() && m_fitMode == 0) {
        m_panX += m_anchorX - x;
        m_panY += m_anchorY - y;
        m_anchorX = x;
        m_anchorY = y;
        ClampPan();
        m_host.Redraw();
    }
    if (!anyButton)
        ShowStatus();
}

void CLumaplayCtrl::LeftUp() {
    m_anchorX = -1;
    m_anchorY = -1;
}

void CLumaplayCtrl::ShowStatus() {
    if (m_shownStatus != m_reader.StatusLine()) {
        m_shownStatus = m_reader.StatusLine();
        m_host.SetStatusText(m_shownStatus);
    }
}

DrawPlan CLumaplayCtrl::Plan(int boundsW, int boundsH, int invL, int invT, int invR, int invB) const {
    DrawPlan plan;
    plan.dx = invL;
    plan.dy = invT;
    plan.dw = invR - invL;
    plan.dh = invB - invT;
    if (!m_reader.HasBitmap()) {
        plan.mode = DrawMode::Empty;
        return plan;
    }
    int w = m_reader.BitmapWidth(), h = m_reader.BitmapHeight();
    if ((boundsW == w && boundsH == h) || m_fitMode == 0) {
        if (plan.dw <= 0 || plan.dh <= 0) {
            plan.mode = DrawMode::Nothing;
            return plan;
        }
        plan.mode = DrawMode::Copy;
        plan.sx = invL + m_panX;
        plan.sy = invT + m_panY;
        plan.sw = plan.dw;
        plan.sh = plan.dh;
        return plan;
    }
    if (boundsW <= 0 || boundsH <= 0) {
        plan.mode = DrawMode::Nothing;
        return plan;
    }
    plan.mode = DrawMode::Stretch;
    plan.sx = int32_t((long long)w * invL / boundsW);
    plan.sw = int32_t((long long)w * plan.dw / boundsW);
    plan.sy = int32_t((long long)h * invT / boundsH);
    plan.sh = int32_t((long long)h * plan.dh / boundsH);
    return plan;
}

} // namespace zov::viewer
