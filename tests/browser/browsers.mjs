// The browsers the tests drive, behind one small API: Debian's Chromium over the
// DevTools protocol and Debian's Firefox ESR over WebDriver BiDi, both through
// puppeteer-core (which never downloads a browser). $QV_BROWSER picks one:
// chromium (the default) or firefox.
//
//   const browser = await launch();
//   const page = await browser.newPage({viewport, colorScheme, storage});
//   await page.goto(url); await page.click(sel); await page.text(sel); ...
//
// Every page has a context of its own (its own storage). DOM reads take CSS
// selectors; reads of one element wait for it to be there. Waits poll from
// here, never with the page's timers, so they work under the page's fake clock.
import puppeteer from 'puppeteer-core';

export const BROWSERS = ['chromium', 'firefox'];
export const browserName = process.env.QV_BROWSER || 'chromium';
if (!BROWSERS.includes(browserName)) {
  throw new Error(`QV_BROWSER=${browserName}: expected one of ${BROWSERS.join(', ')}`);
}

const WAIT_MS = 15000;
export const sleep = (ms) => new Promise((ok) => setTimeout(ok, ms));

// Firefox over BiDi has no colour-scheme emulation: the content colour-scheme
// preference stands in for it (0 dark, 1 light), set from a privileged script,
// which needs -remote-allow-system-access. It is browser-wide, so each page
// sets it when it opens or changes it.
const FIREFOX_SCHEME_PREF = 'layout.css.prefers-color-scheme.content-override';

const LAUNCH = {
  chromium: () => ({
    executablePath: process.env.QV_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--disable-quic'],
  }),
  firefox: () => ({
    browser: 'firefox',
    executablePath: process.env.QV_FIREFOX || '/usr/bin/firefox-esr',
    headless: true,
    args: ['-remote-allow-system-access'],
    extraPrefsFirefox: {[FIREFOX_SCHEME_PREF]: 1},
  }),
};

/** Starts the browser named `name` (by default $QV_BROWSER). */
export async function launch(name = browserName) {
  const browser = await puppeteer.launch({defaultViewport: null, ...LAUNCH[name]()});
  return new Browser(name, browser);
}

class Browser {
  #browser;
  constructor(name, browser) {
    this.name = name;
    this.#browser = browser;
  }

  /**
   * A new page in a context of its own. viewport {width, height} (default
   * 1280x720) and deviceScaleFactor (default 1); colorScheme 'light' (the
   * default) or 'dark' as the system preference; storage: local storage items
   * set before the page's scripts run, at every load.
   */
  async newPage({viewport = {width: 1280, height: 720}, deviceScaleFactor = 1, colorScheme = 'light',
                 storage} = {}) {
    const context = await this.#browser.createBrowserContext();
    const page = new Page(this, context, await context.newPage());
    await page.init(viewport, deviceScaleFactor, colorScheme);
    if (storage) {
      await page.addInitScript((items) => {
        try {
          for (const [k, v] of Object.entries(items)) localStorage.setItem(k, v);
        } catch (e) {
          // about:blank has no storage.
        }
      }, storage);
    }
    return page;
  }

  async close() {
    await this.#browser.close();
  }

  async setColorScheme(page, scheme) {
    if (this.name === 'chromium') {
      await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]);
      return;
    }
    const conn = this.#browser.connection;
    const tree = await conn.send('browsingContext.getTree', {'moz:scope': 'chrome', maxDepth: 0});
    const {result} = await conn.send('script.evaluate', {
      expression: `Services.prefs.setIntPref(${JSON.stringify(FIREFOX_SCHEME_PREF)}, ${scheme === 'dark' ? 0 : 1})`,
      target: {context: tree.result.contexts[0].context},
      awaitPromise: false,
    });
    if (result.type !== 'success') throw new Error(`setting the colour scheme failed: ${JSON.stringify(result)}`);
  }
}

/**
 * DOM reads and waits over one document: a page's, or a frame's. Subclasses
 * give evaluate(fn, ...args), which runs fn (or a JavaScript expression
 * string) in the document.
 */
class Scope {
  /** Polls fn(...args) in the document until it gives a truthy value, and returns that value. */
  async waitUntil(fn, args = [], what = 'condition', ms = WAIT_MS) {
    const end = Date.now() + ms;
    let last;
    for (;;) {
      try {
        const v = await this.evaluate(fn, ...args);
        if (v) return v;
      } catch (e) {
        last = e; // the document may be between two loads
      }
      if (Date.now() > end) throw new Error(`timed out waiting for ${what}${last ? ': ' + last.message : ''}`);
      await sleep(25);
    }
  }

