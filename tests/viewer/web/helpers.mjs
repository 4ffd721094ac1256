// Fixtures for the browser tests: colourful bitmap series, streams made from them with
// zovrec, the exported folder with its pages, the servers, and reading the player back.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const top = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
export const buildDir = process.env.ZOV_BUILD_DIR || path.join(top, 'build');
export const zovrec = path.join(buildDir, 'bin', 'zovrec');

// ---- bitmaps -------------------------------------------------------------------------------

// A 24-bit bottom-up BMP, rows padded to 4 bytes.
export function encodeBmp(width, height, rgbAt) {
  const row = (width * 3 + 3) & ~3;
  const buf = Buffer.alloc(54 + row * height);
  buf.write('BM', 0, 'latin1');
  buf.writeUInt32LE(buf.length, 2);
  buf.writeUInt32LE(54, 10);
  buf.writeUInt32LE(40, 14);
  buf.writeInt32LE(width, 18);
  buf.writeInt32LE(height, 22);
  buf.writeUInt16LE(1, 26);
  buf.writeUInt16LE(24, 28);
  buf.writeUInt32LE(row * height, 34);
  for (let y = 0; y < height; y++) {
    const at = 54 + (height - 1 - y) * row;
    for (let x = 0; x < width; x++) {
      const [r, g, b] = rgbAt(x, y);
      buf[at + 3 * x] = b;
      buf[at + 3 * x + 1] = g;
      buf[at + 3 * x + 2] = r;
    }
  }
  return buf;
}

// RGBA top-down pixels of a 24-bit bottom-up BMP.
export function decodeBmp(buf) {
  const offset = buf.readUInt32LE(10);
  const width = buf.readInt32LE(18);
  const height = buf.readInt32LE(22);
  const row = (width * 3 + 3) & ~3;
  const rgba = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; y++) {
    const at = offset + (height - 1 - y) * row;
    for (let x = 0; x < width; x++) {
      const o = (y * width + x) * 4;
      rgba[o] = buf[at + 3 * x + 2];
      rgba[o + 1] = buf[at + 3 * x + 1];
      rgba[o + 2] = buf[at + 3 * x];
      rgba[o + 3] = 255;
    }
  }
  return { width, height, rgba };
}

// Frame k of a colourful series: vivid bands (two colours a block: region-coded), a box
// that moves across them, a noisy patch (many colours: raw blocks) and a gradient row.
const PALETTE = [[230, 30, 40], [20, 170, 60], [30, 60, 220], [240, 210, 20], [200, 40, 200], [20, 200, 210]];
export function testFrame(k, width, height) {
  let seed = 99991 + k * 7919;
  return (x, y) => {
    if (x >= 4 + 5 * k && x < 20 + 5 * k && y >= 6 && y < 18) return [250, 120 + 20 * k, 0];
    if (x >= width - 24 && x < width - 8 && y >= height - 16) {
      seed = (seed * 1103515245 + 12345) >>> 0;
      return [seed >>> 24, (seed >>> 16) & 255, (seed >>> 8) & 255];
    }
    if (y >= 32 && y < 48 && x < 32) return [(x * 8 + k * 9) & 255, (y * 5) & 255, 128];
    return PALETTE[((x >> 3) + (y >> 4) + k) % PALETTE.length];
  };
}

export function writeSeries(dir, count, width, height, frameOf = (i) => i) {
  fs.mkdirSync(dir, { recursive: true });
  for (let i = 0; i < count; i++) {
    const name = path.join(dir, `file${String(i + 1).padStart(4, '0')}.bmp`);
    fs.writeFileSync(name, encodeBmp(width, height, testFrame(frameOf(i), width, height)));
  }
  return path.join(dir, 'file0001.bmp');
}

