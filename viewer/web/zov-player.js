// <zov-player>: plays a ".zov" stream inside a web page.
//
//   <script type="module" src="zov-viewer/zov-player.js"></script>
//   <zov-player video-file="demo.zov" url-after-play="next.htm"></zov-player>
//
// Attributes: video-file, url-after-play, still-image-frame-no (default -1). Scripting
// properties: VideoFile, URLAfterPlay, ShowFrameId; method AboutBox(). The properties are
// read once, when the element loads; changing them later does not reopen the stream.
//
// The playback logic lives in the WebAssembly module built from the recorder's own codec
// and the viewer logic (zov-viewer-core.wasm, one instance shared by every player of the
// page). This file only does what a browser must: fetching with a streaming body, timers,
// the canvas, the <audio> element, the context menu, the clipboard and navigation.
// Defining the custom element below is the whole of its registration.

import createZovViewerCore from './zov-viewer-core.js';

let corePromise = null;
function loadCore() {
  if (!corePromise) {
    corePromise = createZovViewerCore({
      locateFile: (name) => new URL(name, import.meta.url).href,
    });
  }
  return corePromise;
}

// Layouts of the structs read from the module's memory (static_asserts in WasmApi.cpp).
const EV = { NONE: 0, OPEN_SOURCE: 1, CLOSE_SOURCE: 2, PROBE: 3, START_TIMER: 4, KILL_TIMER: 5,
  REDRAW: 6, NAVIGATE: 7, OPEN_WINDOW: 8, STATUS: 9, SOUND_CREATE: 10, SOUND_STOP: 11,
  SOUND_PAUSE: 12, SOUND_SPEED: 13, SOUND_PLAY: 14 };
const STATE_FIELDS = ['width', 'height', 'interval', 'speed', 'fitMode', 'panX', 'panY',
  'stepCount', 'timerRunning', 'sourceOpen', 'hasBitmap', 'busy', 'loaded', 'stillFrameNo',
  'wantsBytes', 'bitmapSerial', 'clientWidth', 'clientHeight', 'dragging', 'recordLength'];
const TEXT = { VIDEO_FILE: 0, URL_AFTER_PLAY: 1, STATUS_LINE: 2, OPEN_STATUS: 3, COPY: 4,
  STREAM_URL: 5, END_URL: 6, SOUND_URL: 7, BASE_URL: 8, DECODE_ERROR: 9 };

const ID = { STOP: 32769, GO: 32771, NORMAL: 203, FAST2: 204, FAST5: 206, FAST10: 205,
  FASTEST: 209, SLOW2: 207, SLOW3: 208, NEXT: 32770, ORIGIN: 32772, VIEW_ALL: 32775,
  COPY: 32768, ABOUT: 1, HOME: 32776 };

// The context menu, in its order; `null` is a separator.
const MENU = [
  { id: ID.STOP, text: '&Stop' },
  { id: ID.GO, text: '&Go' },
  { text: 'Spee&d', items: [
    { id: ID.NORMAL, text: 'Normal' },
    { id: ID.FAST2, text: 'Fast * 2' },
    { id: ID.FAST5, text: 'Fast * 5' },
    { id: ID.FAST10, text: 'Fast * 10' },
    { id: ID.FASTEST, text: 'Fast as possible' },
    { id: ID.SLOW2, text: 'Slow / 2' },
    { id: ID.SLOW3, text: 'Slow / 3' },
  ] },
  { id: ID.NEXT, text: '&Next Frame(Double Click)' },
  null,
  { id: ID.ORIGIN, text: '&OriginSize' },
  { id: ID.VIEW_ALL, text: '&View All' },
  { id: ID.COPY, text: 'Image(WxH) &Copy' },
  { id: ID.ABOUT, text: 'ZOV Viewer &Version' },
  { id: ID.HOME, text: 'Goto ZOV Tools &Home' },
];

// Events that count as the user's interaction with the page, for starting sound.
const GESTURES = ['pointerdown', 'keydown'];

const STRIP_HEIGHT = 16;
const PROBE_BYTES = 1000;
// The stream header's read time-out; like every read it is extended once.
const PROBE_TIMEOUT_MS = 5000;
const PUMP_MS = 10;