  /**
   * Waits for an element matching `selector`: visible (the default) or only
   * attached, and with `text` as its whole text content (a string) or
   * matching it (a RegExp) when given.
   */
  waitFor(selector, {text, state = 'visible'} = {}) {
    const pattern = text instanceof RegExp ? [text.source, text.flags] : null;
    return this.waitUntil((sel, want, pat, visibleOnly) => {
      const re = pat && new RegExp(pat[0], pat[1]);
      const shown = (e) => {
        const r = e.getBoundingClientRect();
        return r.width > 0 && r.height > 0 && getComputedStyle(e).visibility !== 'hidden';
      };
      return [...document.querySelectorAll(sel)].some((e) =>
        (!visibleOnly || shown(e)) &&
        (re ? re.test(e.textContent) : want === null || e.textContent === want));
    }, [selector, pattern || text === undefined ? null : text, pattern, state === 'visible'],
    `${selector}${text === undefined ? '' : ' with text ' + text}`);
  }

  /** What `read(element, ...args)` gives for the first element matching `selector`, once there is one. */
  async #first(selector, read, ...args) {
    const expression = `(() => {
      const e = document.querySelector(${JSON.stringify(selector)});
      return e ? {value: (${read})(e, ...${JSON.stringify(args)})} : null;
    })()`;
    return (await this.waitUntil(expression, [], selector)).value;
  }

  text(selector) {
    return this.#first(selector, (e) => e.textContent);
  }

  attr(selector, name) {
    return this.#first(selector, (e, n) => e.getAttribute(n), name);
  }

  /** The computed value of a CSS property of the first match. */
  style(selector, property) {
    return this.#first(selector, (e, p) => getComputedStyle(e).getPropertyValue(p), property);
  }

  /** The text content of every match, in document order. */
  texts(selector) {
    return this.evaluate((sel) => [...document.querySelectorAll(sel)].map((e) => e.textContent), selector);
  }

  /** getAttribute(name) of every match. */
  attrs(selector, name) {
    return this.evaluate((sel, n) => [...document.querySelectorAll(sel)].map((e) => e.getAttribute(n)),
                         selector, name);
  }

  count(selector) {
    return this.evaluate((sel) => document.querySelectorAll(sel).length, selector);
  }

  /** Whether the first match exists, has a box, and is not visibility:hidden. */
  visible(selector) {
    return this.evaluate((sel) => {
      const e = document.querySelector(sel);
      if (!e) return false;
      const r = e.getBoundingClientRect();
      return r.width > 0 && r.height > 0 && getComputedStyle(e).visibility !== 'hidden';
    }, selector);
  }

  /** The value local storage holds for `key` (null when none). */
  storageItem(key) {
    return this.evaluate((k) => localStorage.getItem(k), key);
  }

  /** Posts `data` to the document's window and waits until its listeners have run. */
  postMessage(data) {
    return this.evaluate((d) => new Promise((ok) => {
      postMessage(d, '*');
      addEventListener('message', function done(e) {
        if (e.data === '__qv_posted') { removeEventListener('message', done); ok(); }
      });
      postMessage('__qv_posted', '*'); // messages are handled in order
    }), data);
  }
}

/** The document of the iframe that `selector` names in a page. */
class Frame extends Scope {
  #page;
  #selector;
  constructor(page, selector) {
    super();
    this.#page = page;
    this.#selector = selector;
  }

  async evaluate(fn, ...args) {
    const handle = await this.#page.$(this.#selector);
    if (!handle) throw new Error(`no frame ${this.#selector}`);
    const frame = await handle.contentFrame();
    await handle.dispose();
    if (!frame) throw new Error(`${this.#selector} holds no frame`);
    return frame.evaluate(fn, ...args);
  }
}

class Page extends Scope {
  #owner;
  #context;
  #page;
  #routes = [];
  #intercepting = false;
  #requestListeners = [];
  /** The messages of uncaught errors in the page, in order. */
  errors = [];
  /** The texts of the page's console messages of type error, in order. */
  consoleErrors = [];

