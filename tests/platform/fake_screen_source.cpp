// A screen as a desktop would share it, for the Wayland suite's portal of its own: a PipeWire
// video source of WIDTH x HEIGHT BGRx pixels, a still picture (a blue-grey ground with a white
// 40 x 30 box at 200, 150), and the pointer as cursor metadata with every frame: a 16 x 16
// bitmap whose top-left 8 x 8 pixels are opaque red, hotspot (2, 3), at (300, 200).
// Prints the stream's node id on a line of its own once PipeWire has given one, then runs
// until it is ended. Usage: zov_fake_screen_source WIDTH HEIGHT
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kCursor = 16;
constexpr int kCursorMetaSize =
    static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + kCursor * kCursor * 4;

struct Source {
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_source* timer = nullptr;
    int width = 0, height = 0;
    bool streaming = false, announced = false;
    uint64_t seq = 0;
};

void FillPicture(uint8_t* p, int stride, int w, int h) {
    for (int y = 0; y < h; ++y) {
        uint8_t* row = p + static_cast<size_t>(y) * stride;
        for (int x = 0; x < w; ++x) {
            const bool box = x >= 200 && x < 240 && y >= 150 && y < 180;
            row[4 * x + 0] = box ? 0xFF : 0x60; // B
            row[4 * x + 1] = box ? 0xFF : 0x40; // G
            row[4 * x + 2] = box ? 0xFF : 0x20; // R
            row[4 * x + 3] = 0;
        }
    }
}

void FillCursor(spa_buffer* buffer) {
    auto* cursor =
        static_cast<spa_meta_cursor*>(spa_buffer_find_meta_data(buffer, SPA_META_Cursor, kCursorMetaSize));
    if (!cursor)
        return;
    cursor->id = 1;
    cursor->flags = 0;
    cursor->position.x = 300;
    cursor->position.y = 200;
    cursor->hotspot.x = 2;
    cursor->hotspot.y = 3;
    cursor->bitmap_offset = sizeof(spa_meta_cursor);
    auto* bitmap = SPA_PTROFF(cursor, cursor->bitmap_offset, spa_meta_bitmap);
    bitmap->format = SPA_VIDEO_FORMAT_BGRA;
    bitmap->size.width = kCursor;
    bitmap->size.height = kCursor;
    bitmap->stride = kCursor * 4;
    bitmap->offset = sizeof(spa_meta_bitmap);
    auto* pixels = SPA_PTROFF(bitmap, bitmap->offset, uint8_t);
    for (int y = 0; y < kCursor; ++y)
        for (int x = 0; x < kCursor; ++x) {
            uint8_t* px = pixels + (y * kCursor + x) * 4;
            const bool red = x < 8 && y < 8;
            px[0] = 0;
            px[1] = 0;
            px[2] = red ? 0xFF : 0;
            px[3] = red ? 0xFF : 0;
        }
}

void OnProcess(void* data) {
    auto* s = static_cast<Source*>(data);
    pw_buffer* b = pw_stream_dequeue_buffer(s->stream);
    if (!b)
        return;
    spa_buffer* buffer = b->buffer;
    spa_data& d = buffer->datas[0];
    if (d.data) {
        const int stride = s->width * 4;
        FillPicture(static_cast<uint8_t*>(d.data), stride, s->width, s->height);
        d.chunk->offset = 0;
        d.chunk->size = static_cast<uint32_t>(stride * s->height);
        d.chunk->stride = stride;
        d.chunk->flags = 0;
    }
    if (auto* h = static_cast<spa_meta_header*>(
            spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)))) {
        h->flags = 0;
        h->offset = 0;
        h->pts = -1;
        h->dts_offset = 0;
        h->seq = s->seq++;
    }
    FillCursor(buffer);
    pw_stream_queue_buffer(s->stream, b);
}

void OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* s = static_cast<Source*>(data);
    if (!param || id != SPA_PARAM_Format)
        return;
    uint8_t bytes[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(bytes, sizeof bytes);
    const int stride = s->width * 4;
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
        SPA_POD_Int(stride * s->height), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride)));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size, SPA_POD_Int(kCursorMetaSize)));
    pw_stream_update_params(s->stream, params, 3);
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto* s = static_cast<Source*>(data);
    s->streaming = state == PW_STREAM_STATE_STREAMING;
    if (!s->announced && (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING)) {
        s->announced = true;
        std::printf("%u\n", pw_stream_get_node_id(s->stream));
        std::fflush(stdout);
    }
}

void OnTimer(void* data, uint64_t) {
    auto* s = static_cast<Source*>(data);
    // The source drives: a frame every 50 ms while a consumer is linked.
    if (s->streaming)
        pw_stream_trigger_process(s->stream);
}

void OnSignal(void* data, int) {
    pw_main_loop_quit(static_cast<Source*>(data)->loop);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    pw_init(&argc, &argv);
    Source s;
    s.width = std::atoi(argv[1]);
    s.height = std::atoi(argv[2]);
    s.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(s.loop);
    pw_loop_add_signal(loop, SIGINT, OnSignal, &s);
    pw_loop_add_signal(loop, SIGTERM, OnSignal, &s);
    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = OnStateChanged;
        e.param_changed = OnParamChanged;
        e.process = OnProcess;
        return e;
    }();
    s.stream = pw_stream_new_simple(
        loop, "zov-fake-screen", pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr), &events, &s);
    uint8_t bytes[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(bytes, sizeof bytes);
    spa_rectangle size{static_cast<uint32_t>(s.width), static_cast<uint32_t>(s.height)};
    spa_fraction rate{0, 1}, maxDefault{20, 1}, maxMin{1, 1}, maxMax{20, 1};
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
        SPA_FORMAT_VIDEO_format, SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size,
        SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate),
        SPA_FORMAT_VIDEO_maxFramerate, SPA_POD_CHOICE_RANGE_Fraction(&maxDefault, &maxMin, &maxMax)));
    if (pw_stream_connect(s.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
                          params, 1) < 0) {
        std::fprintf(stderr, "cannot connect the stream\n");
        return 1;
    }
    s.timer = pw_loop_add_timer(loop, OnTimer, &s);
    timespec first{0, 1}, every{0, 50 * 1000 * 1000};
    pw_loop_update_timer(loop, s.timer, &first, &every, false);
    pw_main_loop_run(s.loop);
    pw_stream_destroy(s.stream);
    pw_main_loop_destroy(s.loop);
    pw_deinit();
    return 0;
}