export function run(args, opts = {}) {
  return execFileSync(zovrec, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'], ...opts });
}

export function hasCommand(name) {
  try {
    return run(['help']).split('\n').some((l) => l.trim().startsWith(name + ' '));
  } catch (_) {
    return false;
  }
}

// Encodes a series into OUT.zov (adding the end marker an export writes, unless told not
// to), writes the pages beside it and decodes it natively for the expected pixels.
// `headerInterval` then writes another interval into the header, one the writer refuses to
// make (1 to 10 ms) but streams from elsewhere may carry.
export function makeStream(dir, name, { count, width, height, interval, frameOf, endMarker = true, headerInterval }) {
  const series = writeSeries(path.join(dir, `${name}-bmp`), count, width, height, frameOf);
  const out = path.join(dir, `${name}.zov`);
  run(['stream-encode', series, out, '--interval', String(interval)]);
  if (headerInterval !== undefined) {
    const bytes = fs.readFileSync(out);
    bytes.writeInt16BE(headerInterval, 10);
    fs.writeFileSync(out, bytes);
  }
  if (endMarker) {
    const bytes = fs.readFileSync(out);
    if (bytes.readUInt32BE(bytes.length - 4) !== 0xffffffff) fs.appendFileSync(out, Buffer.from([255, 255, 255, 255]));
  }
  run(['web-pages', out]);
  const decoded = path.join(dir, `${name}-decoded`);
  run(['stream-decode', out, decoded]);
  const frames = [];
  for (let i = 0; i < count; i++) {
    const f = `file${String(i + 1).padStart(4, '0')}.bmp`;
    frames.push({
      source: decodeBmp(fs.readFileSync(path.join(series, '..', f))),
      native: decodeBmp(fs.readFileSync(path.join(decoded, f))),
    });
  }
  return { path: out, frames };
}

// ---- servers -------------------------------------------------------------------------------

export async function freePort() {
  const srv = http.createServer();
  await new Promise((r) => srv.listen(0, '127.0.0.1', r));
  const { port } = srv.address();
  await new Promise((r) => srv.close(r));
  return port;
}

// zovrec serve DIR on its own port; resolves once it printed its address.
export async function startZovrecServe(dir) {
  const port = await freePort();
  const child = spawn(zovrec, ['serve', dir, '--port', String(port)], { stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  await new Promise((resolve, reject) => {
    const t = setTimeout(() => reject(new Error(`zovrec serve did not start: ${out}`)), 10000);
    child.stdout.on('data', (d) => {
      out += d;
      if (out.includes(`http://127.0.0.1:${port}/`)) { clearTimeout(t); resolve(); }
    });
    child.on('exit', (code) => { clearTimeout(t); reject(new Error(`zovrec serve exited ${code}: ${out}`)); });
  });
  return { port, url: `http://127.0.0.1:${port}`, output: out, close: () => child.kill('SIGTERM') };
}

const TYPES = { '.htm': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.mp3': 'audio/mpeg' };

// A server that trickles ".zov" files (chunk bytes every `everyMs`) and serves the rest at
// once. `finished` tells whether a trickled body has been sent completely; requests for the
// paths in `hang` are never answered.
export async function startTrickleServer(dir, { chunk = 512, everyMs = 40 } = {}) {
  const state = { finished: new Map(), hang: new Set() };
  const server = http.createServer((req, res) => {
    if (state.hang.has(new URL(req.url, 'http://x').pathname)) return;
    const file = path.join(dir, decodeURIComponent(new URL(req.url, 'http://x').pathname));
    if (!file.startsWith(dir) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404, { 'Content-Type': 'text/html' });
      res.end('<html><body>404 Not Found</body></html>');
      return;
    }
    const body = fs.readFileSync(file);
    const type = TYPES[path.extname(file)] || 'application/octet-stream';
    if (!file.endsWith('.zov')) {
      res.writeHead(200, { 'Content-Type': type, 'Content-Length': body.length, 'Cache-Control': 'no-store' });
      res.end(body);
      return;
    }
    const key = path.basename(file);
    state.finished.set(key, false);
    res.writeHead(200, { 'Content-Type': type, 'Content-Length': body.length, 'Cache-Control': 'no-store' });
    let at = 0;
    const timer = setInterval(() => {
      if (res.destroyed) { clearInterval(timer); return; }
      res.write(body.subarray(at, at + chunk));
      at += chunk;
      if (at >= body.length) {
        clearInterval(timer);
        res.end();
        state.finished.set(key, true);
      }
    }, everyMs);
    res.on('close', () => clearInterval(timer));
  });
  const port = await freePort();
  await new Promise((r) => server.listen(port, '127.0.0.1', r));
  return { port, url: `http://127.0.0.1:${port}`, state, close: () => new Promise((r) => { server.closeAllConnections(); server.close(r); }) };
}

// ---- the player in a page -----------------------------------------------------------------

export async function waitLoaded(page, selector = 'zov-player', timeout = 15000) {
  await page.waitFor((sel) => {
    const el = document.querySelector(sel);
    return el && el.state && el.state !== 'loading' && el.state !== 'idle';
  }, selector, timeout);
}

// RGBA pixels of the player's canvas.
export async function canvasPixels(page, selector = 'zov-player') {
  return page.evaluate((sel) => {
    const c = document.querySelector(sel).shadowRoot.querySelector('canvas');
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height);
    return { width: c.width, height: c.height, data: Array.from(d.data) };
  }, selector);
}

// Compares the canvas with the source frame: every pixel equal except those of the last
// column that the codec gives back as its region background, which must then equal the
// native decoder's picture exactly. Returns a description of the first difference or ''.
export function compareFrame(canvas, frame) {
  const { source, native } = frame;
  if (canvas.width !== source.width || canvas.height !== source.height)
    return `canvas ${canvas.width}x${canvas.height}, frame ${source.width}x${source.height}`;
  for (let y = 0; y < source.height; y++) {
    for (let x = 0; x < source.width; x++) {
      const o = (y * source.width + x) * 4;
      for (let c = 0; c < 4; c++) {
        const got = canvas.data[o + c];
        if (got === source.rgba[o + c]) continue;
        if (x === source.width - 1 && got === native.rgba[o + c]) continue;
        return `pixel (${x},${y}) channel ${c}: ${got}, source ${source.rgba[o + c]}, native ${native.rgba[o + c]}`;
      }
      if (x === source.width - 1) {
        // The guard column must still be what the native decoder gives, all channels.
        for (let c = 0; c < 3; c++)
          if (canvas.data[o + c] !== native.rgba[o + c]) return `guard pixel (${x},${y}) differs from native`;
      }
    }
  }
  return '';
}

// Opens the context menu and chooses an item (in the submenu `sub` when given).
export async function rightClickMenu(page, label, sub, selector = 'zov-player') {
  await openMenu(page, selector);
  if (sub) await page.clickIn(selector, `.menu .item[data-text="${sub}"]`);
  await page.clickIn(selector, `.menu .item[data-text="${label}"]`);
}

export async function openMenu(page, selector = 'zov-player') {
  await page.clickIn(selector, null, { dx: 5, dy: 5, button: 'right' });
  await page.waitFor((sel) => document.querySelector(sel).shadowRoot.querySelector('.menu'), selector);
}

// An attribute of the last menu item matching `item` (in the innermost open menu).
export function menuAttr(page, item, name, selector = 'zov-player') {
  return page.evaluate(([sel, it, n]) => {
    const all = document.querySelector(sel).shadowRoot.querySelectorAll(`.menu .item${it}`);
    return all.length ? all[all.length - 1].getAttribute(n) : null;
  }, [selector, item, name]);
}

// An init script that keeps the page's pending timeouts in window.__liveTimers.
export function trackTimers() {
  const live = new Set();
  const set = window.setTimeout.bind(window);
  const clear = window.clearTimeout.bind(window);
  window.setTimeout = (fn, ms, ...args) => {
    const id = set((...a) => { live.delete(id); if (typeof fn === 'function') fn(...a); }, ms, ...args);
    live.add(id);
    return id;
  };
  window.clearTimeout = (id) => { live.delete(id); clear(id); };
  window.__liveTimers = live;
}
