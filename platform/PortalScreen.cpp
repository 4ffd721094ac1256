#include "platform/PortalScreen.h"

#include "platform/PortalBus.h"

#include <fcntl.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/debug/types.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace zov {

namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";

using Clock = std::chrono::steady_clock;

int OnSessionClosed(sd_bus_message*, void* userdata, sd_bus_error*) {
    static_cast<std::atomic<bool>*>(userdata)->store(true);
    return 0;
}

std::string ReadToken(const std::string& file) {
    if (file.empty())
        return {};
    std::ifstream in(file);
    std::string token;
    std::getline(in, token);
    // A token is printable text; anything else is a damaged file and is not sent.
    for (char c : token)
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
            return {};
    return token;
}

void WriteToken(const std::string& file, const std::string& token) {
    if (file.empty() || token.empty())
        return;
    // Written beside and renamed into place, so that a killed run leaves the old token whole.
    std::string temp = file + ".new";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    std::string line = token + "\n";
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), file.c_str()) != 0)
        unlink(temp.c_str());
}

std::once_flag g_pwInit;

class PortalScreen final : public IScreenSource {
  public:
    explicit PortalScreen(const PortalOptions& options)
        : m_options(options), m_portal(kScreenCast, "screen sharing was cancelled", options.callTimeoutMs) {}
    ~PortalScreen() override { Shutdown(); }

    bool Open(std::string& error);

    int ScreenWidth() const override { return m_width; }
    int ScreenHeight() const override { return m_height; }
    int BitsPerPixel() const override { return 32; }
    int Depth() const override { return 24; }
    // A shared window is the whole stream: a project that records "the window" takes all of it.
    // There are no other windows to find.
    WindowState WindowRect(uint64_t, ScreenRect& out) override {
        if (!m_options.window || m_options.monitor || m_width <= 0)
            return WindowState::Gone;
        out = {0, 0, m_width, m_height};
        return WindowState::Shown;
    }

    bool Prepare(int width, int height) override {
        if (width <= 0 || height <= 0)
            return false;
        m_grabW = width;
        m_grabH = height;
        return true;
    }
    bool Grab(int x, int y, ScreenPixels& out) override;
    void Release() override {
        m_grabW = m_grabH = 0;
        m_clip.clear();
    }
    bool ReadPointer(PointerState& out) override {
        if (m_pointerMode != PortalPointer::Metadata)
            return false;
        std::lock_guard lock(m_lock);
        if (!m_pointerValid)
            return false;
        out = m_pointer;
        return true;
    }
    std::string GrabFailure() const override {
        std::lock_guard lock(m_lock);
        return m_failure;
    }
    bool EndedByUser() const override { return m_closed.load(); }

    PortalPointer PointerMode() const { return m_pointerMode; }

  private:
    // D-Bus, on the opening thread.
    bool GetProperty(const char* name, uint32_t& value, std::string& error);

    // PipeWire, on its own loop thread.
    bool StartStream(int fd, uint32_t node, std::string& error);
    void OnParamChanged(uint32_t id, const struct spa_pod* param);
    void OnProcess();
    void OnStateChanged(enum pw_stream_state state, const char* message);
    void Ended(const std::string& why);
    void ReadCursor(struct spa_buffer* buffer);
    static void ParamChanged(void* data, uint32_t id, const struct spa_pod* param) {
        static_cast<PortalScreen*>(data)->OnParamChanged(id, param);
    }
    static void Process(void* data) { static_cast<PortalScreen*>(data)->OnProcess(); }
    static void StateChanged(void* data, enum pw_stream_state, enum pw_stream_state state,
                             const char* error) {
        static_cast<PortalScreen*>(data)->OnStateChanged(state, error);
    }
    static void CoreError(void* data, uint32_t id, int, int res, const char* message);
    static void GlobalRemoved(void* data, uint32_t id);

    void Shutdown();

    PortalOptions m_options;
    PortalBus m_portal;
    sd_bus_slot* m_closedSlot = nullptr;
    std::string m_session;
    std::thread m_busThread;
    std::atomic<bool> m_busStop{false};
    std::atomic<bool> m_closed{false};
    PortalPointer m_pointerMode = PortalPointer::Hidden;