const STYLE = `
:host { display: inline-block; position: relative; width: 320px; height: ${240 + STRIP_HEIGHT}px;
  overflow: hidden; background: #fff; user-select: none; }
.view { position: absolute; left: 0; top: 0; right: 0; bottom: ${STRIP_HEIGHT}px; overflow: hidden; }
canvas { display: block; position: absolute; left: 0; top: 0; }
.view.pan { cursor: move; }
.strip { position: absolute; left: 0; right: 0; bottom: 0; height: ${STRIP_HEIGHT}px;
  font: 11px/16px sans-serif; color: #333; background: #eee; white-space: nowrap;
  overflow: hidden; text-overflow: ellipsis; padding: 0 4px; box-sizing: border-box; }
.menu { position: fixed; z-index: 2147483647; background: #f8f8f8; border: 1px solid #888;
  box-shadow: 2px 2px 4px rgba(0,0,0,.3); font: 12px sans-serif; padding: 2px 0; min-width: 180px; color: #000; }
.menu .item { padding: 3px 20px 3px 22px; position: relative; white-space: nowrap; cursor: default; }
.menu .item:hover:not(.disabled) { background: #0a64d6; color: #fff; }
.menu .item.disabled { color: #999; }
.menu .item.checked::before { content: "\\2713"; position: absolute; left: 6px; }
.menu .item.sub::after { content: "\\25B8"; position: absolute; right: 6px; }
.menu .sep { border-top: 1px solid #ccc; margin: 3px 0; }
.about { position: fixed; z-index: 2147483647; left: 50%; top: 30%; transform: translate(-50%, 0);
  background: #f0f0f0; border: 1px solid #666; font: 12px sans-serif; padding: 0; min-width: 260px; color: #000; }
.about .title { background: #0a64d6; color: #fff; padding: 3px 6px; }
.about .body { padding: 12px; display: flex; gap: 10px; align-items: center; }
.about .icon { width: 32px; height: 32px; background: linear-gradient(135deg, #d33, #36c); }
.about .buttons { text-align: right; padding: 0 12px 10px; }
`;

// "&Go" -> "Go" with the G underlined.
function menuLabel(text) {
  const frag = document.createDocumentFragment();
  const at = text.indexOf('&');
  if (at < 0 || at === text.length - 1) {
    frag.append(text.replace('&', ''));
    return frag;
  }
  frag.append(text.slice(0, at));
  const u = document.createElement('u');
  u.textContent = text[at + 1];
  frag.append(u, text.slice(at + 2));
  return frag;
}

class ZovPlayer extends HTMLElement {
  static get observedAttributes() { return ['video-file', 'url-after-play', 'still-image-frame-no']; }

  constructor() {
    super();
    this._videoFile = '';
    this._urlAfterPlay = '';
    this._stillFrameNo = -1;
    this._started = false;
    this._core = null;
    this._h = 0;
    this._queue = [];
    this._sources = new Map();
    this._byteWaiters = new Set(); // fetches waiting until the module wants bytes again
    this._timer = null;
    this._pumpTimer = null;
    this._audio = null;
    this._serial = -1;
    this._state = 'idle';
    this._lastStatus = '';

    const root = this.attachShadow({ mode: 'open' });
    this._sizeStyle = document.createElement('style');
    const style = document.createElement('style');
    style.textContent = STYLE;
    this._view = document.createElement('div');
    this._view.className = 'view';
    this._canvas = document.createElement('canvas');
    this._view.append(this._canvas);
    this._strip = document.createElement('div');
    this._strip.className = 'strip';
    this._strip.setAttribute('part', 'status');
    root.append(style, this._sizeStyle, this._view, this._strip);
    this._picture = document.createElement('canvas'); // the display bitmap, 1:1
    this._bindInput();
  }

  // ---- properties -------------------------------------------------------------------

