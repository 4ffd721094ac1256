// Loads the WebAssembly viewer module built for node and plays the part of the page: it
// answers the module's probes and source requests from bytes held in memory, so tests run
// the page's own calls without a browser.
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const top = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
export const wasmDir = path.resolve(process.env.ZOV_WASM_DIR || path.join(top, 'build', 'wasm', 'bin'));

export const EV = { OPEN_SOURCE: 1, CLOSE_SOURCE: 2, PROBE: 3, START_TIMER: 4, KILL_TIMER: 5 };
export const CMD = { STOP: 32769, NEXT: 32770 };
const STATE_FIELDS = ['width', 'height', 'interval', 'speed', 'fitMode', 'panX', 'panY',
  'stepCount', 'timerRunning', 'sourceOpen', 'hasBitmap', 'busy', 'loaded', 'stillFrameNo',
  'wantsBytes', 'bitmapSerial', 'clientWidth', 'clientHeight', 'dragging', 'recordLength'];

export async function loadCore() {
  const file = path.join(wasmDir, 'zov-viewer-core-node.cjs');
  if (!fs.existsSync(file)) throw new Error(`${file} is missing: build it with scripts/build-wasm.sh`);
  const require = createRequire(import.meta.url);
  // Handed over as bytes: this module's loader would try fetch() on a path under node 18+.
  const wasmBinary = fs.readFileSync(path.join(wasmDir, 'zov-viewer-core-node.wasm'));
  return require(file)({ wasmBinary });
}

// One player of the module whose "server" holds `files` (name -> bytes).
export class NodePlayer {
  constructor(core, files) {
    this.core = core;
    this.files = files;
    this.now = 0;
    this.h = core._zv_create();
    // With keepSourcesOpen, opened sources get no bytes until feedAll() hands them some.
    this.keepSourcesOpen = false;
    this.sources = new Set();
  }

  // Feeds `bytes` to every open source.
  feedAll(bytes) {
    for (const id of this.sources) {
      const n = this.write(bytes);
      if (n < 0) return;
      this.now += 1;
      this.core._zv_feed(this.h, id, n, this.now);
    }
    this.drain();
  }

  text(which) { return this.core.UTF8ToString(this.core._zv_text(this.h, which)); }

  write(bytes) {
    const ptr = this.core._zv_buffer(this.h, bytes.length);
    if (!ptr) return -1;
    this.core.HEAPU8.set(bytes, ptr);
    return bytes.length;
  }

  bytesOf(url) {
    return this.files.get(decodeURIComponent(new URL(url).pathname.slice(1)));
  }

  // Handles every request the module made during the last call.
  drain() {
    const c = this.core;
    for (let p = c._zv_next_event(this.h); p; p = c._zv_next_event(this.h)) {
      const kind = c.HEAP32[p >> 2];
      const arg = c.HEAP32[(p >> 2) + 1];
      const text = c.UTF8ToString(c.HEAPU32[(p >> 2) + 4]);
      if (kind === EV.PROBE) {
        const bytes = this.bytesOf(text) ?? new Uint8Array(0);
        const n = this.write(bytes.subarray(0, 1000));
        c._zv_probe_result(this.h, arg, n, this.now);
        this.drain();
      } else if (kind === EV.CLOSE_SOURCE) {
        this.sources.delete(arg);
      } else if (kind === EV.OPEN_SOURCE) {
        const bytes = this.bytesOf(text);
        this.sources.add(arg);
        if (this.keepSourcesOpen && bytes) {
          c._zv_feed(this.h, arg, this.write(bytes), this.now);
        } else if (!bytes) {
          c._zv_feed_error(this.h, arg, this.now);
        } else {
          c._zv_feed(this.h, arg, this.write(bytes), this.now);
          c._zv_feed_end(this.h, arg, this.now);
        }
        this.drain();
      }
    }
  }

  load(videoFile, pageUrl = 'http://vectors.test/page.htm') {
    const name = new TextEncoder().encode(videoFile);
    this.core._zv_set_text(this.h, 0, this.write(name));
    const page = new TextEncoder().encode(pageUrl);
    this.core._zv_load(this.h, this.write(page), this.now);
    this.drain();
  }

  command(id) {
    this.now += 1;
    this.core._zv_command(this.h, id, this.now);
    this.drain();
  }

  state() {
    const ptr = this.core._zv_state(this.h) >> 2;
    const s = {};
    STATE_FIELDS.forEach((name, i) => { s[name] = this.core.HEAP32[ptr + i]; });
    return s;
  }

  // The display bitmap, RGBA top row first (a copy).
  bitmap() {
    const s = this.state();
    const ptr = this.core._zv_bitmap(this.h);
    return this.core.HEAPU8.slice(ptr, ptr + s.width * s.height * 4);
  }

  destroy() { this.core._zv_destroy(this.h); }
}

const CRC_TABLE = (() => {
  const t = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    t[n] = c >>> 0;
  }
  return t;
})();

// zlib's crc32.
export function crc32(bytes) {
  let c = 0xffffffff;
  for (let i = 0; i < bytes.length; i++) c = CRC_TABLE[(c ^ bytes[i]) & 255] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

// RGBA -> blue, green, red bytes, the order the vectors' checksums are taken in.
export function bgr(rgba) {
  const out = new Uint8Array((rgba.length / 4) * 3);
  for (let i = 0, o = 0; i < rgba.length; i += 4, o += 3) {
    out[o] = rgba[i + 2];
    out[o + 1] = rgba[i + 1];
    out[o + 2] = rgba[i];
  }
  return out;
}