    pw_thread_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    pw_core* m_core = nullptr;
    pw_stream* m_stream = nullptr;
    pw_registry* m_registry = nullptr;
    spa_hook m_streamListener{}, m_coreListener{}, m_registryListener{};
    uint32_t m_node = 0;
    spa_video_info_raw m_format{};

    mutable std::mutex m_lock;
    std::condition_variable m_frameArrived;
    // The newest complete picture (written by the stream) and the one last handed out; each
    // is width x height BGRx-like 32-bit pixels at `stride`.
    struct Picture {
        std::vector<uint8_t> bytes;
        int width = 0, height = 0, stride = 0;
        uint32_t format = 0;
    };
    Picture m_latest, m_front;
    uint64_t m_seq = 0, m_frontSeq = 0;
    std::atomic<bool> m_ended{false};
    std::string m_failure;
    PointerState m_pointer;
    bool m_pointerValid = false;
    uint32_t m_cursorId = 0;
    std::shared_ptr<const PointerImage> m_cursorImage;

    std::atomic<int> m_width{0}, m_height{0};
    int m_grabW = 0, m_grabH = 0;
    std::vector<uint8_t> m_clip;
};

bool PortalScreen::GetProperty(const char* name, uint32_t& value, std::string& error) {
    bool missing = false;
    if (m_portal.GetProperty(name, "the question for its screen sharing", value, missing, error))
        return true;
    if (missing)
        error =
            "the desktop portal offers no screen sharing (org.freedesktop.portal.ScreenCast); install the "
            "portal backend of this desktop.";
    return false;
}

bool PortalScreen::Open(std::string& error) {
    if (!m_portal.Open(error))
        return false;

    uint32_t version = 0, cursorModes = 0;
    if (!GetProperty("version", version, error))
        return false;
    if (version >= 2 && !GetProperty("AvailableCursorModes", cursorModes, error))
        return false;
    if (m_options.pointer && (cursorModes & 4))
        m_pointerMode = PortalPointer::Metadata;
    else if (m_options.pointer && (cursorModes & 2))
        m_pointerMode = PortalPointer::Embedded;
    else if (!m_options.pointer && (cursorModes & 1))
        m_pointerMode = PortalPointer::Hidden;
    else
        m_pointerMode = (cursorModes & 2) ? PortalPointer::Embedded : PortalPointer::Hidden;

    m_session = m_portal.CreateSession("the screen-sharing session", error);
    if (m_session.empty())
        return false;
    int r = sd_bus_match_signal(m_portal.Bus(), &m_closedSlot, kPortalName, m_session.c_str(),
                                "org.freedesktop.portal.Session", "Closed", OnSessionClosed, &m_closed);
    if (r < 0) {
        error = std::string("cannot listen for the end of the screen-sharing session: ") + std::strerror(-r) +
                ".";
        return false;
    }

    const std::string restoreToken = version >= 4 ? ReadToken(m_options.tokenFile) : std::string();
    uint32_t types = (m_options.monitor ? 1u : 0u) | (m_options.window ? 2u : 0u);
    if (types == 0)
        types = 1;
    const uint32_t cursorMode = m_pointerMode == PortalPointer::Metadata   ? 4u
                                : m_pointerMode == PortalPointer::Embedded ? 2u
                                                                           : 1u;
    PortalResponse selected;
    if (!m_portal.Request(
            "SelectSources", "the choice of the screen to share", m_options.callTimeoutMs, error,
            [&](sd_bus_message* m, const std::string& token) {
                int r = sd_bus_message_append(m, "o", m_session.c_str());
                if (r >= 0)
                    r = sd_bus_message_open_container(m, 'a', "{sv}");
                if (r >= 0)
                    r = AppendEntry(m, "handle_token", "s", token.c_str());
                if (r >= 0)
                    r = AppendEntry(m, "types", "u", types);
                if (r >= 0)
                    r = AppendEntry(m, "multiple", "b", 0);
                if (r >= 0 && version >= 2 && cursorModes != 0)
                    r = AppendEntry(m, "cursor_mode", "u", cursorMode);
                if (r >= 0 && version >= 4)
                    r = AppendEntry(m, "persist_mode", "u", 2u);
                if (r >= 0 && !restoreToken.empty())
                    r = AppendEntry(m, "restore_token", "s", restoreToken.c_str());
                return r >= 0 ? sd_bus_message_close_container(m) : r;
            },
            selected))
        return false;

    PortalResponse started;
    if (!m_portal.Request(
            "Start", "the start of screen sharing", m_options.chooseTimeoutMs, error,
            [&](sd_bus_message* m, const std::string& token) {
                int r = sd_bus_message_append(m, "os", m_session.c_str(), "");
                if (r >= 0)
                    r = sd_bus_message_open_container(m, 'a', "{sv}");
                if (r >= 0)
                    r = AppendEntry(m, "handle_token", "s", token.c_str());
                return r >= 0 ? sd_bus_message_close_container(m) : r;
            },
            started))
        return false;
    if (started.streams.empty()) {
        error = "the desktop portal shared no screen.";
        return false;
    }
    WriteToken(m_options.tokenFile, started.restoreToken);

    MessagePtr reply;
    if (!m_portal.Call(
            "OpenPipeWireRemote", "the screen's video stream", m_options.callTimeoutMs, error,
            [&](sd_bus_message* m) {
                int r = sd_bus_message_append(m, "o", m_session.c_str());
                if (r >= 0)
                    r = sd_bus_message_open_container(m, 'a', "{sv}");
                return r >= 0 ? sd_bus_message_close_container(m) : r;
            },
            &reply))
        return false;
    int fd = -1;
    if (sd_bus_message_read(reply.get(), "h", &fd) < 0 || fd < 0) {
        error = "the desktop portal handed over no video stream.";
        return false;
    }
    // The message owns its descriptor; PipeWire takes a copy of its own.
    fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) {
        error = std::string("cannot take the screen's video stream: ") + std::strerror(errno) + ".";
        return false;
    }
    if (!StartStream(fd, started.streams[0].node, error))
        return false;

    // The session's Closed signal (the desktop's "stop sharing") is heard from here on by a
    // thread of its own; the bus is not touched by any other thread until Shutdown().
    m_busThread = std::thread([this] {
        while (!m_busStop.load()) {
            int r = sd_bus_process(m_portal.Bus(), nullptr);
            if (r < 0)
                break;
            if (r == 0)
                sd_bus_wait(m_portal.Bus(), 100 * 1000);
        }
    });

    // The first picture settles the screen size.
    std::unique_lock lock(m_lock);
    const int firstFrameMs = std::max(m_options.firstFrameTimeoutMs, 1);
    if (!m_frameArrived.wait_for(lock, std::chrono::milliseconds(firstFrameMs),
                                 [&] { return m_seq > 0 || m_ended.load(); }) ||
        m_seq == 0) {
        error = m_failure.empty()
                    ? "the shared screen sent no picture within " + PortalSeconds(firstFrameMs) +
                          " (some desktops send one only when something on the screen changes)."
                    : m_failure;
        return false;
    }
    return true;
}

