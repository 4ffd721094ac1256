// Viewer benchmark: decode speed of the WebAssembly build in Debian's chromium against the
// native build, on every corpus clip, in one run; and the time to the first picture of a
// 1920 x 1080 stream in a page. Both sides decode each stream the same way: --warmup W
// untimed decodes (default 1), then --runs R timed ones (default 5), each through a fresh
// decoder; the mean of the timed runs and the slowest record among them are reported.
//
// How to run (after the native build with benchmarks on, and the wasm build):
//   scripts/build.sh build && ninja -C build viewer_bench_native && bash scripts/build-wasm.sh build
//   (cd tests/viewer/web && npm ci) && node bench/viewer_bench.mjs [--build build] [--frames N]
// Streams are encoded once with `zovrec stream-encode` from the clips in ../shared/bench/corpus
// (decoded by ffmpeg to BMPs) and cached in $TMPDIR/zov-viewer-bench. --frames N limits each
// clip to its first N frames; --rounds N (default 3) alternates N native and browser passes
// and keeps each side's best pass, since the machine is shared.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const top = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const args = process.argv.slice(2);
const opt = (name, dflt) => { const i = args.indexOf(name); return i >= 0 ? args[i + 1] : dflt; };
const build = path.resolve(top, opt('--build', 'build'));
const maxFrames = Number(opt('--frames', '0'));
const corpus = path.resolve(top, '..', 'shared', 'bench', 'corpus');
const cache = path.join(os.tmpdir(), 'zov-viewer-bench');
const zovrec = path.join(build, 'bin', 'zovrec');
const require = createRequire(path.join(top, 'tests/viewer/web/package.json'));
const { chromium } = require('playwright-core');

fs.mkdirSync(cache, { recursive: true });
const clips = fs.readdirSync(corpus).filter((f) => f.endsWith('.mkv')).sort();

// ---- streams ---------------------------------------------------------------------------
const site = fs.mkdtempSync(path.join(os.tmpdir(), 'zov-viewer-bench-site-'));
const streams = [];
for (const clip of clips) {
  const name = path.basename(clip, '.mkv') + (maxFrames ? `-${maxFrames}` : '');
  const zov = path.join(cache, `${name}.zov`);
  if (!fs.existsSync(zov)) {
    const bmp = path.join(cache, `${name}-bmp`);
    fs.mkdirSync(bmp, { recursive: true });
    const limit = maxFrames ? ['-frames:v', String(maxFrames)] : [];
    console.error(`encoding ${clip}...`);
    execFileSync('ffmpeg', ['-v', 'error', '-i', path.join(corpus, clip), '-fps_mode', 'passthrough', ...limit,
      '-pix_fmt', 'bgr24', path.join(bmp, 'file%04d.bmp')]);
    execFileSync(zovrec, ['stream-encode', path.join(bmp, 'file0001.bmp'), zov, '--interval', '250']);
    fs.rmSync(bmp, { recursive: true, force: true });
  }
  fs.copyFileSync(zov, path.join(site, `${name}.zov`));
  streams.push({ clip, name, zov });
}

const warmup = Number(opt('--warmup', '1'));
const runs = Number(opt('--runs', '5'));

