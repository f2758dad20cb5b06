// What the dashboard shows for a known set of sessions: cards, rail, bars,
// table, sorting, the detail panel, and the narrow-screen layout.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {closeFixture, openFixture, openLoaded, recordRequests, texts} from './support.mjs';

let browser, server, root;
before(async () => ({browser, server, root} = await openFixture()));
after(() => closeFixture({browser, server, root}));

const rowDirs = (page) => page.attrs('#tbody tr', 'data-dir');
const inlineWidths = (page, selector) =>
  page.evaluate((sel) => [...document.querySelectorAll(sel)].map((e) => e.style.width), selector);

describe('summary on screen', () => {
  test('cards, pill, rail and error line show the totals', async () => {
    const page = await browser.newPage();
    await openLoaded(page, server.base + '/');
    const card = (id) => page.text('#' + id);
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
    assert.equal((await inlineWidths(page, '#railOn'))[0], '12.5%');
    assert.equal(await card('livePill'), 'live');
    assert.equal(await page.attr('#livePill', 'class'), 'pill on');
    assert.equal(await card('err'), '');
    assert.equal(await page.visible('#tblEmpty'), false);
    await page.close();
  });

  test('bars list profiles and models, widest first, names as plain text', async () => {
    const page = await browser.newPage();
    await openLoaded(page, server.base + '/');
    assert.deepEqual(await texts(page, '#profBars .nm'), ['coder', '<b>ops</b>']);
    assert.equal(await page.count('#profBars b'), 0);
    assert.deepEqual(await inlineWidths(page, '#profBars .fill'),
                     ['100%', '1%']);
    assert.deepEqual(await texts(page, '#profBars .val'), ['01m 40s', '0s']);
    assert.deepEqual(await texts(page, '#modelBars .nm'), ['m-large', 'm-small']);
    assert.deepEqual(await inlineWidths(page, '#modelBars .fill'),
                     ['100%', '67%']);
    assert.equal(await page.attr('#profBars .nm', 'title'), 'coder');
    await page.close();
  });

  test('table rows: most recent first, with state tag, duty without decimals', async () => {
    const page = await browser.newPage();
    await openLoaded(page, server.base + '/');
    assert.deepEqual(await rowDirs(page), ['s-beta', 's-gamma', 's-alpha']);
    assert.deepEqual(await texts(page, '#tbody tr[data-dir="s-alpha"] td'),
                     ['alpha-id2024-01-01 00:00:00 idle', 'coderm-large', '01m 00s', '08m 00s', '13%', '1']);
    const beta = '#tbody tr[data-dir="s-beta"]';
    assert.equal(await page.text(beta + ' .tag.on'), 'live');
    assert.equal(await page.text(beta + ' td:nth-child(2) div'), '<b>ops</b>');
    assert.equal(await page.text('#tbody tr[data-dir="s-gamma"] td:nth-child(5)'), '18%');
    await page.close();
  });
});