  constructor(owner, context, page) {
    super();
    this.#owner = owner;
    this.#context = context;
    this.#page = page;
    page.on('pageerror', (e) => this.errors.push(e.message));
    page.on('console', (m) => { if (m.type() === 'error') this.consoleErrors.push(m.text()); });
    page.on('request', (request) => this.#onRequest(request));
  }

  async init(viewport, deviceScaleFactor, colorScheme) {
    await this.#page.setViewport({...viewport, deviceScaleFactor});
    await this.setColorScheme(colorScheme);
  }

  evaluate(fn, ...args) {
    return this.#page.evaluate(fn, ...args);
  }

  /** Loads `url` and waits for its load event; gives {status} of the document's response. */
  async goto(url) {
    const response = await this.#page.goto(url);
    return {status: response ? response.status() : 0};
  }

  async reload() {
    await this.#page.reload();
  }

  /** A mouse click in the middle of the first visible match. */
  async click(selector) {
    await this.waitFor(selector);
    await this.#page.click(selector);
  }

  /** Picks the option with `value` in a select element, as a user would. */
  async select(selector, value) {
    await this.waitFor(selector);
    await this.#page.select(selector, value);
  }

  /** Runs fn(arg) in every document the page loads from now on, before its own scripts. */
  async addInitScript(fn, arg) {
    await this.#page.evaluateOnNewDocument(fn, arg);
  }

  /**
   * The system colour preference, 'light' or 'dark'. In Firefox it is shared
   * by all pages; the call returns once this page sees it.
   */
  async setColorScheme(scheme) {
    await this.#owner.setColorScheme(this.#page, scheme);
    const query = `(prefers-color-scheme: ${scheme})`;
    await this.waitUntil((q) => matchMedia(q).matches, [query], query);
  }

  /** The iframe that `selector` names, as a scope of its own. */
  frame(selector) {
    return new Frame(this.#page, selector);
  }

  /** Calls listener({url: URL, method, headers}) for every request the page sends; names are lower case. */
  onRequest(listener) {
    this.#requestListeners.push(listener);
  }

  /**
   * Holds every request whose URL satisfies match(url: URL) and hands it to
   * handler(route), which must call route.continue({headers}?) or
   * route.fulfill({status, contentType, body}), now or later. The route
   * added last wins.
   */
  async route(match, handler) {
    this.#routes.push({match, handler});
    if (!this.#intercepting) {
      this.#intercepting = true;
      await this.#page.setRequestInterception(true);
    }
  }

  /** Drops the routes added with `match`. */
  unroute(match) {
    this.#routes = this.#routes.filter((r) => r.match !== match);
  }

  #onRequest(request) {
    const url = new URL(request.url());
    const headers = lowerCase(request.headers());
    for (const listener of this.#requestListeners) listener({url, method: request.method(), headers});
    if (!this.#intercepting) return;
    const route = this.#routes.findLast((r) => r.match(url));
    if (!route) {
      request.continue();
      return;
    }
    route.handler({
      url,
      headers,
      continue: (overrides = {}) => request.continue(overrides),
      fulfill: ({status = 200, contentType = 'text/plain', body = ''} = {}) =>
        request.respond({status, contentType, body}),
    });
  }

  /**
   * Replaces the page's clock, from the next load on, with one that stands at
   * `time` and moves only by runClock: timers then fire only when a test
   * moves the clock. Date gives the clock's time.
   */
  async installClock(time) {
    await this.addInitScript(installFakeClock, time.getTime());
  }

  /** Moves the fake clock on by `ms`, firing the timers that fall due, in order. */
  runClock(ms) {
    return this.evaluate((n) => window.__qvClock.runFor(n), ms);
  }

  /** Writes a PNG of the page (the whole page with fullPage) to `path`. */
  async screenshot(path, {fullPage = false} = {}) {
    await this.#page.screenshot({path, fullPage});
  }

  async close() {
    await this.#context.close();
  }
}

function lowerCase(headers) {
  return Object.fromEntries(Object.entries(headers).map(([k, v]) => [k.toLowerCase(), v]));
}

// Runs in the page, before its scripts: timers and Date on a clock that only
// runFor moves.
function installFakeClock(start) {
  const RealDate = Date;
  let now = start;
  let nextId = 1;
  const timers = new Map();
  function FakeDate(...args) {
    if (!new.target) return new RealDate(now).toString();
    return args.length ? new RealDate(...args) : new RealDate(now);
  }
  FakeDate.prototype = RealDate.prototype;
  FakeDate.now = () => now;
  FakeDate.parse = RealDate.parse;
  FakeDate.UTC = RealDate.UTC;
  window.Date = FakeDate;
  const add = (fn, ms, args, repeat) => {
    const delay = Math.max(0, Number(ms) || 0);
    timers.set(nextId, {fn, args, at: now + delay, every: repeat ? Math.max(1, delay) : 0});
    return nextId++;
  };
  window.setTimeout = (fn, ms, ...args) => add(fn, ms, args, false);
  window.setInterval = (fn, ms, ...args) => add(fn, ms, args, true);
  window.clearTimeout = window.clearInterval = (id) => { timers.delete(id); };
  window.__qvClock = {
    runFor(ms) {
      const end = now + ms;
      for (;;) {
        let id = 0;
        let due = null;
        for (const [i, t] of timers) if (t.at <= end && (!due || t.at < due.at)) { id = i; due = t; }
        if (!due) break;
        now = due.at;
        if (due.every) due.at += due.every; else timers.delete(id);
        try {
          if (typeof due.fn === 'function') due.fn(...due.args);
        } catch (e) {
          queueMicrotask(() => { throw e; });
        }
      }
      now = end;
    },
  };
}
