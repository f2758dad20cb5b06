// The history program's html report, opened from file:// in the browser: no
// request but the file, no console error, no sideways scroll at phone and
// desktop widths in both themes, no WCAG 2 A/AA violation found by axe-core,
// bars drawn to scale and tables equal to the figures the page embeds; and
// those figures equal to what --format json gives for the same options.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';
import {mkdir, mkdtemp} from 'node:fs/promises';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {pathToFileURL} from 'node:url';
import {browserName, launchBrowser, outputDir, rm, until} from './support.mjs';
import {jsonRows, makeHostileRoot, makeYearRoot, pageData, samplesRoot, writeReport} from './history-support.mjs';

const axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
const AXE_TAGS = ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'];
const WIDTHS = [320, 1280];
const THEMES = ['light', 'dark'];

let browser, dir, year, hostile;
const reports = {}; // name -> {options, file, html}
before(async () => {
  dir = await mkdtemp(join(tmpdir(), 'qv-history-pages-'));
  [browser, year, hostile] = await Promise.all([launchBrowser(), makeYearRoot(), makeHostileRoot(),
                                                mkdir(outputDir, {recursive: true})]);
  const variants = {
    samples: ['--root', samplesRoot, '--tz', 'utc'],
    year: ['--root', year.root, '--tz', 'utc'],
    // A window of the days the period switches at, in a zone off the hour.
    'year-window': ['--root', year.root, '--tz', '+05:30', '--since', '2026-03-02', '--until', '2026-06-01'],
    hostile: ['--root', hostile, '--tz', 'utc'],
  };
  for (const [name, options] of Object.entries(variants)) {
    const file = join(dir, `${name}.html`);
    reports[name] = {options, file, html: writeReport(options, file)};
  }
});
after(async () => {
  await browser?.close();
  await rm(dir, {recursive: true, force: true});
  if (year) await rm(year.dir, {recursive: true, force: true});
  if (hostile) await rm(hostile, {recursive: true, force: true});
});

const ADDITIVE = ['turns', 'active_sec', 'idle_sec', 'wall_sec', 'tool_calls', 'input_tokens', 'output_tokens',
                  'cache_read_tokens', 'cache_creation_tokens'];
const sumRows = (rows, fields) =>
  Object.fromEntries(fields.map((f) => [f, rows.reduce((n, r) => n + r[f], 0)]));

test('the embedded figures equal --format json for the same options',
     {skip: browserName !== 'chromium' && 'no browser needed: runs once, with chromium'}, () => {
  for (const [name, {options, html}] of Object.entries(reports)) {
    const data = pageData(html);
    const of = (by) => jsonRows(options, by);
    assert.deepEqual(data.periods, of(data.period), `${name}: rows by ${data.period}`);
    const days = of('day');
    const calendarFirst = Math.max(dayNumber(data.last_day) - weekdayOf(data.last_day) - 52 * 7,
                                   dayNumber(data.first_day));
    assert.deepEqual(data.days, days.filter((r) => dayNumber(r.day) >= calendarFirst), `${name}: days`);
    assert.deepEqual(sumRows(days, ADDITIVE), sumRows([data.total], ADDITIVE), `${name}: total`);
    for (const [key, by] of [['projects', 'project'], ['models', 'model'], ['profiles', 'profile']]) {
      const rows = of(by);
      const want = rows.slice(0, 10);
      if (rows.length > 10) {
        const rest = rows.slice(10);
        const other = {[by]: '(other)', sessions: rest.reduce((n, r) => n + r.sessions, 0), ...sumRows(rest, ADDITIVE)};
        const got = data[key].rows[10];
        assert.ok(Math.abs(got.duty_cycle_pct - (100 * other.active_sec) / other.wall_sec) < 0.006, `${name}: ${by} rest duty`);
        want.push({...other, duty_cycle_pct: got.duty_cycle_pct});
      }
      assert.deepEqual(data[key].rows.map(sorted), want.map(sorted), `${name}: by ${by}`);
      assert.deepEqual(data[key].total, data.total, `${name}: ${by} total`);
    }
    const sessions = of('session').sort((a, b) => b.active_sec - a.active_sec || (a.session < b.session ? -1 : 1));
    assert.deepEqual(data.sessions, sessions.slice(0, 20), `${name}: sessions`);
    assert.equal(data.week.length, 168, `${name}: week cells`);
    for (const [by, field] of [['weekday', 'weekday'], ['hour', 'hour']]) {
      const rows = of(by);
      assert.deepEqual(rows.map((r) => sumRows(data.week.filter((c) => c[field] === r[by]), ADDITIVE)),
                       rows.map((r) => sumRows([r], ADDITIVE)), `${name}: week cells by ${by}`);
    }
  }
});