  get VideoFile() { return this._videoFile; }
  set VideoFile(v) { this._videoFile = String(v ?? ''); this._storeProps(); }
  get URLAfterPlay() { return this._urlAfterPlay; }
  set URLAfterPlay(v) { this._urlAfterPlay = String(v ?? ''); this._storeProps(); }
  get ShowFrameId() { return this._stillFrameNo; }
  set ShowFrameId(v) {
    const n = Number.parseInt(v, 10);
    this._stillFrameNo = Number.isFinite(n) ? n | 0 : -1;
    this._storeProps();
  }
  // The player's state: idle, loading, playing, stopped, ended, still or error.
  get state() { return this._state; }
  // "Open OK!" or "Open Error!" once the stream was probed.
  get openStatus() { return this._openStatus ?? ''; }
  // The status line ("URL, W..*H.., .. msec per frame" or "File Open error! URL").
  get statusLine() { return this._h ? this._text(TEXT.STATUS_LINE) : ''; }
  // Frames stepped since the stream was (re)opened, and playback figures, for scripts.
  get stepCount() { return this._h ? this._readState().stepCount : 0; }
  get speed() { return this._h ? this._readState().speed : 1000; }

  attributeChangedCallback(name, _old, value) {
    if (name === 'video-file') this.VideoFile = value ?? '';
    else if (name === 'url-after-play') this.URLAfterPlay = value ?? '';
    else if (name === 'still-image-frame-no') this.ShowFrameId = value ?? -1;
  }

  connectedCallback() {
    // A script may have set a property before this module defined the element: that value
    // sits on the instance and hides the accessor, so take it over.
    for (const name of ['VideoFile', 'URLAfterPlay', 'ShowFrameId']) {
      if (Object.prototype.hasOwnProperty.call(this, name)) {
        const value = this[name];
        delete this[name];
        this[name] = value;
      }
    }
    if (this._started) return;
    this._started = true;
    this._setState('loading');
    loadCore().then((core) => this._start(core), (err) => {
      this._setState('error');
      this._showStatus(`ZOV Viewer could not start: ${err}`);
    });
  }

  disconnectedCallback() {
    // A player moved in the page reconnects at once; only a removed one is torn down.
    queueMicrotask(() => { if (!this.isConnected) this._teardown(); });
  }

  AboutBox() {
    const root = this.shadowRoot;
    root.querySelector('.about')?.remove();
    const box = document.createElement('div');
    box.className = 'about';
    box.setAttribute('role', 'dialog');
    const title = document.createElement('div');
    title.className = 'title';
    title.textContent = 'About Lumaplay Control';
    const body = document.createElement('div');
    body.className = 'body';
    const icon = document.createElement('div');
    icon.className = 'icon';
    const text = document.createElement('div');
    text.className = 'text';
    text.textContent = 'ZOV Viewer Control, Version 1.0';
    body.append(icon, text);
    const buttons = document.createElement('div');
    buttons.className = 'buttons';
    const ok = document.createElement('button');
    ok.textContent = 'OK';
    ok.addEventListener('click', () => box.remove());
    buttons.append(ok);
    box.append(title, body, buttons);
    root.append(box);
    ok.focus();
  }

  // ---- the module ---------------------------------------------------------------------

  _storeProps() {
    if (!this._core || !this._h) return;
    // Stored for scripts to read back; the open stream is not touched.
    this._core._zv_set_still(this._h, this._stillFrameNo);
    this._setText(TEXT.VIDEO_FILE, this._videoFile);
    this._setText(TEXT.URL_AFTER_PLAY, this._urlAfterPlay);
  }

  // Copies bytes into the player's scratch memory; -1 (which every call takes as nothing)
  // when the player failed for want of memory.
  _writeBuffer(bytes) {
    const ptr = this._core._zv_buffer(this._h, bytes.length);
    if (!ptr) return -1;
    this._core.HEAPU8.set(bytes, ptr); // HEAPU8 is re-read: the buffer may have grown memory
    return bytes.length;
  }

  _setText(which, text) {
    const n = this._writeBuffer(new TextEncoder().encode(text));
    this._core._zv_set_text(this._h, which, n);
  }

  _text(which) { return this._core.UTF8ToString(this._core._zv_text(this._h, which)); }

  _readState() {
    const ptr = this._core._zv_state(this._h) >> 2;
    const heap = this._core.HEAP32;
    const s = {};
    STATE_FIELDS.forEach((name, i) => { s[name] = heap[ptr + i]; });
    return s;
  }

