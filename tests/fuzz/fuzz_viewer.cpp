// Fuzz target: the viewer's control driven the way the page drives it, through its C API.
// Byte 0 picks the delivery piece size and byte 1 a command mix; the rest is the stream as
// a server would send it. Loads, feeds in pieces, ticks, pumps past the time-outs, steps,
// pans and draws; nothing may crash, leak or loop.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "viewer/LumaplayCtrl.h"
#include "viewer/WasmApi.h"

namespace {

void Text(int32_t h, int32_t which, const std::string& s) {
    std::memcpy(zv_buffer(h, int32_t(s.size())), s.data(), s.size());
    zv_set_text(h, which, int32_t(s.size()));
}

// Answers the player's requests: probes succeed, every open gets the stream in pieces.
void Serve(int32_t h, const uint8_t* data, size_t size, size_t piece, double& now) {
    for (int round = 0; round < 64; ++round) {
        const ZvEvent* e = zv_next_event(h);
        if (!e)
            return;
        if (e->kind == ZV_EV_PROBE) {
            std::memcpy(zv_buffer(h, 4), "ZV01", 4);
            zv_probe_result(h, e->arg, 4, now);
        } else if (e->kind == ZV_EV_OPEN_SOURCE) {
            int source = e->arg;
            for (size_t at = 0; at < size; at += piece) {
                size_t n = size - at < piece ? size - at : piece;
                std::memcpy(zv_buffer(h, int32_t(n)), data + at, n);
                zv_feed(h, source, int32_t(n), now += 1);
            }
            zv_feed_end(h, source, now);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    if (size >= 10) {
        // Large pictures cost time only; their limits are the decoder's, tested elsewhere.
        int w = int16_t((data[6] << 8) | data[7]), hgt = int16_t((data[8] << 8) | data[9]);
        if (w > 0 && hgt > 0 && int64_t(w) * hgt > (1 << 16))
            return 0;
    }
    size_t piece = size_t(data[0] % 64) + 1;
    uint8_t mix = data[1];
    const uint8_t* stream = data + 2;
    size -= 2;
    int32_t h = zv_create();
    double now = 0;
    Text(h, ZV_TEXT_VIDEO_FILE, "f.zov");
    Text(h, ZV_TEXT_URL_AFTER_PLAY, "next.htm");
    zv_set_still(h, (mix & 3) == 3 ? 3 : -1);
    zv_resize(h, 16, 12);
    const char page[] = "http://127.0.0.1/a/p.htm";
    std::memcpy(zv_buffer(h, sizeof page - 1), page, sizeof page - 1);
    zv_load(h, sizeof page - 1, now);
    for (int i = 0; i < 24; ++i) {
        Serve(h, stream, size, piece, now);
        now += 3000; // past a field time-out every other round
        zv_pump(h, now);
        zv_tick(h, now);
        if (mix & 4)
            zv_command(h, zov::viewer::ID_NEXT_FRAME, now);
        if (mix & 8)
            zv_command(h, zov::viewer::ID_ORIGIN_SIZE, now);
        if (mix & 16) {
            zv_left_down(h, 3, 3);
            zv_move(h, -50 + i, 40 - i, 1, 1);
            zv_wheel(h, (i & 1) ? 360 : -360);
        }
        if (mix & 32)
            zv_command(h, zov::viewer::ID_SPEED_FASTEST, now);
        const ZvState* s = zv_state(h);
        if (s->panX < 0 || s->panY < 0)
            __builtin_trap();
        zv_plan(h, 16, 12, 0, 0, 16, 12);
        if (s->hasBitmap && !zv_bitmap(h))
            __builtin_trap();
    }
    zv_destroy(h);
    return 0;
}
