// The browsers the suite runs in, behind one small driver so that every test runs unchanged
// in each: Debian's chromium through playwright-core, Debian's firefox-esr through
// puppeteer-core over WebDriver BiDi. ZOV_BROWSER picks one (chromium by default).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const browserName = process.env.ZOV_BROWSER || 'chromium';

// Pages of either browser: evaluation, waits on conditions and events, real mouse and keys.
class PageDriver {
  constructor(kind, page) {
    this.kind = kind;
    this.page = page;
  }

  evaluate(fn, arg) { return this.page.evaluate(fn, arg); }

  // Resolves once fn(arg) is true in the page.
  async waitFor(fn, arg, timeout = 15000) {
    if (this.kind === 'chromium') await this.page.waitForFunction(fn, arg, { timeout });
    else await this.page.waitForFunction(fn, { timeout, polling: 'raf' }, arg);
  }

  url() { return this.page.url(); }
  title() { return this.page.title(); }

  // Resolves once the page's main frame has navigated to `url`.
  async waitForURL(url, timeout = 15000) {
    if (this.kind === 'chromium') return this.page.waitForURL(url, { timeout });
    const page = this.page;
    await new Promise((resolve, reject) => {
      const timer = setTimeout(() => { page.off('framenavigated', onNav); reject(new Error(`no navigation to ${url}`)); }, timeout);
      const onNav = (frame) => {
        if (frame === page.mainFrame() && frame.url() === url) {
          clearTimeout(timer);
          page.off('framenavigated', onNav);
          resolve();
        }
      };
      page.on('framenavigated', onNav);
      if (page.url() === url) onNav(page.mainFrame());
    });
  }

  async move(x, y, steps = 1) { await this.page.mouse.move(x, y, { steps }); }
  async down() { await this.page.mouse.down(); }
  async up() { await this.page.mouse.up(); }

  async click(x, y, { button = 'left', count = 1 } = {}) {
    if (this.kind === 'chromium') {
      if (count === 2) await this.page.mouse.dblclick(x, y, { button });
      else await this.page.mouse.click(x, y, { button });
    } else {
      await this.page.mouse.click(x, y, { button, count });
    }
  }

  async wheel(dx, dy) {
    if (this.kind === 'chromium') await this.page.mouse.wheel(dx, dy);
    else await this.page.mouse.wheel({ deltaX: dx, deltaY: dy });
  }

  async press(key) { await this.page.keyboard.press(key); }

  // The box of the first element matching `selector`, or of `inner` inside its shadow tree
  // (the last match there: the innermost open menu).
  async box(selector, inner) {
    const b = await this.page.evaluate(([sel, sub]) => {
      let el = document.querySelector(sel);
      if (el && sub) {
        const all = el.shadowRoot.querySelectorAll(sub);
        el = all[all.length - 1];
      }
      if (!el) return null;
      const r = el.getBoundingClientRect();
      return { x: r.left, y: r.top, width: r.width, height: r.height };
    }, [selector, inner ?? null]);
    if (!b) throw new Error(`nothing matches ${selector} ${inner ?? ''}`);
    return b;
  }

  // Clicks at (dx, dy) inside an element, or at its middle.
  async clickIn(selector, inner, { dx, dy, button, count } = {}) {
    const b = await this.box(selector, inner);
    await this.click(b.x + (dx ?? b.width / 2), b.y + (dy ?? b.height / 2), { button, count });
  }

  close() { return this.page.close(); }
}

async function launchChromium(profile, { deviceScaleFactor }) {
  const { chromium } = await import('playwright-core');
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--autoplay-policy=no-user-gesture-required', '--mute-audio'],
    viewport: { width: 900, height: 700 },
    deviceScaleFactor,
  });
  return {
    async newPage() { return context.newPage(); },
    async allowClipboard(origin) { await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin }); },
    hookPage(page, { onConsoleError, onPageError, initScript }) {
      page.on('console', (m) => { if (m.type() === 'error') onConsoleError(m.text(), m.location().url); });
      page.on('pageerror', (e) => onPageError(String(e)));
      return page.addInitScript(initScript);
    },
    close: () => context.close(),
  };
}

async function launchFirefox(profile, { deviceScaleFactor }) {
  const { default: puppeteer } = await import('puppeteer-core');
  const browser = await puppeteer.launch({
    browser: 'firefox',
    protocol: 'webDriverBiDi',
    executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
    headless: true,
    userDataDir: profile,
    extraPrefsFirefox: {
      'media.autoplay.default': 0,
      'media.volume_scale': '0.0',
      // Lets pages read back what they put on the clipboard without a paste prompt.
      'dom.events.testing.asyncClipboard': true,
      'dom.events.asyncClipboard.clipboardItem': true,
    },
  });
  return {
    async newPage() {
      const page = await browser.newPage();
      await page.setViewport({ width: 900, height: 700, deviceScaleFactor });
      return page;
    },
    async allowClipboard() {},
    hookPage(page, { onConsoleError, onPageError, initScript }) {
      page.on('console', (m) => { if (m.type() === 'error') onConsoleError(m.text(), m.location()?.url ?? ''); });
      page.on('pageerror', (e) => onPageError(String(e)));
      return page.evaluateOnNewDocument(initScript);
    },
    close: () => browser.close(),
  };
}

// Starts the chosen browser with its own profile; `deviceScaleFactor` sets devicePixelRatio.
export async function launchBrowser({ deviceScaleFactor = 1 } = {}) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `zov-${browserName}-`));
  const launch = browserName === 'firefox' ? launchFirefox : launchChromium;
  const b = await launch(profile, { deviceScaleFactor });
  return {
    name: browserName,
    allowClipboard: (origin) => b.allowClipboard(origin),
    // Opens `url`; console errors and uncaught exceptions of the page land in `errors`.
    // `init` runs in the page before its own scripts.
    async open(url, errors = [], { init } = {}) {
      const page = await b.newPage();
      if (init) await b.hookPage(page, { onConsoleError() {}, onPageError() {}, initScript: init });
      await b.hookPage(page, {
        // A stream without sound probes for its ".mp3" and the browser logs the 404 itself.
        onConsoleError: (text, where) => { if (!/\.mp3$/.test(where) && !/\.mp3\b/.test(text)) errors.push(`${text} ${where}`); },
        onPageError: (text) => errors.push(text),
        initScript: () => {
          window.__frames = [];
          document.addEventListener('zov-frame', (e) => window.__frames.push(e.detail));
        },
      });
      await page.goto(url);
      return new PageDriver(browserName, page);
    },
    async close() {
      await b.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}