  _start(core) {
    if (!this.isConnected && !this._started) return;
    this._core = core;
    this._h = core._zv_create();
    this._storeProps();
    this._observeSize();
    const n = this._writeBuffer(new TextEncoder().encode(document.location.href));
    core._zv_load(this._h, n, performance.now());
    this._afterCall();
  }

  _teardown() {
    this._stopTimer();
    clearTimeout(this._pumpTimer);
    for (const c of this._sources.values()) c.abort();
    this._sources.clear();
    this._wakeFetches();
    this._audio?.pause();
    this._forgetGesture();
    this._resizeObserver?.disconnect();
    this._ratioQuery?.media.removeEventListener('change', this._ratioQuery.onChange);
    this._ratioQuery = null;
    if (this._core && this._h) this._core._zv_destroy(this._h);
    this._h = 0;
    this._started = false;
  }

  // Runs one command once nothing waits for bytes: the one queue that serialises every
  // action of the player (menu, double click, timer, keys).
  _enqueue(fn) {
    this._queue.push(fn);
    this._drain();
  }

  _drain() {
    if (!this._h) return;
    while (this._queue.length && !this._readState().busy) {
      const fn = this._queue.shift();
      fn();
      this._afterCall();
    }
  }

  // Handles what the module asked for during the last call, then keeps a waiting read
  // going (its time-outs need the clock even when no bytes come).
  _afterCall() {
    if (!this._h) return;
    const core = this._core;
    for (;;) {
      const p = core._zv_next_event(this._h);
      if (!p) break;
      const kind = core.HEAP32[p >> 2];
      const arg = core.HEAP32[(p >> 2) + 1];
      const num = core.HEAPF64[(p >> 3) + 1];
      const text = core.UTF8ToString(core.HEAPU32[(p >> 2) + 4]);
      this._onEvent(kind, arg, num, text);
      if (!this._h) return;
    }
    const s = this._readState();
    this._updateState(s);
    if (s.wantsBytes) this._wakeFetches();
    clearTimeout(this._pumpTimer);
    if (s.busy) {
      this._pumpTimer = setTimeout(() => {
        if (!this._h) return;
        core._zv_pump(this._h, performance.now());
        this._afterCall();
      }, PUMP_MS);
    } else if (this._queue.length) {
      queueMicrotask(() => this._drain());
    }
  }

  _wakeFetches() {
    const waiters = [...this._byteWaiters];
    this._byteWaiters.clear();
    for (const wake of waiters) wake();
  }

  _onEvent(kind, arg, num, text) {
    switch (kind) {
      case EV.OPEN_SOURCE: this._openSource(arg, text); break;
      case EV.CLOSE_SOURCE: this._sources.get(arg)?.abort(); this._sources.delete(arg); this._wakeFetches(); break;
      case EV.PROBE: this._probe(arg, text); break;
      case EV.START_TIMER: this._startTimer(arg); break;
      case EV.KILL_TIMER: this._stopTimer(); break;
      case EV.REDRAW: this._draw(); break;
      case EV.NAVIGATE: this._navigate(text); break;
      case EV.OPEN_WINDOW: window.open(text, '_blank', 'noopener'); break;
      case EV.STATUS: this._showStatus(text); break;
      case EV.SOUND_CREATE: this._soundCreate(text); break;
      case EV.SOUND_STOP: if (this._audio) { this._audio.pause(); this._audio.currentTime = 0; } break;
      case EV.SOUND_PAUSE: this._audio?.pause(); break;
      case EV.SOUND_SPEED: if (this._audio) this._audio.playbackRate = arg / 1000; break;
      case EV.SOUND_PLAY: this._soundPlay(num); break;
      default: break;
    }
  }

