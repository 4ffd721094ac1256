// <zov-player> in a real browser (ZOV_BROWSER: chromium or firefox), against pages made by
// the export and served from 127.0.0.1: pixels after each step, pacing, trickled downloads,
// still frames, the end of a stream, speeds and sound, fit modes and panning, the menu, and
// the file server.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { browserName, launchBrowser } from './browsers.mjs';
import {
  buildDir, canvasPixels, compareFrame, encodeBmp, hasCommand, makeStream, menuAttr, openMenu,
  rightClickMenu, run, startTrickleServer, startZovrecServe, trackTimers, waitLoaded, writeSeries,
} from './helpers.mjs';

const W = 67, H = 45;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'zov-viewer-web-'));
const site = path.join(work, 'site');
let demo, quick, short10, pace, oddName, serve, trickle, browser;
const errors = [];

function page(name, body) {
  fs.writeFileSync(path.join(site, name), `<!DOCTYPE html><html><head><meta charset="utf-8">
<link rel="icon" href="data:,"><script type="module" src="zov-viewer/zov-player.js"></script>
<title>${name}</title></head><body style="margin:0">${body}</body></html>\n`);
}

async function player(p) {
  return p.evaluate(() => {
    const el = document.querySelector('zov-player');
    return { state: el.state, step: el.stepCount, speed: el.speed, open: el.openStatus,
      status: el.statusLine, title: el.title, strip: el.shadowRoot.querySelector('.strip').textContent };
  });
}

async function stop(p) {
  await p.evaluate(() => document.querySelector('zov-player').command(32769));
  await p.waitFor(() => document.querySelector('zov-player').state !== 'playing');
}

// Frame times (ms) of the next `count` pictures shown.
async function nextFrameTimes(p, count) {
  await p.evaluate(() => { window.__frames.length = 0; });
  await p.waitFor((n) => window.__frames.length >= n, count);
  return p.evaluate(() => window.__frames.map((x) => x.time));
}

function medianGap(times) {
  const d = [];
  for (let i = 1; i < times.length; i++) d.push(times[i] - times[i - 1]);
  d.sort((a, b) => a - b);
  return d[d.length >> 1];
}

before(async () => {
  fs.mkdirSync(site, { recursive: true });
  // Frame 4 repeats frame 3: the stream holds a record of length 0 there.
  demo = makeStream(site, 'demo', { count: 6, width: W, height: H, interval: 100, frameOf: (i) => (i === 3 ? 2 : i) });
  quick = makeStream(site, 'quick', { count: 3, width: W, height: H, interval: 40 });
  short10 = makeStream(site, 'short10', { count: 3, width: W, height: H, interval: 100, headerInterval: 10 });
  pace = makeStream(site, 'pace', { count: 40, width: 40, height: 30, interval: 100 });
  // A name with the characters a URL gives meaning to.
  oddName = makeStream(site, 'a#b?c%d', { count: 2, width: 24, height: 20, interval: 100 });
  for (const mp3 of ['pace.mp3', 'a#b?c%d.mp3']) {
    execFileSync('ffmpeg', ['-v', 'error', '-f', 'lavfi', '-i', 'sine=frequency=440:duration=5', '-c:a', 'libmp3lame',
      '-y', path.join(site, mp3)]);
  }
  page('end.htm', '<p id="end">the end</p>');
  // Noise does not compress: 30 frames of it make a stream longer than a player reads ahead.
  const noise = path.join(site, 'noise-bmp');
  fs.mkdirSync(noise);
  let seed = 7;
  for (let i = 1; i <= 30; i++) {
    fs.writeFileSync(path.join(noise, `file${String(i).padStart(4, '0')}.bmp`), encodeBmp(320, 240, () => {
      seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
      return [seed >>> 24, (seed >>> 16) & 255, (seed >>> 8) & 255];
    }));
  }
  run(['stream-encode', path.join(noise, 'file0001.bmp'), path.join(site, 'noise.zov'), '--interval', '100']);
  page('noise.htm', '<zov-player video-file="noise.zov"></zov-player>');
  page('never.htm', '<zov-player video-file="never.zov"></zov-player>');
  fs.copyFileSync(path.join(site, 'quick.zov'), path.join(site, 'quiet.zov'));
  page('quiet.htm', '<zov-player video-file="quiet.zov"></zov-player>');
  // A header asking for a 4096 x 4096 picture (64 MiB), one empty frame record, the end.
  const hostile = Buffer.alloc(12 + 4 + 17 + 4);
  hostile.write('ZV01', 0, 'latin1');
  hostile.writeUInt16BE(4096, 4);
  hostile.writeUInt16BE(4096, 6);
  hostile[8] = hostile[9] = 16;
  hostile.writeUInt32BE(17, 12);
  hostile.writeUInt32BE(0xffffffff, 33);
  fs.writeFileSync(path.join(site, 'hostile.zov'), hostile);
  page('hostile.htm', `${'<zov-player class="hostile" video-file="hostile.zov" style="width:64px;height:80px"></zov-player>'.repeat(4)}
<zov-player id="good" video-file="demo.zov"></zov-player>`);
  page('still.htm', '<zov-player video-file="demo.zov" still-image-frame-no="3"></zov-player>');
  fs.writeFileSync(path.join(site, 'scripted.htm'), `<!DOCTYPE html><html><head><meta charset="utf-8">
<link rel="icon" href="data:,"></head><body><zov-player></zov-player>
<script>const el = document.querySelector('zov-player'); el.VideoFile = 'demo.zov'; el.ShowFrameId = 2;</script>
<script type="module" src="zov-viewer/zov-player.js"></script></body></html>\n`);
  page('short10.htm', '<zov-player video-file="short10.zov"></zov-player>');
  page('missing.htm', '<zov-player video-file="missing.zov"></zov-player>');
  page('end-relative.htm', '<zov-player video-file="quick.zov" url-after-play="end.htm"></zov-player>');
  page('end-js.htm', '<zov-player video-file="quick.zov" url-after-play="javascript:document.title=\'hacked\'"></zov-player>');
  page('big.htm', `<zov-player video-file="demo.zov" style="width:${2 * W}px;height:${2 * H + 16}px"></zov-player>`);
  // Room around the player so that drags far past its edges stay inside the window.
  page('small.htm', '<div style="padding:250px"><zov-player video-file="demo.zov" style="width:30px;height:36px"></zov-player></div>');
  serve = await startZovrecServe(site);
  trickle = await startTrickleServer(site, { chunk: 200, everyMs: 30 });
  page('end-absolute.htm', `<zov-player video-file="quick.zov" url-after-play="${trickle.url}/end.htm"></zov-player>`);
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  serve?.close();
  await trickle?.close();
  fs.rmSync(work, { recursive: true, force: true });
});

