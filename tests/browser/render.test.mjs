// What the dashboard shows for a known set of sessions: cards, rail, bars,
// table, sorting, the detail panel, and the narrow-screen layout.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {closeFixture, openFixture, openLoaded, recordRequests, texts} from './support.mjs';

let browser, server, root;
before(async () => ({browser, server, root} = await openFixture()));
after(() => closeFixture({browser, server, root}));

async function newPage(options = {}) {
  const context = await browser.newContext(options);
  const page = await context.newPage();
  return {page, context};
}

const rowDirs = (page) =>
  page.locator('#tbody tr').evaluateAll((rows) => rows.map((r) => r.getAttribute('data-dir')));

describe('summary on screen', () => {
  test('cards, pill, rail and error line show the totals', async () => {
    const {page, context} = await newPage();
    await openLoaded(page, server.base + '/');
    const card = async (id) => (await page.locator('#' + id).textContent());
    assert.equal(await card('kSessions'), '3');
    assert.equal(await card('kSessionsSub'), '1 active now');
    assert.equal(await card('kTotal'), '13m 20s');
    assert.equal(await card('kActive'), '01m 40s');
    assert.equal(await card('kActiveSub'), '11m 40s idle');
    assert.equal(await card('kDuty'), '12.5%');
    assert.equal(await card('kDutySub'), '7 tool calls');
    assert.equal(await card('kTurns'), '3');
    assert.equal(await card('kTurnsSub'), '33.3s per turn');
    assert.equal(await card('railText'), '01m 40s active of 13m 20s');
    assert.equal(await page.locator('#railOn').evaluate((e) => e.style.width), '12.5%');
    assert.equal(await card('livePill'), 'live');
    assert.equal(await page.locator('#livePill').getAttribute('class'), 'pill on');
    assert.equal(await card('err'), '');
    assert.equal(await page.locator('#tblEmpty').isVisible(), false);
    await context.close();
  });

  test('bars list profiles and models, widest first, names as plain text', async () => {
    const {page, context} = await newPage();
    await openLoaded(page, server.base + '/');
    assert.deepEqual(await texts(page, '#profBars .nm'), ['coder', '<b>ops</b>']);
    assert.equal(await page.locator('#profBars b').count(), 0);
    assert.deepEqual(await page.locator('#profBars .fill').evaluateAll((f) => f.map((e) => e.style.width)),
                     ['100%', '1%']);
    assert.deepEqual(await texts(page, '#profBars .val'), ['01m 40s', '0s']);
    assert.deepEqual(await texts(page, '#modelBars .nm'), ['m-large', 'm-small']);
    assert.deepEqual(await page.locator('#modelBars .fill').evaluateAll((f) => f.map((e) => e.style.width)),
                     ['100%', '67%']);
    assert.equal(await page.locator('#profBars .nm').first().getAttribute('title'), 'coder');
    await context.close();
  });

  test('table rows: most recent first, with state tag, duty without decimals', async () => {
    const {page, context} = await newPage();
    await openLoaded(page, server.base + '/');
    assert.deepEqual(await rowDirs(page), ['s-beta', 's-gamma', 's-alpha']);
    const alpha = page.locator('#tbody tr[data-dir="s-alpha"] td');
    assert.deepEqual(await alpha.allTextContents(),
                     ['alpha-id2024-01-01 00:00:00 idle', 'coderm-large', '01m 00s', '08m 00s', '13%', '1']);
    const beta = page.locator('#tbody tr[data-dir="s-beta"]');
    assert.equal(await beta.locator('.tag.on').textContent(), 'live');
    assert.equal(await beta.locator('td').nth(1).locator('div').first().textContent(), '<b>ops</b>');
    assert.equal(await page.locator('#tbody tr[data-dir="s-gamma"] td').nth(4).textContent(), '18%');
    await context.close();
  });
});