  _updateState(s) {
    let state;
    if (!s.loaded) state = 'loading';
    else if (!s.hasBitmap && !s.sourceOpen) state = 'error';
    else if (s.timerRunning) state = 'playing';
    else if (!s.sourceOpen && s.interval === 0) state = 'still';
    else if (s.sourceOpen && s.recordLength === -1) state = 'ended';
    else state = 'stopped';
    this._setState(state);
    this._view.classList.toggle('pan', s.fitMode === 0 &&
      (s.clientWidth !== s.width || s.clientHeight !== s.height));
    if (!this._sized && s.width > 0 && s.height > 0) {
      // The player's own size is the stream's, from its header on; a page's size wins.
      this._sized = true;
      this._sizeStyle.textContent = `:host { width: ${s.width}px; height: ${s.height + STRIP_HEIGHT}px; }`;
    }
    if (s.loaded && !this._announced) {
      this._announced = true;
      this._openStatus = this._text(TEXT.OPEN_STATUS);
      this.setAttribute('data-open-status', this._openStatus);
      this._emit('zov-load', { width: s.width, height: s.height, interval: s.interval,
        openStatus: this._openStatus, status: this._text(TEXT.STATUS_LINE) });
      this._draw();
    }
  }

  _setState(state) {
    if (state === this._state) return;
    this._state = state;
    this.setAttribute('data-state', state);
    this._emit('zov-state', { state });
  }

  // Events bubble out of the shadow tree so that a page can listen on the document.
  _emit(type, detail) {
    this.dispatchEvent(new CustomEvent(type, { detail, bubbles: true, composed: true }));
  }

  _showStatus(text) {
    this._lastStatus = text;
    // Pages cannot set the browser's status text: the line shows as the tooltip and below.
    this.title = text;
    this._strip.textContent = text;
  }

  // ---- fetching -----------------------------------------------------------------------

  // The module's URLs are references relative to the page, with the stream's name already
  // URL-encoded by the page: resolved, never joined or unescaped by hand.
  _resolve(url) {
    try { return new URL(url, document.baseURI).href; } catch (_) { return url; }
  }

  async _probe(probe, url) {
    let bytes = new Uint8Array(0);
    // A server that never answers fails the probe after the time a header read may take.
    const controller = new AbortController();
    const timer = setTimeout(() => controller.abort(), 2 * PROBE_TIMEOUT_MS);
    try {
      const res = await fetch(this._resolve(url), { signal: controller.signal });
      if (res.ok && res.body) {
        const reader = res.body.getReader();
        const { value } = await reader.read();
        if (value) bytes = value.subarray(0, Math.min(value.length, PROBE_BYTES));
        reader.cancel().catch(() => {});
      } else {
        res.body?.cancel().catch(() => {});
      }
    } catch (_) {
      bytes = new Uint8Array(0);
    } finally {
      clearTimeout(timer);
    }
    if (!this._h) return;
    const n = this._writeBuffer(bytes);
    this._core._zv_probe_result(this._h, probe, n, performance.now());
    this._afterCall();
  }

  async _openSource(id, url) {
    const controller = new AbortController();
    this._sources.set(id, controller);
    const core = this._core;
    const alive = () => this._h && this._sources.get(id) === controller;
    try {
      const res = await fetch(this._resolve(url), { signal: controller.signal });
      if (!res.ok || !res.body) throw new Error(`HTTP ${res.status}`);
      const reader = res.body.getReader();
      for (;;) {
        // Hold back while the module has enough bytes waiting: memory stays bounded. The
        // module asks for more as it reads, which every call reports: nothing polls meanwhile.
        while (alive() && !this._readState().wantsBytes) await new Promise((r) => this._byteWaiters.add(r));
        if (!alive()) { reader.cancel().catch(() => {}); return; }
        const { value, done } = await reader.read();
        if (!alive()) { reader.cancel().catch(() => {}); return; }
        if (done) break;
        for (let at = 0; at < value.length; at += 1 << 20) {
          const n = this._writeBuffer(value.subarray(at, Math.min(value.length, at + (1 << 20))));
          core._zv_feed(this._h, id, n, performance.now());
          this._afterCall();
          if (!alive()) return;
        }
        this._drain();
      }
      core._zv_feed_end(this._h, id, performance.now());
      this._afterCall();
    } catch (_) {
      if (!alive()) return;
      core._zv_feed_error(this._h, id, performance.now());
      this._afterCall();
    }
  }

  // ---- timer --------------------------------------------------------------------------