describe('playing the exported page', () => {
  test('every step shows the source frame, a length-0 record keeps the picture', async () => {
    const p = await browser.open(`${serve.url}/demo.htm`, errors);
    await waitLoaded(p);
    // Without an end page the stream plays through, reopens and stops on its first frame.
    await p.waitFor(() => document.querySelector('zov-player').state === 'stopped');
    const info = await player(p);
    assert.equal(info.open, 'Open OK!');
    assert.match(info.status, /demo\.zov, W67\*H45, 100 msec per frame$/);
    assert.equal(info.title, info.status);
    assert.equal(info.strip, info.status);
    let step = info.step;
    assert.equal(step, 1);
    // The comparison can fail: the first picture is not the second frame, nor itself with
    // red and blue swapped.
    const firstShown = await canvasPixels(p);
    assert.notEqual(compareFrame(firstShown, demo.frames[1]), '');
    const swapped = { ...firstShown, data: firstShown.data.map((v, i) => (i % 4 === 0 ? firstShown.data[i + 2] : i % 4 === 2 ? firstShown.data[i - 2] : v)) };
    assert.notEqual(compareFrame(swapped, demo.frames[0]), '');
    for (;;) {
      const diff = compareFrame(await canvasPixels(p), demo.frames[step - 1]);
      assert.equal(diff, '', `frame ${step}: ${diff}`);
      if (step === demo.frames.length) break;
      await p.clickIn('zov-player', null, { dx: 3, dy: 3, count: 2 });
      await p.waitFor((s) => document.querySelector('zov-player').stepCount === s + 1, step);
      step += 1;
    }
    await p.close();
  });

  test('frames arrive at the interval divided by the speed', async () => {
    const p = await browser.open(`${serve.url}/pace-ocx.htm`, errors);
    await waitLoaded(p);
    const gaps = async () => medianGap(await nextFrameTimes(p, 7));
    const normal = await gaps();
    assert.ok(Math.abs(normal - 100) < 20, `median gap ${normal} ms at normal speed`);
    await rightClickMenu(p, 'Fast * 2', 'Spee&d');
    const fast = await gaps();
    assert.ok(Math.abs(fast - 50) < 15, `median gap ${fast} ms at speed 2000`);
    await p.close();
  });

  test('a project exported with zovrec export plays in its page', { skip: !hasCommand('export') && 'no export command' }, async () => {
    const dir = path.join(site, 'proj');
    const first = writeSeries(path.join(dir, 'bmp'), 3, 50, 38, (i) => i + 1);
    const project = path.join(dir, 'proj.scp');
    run(['import-bmp', project, first]);
    run(['export', project, '--format', 'zov', '--out', path.join(dir, 'proj.zov')]);
    run(['stream-decode', path.join(dir, 'proj.zov'), path.join(dir, 'decoded')]);
    assert.ok(fs.existsSync(path.join(dir, 'proj.htm')) && fs.existsSync(path.join(dir, 'proj-ocx.htm')));
    const { decodeBmp } = await import('./helpers.mjs');
    const p = await browser.open(`${serve.url}/proj/proj-ocx.htm`, errors);
    await waitLoaded(p);
    await stop(p);
    // The step counter can move before the canvas has painted that step: compare once the
    // picture has settled (a few animation frames at most), with the step read each time.
    let diff = 'not compared';
    for (let tries = 0; tries < 30 && diff !== ''; ++tries) {
      if (tries > 0) await p.evaluate(() => new Promise((done) => requestAnimationFrame(() => done())));
      const step = (await player(p)).step;
      const f = `file${String(step).padStart(4, '0')}.bmp`;
      const frame = { source: decodeBmp(fs.readFileSync(path.join(dir, 'bmp', f))),
        native: decodeBmp(fs.readFileSync(path.join(dir, 'decoded', f))) };
      diff = compareFrame(await canvasPixels(p), frame);
    }
    assert.equal(diff, '');
    await p.close();
  });

  // The sound of a recording (here sox's tone, encoded by lame as a recording's would be) goes
  // with the export and plays with the stream; the browsers are started with autoplay allowed
  // (chromium --autoplay-policy=no-user-gesture-required, firefox media.autoplay.default 0).
  const haveLame = (() => { try { execFileSync('lame', ['--version'], { stdio: 'ignore' }); execFileSync('sox', ['--version'], { stdio: 'ignore' }); return true; } catch (_) { return false; } })();
  test("the project's MP3 travels with its export and plays in the page", { skip: (!hasCommand('export') && 'no export command') || (!haveLame && 'no lame or sox (scripts/deps/sound.txt)') }, async () => {
    const dir = path.join(site, 'talk');
    const first = writeSeries(path.join(dir, 'bmp'), 40, 50, 38, (i) => i + 1);
    const project = path.join(dir, 'film.scp');
    run(['import-bmp', project, first]);
    execFileSync('sox', ['-q', '-n', '-r', '22050', '-c', '1', '-b', '8', '-e', 'unsigned', path.join(dir, 'film.wav'), 'synth', '6', 'sine', '440']);
    execFileSync('lame', ['--quiet', path.join(dir, 'film.wav'), path.join(dir, 'film.mp3')]);
    fs.mkdirSync(path.join(dir, 'out'), { recursive: true });
    run(['export', project, '--format', 'zov', '--out', path.join(dir, 'out', 'talk.zov')]);
    assert.ok(fs.readFileSync(path.join(dir, 'out', 'talk.mp3')).equals(fs.readFileSync(path.join(dir, 'film.mp3'))));
    const p = await browser.open(`${serve.url}/talk/out/talk-ocx.htm`, errors);
    await waitLoaded(p);
    await p.waitFor(() => (document.querySelector('zov-player').shadowRoot.querySelector('audio')?.currentTime ?? 0) > 1);
    const sound = await p.evaluate(() => document.querySelector('zov-player').shadowRoot.querySelector('audio').src);
    assert.equal(sound, `${serve.url}/talk/out/talk.mp3`);
    await p.close();
  });

  // scripts/test.d/60-wayland.sh records a 320 x 240 area of a headless Wayland desktop through
  // the portal, with grim's screenshot of the same area beside it (NAME.ppm), and runs this.
  const portal = process.env.ZOV_PORTAL_RECORDING;
  test('a stream recorded through the Wayland portal plays in its page', { skip: !portal && 'no portal recording (scripts/test.d/60-wayland.sh makes one)' }, async () => {
    const dir = path.join(site, 'portal');
    fs.mkdirSync(dir, { recursive: true });
    const base = path.basename(portal, '.zov');
    for (const ext of ['.zov', '.htm', '-ocx.htm'])
      fs.copyFileSync(path.join(path.dirname(portal), base + ext), path.join(dir, base + ext));
    // The recording's pages load the viewer copied beside them.
    fs.cpSync(path.join(path.dirname(portal), 'zov-viewer'), path.join(dir, 'zov-viewer'), { recursive: true });
    run(['stream-decode', path.join(dir, base + '.zov'), path.join(dir, 'decoded')]);
    // grim's picture as 8-bit P6: the header's four fields, then RGB rows.
    const ppm = fs.readFileSync(path.join(path.dirname(portal), base + '.ppm'));
    const fields = ppm.toString('latin1', 0, 64).split(/\s+/, 4);
    const start = fields.join(' ').length + 1;
    const [width, height] = [Number(fields[1]), Number(fields[2])];
    const rgba = new Uint8Array(width * height * 4);
    for (let i = 0; i < width * height; i++) {
      rgba.set(ppm.subarray(start + i * 3, start + i * 3 + 3), i * 4);
      rgba[i * 4 + 3] = 255;
    }
    const { decodeBmp } = await import('./helpers.mjs');
    const p = await browser.open(`${serve.url}/portal/${base}-ocx.htm`, errors);
    await waitLoaded(p);
    await stop(p);
    const info = await player(p);
    assert.equal(info.open, 'Open OK!');
    const f = `file${String(info.step).padStart(4, '0')}.bmp`;
    const frame = { source: { width, height, rgba }, native: decodeBmp(fs.readFileSync(path.join(dir, 'decoded', f))) };
    assert.equal(compareFrame(await canvasPixels(p), frame), '');
    await p.close();
  });

  test('a stream named "a#b?c%d.zov" plays from both its pages, with its sound', async () => {
    for (const pageName of ['a#b?c%d.htm', 'a#b?c%d-ocx.htm']) {
      const p = await browser.open(`${serve.url}/${encodeURIComponent(pageName)}`, errors);
      await waitLoaded(p);
      await stop(p);
      const info = await player(p);
      assert.equal(info.open, 'Open OK!', pageName);
      assert.equal(info.status.split(', ')[0], `${serve.url}/a%23b%3Fc%25d.zov`, pageName);
      assert.equal(compareFrame(await canvasPixels(p), oddName.frames[info.step - 1]), '', pageName);
      const sound = await p.evaluate(() => document.querySelector('zov-player').shadowRoot.querySelector('audio')?.src);
      assert.equal(sound, `${serve.url}/a%23b%3Fc%25d.mp3`, pageName);
      await p.close();
    }
  });

  test('a trickled stream shows its first picture before the download ends', async () => {
    const p = await browser.open(`${trickle.url}/demo.htm`, errors);
    await p.waitFor(() => window.__frames.length > 0);
    assert.equal(trickle.state.finished.get('demo.zov'), false, 'the whole stream had already arrived');
    await p.waitFor((w) => document.querySelector('zov-player').shadowRoot.querySelector('canvas').width === w, W);
    assert.equal(trickle.state.finished.get('demo.zov'), false, 'the first picture was not shown at its size in time');
    const diff = compareFrame(await canvasPixels(p), demo.frames[0]);
    assert.equal(diff, '');
    await p.close();
  });
});