void PortalScreen::CoreError(void* data, uint32_t id, int, int res, const char* message) {
    if (id != PW_ID_CORE)
        return;
    auto* self = static_cast<PortalScreen*>(data);
    self->Ended(res == -EPIPE
                    ? std::string("the connection to PipeWire was lost.")
                    : std::string("PipeWire reported an error: ") + (message ? message : "unknown") + ".");
}

void PortalScreen::GlobalRemoved(void* data, uint32_t id) {
    auto* self = static_cast<PortalScreen*>(data);
    if (id == self->m_node)
        self->Ended("the shared screen's video stream was removed.");
}

bool PortalScreen::StartStream(int fd, uint32_t node, std::string& error) {
    std::call_once(g_pwInit, [] { pw_init(nullptr, nullptr); });
    m_node = node;
    m_loop = pw_thread_loop_new("zov-portal", nullptr);
    if (!m_loop) {
        close(fd);
        error = "cannot start the PipeWire loop.";
        return false;
    }
    m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
    if (!m_context || pw_thread_loop_start(m_loop) < 0) {
        close(fd);
        error = "cannot start the PipeWire loop.";
        return false;
    }
    pw_thread_loop_lock(m_loop);
    m_core = pw_context_connect_fd(m_context, fd, nullptr, 0);
    if (!m_core) {
        pw_thread_loop_unlock(m_loop);
        error = std::string("cannot connect to the screen's PipeWire stream: ") + std::strerror(errno) + ".";
        return false;
    }
    static const pw_core_events coreEvents = [] {
        pw_core_events e{};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = &PortalScreen::CoreError;
        return e;
    }();
    pw_core_add_listener(m_core, &m_coreListener, &coreEvents, this);
    static const pw_registry_events registryEvents = [] {
        pw_registry_events e{};
        e.version = PW_VERSION_REGISTRY_EVENTS;
        e.global_remove = &PortalScreen::GlobalRemoved;
        return e;
    }();
    m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
    if (m_registry)
        pw_registry_add_listener(m_registry, &m_registryListener, &registryEvents, this);

    m_stream = pw_stream_new(m_core, "zov-recorder",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                               PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    static const pw_stream_events streamEvents = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = &PortalScreen::StateChanged;
        e.param_changed = &PortalScreen::ParamChanged;
        e.process = &PortalScreen::Process;
        return e;
    }();
    if (!m_stream) {
        pw_thread_loop_unlock(m_loop);
        error = "cannot create the PipeWire stream for the screen.";
        return false;
    }
    pw_stream_add_listener(m_stream, &m_streamListener, &streamEvents, this);

    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle sizeDefault{1920, 1080}, sizeMin{1, 1}, sizeMax{16384, 16384};
    const uint32_t fps =
        m_options.maxFramesPerSecond > 0 ? static_cast<uint32_t>(m_options.maxFramesPerSecond) : 60;
    spa_fraction rateDefault{fps, 1}, rateMin{0, 1}, rateMax{fps, 1};
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(7, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA, SPA_VIDEO_FORMAT_xRGB,
                               SPA_VIDEO_FORMAT_xBGR),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&sizeDefault, &sizeMin, &sizeMax),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rateMin), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rateDefault, &rateMin, &rateMax)));
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                    PW_STREAM_FLAG_DONT_RECONNECT);
    int r = pw_stream_connect(m_stream, PW_DIRECTION_INPUT, node, flags, params, 1);
    pw_thread_loop_unlock(m_loop);
    if (r < 0) {
        error = std::string("cannot connect to the screen's PipeWire stream: ") + std::strerror(-r) + ".";
        return false;
    }
    return true;
}