  _startTimer(period) {
    this._stopTimer();
    // Ticks fall on a fixed grid; a late tick does not cause a burst of catch-up ticks,
    // as window timers coalesce.
    let next = performance.now() + period;
    const timer = { id: 0 };
    const fire = () => {
      if (this._timer !== timer || !this._h) return;
      const now = performance.now();
      next += period;
      if (next < now) next = now + period;
      timer.id = setTimeout(fire, Math.max(0, next - performance.now()));
      if (!this._readState().busy) {
        this._core._zv_tick(this._h, now);
        this._afterCall();
      }
    };
    timer.id = setTimeout(fire, period);
    this._timer = timer;
  }

  _stopTimer() {
    if (this._timer) clearTimeout(this._timer.id);
    this._timer = null;
  }

  // ---- navigation and sound -------------------------------------------------------------

  _navigate(url) {
    // The module only hands out http, https or relative URLs; check again before leaving.
    let target;
    try { target = new URL(url, document.baseURI); } catch (_) { return; }
    if (target.protocol !== 'http:' && target.protocol !== 'https:') return;
    window.location.assign(target.href);
  }

  _soundCreate(url) {
    this._audio = document.createElement('audio');
    this._audio.preload = 'auto';
    this._audio.src = this._resolve(url);
    this._audio.setAttribute('part', 'sound');
    this._audio.style.display = 'none';
    this.shadowRoot.append(this._audio);
  }

  _soundPlay(ms) {
    const a = this._audio;
    if (!a) return;
    try { a.currentTime = ms / 1000; } catch (_) { /* not seekable yet */ }
    a.play().catch((err) => {
      // Browsers refuse sound until the user has interacted with the page: the pictures go
      // on, and the sound joins them at the user's first click or key.
      if (err?.name === 'NotAllowedError') this._resumeSoundOnGesture();
    });
  }

  _resumeSoundOnGesture() {
    if (this._gesture) return;
    const resume = () => {
      this._forgetGesture();
      if (!this._h || !this._audio) return;
      // Only while the pictures play at a speed that has sound, from where they are.
      const s = this._readState();
      if (!s.timerRunning || s.speed < 200 || s.speed > 5000) return;
      try { this._audio.currentTime = (s.interval * s.stepCount) / 1000; } catch (_) { /* not seekable yet */ }
      this._audio.play().catch(() => {});
    };
    this._gesture = resume;
    for (const type of GESTURES) document.addEventListener(type, resume, true);
  }

  _forgetGesture() {
    if (!this._gesture) return;
    for (const type of GESTURES) document.removeEventListener(type, this._gesture, true);
    this._gesture = null;
  }

  // ---- drawing ------------------------------------------------------------------------

  _observeSize() {
    this._resizeObserver = new ResizeObserver(() => this._resize());
    this._resizeObserver.observe(this._view);
    this._resize();
  }

  // The canvas has one pixel per device pixel, so that at origin size one stream pixel is
  // one pixel of the screen; the logic works in device pixels throughout.
  _resize() {
    if (!this._h) return;
    const dpr = window.devicePixelRatio || 1;
    this._dpr = dpr;
    const w = Math.round(this._view.clientWidth * dpr), h = Math.round(this._view.clientHeight * dpr);
    if (this._canvas.width !== w) this._canvas.width = w;
    if (this._canvas.height !== h) this._canvas.height = h;
    this._canvas.style.width = `${w / dpr}px`;
    this._canvas.style.height = `${h / dpr}px`;
    this._core._zv_resize(this._h, w, h);
    this._draw();
    this._watchPixelRatio(dpr);
  }

  // Zooming or moving to another screen changes the ratio without resizing the element.
  _watchPixelRatio(dpr) {
    if (this._ratioQuery?.dpr === dpr) return;
    this._ratioQuery?.media.removeEventListener('change', this._ratioQuery.onChange);
    const media = window.matchMedia(`(resolution: ${dpr}dppx)`);
    const onChange = () => this._resize();
    media.addEventListener('change', onChange);
    this._ratioQuery = { dpr, media, onChange };
  }