describe('sorting and selecting', () => {
  test('the sort list re-orders the table without asking the plugin again', async () => {
    const {page, context} = await newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    const before = requests.all.length;
    const expected = {active: ['s-alpha', 's-gamma', 's-beta'], turns: ['s-gamma', 's-alpha', 's-beta'],
                      duty: ['s-gamma', 's-alpha', 's-beta'], recent: ['s-beta', 's-gamma', 's-alpha']};
    for (const [value, order] of Object.entries(expected)) {
      await page.selectOption('#sortSel', value);
      assert.deepEqual(await rowDirs(page), order, value);
    }
    // Header cells are labels only.
    await page.click('#tbl th[data-key="turns"]');
    assert.deepEqual(await rowDirs(page), expected.recent);
    assert.equal(requests.all.length, before);
    await context.close();
  });

  test('a row click highlights it and lists its tools, most calls first', async () => {
    const {page, context} = await newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    await page.click('#tbody tr[data-dir="s-alpha"]');
    await page.locator('#detail .tag').first().waitFor();
    assert.deepEqual(await texts(page, '#detail .tag'), ['Bash x3', 'Read x2', 'Edit x1']);
    assert.deepEqual(await texts(page, '#detail > div'), [
      'alpha-id', 'coder / m-large / main', '/work/alpha',
      '01m 00s active, 07m 00s idle, duty 12.5% over 1 turns', 'Bash x3Read x2Edit x1']);
    assert.deepEqual(await page.locator('#tbody tr.sel').evaluateAll((r) => r.map((e) => e.dataset.dir)),
                     ['s-alpha']);
    const session = requests.of('session');
    assert.equal(session.length, 1);
    assert.equal(session[0].url.searchParams.get('sid'), 's-alpha');

    await page.click('#tbody tr[data-dir="s-beta"]');
    await page.getByText('No tool calls recorded').waitFor();
    assert.equal(await page.locator('#detail .tag').count(), 0);
    assert.equal(await page.locator('#detail > div').nth(1).textContent(), '<b>ops</b> / m-small / -');
    await context.close();
  });

  test('an id in the page URL loads that session even when it names no row', async () => {
    const {page, context} = await newPage();
    await page.goto(server.base + '/?id=alpha-id');
    await page.locator('#detail .tag').first().waitFor();
    assert.equal(await page.locator('#detail .mono').first().textContent(), 'alpha-id');
    assert.equal(await page.locator('#tbody tr.sel').count(), 0);
    assert.equal(await page.evaluate('sel'), 'alpha-id');
    await context.close();
  });

  test('an unknown session says so in the detail panel', async () => {
    const {page, context} = await newPage();
    await page.goto(server.base + '/?id=no-such-session');
    await page.locator('#detail').getByText('Session not found').waitFor();
    await context.close();
  });

  test('with no password known, requests carry neither header nor pwd', async () => {
    const {page, context} = await newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    await page.click('#tbody tr[data-dir="s-gamma"]');
    await page.locator('#detail .tag').first().waitFor();
    assert.equal(requests.all.length, 2);
    for (const r of requests.all) {
      assert.equal(r.headers['x-bot-password'], undefined);
      assert.equal(r.url.searchParams.has('pwd'), false);
    }
    assert.equal(requests.all[0].url.pathname + requests.all[0].url.search,
                 '/rudeze_duziruzuderi?action=summary');
    assert.equal(requests.all[1].url.pathname + requests.all[1].url.search,
                 '/rudeze_duziruzuderi?action=session&sid=s-gamma');
    await context.close();
  });

  test('through the plugin route, node and plugin travel in every request', async () => {
    const {page, context} = await newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/?plugin=sessions&node=n%201');
    assert.equal(await page.locator('#kSessions').textContent(), '3');
    const u = requests.of('summary')[0].url;
    assert.equal(u.pathname + u.search, '/plugins?plugin=sessions&action=summary&node=n%201');
    await context.close();
  });
});

describe('layout', () => {
  test('at 640px the Wall and Duty columns go; above they stay', async () => {
    for (const [width, shown] of [[640, false], [641, true]]) {
      const {page, context} = await newPage({viewport: {width, height: 800}});
      await openLoaded(page, server.base + '/');
      for (const sel of ['#tbl th:nth-child(4)', '#tbl th:nth-child(5)',
                         '#tbody tr:first-child td:nth-child(4)', '#tbody tr:first-child td:nth-child(5)']) {
        assert.equal(await page.locator(sel).isVisible(), shown, `${sel} at ${width}px`);
      }
      assert.equal(await page.locator('#tbl th:nth-child(6)').isVisible(), true);
      assert.equal(await page.locator('#kSessions').evaluate((e) => getComputedStyle(e).fontSize),
                   shown ? '22px' : '19px');
      await context.close();
    }
  });

  test('at 400px and less the cards form two columns', async () => {
    // 320px: too narrow for two 160px columns of the wide layout.
    const {page, context} = await newPage({viewport: {width: 320, height: 800}});
    await openLoaded(page, server.base + '/');
    const lefts = await page.locator('.grid .card').evaluateAll((c) => c.map((e) => e.getBoundingClientRect().left));
    assert.equal(new Set(lefts).size, 2);
    await context.close();
  });
});

describe('page functions', () => {
  test('fmt gives the plugin\'s duration texts', async () => {
    const {page, context} = await newPage();
    await page.goto(server.base + '/');
    const cases = [[0, '0s'], [-5, '0s'], [undefined, '0s'], [59, '59s'], [59.9, '59s'], [60, '01m 00s'],
                   [3599, '59m 59s'], [3600, '01h 00m 00s'], [86399, '23h 59m 59s'],
                   [86400, '1d 00h 00m'], [90061, '1d 01h 01m']];
    const got = await page.evaluate((c) => c.map(([s]) => fmt(s)), cases);
    assert.deepEqual(got, cases.map(([, t]) => t));
    await context.close();
  });

  test('bars: all-zero lists give 1% each, 2 against 3 gives 67%, none gives No data', async () => {
    const {page, context} = await newPage();
    await page.goto(server.base + '/');
    const widths = (arr) => page.evaluate((a) => {
      const el = document.createElement('div');
      bars(el, a, 'model');
      return [...el.querySelectorAll('.fill')].map((f) => f.style.width).concat(el.textContent === 'No data' ? ['No data'] : []);
    }, arr);
    assert.deepEqual(await widths([{model: 'a', active_sec: 0}, {model: 'b', active_sec: 0}]), ['1%', '1%']);
    assert.deepEqual(await widths([{model: 'a', active_sec: 3}, {model: 'b', active_sec: 2}]), ['100%', '67%']);
    assert.deepEqual(await widths([]), ['No data']);
    await context.close();
  });
});