describe('sorting and selecting', () => {
  test('the sort list re-orders the table without asking the plugin again', async () => {
    const page = await browser.newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    const before = requests.all.length;
    const expected = {active: ['s-alpha', 's-gamma', 's-beta'], turns: ['s-gamma', 's-alpha', 's-beta'],
                      duty: ['s-gamma', 's-alpha', 's-beta'], recent: ['s-beta', 's-gamma', 's-alpha']};
    for (const [value, order] of Object.entries(expected)) {
      await page.select('#sortSel', value);
      assert.deepEqual(await rowDirs(page), order, value);
    }
    // Header cells are labels only.
    await page.click('#tbl th[data-key="turns"]');
    assert.deepEqual(await rowDirs(page), expected.recent);
    assert.equal(requests.all.length, before);
    await page.close();
  });

  test('a row click highlights it and lists its tools, most calls first', async () => {
    const page = await browser.newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    await page.click('#tbody tr[data-dir="s-alpha"]');
    await page.waitFor('#detail .tag');
    assert.deepEqual(await texts(page, '#detail .tag'), ['Bash x3', 'Read x2', 'Edit x1']);
    assert.deepEqual(await texts(page, '#detail > div'), [
      'alpha-id', 'coder / m-large / main', '/work/alpha',
      '01m 00s active, 07m 00s idle, duty 12.5% over 1 turns', 'Bash x3Read x2Edit x1']);
    assert.deepEqual(await page.attrs('#tbody tr.sel', 'data-dir'), ['s-alpha']);
    const session = requests.of('session');
    assert.equal(session.length, 1);
    assert.equal(session[0].url.searchParams.get('sid'), 's-alpha');

    await page.click('#tbody tr[data-dir="s-beta"]');
    await page.waitFor('#detail .sub', {text: 'No tool calls recorded'});
    assert.equal(await page.count('#detail .tag'), 0);
    assert.equal((await texts(page, '#detail > div'))[1], '<b>ops</b> / m-small / -');
    await page.close();
  });

  test('an id in the page URL loads that session even when it names no row', async () => {
    const page = await browser.newPage();
    await page.goto(server.base + '/?id=alpha-id');
    await page.waitFor('#detail .tag');
    assert.equal(await page.text('#detail .mono'), 'alpha-id');
    assert.equal(await page.count('#tbody tr.sel'), 0);
    assert.equal(await page.evaluate('sel'), 'alpha-id');
    await page.close();
  });

  test('an unknown session says so in the detail panel', async () => {
    const page = await browser.newPage();
    await page.goto(server.base + '/?id=no-such-session');
    await page.waitFor('#detail', {text: 'Session not found'});
    await page.close();
  });

  test('with no password known, requests carry neither header nor pwd', async () => {
    const page = await browser.newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    await page.click('#tbody tr[data-dir="s-gamma"]');
    await page.waitFor('#detail .tag');
    assert.equal(requests.all.length, 2);
    for (const r of requests.all) {
      assert.equal(r.headers['x-bot-password'], undefined);
      assert.equal(r.url.searchParams.has('pwd'), false);
    }
    assert.equal(requests.all[0].url.pathname + requests.all[0].url.search,
                 '/rudeze_duziruzuderi?action=summary');
    assert.equal(requests.all[1].url.pathname + requests.all[1].url.search,
                 '/rudeze_duziruzuderi?action=session&sid=s-gamma');
    await page.close();
  });

  test('through the plugin route, node and plugin travel in every request', async () => {
    const page = await browser.newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/?plugin=sessions&node=n%201');
    assert.equal(await page.text('#kSessions'), '3');
    const u = requests.of('summary')[0].url;
    assert.equal(u.pathname + u.search, '/plugins?plugin=sessions&action=summary&node=n%201');
    await page.close();
  });
});

describe('layout', () => {
  test('at 640px the Wall and Duty columns go; above they stay', async () => {
    for (const [width, shown] of [[640, false], [641, true]]) {
      const page = await browser.newPage({viewport: {width, height: 800}});
      await openLoaded(page, server.base + '/');
      for (const sel of ['#tbl th:nth-child(4)', '#tbl th:nth-child(5)',
                         '#tbody tr:first-child td:nth-child(4)', '#tbody tr:first-child td:nth-child(5)']) {
        assert.equal(await page.visible(sel), shown, `${sel} at ${width}px`);
      }
      assert.equal(await page.visible('#tbl th:nth-child(6)'), true);
      assert.equal(await page.style('#kSessions', 'font-size'), shown ? '22px' : '19px');
      await page.close();
    }
  });

  test('at 400px and less the cards form two columns', async () => {
    // 320px: too narrow for two 160px columns of the wide layout.
    const page = await browser.newPage({viewport: {width: 320, height: 800}});
    await openLoaded(page, server.base + '/');
    const lefts = await page.evaluate(() =>
      [...document.querySelectorAll('.grid .card')].map((e) => e.getBoundingClientRect().left));
    assert.equal(new Set(lefts).size, 2);
    await page.close();
  });
});

describe('page functions', () => {
  test('fmt gives the plugin\'s duration texts', async () => {
    const page = await browser.newPage();
    await page.goto(server.base + '/');
    const cases = [[0, '0s'], [-5, '0s'], [undefined, '0s'], [59, '59s'], [59.9, '59s'], [60, '01m 00s'],
                   [3599, '59m 59s'], [3600, '01h 00m 00s'], [86399, '23h 59m 59s'],
                   [86400, '1d 00h 00m'], [90061, '1d 01h 01m']];
    const got = await page.evaluate((c) => c.map(([s]) => fmt(s)), cases);
    assert.deepEqual(got, cases.map(([, t]) => t));
    await page.close();
  });

  test('bars: all-zero lists give 1% each, 2 against 3 gives 67%, none gives No data', async () => {
    const page = await browser.newPage();
    await page.goto(server.base + '/');
    const widths = (arr) => page.evaluate((a) => {
      const el = document.createElement('div');
      bars(el, a, 'model');
      return [...el.querySelectorAll('.fill')].map((f) => f.style.width).concat(el.textContent === 'No data' ? ['No data'] : []);
    }, arr);
    assert.deepEqual(await widths([{model: 'a', active_sec: 0}, {model: 'b', active_sec: 0}]), ['1%', '1%']);
    assert.deepEqual(await widths([{model: 'a', active_sec: 3}, {model: 'b', active_sec: 2}]), ['100%', '67%']);
    assert.deepEqual(await widths([]), ['No data']);
    await page.close();
  });
});