void PortalScreen::OnParamChanged(uint32_t id, const struct spa_pod* param) {
    if (!param || id != SPA_PARAM_Format)
        return;
    uint32_t mediaType = 0, mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return;
    m_format = info;

    // Buffers in memory we can read (no DMA-BUF), a header to see corrupted frames, and the
    // pointer's metadata with room for a 64 x 64 image.
    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[3];
    int n = 0;
    params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
    params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(struct spa_meta_header))));
    if (m_pointerMode == PortalPointer::Metadata) {
        const int size =
            static_cast<int>(sizeof(struct spa_meta_cursor) + sizeof(struct spa_meta_bitmap) + 64 * 64 * 4);
        params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(size, static_cast<int>(sizeof(struct spa_meta_cursor)), size)));
    }
    pw_stream_update_params(m_stream, params, static_cast<uint32_t>(n));
}

void PortalScreen::ReadCursor(struct spa_buffer* buffer) {
    spa_meta* meta = spa_buffer_find_meta(buffer, SPA_META_Cursor);
    if (!meta || meta->size < sizeof(spa_meta_cursor))
        return;
    auto* cursor = static_cast<spa_meta_cursor*>(meta->data);
    if (!spa_meta_cursor_is_valid(cursor)) {
        m_pointerValid = false;
        return;
    }
    // A bitmap comes only when the shape changes; otherwise the last one stays. Its offsets
    // are the producer's word: they are checked against the size of the metadata.
    if (cursor->bitmap_offset >= sizeof(spa_meta_cursor) &&
        size_t{cursor->bitmap_offset} + sizeof(spa_meta_bitmap) <= meta->size) {
        auto* bitmap = SPA_PTROFF(cursor, cursor->bitmap_offset, spa_meta_bitmap);
        const size_t room = meta->size - cursor->bitmap_offset;
        const int w = static_cast<int>(bitmap->size.width), h = static_cast<int>(bitmap->size.height);
        std::vector<uint32_t> argb;
        if (bitmap->offset >= sizeof(spa_meta_bitmap) && w > 0 && h > 0 && w <= 256 && h <= 256 &&
            bitmap->stride >= w * 4 &&
            size_t{bitmap->offset} + static_cast<size_t>(bitmap->stride) * (h - 1) + size_t(w) * 4 <= room &&
            PortalCursorPixels(bitmap->format, w, h, bitmap->stride,
                               SPA_PTROFF(bitmap, bitmap->offset, const uint8_t), argb)) {
            auto image = std::make_shared<PointerImage>();
            image->width = w;
            image->height = h;
            image->xhot = cursor->hotspot.x;
            image->yhot = cursor->hotspot.y;
            image->serial = cursor->id;
            image->argb = std::move(argb);
            m_cursorImage = std::move(image);
            m_cursorId = cursor->id;
        }
    }
    m_pointer.x = cursor->position.x;
    m_pointer.y = cursor->position.y;
    m_pointer.image = m_cursorImage;
    m_pointerValid = true;
}

