// The summary cards at phone widths, with the widest values the sessions can
// give: durations of days, a duty cycle of 100.0%, five-digit turn counts and
// six-digit tool counts. At 400px and less the cards form two equal columns
// whatever the values, and every card and value stays inside the page.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {mkdir} from 'node:fs/promises';
import {join} from 'node:path';
import {DAY, T0, browserName, launchBrowser, makeSessions, openLoaded, outputDir, rm, spreadEvents,
        startServer, texts} from './support.mjs';

const H = 3600, M = 60;
// Each set is one session; `cards` is what the five card values must read.
// The first column holds Sessions, Active work and Turns; the second Wall
// clock and Duty cycle, so the sets make either column the wider one.
const SETS = [
  {name: 'all active', span: 1234 * DAY + 5 * H + 6 * M, active: 1234 * DAY + 5 * H + 6 * M, turns: 12345,
   tools: 123456, cards: ['1', '1234d 05h 06m', '1234d 05h 06m', '100.0%', '12345']},
  {name: 'long wall clock', span: 123 * DAY + 4 * H + 5 * M, active: DAY + H + M + 1, turns: 12345, tools: 123456,
   cards: ['1', '123d 04h 05m', '1d 01h 01m', '0.8%', '12345']},
  {name: 'long active time', span: DAY + H + M + 1, active: 3 * H + 31 * M + 1, turns: 12345, tools: 99999,
   cards: ['1', '1d 01h 01m', '03h 31m 01s', '14.1%', '12345']},
];

let browser;
const servers = [];
before(async () => {
  browser = await launchBrowser();
  await mkdir(outputDir, {recursive: true});
  for (const set of SETS) {
    const root = await makeSessions([{
      dir: 'wide', meta: {id: 'wide', profile: 'coder', model: 'm-large', start_epoch: T0},
      events: spreadEvents({start: T0, ...set}),
    }]);
    servers.push({root, server: await startServer({root})});
  }
});
after(async () => {
  await browser?.close();
  for (const {root, server} of servers) {
    await server.stop();
    await rm(root, {recursive: true, force: true});
  }
});

// The geometry of the card grid, in CSS pixels.
const layout = (page) => page.evaluate(() => {
  const box = (e) => {
    const r = e.getBoundingClientRect();
    return {left: r.left, right: r.right, width: r.width};
  };
  const grid = document.querySelector('.grid');
  const cards = [...grid.querySelectorAll('.card')].map((card) => {
    const v = card.querySelector('.v');
    const pad = parseFloat(getComputedStyle(card).paddingLeft) + card.clientLeft;
    return {...box(card), inner: {left: box(card).left + pad, right: box(card).right - pad},
            value: {...box(v), scroll: v.scrollWidth, client: v.clientWidth}};
  });
  return {
    columns: getComputedStyle(grid).gridTemplateColumns.split(' ').map(parseFloat),
    grid: {...box(grid), scroll: grid.scrollWidth, client: grid.clientWidth},
    cards,
    page: {scroll: document.documentElement.scrollWidth, client: document.documentElement.clientWidth,
           inner: innerWidth},
  };
});

const near = (a, b) => Math.abs(a - b) <= 1;

for (const width of [320, 400]) {
  describe(`cards at ${width}px`, () => {
    SETS.forEach((set, i) => {
      test(`${set.name}: two equal columns, every card and value inside the page`, async () => {
        const page = await browser.newPage({viewport: {width, height: 800}});
        await openLoaded(page, servers[i].server.base + '/');
        assert.deepEqual(await texts(page, '.grid .v'), set.cards);
        assert.equal(await page.text('#kDutySub'), `${set.tools} tool calls`);
        const g = await layout(page);
        const what = `${set.name} at ${width}px: ${JSON.stringify(g)}`;

        assert.equal(g.columns.length, 2, what);
        assert.ok(near(g.columns[0], g.columns[1]), what);
        const lefts = [...new Set(g.cards.map((c) => Math.round(c.left)))];
        assert.equal(lefts.length, 2, what);
        for (const c of g.cards) {
          assert.ok(near(c.width, g.columns[0]), what);
          assert.ok(c.left >= g.grid.left - 0.5 && c.right <= g.grid.right + 0.5, what);
          assert.ok(c.width <= g.page.client, what);
          // The value's box sits in the card's content box and shows all of its text.
          assert.ok(c.value.left >= c.inner.left - 0.5 && c.value.right <= c.inner.right + 0.5, what);
          assert.ok(c.value.scroll <= c.value.client, what);
        }
        assert.ok(g.grid.scroll <= g.grid.client, what);
        assert.ok(g.page.scroll <= g.page.inner, what);
        assert.ok(g.page.scroll <= g.page.client, what);
        if (i === 0) {
          for (const theme of ['dark', 'light']) {
            await openLoaded(page, `${servers[i].server.base}/?theme=${theme}`);
            await page.screenshot(join(outputDir, `cards-${browserName}-${width}-${theme}.png`));
          }
        }
        await page.close();
      });
    });
  });
}
