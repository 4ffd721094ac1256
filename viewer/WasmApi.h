// The small C API the page's JavaScript calls (compiled into the WebAssembly module; also
// built natively so the tests drive the very calls the page makes). A control is a handle;
// its requests to the page come out as events that the page drains after every call.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

enum ZvEventKind : int32_t {
    ZV_EV_NONE = 0,
    ZV_EV_OPEN_SOURCE = 1,  // arg = source id, text = URL
    ZV_EV_CLOSE_SOURCE = 2, // arg = source id
    ZV_EV_PROBE = 3,        // arg = probe id, text = URL
    ZV_EV_START_TIMER = 4,  // arg = period in ms
    ZV_EV_KILL_TIMER = 5,
    ZV_EV_REDRAW = 6,
    ZV_EV_NAVIGATE = 7,      // text = URL
    ZV_EV_OPEN_WINDOW = 8,   // text = URL
    ZV_EV_STATUS = 9,        // text = status line
    ZV_EV_SOUND_CREATE = 10, // text = URL
    ZV_EV_SOUND_STOP = 11,
    ZV_EV_SOUND_PAUSE = 12,
    ZV_EV_SOUND_SPEED = 13, // arg = per mille
    ZV_EV_SOUND_PLAY = 14,  // num = position in ms
};

// Read by the page straight from memory: keep the layout in step with zov-player.js.
struct ZvEvent {
    int32_t kind;
    int32_t arg;
    double num;
    const char* text; // valid until the next zv_next_event call
};

struct ZvState {
    int32_t width, height, interval, speed;
    int32_t fitMode, panX, panY, stepCount;
    int32_t timerRunning, sourceOpen, hasBitmap, busy;
    int32_t loaded, stillFrameNo, wantsBytes, bitmapSerial;
    int32_t clientWidth, clientHeight, dragging, recordLength;
};

struct ZvDrawPlan {
    int32_t mode; // 0 empty (white, framed), 1 copy 1:1, 2 stretch, 3 nothing
    int32_t sx, sy, sw, sh;
    int32_t dx, dy, dw, dh;
};

enum ZvText : int32_t {
    ZV_TEXT_VIDEO_FILE = 0,
    ZV_TEXT_URL_AFTER_PLAY = 1,
    ZV_TEXT_STATUS_LINE = 2,
    ZV_TEXT_OPEN_STATUS = 3,
    ZV_TEXT_COPY = 4,
    ZV_TEXT_STREAM_URL = 5,
    ZV_TEXT_END_URL = 6,
    ZV_TEXT_SOUND_URL = 7,
    ZV_TEXT_BASE_URL = 8,
    ZV_TEXT_DECODE_ERROR = 9,
};

int32_t zv_create(void);
void zv_destroy(int32_t h);
// Scratch memory of at least n bytes for the next zv_set_text / zv_feed / zv_probe_result;
// null for a player that failed (the module could not give it the memory it needed).
uint8_t* zv_buffer(int32_t h, int32_t n);
// Sets text `which` (video file or URL after play) from the first n buffer bytes (UTF-8).
void zv_set_text(int32_t h, int32_t which, int32_t n);
void zv_set_still(int32_t h, int32_t frame);
// Loads with the page URL in the first n buffer bytes.
void zv_load(int32_t h, int32_t n, double now);
void zv_probe_result(int32_t h, int32_t probe, int32_t n, double now);
void zv_feed(int32_t h, int32_t source, int32_t n, double now);
void zv_feed_end(int32_t h, int32_t source, double now);
void zv_feed_error(int32_t h, int32_t source, double now);
void zv_pump(int32_t h, double now);
void zv_tick(int32_t h, double now);
void zv_command(int32_t h, int32_t id, double now);
int32_t zv_menu_enabled(int32_t h, int32_t id);
int32_t zv_menu_checked(int32_t h, int32_t id);
void zv_double_click(int32_t h, double now);
void zv_resize(int32_t h, int32_t w, int32_t hgt);
void zv_wheel(int32_t h, int32_t delta);
void zv_left_down(int32_t h, int32_t x, int32_t y);
void zv_move(int32_t h, int32_t x, int32_t y, int32_t anyButton, int32_t leftOnly);
void zv_left_up(int32_t h);
const ZvState* zv_state(int32_t h);
const ZvDrawPlan* zv_plan(int32_t h, int32_t bw, int32_t bh, int32_t l, int32_t t, int32_t r, int32_t b);
// RGBA, width x height, top row first.
const uint8_t* zv_bitmap(int32_t h);
const char* zv_text(int32_t h, int32_t which);
const ZvEvent* zv_next_event(int32_t h);
// The shared jump target, for tests.
int32_t zv_jump_target(void);

// A bare decoder, for benchmarks: decodes a whole stream held in the buffer (n bytes) and
// returns the number of frame and unchanged records decoded, or -1 for a damaged stream.
int32_t zv_decode_all(int32_t h, int32_t n);
// The longest time one record took in the last zv_decode_all, in milliseconds.
double zv_slowest_record_ms(void);
}