void PortalScreen::OnProcess() {
    pw_buffer* b = pw_stream_dequeue_buffer(m_stream);
    if (!b)
        return;
    spa_buffer* buffer = b->buffer;
    std::unique_lock lock(m_lock);
    if (m_pointerMode == PortalPointer::Metadata)
        ReadCursor(buffer);
    auto* header = static_cast<spa_meta_header*>(
        spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
    const spa_data& d = buffer->datas[0];
    const int width = static_cast<int>(m_format.size.width), height = static_cast<int>(m_format.size.height);
    uint32_t r = 0, g = 0, bl = 0;
    const bool corrupted = (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) ||
                           (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED);
    if (buffer->n_datas > 0 && d.data && d.chunk->size > 0 && !corrupted && width > 0 && height > 0 &&
        PortalFormatMasks(m_format.format, r, g, bl)) {
        const int stride = d.chunk->stride > 0 ? d.chunk->stride : width * 4;
        const size_t offset = d.chunk->offset % std::max<uint32_t>(d.maxsize, 1);
        if (stride >= width * 4 &&
            offset + static_cast<size_t>(stride) * (height - 1) + width * 4 <= d.maxsize) {
            Picture& p = m_latest;
            p.width = width;
            p.height = height;
            p.stride = width * 4;
            p.format = m_format.format;
            p.bytes.resize(static_cast<size_t>(p.stride) * height);
            const auto* src = static_cast<const uint8_t*>(d.data) + offset;
            if (stride == p.stride)
                std::memcpy(p.bytes.data(), src, p.bytes.size());
            else
                for (int y = 0; y < height; ++y)
                    std::memcpy(p.bytes.data() + static_cast<size_t>(y) * p.stride,
                                src + static_cast<size_t>(y) * stride, p.stride);
            ++m_seq;
            m_width = width;
            m_height = height;
        }
    }
    lock.unlock();
    pw_stream_queue_buffer(m_stream, b);
    m_frameArrived.notify_all();
}

void PortalScreen::OnStateChanged(enum pw_stream_state state, const char* message) {
    if (state == PW_STREAM_STATE_ERROR)
        Ended(std::string("the screen's PipeWire stream failed: ") + (message ? message : "unknown error") +
              ".");
    else if (state == PW_STREAM_STATE_UNCONNECTED)
        Ended("the screen's PipeWire stream was disconnected.");
}

void PortalScreen::Ended(const std::string& why) {
    {
        std::lock_guard lock(m_lock);
        if (!m_ended.load())
            m_failure = "the shared screen stopped: " + why;
        m_ended = true;
    }
    m_frameArrived.notify_all();
}

bool PortalScreen::Grab(int x, int y, ScreenPixels& out) {
    if (m_grabW <= 0)
        return false;
    if (m_ended.load() || m_closed.load()) {
        // A desktop's "stop sharing" removes the stream and closes the session; the two news
        // may come in either order, so the session gets a moment to say it was closed.
        const auto deadline = Clock::now() + std::chrono::milliseconds(500);
        while (!m_closed.load() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return false;
    }
    std::lock_guard lock(m_lock);
    if (m_seq != m_frontSeq) {
        std::swap(m_latest, m_front);
        m_frontSeq = m_seq;
    }
    const Picture& p = m_front;
    out = ScreenPixels{};
    out.width = m_grabW;
    out.height = m_grabH;
    out.bitsPerPixel = 32;
    out.msbFirst = false;
    if (!PortalFormatMasks(p.format, out.redMask, out.greenMask, out.blueMask))
        return false;
    if (x >= 0 && y >= 0 && x + m_grabW <= p.width && y + m_grabH <= p.height) {
        out.bytesPerLine = p.stride;
        out.data = p.bytes.data() + static_cast<size_t>(y) * p.stride + static_cast<size_t>(x) * 4;
        return true;
    }
    // The area leaves the picture (the monitor became smaller): the rest is black.
    const int bpl = m_grabW * 4;
    m_clip.assign(static_cast<size_t>(bpl) * m_grabH, 0);
    const int l = std::max(x, 0), t = std::max(y, 0);
    const int r = std::min(x + m_grabW, p.width), b = std::min(y + m_grabH, p.height);
    for (int row = t; row < b && l < r; ++row)
        std::memcpy(m_clip.data() + static_cast<size_t>(row - y) * bpl + static_cast<size_t>(l - x) * 4,
                    p.bytes.data() + static_cast<size_t>(row) * p.stride + static_cast<size_t>(l) * 4,
                    static_cast<size_t>(r - l) * 4);
    out.bytesPerLine = bpl;
    out.data = m_clip.data();
    return true;
}

void PortalScreen::Shutdown() {
    if (m_loop) {
        pw_thread_loop_lock(m_loop);
        if (m_stream) {
            spa_hook_remove(&m_streamListener);
            pw_stream_disconnect(m_stream);
            pw_stream_destroy(m_stream);
            m_stream = nullptr;
        }
        if (m_registry) {
            spa_hook_remove(&m_registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(m_registry));
            m_registry = nullptr;
        }
        if (m_core) {
            spa_hook_remove(&m_coreListener);
            pw_core_disconnect(m_core);
            m_core = nullptr;
        }
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
        if (m_context)
            pw_context_destroy(m_context);
        pw_thread_loop_destroy(m_loop);
        m_context = nullptr;
        m_loop = nullptr;
    }
    m_busStop = true;
    if (m_busThread.joinable())
        m_busThread.join();
    // The session ends with us.
    sd_bus_slot_unref(m_closedSlot);
    m_closedSlot = nullptr;
    m_portal.Close(m_closed.load() ? std::string() : m_session);
}

} // namespace

std::unique_ptr<IScreenSource> OpenPortalScreen(const PortalOptions& options, std::string& error) {
    auto screen = std::make_unique<PortalScreen>(options);
    if (!screen->Open(error))
        return nullptr;
    return screen;
}

PortalPointer PortalPointerMode(const IScreenSource& source) {
    auto* portal = dynamic_cast<const PortalScreen*>(&source);
    return portal ? portal->PointerMode() : PortalPointer::Hidden;
}

bool PortalFormatMasks(uint32_t format, uint32_t& red, uint32_t& green, uint32_t& blue) {
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA:
        red = 0xFF0000, green = 0xFF00, blue = 0xFF;
        return true;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA:
        red = 0xFF, green = 0xFF00, blue = 0xFF0000;
        return true;
    case SPA_VIDEO_FORMAT_xRGB:
    case SPA_VIDEO_FORMAT_ARGB:
        red = 0xFF00, green = 0xFF0000, blue = 0xFF000000u;
        return true;
    case SPA_VIDEO_FORMAT_xBGR:
    case SPA_VIDEO_FORMAT_ABGR:
        red = 0xFF000000u, green = 0xFF0000, blue = 0xFF00;
        return true;
    default:
        return false;
    }
}

bool PortalCursorPixels(uint32_t format, int width, int height, int stride, const uint8_t* bytes,
                        std::vector<uint32_t>& argb) {
    uint32_t r = 0, g = 0, b = 0;
    if (width <= 0 || height <= 0 || stride < width * 4 || !PortalFormatMasks(format, r, g, b))
        return false;
    // The byte the colour masks leave is the alpha (for the x formats: what the desktop put there).
    const uint32_t alpha = ~(r | g | b);
    auto shiftOf = [](uint32_t mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return shift;
    };
    const int sa = shiftOf(alpha), sr = shiftOf(r), sg = shiftOf(g), sb = shiftOf(b);
    argb.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t p = 0;
            std::memcpy(&p, bytes + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
            // The desktops send premultiplied pixels, as the pointer drawing wants.
            argb[static_cast<size_t>(y) * width + x] = (((p >> sa) & 0xFF) << 24) |
                                                       (((p >> sr) & 0xFF) << 16) |
                                                       (((p >> sg) & 0xFF) << 8) | ((p >> sb) & 0xFF);
        }
    return true;
}

} // namespace zov