  _draw() {
    if (!this._h) return;
    const core = this._core;
    const s = this._readState();
    if (s.hasBitmap && s.bitmapSerial !== this._serial) {
      const ptr = core._zv_bitmap(this._h);
      const bytes = s.width * s.height * 4;
      const image = new ImageData(new Uint8ClampedArray(core.HEAPU8.buffer, ptr, bytes).slice(), s.width, s.height);
      if (this._picture.width !== s.width) this._picture.width = s.width;
      if (this._picture.height !== s.height) this._picture.height = s.height;
      this._picture.getContext('2d').putImageData(image, 0, 0);
      this._serial = s.bitmapSerial;
      this._emit('zov-frame', { step: s.stepCount, time: performance.now() });
    }
    const w = this._canvas.width, h = this._canvas.height;
    const p = core._zv_plan(this._h, w, h, 0, 0, w, h) >> 2;
    const plan = Array.from(core.HEAP32.subarray(p, p + 9));
    const [mode, sx, sy, sw, sh, dx, dy, dw, dh] = plan;
    const ctx = this._canvas.getContext('2d');
    ctx.imageSmoothingEnabled = false;
    if (mode === 0) {
      ctx.fillStyle = '#fff';
      ctx.fillRect(dx, dy, dw, dh);
      ctx.strokeStyle = '#000';
      ctx.strokeRect(0.5, 0.5, Math.max(0, w - 1), Math.max(0, h - 1));
      if (this._openStatus) {
        ctx.fillStyle = '#000';
        ctx.font = `${Math.round(12 * (this._dpr || 1))}px sans-serif`;
        ctx.textAlign = 'center';
        ctx.fillText(this._openStatus, w / 2, h / 2);
      }
    } else if (mode === 1) {
      // Parts of the client outside the picture stay white.
      ctx.fillStyle = '#fff';
      ctx.fillRect(dx, dy, dw, dh);
      const cw = Math.min(sw, s.width - sx), ch = Math.min(sh, s.height - sy);
      if (cw > 0 && ch > 0) ctx.drawImage(this._picture, sx, sy, cw, ch, dx, dy, cw, ch);
    } else if (mode === 2 && sw > 0 && sh > 0) {
      ctx.drawImage(this._picture, sx, sy, sw, sh, dx, dy, dw, dh);
    }
  }

  // ---- input --------------------------------------------------------------------------

  // A pointer position in device pixels of the view.
  _point(e) {
    const r = this._view.getBoundingClientRect();
    const dpr = this._dpr || 1;
    return [Math.round((e.clientX - r.left) * dpr), Math.round((e.clientY - r.top) * dpr)];
  }

  _bindInput() {
    const v = this._view;
    v.addEventListener('contextmenu', (e) => { e.preventDefault(); this._showMenu(e.clientX, e.clientY); });
    v.addEventListener('dblclick', (e) => {
      e.preventDefault();
      this._enqueue(() => this._core._zv_double_click(this._h, performance.now()));
    });
    v.addEventListener('wheel', (e) => {
      if (!this._h) return;
      const s = this._readState();
      if (s.fitMode !== 0 || (s.clientWidth === s.width && s.clientHeight === s.height)) return;
      e.preventDefault();
      // One notch is 120 units, positive away from the user.
      const scale = e.deltaMode === 1 ? 40 : e.deltaMode === 2 ? 120 * 3 : 1.2;
      this._core._zv_wheel(this._h, Math.round(-e.deltaY * scale * (this._dpr || 1)));
      this._afterCall();
    }, { passive: false });
    v.addEventListener('pointerdown', (e) => {
      if (!this._h || e.button !== 0) return;
      this._hideMenu();
      const [x, y] = this._point(e);
      this._core._zv_left_down(this._h, x, y);
      if (this._readState().dragging) v.setPointerCapture(e.pointerId);
      this._afterCall();
    });
    v.addEventListener('pointermove', (e) => {
      if (!this._h) return;
      const [x, y] = this._point(e);
      const leftOnly = e.buttons === 1 && !e.shiftKey && !e.ctrlKey && !e.altKey && !e.metaKey;
      this._core._zv_move(this._h, x, y, e.buttons !== 0 ? 1 : 0, leftOnly ? 1 : 0);
      this._afterCall();
    });
    const up = (e) => {
      if (!this._h || e.button !== 0) return;
      this._core._zv_left_up(this._h);
      this._afterCall();
    };
    v.addEventListener('pointerup', up);
    v.addEventListener('pointercancel', up);
  }

  // ---- context menu ---------------------------------------------------------------------