const sorted = (row) => Object.fromEntries(Object.entries(row).sort(([a], [b]) => (a < b ? -1 : 1)));
const dayNumber = (text) => Date.parse(`${text}T00:00:00Z`) / 86400000;
const weekdayOf = (text) => (new Date(`${text}T00:00:00Z`).getUTCDay() + 6) % 7; // Monday 0

// What the page shows: drawn bars and table cells, read from the DOM.
function readPage() {
  const cells = (tr) => [...tr.cells].map((c) => (c.hasAttribute('data-value') ? Number(c.dataset.value) : c.textContent));
  const table = (id) => [...document.querySelectorAll(`section[aria-labelledby="${id}"] table tbody tr`)].map(cells);
  const box = (r) => r.getBBox();
  const named = (id) => [...document.querySelectorAll(`section[aria-labelledby="${id}"] svg g.bar`)].map((g) => ({
    title: g.querySelector('title').textContent,
    active: box(g.querySelector('rect.active')).width, idle: box(g.querySelector('rect.idle')).width,
  }));
  const cols = [...document.querySelectorAll('.cols > section')].map((s) => s.getBoundingClientRect().top);
  return {
    data: JSON.parse(document.getElementById('history-data').textContent),
    bars: [...document.querySelectorAll('svg.time g.bar')].map((g) => ({
      key: g.dataset.key, active: box(g.querySelector('rect.active')).height, idle: box(g.querySelector('rect.idle')).height,
    })),
    named: {projects: named('by-project'), models: named('by-model'), profiles: named('by-profile')},
    tables: {time: table('time'), calendar: table('calendar'), week: table('week'), sessions: table('sessions'),
             projects: table('by-project'), models: table('by-model'), profiles: table('by-profile')},
    totals: [...document.querySelectorAll('.totals dd')].map((d) => Number(d.dataset.value)),
    columnsSideBySide: cols.length === 3 && cols[0] === cols[1],
  };
}

const figureCells = (r) => [r.sessions, r.active_sec, r.idle_sec, r.wall_sec, r.duty_cycle_pct, r.turns, r.tool_calls];

// Every length in `marks` is scale x its figure, one scale for all (as drawn,
// to the rounding of the written coordinates).
function assertToScale(marks, what) {
  const longest = marks.reduce((m, x) => (x.length > m.length ? x : m), {length: 0, value: 0});
  assert.ok(longest.length > 0, `${what}: nothing drawn`);
  const scale = longest.length / longest.value;
  for (const {length, value, name} of marks) {
    assert.ok(Math.abs(length - value * scale) < 0.01, `${what} ${name}: drawn ${length}, ${value} s at ${scale}/s`);
  }
}

function checkPage(page, name) {
  const {data} = page;
  const key = data.period;
  const byKey = new Map(data.periods.map((r) => [r[key], r]));
  assert.deepEqual(data.periods.map((r) => r[key]).filter((k) => !page.bars.some((b) => b.key === k)), [],
                   `${name}: periods without a bar`);
  assertToScale(page.bars.flatMap((b) => ['active', 'idle'].map((s) => ({
    name: `${b.key} ${s}`, length: b[s], value: byKey.get(b.key)?.[s === 'active' ? 'active_sec' : 'idle_sec'] ?? 0,
  }))), `${name}: time bar`);
  for (const part of ['projects', 'models', 'profiles']) {
    const rows = data[part].rows;
    const field = part.slice(0, -1);
    assert.deepEqual(page.named[part].map((b) => b.title.replace(/: active .*/, '')), rows.map((r) => r[field]), `${name}: ${part} bars`);
    assertToScale(page.named[part].flatMap((b, i) => [
      {name: `${rows[i][field]} active`, length: b.active, value: rows[i].active_sec},
      {name: `${rows[i][field]} idle`, length: b.idle, value: rows[i].idle_sec}]), `${name}: ${part} bar`);
    assert.deepEqual(page.tables[part], rows.map((r) => [r[field], ...figureCells(r)]), `${name}: ${part} table`);
  }
  assert.deepEqual(page.tables.time, data.periods.map((r) => [r[key], ...figureCells(r)]), `${name}: time table`);
  assert.deepEqual(page.tables.calendar, data.days.map((r) => [r.day, ...figureCells(r)]), `${name}: day table`);
  assert.deepEqual(page.tables.sessions, data.sessions.map((r) =>
    [r.start, r.project, r.profile, r.model, r.active_sec, r.idle_sec, r.duty_cycle_pct, r.turns]), `${name}: sessions table`);
  assert.deepEqual(page.tables.week, ['Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday', 'Sunday'].map((d) =>
    [d, ...data.week.filter((c) => c.weekday === d).map((c) => c.active_sec)]), `${name}: week table`);
  const t = data.total;
  assert.deepEqual(page.totals, [...figureCells(t), t.input_tokens, t.output_tokens, t.cache_read_tokens,
                                 t.cache_creation_tokens], `${name}: totals`);
}