// ---- native ----------------------------------------------------------------------------
// One pass over every stream: warm-up, then the timed runs.
function nativePass() {
  const json = JSON.parse(execFileSync(path.join(build, 'bin', 'viewer_bench_native'),
    [...streams.map((s) => s.zov), `--warmup=${warmup}`, `--runs=${runs}`, '--benchmark_format=json'],
    { encoding: 'utf8', maxBuffer: 1 << 26 }));
  const out = {};
  for (const b of json.benchmarks) out[b.name.replace(/^decode\//, '').replace(/\.zov.*$/, '')] = b;
  return out;
}
const rounds = Number(opt('--rounds', '3'));

// ---- browser ---------------------------------------------------------------------------
fs.mkdirSync(path.join(site, 'zov-viewer'));
const viewerFiles = path.join(build, 'bin', 'data', 'viewer');
for (const f of fs.readdirSync(viewerFiles)) fs.copyFileSync(path.join(viewerFiles, f), path.join(site, 'zov-viewer', f));
fs.writeFileSync(path.join(site, 'bench.htm'), `<!DOCTYPE html><meta charset="utf-8"><link rel="icon" href="data:,">
<script type="module">
import { loadCore } from './zov-viewer/zov-player.js';
window.decodeBench = async (name, warmup, runs) => {
  const core = await loadCore();
  const bytes = new Uint8Array(await (await fetch(name + '.zov')).arrayBuffer());
  const h = core._zv_create();
  core.HEAPU8.set(bytes, core._zv_buffer(h, bytes.length));
  let frames = 0, total = 0, slowest = 0;
  for (let i = 0; i < warmup; i++) core._zv_decode_all(h, bytes.length);
  for (let i = 0; i < runs; i++) {
    const t0 = performance.now();
    frames = core._zv_decode_all(h, bytes.length);
    total += performance.now() - t0;
    slowest = Math.max(slowest, core._zv_slowest_record_ms());
  }
  core._zv_destroy(h);
  return { frames, msPerRun: total / runs, slowest };
};
</script>`);
const big = streams.find((s) => s.name.startsWith('browser1080'));
if (big) {
  fs.writeFileSync(path.join(site, 'first.htm'), `<!DOCTYPE html><meta charset="utf-8"><link rel="icon" href="data:,">
<script>window.firstPicture = new Promise((r) => document.addEventListener('zov-frame', (e) => r(e.detail.time), { once: true }));</script>
<script type="module" src="zov-viewer/zov-player.js"></script>
<zov-player video-file="${big.name}.zov" still-image-frame-no="1"></zov-player>`);
}

const port = 20000 + Math.floor(Math.random() * 20000);
const server = spawn(zovrec, ['serve', site, '--port', String(port)], { stdio: ['ignore', 'pipe', 'inherit'] });
await new Promise((r) => server.stdout.once('data', r));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zov-bench-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium', headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const page = await context.newPage();
  await page.goto(`http://127.0.0.1:${port}/bench.htm`);
  await page.waitForFunction(() => window.decodeBench);
  const best = {};
  for (let round = 0; round < rounds; round++) {
    const native = nativePass();
    for (const s of streams) {
      const w = await page.evaluate(([n, wu, r]) => window.decodeBench(n, wu, r), [s.name, warmup, runs]);
      const n = native[s.name];
      const b = best[s.name] ??= { clip: s.name, frames: w.frames, native_fps: 0, wasm_fps: 0,
        native_slowest_ms: Infinity, wasm_slowest_ms: Infinity };
      b.native_fps = Math.max(b.native_fps, n.frames_per_second);
      b.wasm_fps = Math.max(b.wasm_fps, (w.frames * 1000) / w.msPerRun);
      b.native_slowest_ms = Math.min(b.native_slowest_ms, n.slowest_frame_ms);
      b.wasm_slowest_ms = Math.min(b.wasm_slowest_ms, w.slowest);
    }
  }
  const rows = Object.values(best).map((r) => ({ ...r, ratio: r.wasm_fps / r.native_fps }));
  console.log(`each side: ${warmup} untimed decode(s), then the mean of ${runs} timed ones; best of ${rounds} ` +
    'alternating rounds; slowest frame = the lowest per-round maximum');
  console.log('clip            frames  native fr/s  wasm fr/s  wasm/native  slowest frame native / wasm (ms)');
  for (const r of rows) {
    console.log(`${r.clip.padEnd(15)} ${String(r.frames).padStart(6)}  ${r.native_fps.toFixed(1).padStart(11)}  ` +
      `${r.wasm_fps.toFixed(1).padStart(9)}  ${r.ratio.toFixed(2).padStart(11)}  ` +
      `${r.native_slowest_ms.toFixed(2)} / ${r.wasm_slowest_ms.toFixed(2)}`);
  }
  if (big) {
    const times = [];
    for (let i = 0; i < 3; i++) {
      const p = await context.newPage();
      await p.goto(`http://127.0.0.1:${port}/first.htm`);
      times.push(await p.evaluate(() => window.firstPicture));
      await p.close();
    }
    times.sort((a, b) => a - b);
    console.log(`time to the first picture of ${big.name} (1920 x 1080), from navigation start: ` +
      `median ${times[1].toFixed(1)} ms (runs ${times.map((t) => t.toFixed(1)).join(', ')})`);
  }
} finally {
  await context.close();
  server.kill('SIGTERM');
  fs.rmSync(profile, { recursive: true, force: true });
  fs.rmSync(site, { recursive: true, force: true });
}