  _hideMenu() {
    this.shadowRoot.querySelectorAll('.menu').forEach((m) => m.remove());
    document.removeEventListener('pointerdown', this._outside, true);
    document.removeEventListener('keydown', this._keys, true);
  }

  _itemState(item) {
    if (!this._h || item.items) return { enabled: true, checked: false };
    if (item.id === ID.COPY || item.id === ID.ABOUT || item.id === ID.HOME) {
      return { enabled: item.id !== ID.COPY || this._core._zv_menu_enabled(this._h, item.id) === 1, checked: false };
    }
    return { enabled: this._core._zv_menu_enabled(this._h, item.id) === 1,
      checked: this._core._zv_menu_checked(this._h, item.id) === 1 };
  }

  _buildMenu(items, x, y) {
    const menu = document.createElement('div');
    menu.className = 'menu';
    menu.setAttribute('role', 'menu');
    for (const item of items) {
      if (item === null) {
        const sep = document.createElement('div');
        sep.className = 'sep';
        menu.append(sep);
        continue;
      }
      const text = item.id === ID.COPY && this._h ? this._text(TEXT.COPY) : item.text;
      const el = document.createElement('div');
      const st = this._itemState(item);
      el.className = 'item' + (st.enabled ? '' : ' disabled') + (st.checked ? ' checked' : '') +
        (item.items ? ' sub' : '');
      el.setAttribute('role', 'menuitem');
      el.dataset.text = text;
      if (item.id !== undefined) el.dataset.id = String(item.id);
      el.setAttribute('aria-disabled', String(!st.enabled));
      if (st.checked) el.setAttribute('aria-checked', 'true');
      el.append(menuLabel(text));
      el.addEventListener('click', (e) => {
        e.stopPropagation();
        if (item.items) {
          this.shadowRoot.querySelectorAll('.menu.submenu').forEach((m) => m.remove());
          const r = el.getBoundingClientRect();
          const sub = this._buildMenu(item.items, r.right, r.top);
          sub.classList.add('submenu');
          return;
        }
        if (!st.enabled) return;
        this._hideMenu();
        this._choose(item.id);
      });
      if (item.items) {
        el.addEventListener('pointerenter', () => el.click());
      }
      menu.append(el);
    }
    menu.style.left = `${x}px`;
    menu.style.top = `${y}px`;
    this.shadowRoot.append(menu);
    return menu;
  }

  _showMenu(x, y) {
    this._hideMenu();
    this._buildMenu(MENU, x, y);
    this._outside = (e) => { if (!e.composedPath().some((n) => n.classList?.contains('menu'))) this._hideMenu(); };
    this._keys = (e) => {
      if (e.key === 'Escape') { this._hideMenu(); return; }
      // The underlined letter chooses an item of the innermost open menu.
      const menus = this.shadowRoot.querySelectorAll('.menu');
      const menu = menus[menus.length - 1];
      for (const el of menu?.querySelectorAll('.item') ?? []) {
        const u = el.querySelector('u');
        if (u && u.textContent.toLowerCase() === e.key.toLowerCase()) { e.preventDefault(); el.click(); return; }
      }
    };
    document.addEventListener('pointerdown', this._outside, true);
    document.addEventListener('keydown', this._keys, true);
  }

  // Runs a menu command (also for scripts and tests: element.command(id)).
  command(id) { this._choose(id); }

  _choose(id) {
    if (id === ID.ABOUT) { this.AboutBox(); return; }
    if (id === ID.COPY) { this._copyPicture(); return; }
    this._enqueue(() => this._core._zv_command(this._h, id, performance.now()));
  }

  async _copyPicture() {
    if (!this._h || !this._readState().hasBitmap) return;
    try {
      const blob = await new Promise((resolve, reject) =>
        this._picture.toBlob((b) => (b ? resolve(b) : reject(new Error('no picture'))), 'image/png'));
      await navigator.clipboard.write([new ClipboardItem({ 'image/png': blob })]);
      this._emit('zov-copied', { size: blob.size });
    } catch (err) {
      this._strip.textContent = `Copy failed: ${err.message ?? err}`;
    }
  }
}

if (!customElements.get('zov-player')) customElements.define('zov-player', ZovPlayer);

export { ZovPlayer, loadCore };