describe('load-time rules', () => {
  test('still-image-frame-no 3 shows the third frame and never plays', async () => {
    const p = await browser.open(`${serve.url}/still.htm`, errors);
    await waitLoaded(p);
    const info = await player(p);
    assert.equal(info.state, 'still');
    assert.equal(compareFrame(await canvasPixels(p), demo.frames[2]), '');
    await openMenu(p);
    for (const t of ['&Stop', '&Go', '&Next Frame(Double Click)', '&OriginSize', '&View All']) {
      assert.equal(await menuAttr(p, `[data-text="${t}"]`, 'aria-disabled'), 'true', t);
    }
    // A speed chosen from the menu starts no timer: the menu command runs at once.
    await p.clickIn('zov-player', '.menu .item[data-text="Spee&d"]');
    await p.clickIn('zov-player', '.menu .item[data-text="Fast * 2"]');
    await p.waitFor(() => document.querySelector('zov-player').speed === 2000);
    assert.equal((await player(p)).state, 'still');
    // Scripts may change the property after load; the picture stays.
    await p.evaluate(() => { document.querySelector('zov-player').ShowFrameId = 5; });
    assert.equal(await p.evaluate(() => document.querySelector('zov-player').ShowFrameId), 5);
    assert.equal(compareFrame(await canvasPixels(p), demo.frames[2]), '');
    assert.equal((await player(p)).step, 3);
    await p.close();
  });

  test('properties set by a script before the element is defined are used at load', async () => {
    const p = await browser.open(`${serve.url}/scripted.htm`, errors);
    await waitLoaded(p);
    const info = await player(p);
    assert.equal(info.state, 'still');
    assert.equal(await p.evaluate(() => document.querySelector('zov-player').VideoFile), 'demo.zov');
    assert.equal(compareFrame(await canvasPixels(p), demo.frames[1]), '');
    await p.close();
  });

  test('an interval of 10 ms never starts the timer', async () => {
    const p = await browser.open(`${serve.url}/short10.htm`, errors);
    await waitLoaded(p);
    // The timer is started, or not, when the load ends: the state is final then.
    const info = await player(p);
    assert.equal(info.state, 'stopped');
    assert.equal(info.step, 1);
    assert.match(info.status, /10 msec per frame/);
    await p.close();
  });

  test('a server that never answers the probe leaves no player loading for good', async () => {
    trickle.state.hang.add('/never.zov');
    trickle.state.hang.add('/quiet.mp3');
    const stream = await browser.open(`${trickle.url}/never.htm`, errors);
    const sound = await browser.open(`${trickle.url}/quiet.htm`, errors);
    // The probe waits as long as a header read may: twice 5 s.
    await waitLoaded(stream, 'zov-player', 20000);
    const info = await player(stream);
    assert.equal(info.state, 'error');
    assert.equal(info.open, 'Open Error!');
    assert.equal(info.strip, `File Open error! ${trickle.url}/never.zov`);
    // Without an answer for its sound, a stream plays silent.
    await waitLoaded(sound, 'zov-player', 20000);
    assert.equal((await player(sound)).open, 'Open OK!');
    assert.equal(await sound.evaluate(() => document.querySelector('zov-player').shadowRoot.querySelector('audio')), null);
    await stream.close();
    await sound.close();
  });

  test('a missing stream shows "Open Error!"', async () => {
    const p = await browser.open(`${serve.url}/missing.htm`, []);
    await waitLoaded(p);
    const info = await player(p);
    assert.equal(info.state, 'error');
    assert.equal(info.open, 'Open Error!');
    assert.equal(info.strip, `File Open error! ${serve.url}/missing.zov`);
    await openMenu(p);
    assert.equal(await menuAttr(p, '[data-id="32768"]', 'data-text'), 'Image(0 x 0) Copy');
    await p.close();
  });


  test('four hostile players cannot stop a good one on the same page', async () => {
    const p = await browser.open(`${serve.url}/hostile.htm`, errors);
    await waitLoaded(p, '#good');
    await p.waitFor(() => Array.from(document.querySelectorAll('zov-player')).every((el) => el.state !== 'loading'));
    const hostile = await p.evaluate(() => Array.from(document.querySelectorAll('.hostile')).map((el) => el.statusLine));
    const refused = hostile.filter((t) => t === `File Open error! ${serve.url}/hostile.zov`);
    assert.ok(refused.length >= 2, `refused: ${JSON.stringify(hostile)}`);
    // The good player plays through to its end and stops on its first frame, shown exactly.
    await p.waitFor(() => document.querySelector('#good').state === 'stopped');
    assert.ok(await p.evaluate(() => window.__frames.length >= 6), 'the good player showed every frame');
    const step = await p.evaluate(() => document.querySelector('#good').stepCount);
    assert.equal(compareFrame(await canvasPixels(p, '#good'), demo.frames[step - 1]), '');
    await p.close();
  });
});