// Contrast ratio of two 'rgb(r, g, b)' colours.
function contrast(a, b) {
  const lum = (c) => {
    const [r, g, bl] = c.match(/\d+(\.\d+)?/g).slice(0, 3).map((v) => {
      const s = Number(v) / 255;
      return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
  };
  const [x, y] = [lum(a), lum(b)].sort((p, q) => q - p);
  return (x + 0.05) / (y + 0.05);
}

for (const name of ['samples', 'year']) {
  test(`the ${name} report: no request, no error, fits 320 and 1280 px in both themes, no axe violation, figures as embedded`,
       async () => {
    const {file, html} = reports[name];
    const url = pathToFileURL(file).href;
    for (const width of WIDTHS) {
      for (const theme of THEMES) {
        const at = `${name} ${width} px ${theme}`;
        const page = await browser.newPage({viewport: {width, height: 800}, colorScheme: theme});
        const requests = [];
        page.onRequest(({url: u}) => requests.push(u.href));
        await page.goto(url);
        // Firefox loads a font of its own from a data: URL; the page holds none.
        const own = (u) => u === url || (u.startsWith('data:') && !html.includes(u.slice(0, 60)));
        assert.deepEqual(requests.filter((u) => !own(u)), [], `${at}: requests`);
        assert.deepEqual([...page.errors, ...page.consoleErrors], [], `${at}: errors`);
        assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= innerWidth), `${at}: sideways scroll`);
        await page.evaluate(axeSource);
        const axe = await page.evaluate((tags) => window.axe.run(document, {runOnly: {type: 'tag', values: tags}})
          .then((r) => ({passed: r.passes.map((p) => p.id),
                         violations: r.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).slice(0, 5).join(', ')}`)})),
        AXE_TAGS);
        assert.deepEqual(axe.violations, [], `${at}: axe`);
        assert.ok(axe.passed.includes('color-contrast'), `${at}: axe checked contrast`);
        // Marks against their panel: 3:1 at least.
        const colours = await page.evaluate(() => {
          const fill = (sel) => { const e = document.querySelector(sel); return e && getComputedStyle(e).fill; };
          return {panel: getComputedStyle(document.querySelector('main > section')).backgroundColor,
                  marks: ['rect.active', '.hatch-line', '.heat.l1', '.heat.l2', '.heat.l3', '.heat.l4'].map((s) => [s, fill(s)])};
        });
        for (const [sel, fill] of colours.marks) {
          if (fill) assert.ok(contrast(fill, colours.panel) >= 3, `${at}: ${sel} ${fill} on ${colours.panel}`);
        }
        if (width === 1280 && theme === 'light') {
          const shown = await page.evaluate(readPage);
          checkPage(shown, name);
          assert.deepEqual(shown.data, pageData(reports[name].html), `${name}: data as parsed by the page`);
          assert.ok(shown.columnsSideBySide, `${at}: the breakdowns share a row`);
          // The recording sees what a page asks for in this browser.
          await page.evaluate(() => { const i = new Image(); i.src = 'http://127.0.0.1:65535/probe.png'; });
          await until(() => requests.some((u) => u.endsWith('/probe.png')), 'the probe request');
        }
        if (name === 'samples') {
          await page.screenshot(join(outputDir, `history-${browserName}-${width}-${theme}.png`), {fullPage: true});
        }
        await page.close();
      }
    }
  });
}