describe('the end of a stream', () => {
  test('goes to a relative url-after-play', async () => {
    const p = await browser.open(`${serve.url}/end-relative.htm`, errors);
    await p.waitForURL(`${serve.url}/end.htm`);
    await p.waitFor(() => document.querySelector('#end')?.textContent === 'the end');
    await p.close();
  });

  test('goes to a full http url-after-play', async () => {
    const p = await browser.open(`${serve.url}/end-absolute.htm`, errors);
    await p.waitForURL(`${trickle.url}/end.htm`);
    await p.close();
  });

  test('ignores a javascript: url-after-play and stops on the first frame', async () => {
    const p = await browser.open(`${serve.url}/end-js.htm`, errors);
    await waitLoaded(p);
    // Navigation, had there been one, is asked for in the same tick that stops the player.
    await p.waitFor(() => document.querySelector('zov-player').state === 'stopped');
    assert.equal(await p.title(), 'end-js.htm');
    assert.equal(p.url(), `${serve.url}/end-js.htm`);
    const info = await player(p);
    assert.equal(info.step, 1);
    assert.equal(compareFrame(await canvasPixels(p), quick.frames[0]), '');
    await p.close();
  });
});

describe('controls', () => {
  test('speed items set the sound rate and stop it outside 200..5000', async () => {
    const p = await browser.open(`${serve.url}/pace-ocx.htm`, errors);
    await waitLoaded(p);
    const audio = () => p.evaluate(() => {
      const a = document.querySelector('zov-player').shadowRoot.querySelector('audio');
      return a && { rate: a.playbackRate, paused: a.paused, src: a.src };
    });
    await p.waitFor(() => document.querySelector('zov-player').shadowRoot.querySelector('audio'));
    assert.match((await audio()).src, /\/pace\.mp3$/);
    const cases = [['Fast * 2', 2000, 2, false], ['Slow / 3', 333, 0.333, false], ['Fast * 10', 10000, null, true],
      ['Fast as possible', 100000, null, true], ['Normal', 1000, 1, false]];
    for (const [label, speed, rate, paused] of cases) {
      await rightClickMenu(p, label, 'Spee&d');
      await p.waitFor((s) => document.querySelector('zov-player').speed === s, speed);
      const a = await audio();
      assert.equal((await player(p)).speed, speed, label);
      if (rate !== null) assert.equal(a.rate, rate, label);
      assert.equal(a.paused, paused, label);
      await openMenu(p);
      await p.clickIn('zov-player', '.menu .item[data-text="Spee&d"]');
      assert.equal(await menuAttr(p, `[data-text="${label}"]`, 'aria-checked'), 'true', label);
      await p.press('Escape');
    }
    await p.close();
  });

  test('sound the browser would not start plays from the first key pressed on the page', async () => {
    // The browser's autoplay block, as a page sees it: play() is refused until the user has
    // pressed a key or a button on the page (window listeners hear it before the page's own).
    const blockAutoplay = () => {
      const play = HTMLMediaElement.prototype.play;
      let interacted = false;
      for (const type of ['keydown', 'pointerdown']) window.addEventListener(type, () => { interacted = true; }, true);
      window.__refused = 0;
      HTMLMediaElement.prototype.play = function () {
        if (interacted) return play.call(this);
        window.__refused += 1;
        return Promise.reject(new DOMException('The user has not interacted yet', 'NotAllowedError'));
      };
    };
    const p = await browser.open(`${serve.url}/pace-ocx.htm`, errors, { init: blockAutoplay });
    await waitLoaded(p);
    await p.waitFor(() => window.__refused > 0);
    const paused = () => p.evaluate(() => document.querySelector('zov-player').shadowRoot.querySelector('audio').paused);
    assert.equal(await paused(), true);
    await p.press('a');
    await p.waitFor(() => !document.querySelector('zov-player').shadowRoot.querySelector('audio').paused);
    assert.equal((await player(p)).state, 'playing');
    await p.close();
  });

  test('a stopped player keeps no timer, even with more of its stream to fetch', async () => {
    assert.ok(fs.statSync(path.join(site, 'noise.zov')).size > 5 * 1024 * 1024);
    const p = await browser.open(`${serve.url}/noise.htm`, errors, { init: trackTimers });
    await waitLoaded(p);
    await stop(p);
    await p.waitFor(() => window.__liveTimers.size === 0);
    // Going on from there still fetches the rest: the stream plays to its end.
    await p.evaluate(() => document.querySelector('zov-player').command(32771));
    await p.waitFor(() => document.querySelector('zov-player').stepCount === 30, null, 30000);
    await p.close();
  });

  test('the menu has every item; copy puts the picture on the clipboard; about box', async () => {
    await browser.allowClipboard(serve.url);
    const p = await browser.open(`${serve.url}/demo-ocx.htm`, errors);
    await waitLoaded(p);
    await stop(p);
    await openMenu(p);
    const items = (sel) => p.evaluate((s) => Array.from(document.querySelector('zov-player').shadowRoot
      .querySelectorAll(s)).map((e) => e.dataset.text), sel);
    const texts = await items('.menu .item');
    assert.deepEqual(texts, ['&Stop', '&Go', 'Spee&d', '&Next Frame(Double Click)', '&OriginSize', '&View All',
      'Image(w67 x h45) Copy', 'ZOV Viewer &Version', 'Goto ZOV Tools &Home']);
    await p.clickIn('zov-player', '.menu .item[data-text="Spee&d"]');
    const speeds = await items('.menu.submenu .item');
    assert.deepEqual(speeds, ['Normal', 'Fast * 2', 'Fast * 5', 'Fast * 10', 'Fast as possible', 'Slow / 2', 'Slow / 3']);
    assert.equal(await menuAttr(p, '[data-text="&Stop"]', 'aria-disabled'), 'true');
    assert.equal(await menuAttr(p, '[data-text="&Go"]', 'aria-disabled'), 'false');
    // The sizes agree: neither fit mode is offered.
    assert.equal(await menuAttr(p, '[data-text="&OriginSize"]', 'aria-disabled'), 'true');
    // What the player hands to the clipboard is kept as well: headless firefox's clipboard
    // holds text only, so there the picture is read from what was written.
    await p.evaluate(() => {
      const write = navigator.clipboard.write.bind(navigator.clipboard);
      window.__written = [];
      navigator.clipboard.write = (items) => { window.__written.push(...items); return write(items); };
      window.__copied = new Promise((r) => document.addEventListener('zov-copied', r, { once: true }));
    });
    await p.clickIn('zov-player', '.menu .item[data-text="Image(w67 x h45) Copy"]');
    const readPng = (fromClipboard) => p.evaluate(async (real) => {
      await window.__copied;
      const items = real ? await navigator.clipboard.read() : window.__written;
      const item = items.find((it) => it.types.includes('image/png'));
      if (!item) return null;
      const bmp = await createImageBitmap(await item.getType('image/png'));
      const c = new OffscreenCanvas(bmp.width, bmp.height);
      const ctx = c.getContext('2d');
      ctx.drawImage(bmp, 0, 0);
      return { width: bmp.width, height: bmp.height, data: Array.from(ctx.getImageData(0, 0, bmp.width, bmp.height).data) };
    }, fromClipboard);
    const copied = await readPng(browserName === 'chromium');
    assert.ok(copied, 'no PNG on the clipboard');
    const step = (await player(p)).step;
    assert.equal(compareFrame(copied, demo.frames[step - 1]), '');
    await rightClickMenu(p, 'ZOV Viewer &Version');
    const about = () => p.evaluate(() => {
      const box = document.querySelector('zov-player').shadowRoot.querySelectorAll('.about');
      return { count: box.length, text: box[0]?.querySelector('.text').textContent };
    });
    assert.deepEqual(await about(), { count: 1, text: 'ZOV Viewer Control, Version 1.0' });
    await p.clickIn('zov-player', '.about button');
    assert.equal((await about()).count, 0);
    await p.evaluate(() => document.querySelector('zov-player').AboutBox());
    assert.equal((await about()).count, 1);
    await p.close();
  });

  test('"&View All" scales the picture to the element', async () => {
    const p = await browser.open(`${serve.url}/big.htm`, errors);
    await waitLoaded(p);
    await stop(p);
    const step = (await player(p)).step;
    const c = await canvasPixels(p);
    assert.equal(c.width, 2 * W);
    assert.equal(c.height, 2 * H);
    const src = demo.frames[step - 1].native;
    let bad = 0;
    for (let y = 0; y < H; y++) for (let x = 0; x < W; x++) {
      for (const [dx, dy] of [[0, 0], [1, 1]]) {
        const o = ((2 * y + dy) * c.width + 2 * x + dx) * 4, s = (y * W + x) * 4;
        if (c.data[o] !== src.rgba[s] || c.data[o + 1] !== src.rgba[s + 1] || c.data[o + 2] !== src.rgba[s + 2]) bad++;
      }
    }
    assert.equal(bad, 0, `${bad} scaled pixels differ`);
    // Origin size then shows the picture 1:1 in the corner, the rest white.
    await rightClickMenu(p, '&OriginSize');
    const o = await canvasPixels(p);
    const at = (img, x, y, w) => img.data.slice((y * w + x) * 4, (y * w + x) * 4 + 3);
    assert.deepEqual(at(o, 10, 10, o.width), Array.from(src.rgba.slice((10 * W + 10) * 4, (10 * W + 10) * 4 + 3)));
    assert.deepEqual(at(o, W + 5, H + 5, o.width), [255, 255, 255]);
    await p.close();
  });

  test('"&OriginSize" on a screen of two device pixels per pixel: one stream pixel, one device pixel', async () => {
    const hidpi = await launchBrowser({ deviceScaleFactor: 2 });
    try {
      const p = await hidpi.open(`${serve.url}/demo-ocx.htm`, errors);
      await waitLoaded(p);
      await stop(p);
      const step = (await player(p)).step;
      const src = demo.frames[step - 1].native;
      const size = () => p.evaluate(() => {
        const c = document.querySelector('zov-player').shadowRoot.querySelector('canvas');
        return { dpr: devicePixelRatio, width: c.width, height: c.height, css: c.getBoundingClientRect().width };
      });
      assert.deepEqual(await size(), { dpr: 2, width: 2 * W, height: 2 * H, css: W });
      await rightClickMenu(p, '&OriginSize');
      const c = await canvasPixels(p);
      let bad = 0;
      for (let y = 0; y < H; y++) for (let x = 0; x < W; x++) {
        const o = (y * c.width + x) * 4, s = (y * W + x) * 4;
        if (c.data[o] !== src.rgba[s] || c.data[o + 1] !== src.rgba[s + 1] || c.data[o + 2] !== src.rgba[s + 2]) bad++;
      }
      assert.equal(bad, 0, `${bad} pixels differ from the stream's at origin size`);
      const o = ((H + 3) * c.width + W + 3) * 4;
      assert.deepEqual(c.data.slice(o, o + 3), [255, 255, 255]);
      await p.close();
    } finally {
      await hidpi.close();
    }
  });

  test('panning in origin size never leaves the picture', async () => {
    const p = await browser.open(`${serve.url}/small.htm`, errors);
    await waitLoaded(p);
    await stop(p);
    const step = (await player(p)).step;
    const src = demo.frames[step - 1].native;
    await rightClickMenu(p, '&OriginSize');
    const box = await p.box('zov-player');
    // Drag far to the upper left: the view goes to the picture's lower right corner.
    await p.move(box.x + 28, box.y + 18);
    await p.down();
    await p.move(box.x - 200, box.y - 200, 5);
    await p.up();
    // Waits until the canvas shows the picture from (panX, panY), then checks every pixel.
    const expectAt = async (panX, panY, what) => {
      const want = [];
      for (let y = 0; y < 20; y++) for (let x = 0; x < 30; x++) {
        const s = ((y + panY) * W + x + panX) * 4;
        want.push(src.rgba[s], src.rgba[s + 1], src.rgba[s + 2]);
      }
      await p.waitFor((w) => {
        const c = document.querySelector('zov-player').shadowRoot.querySelector('canvas');
        if (c.width !== 30 || c.height !== 20) return false;
        const d = c.getContext('2d').getImageData(0, 0, 30, 20).data;
        return w.every((v, i) => d[Math.floor(i / 3) * 4 + (i % 3)] === v);
      }, want, 5000).catch(() => {});
      const c = await canvasPixels(p);
      assert.equal(c.width, 30);
      assert.equal(c.height, 20);
      for (let i = 0; i < 600; i++) {
        assert.deepEqual(c.data.slice(4 * i, 4 * i + 3), want.slice(3 * i, 3 * i + 3), `${what} (${i % 30},${Math.floor(i / 30)})`);
      }
    };
    await expectAt(W - 30, H - 20, 'dragged to the corner');
    // The wheel scrolls up to the top and no further.
    await p.move(box.x + 10, box.y + 10);
    for (let i = 0; i < 4; i++) await p.wheel(0, -300);
    await expectAt(W - 30, 0, 'wheel to the top');
    // Dragging the other way stops at the left edge.
    await p.down();
    await p.move(box.x + 300, box.y + 10, 4);
    await p.up();
    await expectAt(0, 0, 'dragged to the left');
    await p.close();
  });
});

describe('zovrec serve', () => {
  const get = (url, extra = {}) => new Promise((resolve, reject) => {
    const req = http.request(url, { method: 'GET', ...extra }, (res) => {
      const parts = [];
      res.on('data', (d) => parts.push(d));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(parts) }));
    });
    req.on('error', reject);
    req.end();
  });

  test('printed the address and serves the right types, ranges and nothing outside', async () => {
    assert.match(serve.output, new RegExp(`open ${serve.url}/demo\\.htm`));
    assert.equal((await get(`${serve.url}/zov-viewer/zov-player.js`)).headers['content-type'], 'text/javascript');
    assert.equal((await get(`${serve.url}/zov-viewer/zov-viewer-core.wasm`)).headers['content-type'], 'application/wasm');
    const full = fs.readFileSync(path.join(site, 'demo.zov'));
    const part = await get(`${serve.url}/demo.zov`, { headers: { Range: 'bytes=4-11' } });
    assert.equal(part.status, 206);
    assert.deepEqual(part.body, full.subarray(4, 12));
    assert.equal((await get(`${serve.url}/nothing.zov`)).status, 404);
    for (const bad of ['/../etc/passwd', '/%2e%2e/%2e%2e/etc/passwd', '/demo-bmp/..%2f..%2f..%2fetc%2fpasswd']) {
      const r = await get(`${serve.url}${bad}`, { path: bad });
      assert.ok(r.status === 403 || r.status === 404, `${bad}: ${r.status}`);
      assert.ok(!r.body.toString().includes('root:'), bad);
    }
  });
});

test('no page logged an error', () => {
  assert.deepEqual(errors, []);
});

export { buildDir };
