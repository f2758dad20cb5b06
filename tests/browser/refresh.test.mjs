// The 20-second refresh, the Refresh button, and replies that arrive late.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {DAY, T0, closeFixture, isAction, openFixture, openLoaded, recordRequests, rm, sleep, until,
        writeSession} from './support.mjs';

const isSummary = isAction('summary');
const isSession = isAction('session');

let browser, server, root;
before(async () => ({browser, server, root} = await openFixture()));
after(() => closeFixture({browser, server, root}));

describe('refresh', () => {
  test('every 20 s the summary is fetched again and new sessions appear', async () => {
    const page = await browser.newPage();
    // Paused: timers fire only when the test moves the clock.
    await page.installClock(new Date('2024-02-01T00:00:01Z'));
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/?id=s-gamma');
    await page.waitFor('#detail .tag');
    assert.equal(requests.of('summary').length, 1);
    assert.equal(requests.of('session').length, 1);

    await page.runClock(19000);
    assert.equal(requests.of('summary').length, 1);

    const t = T0 + 5 * DAY;
    await writeSession(root, {dir: 's-new', meta: {id: 's-new', profile: 'coder', model: 'm-large'},
                              events: [[t, 'session_start'], [t + 10, 'user_message']]});
    try {
      await page.runClock(1000);
      await until(() => requests.of('summary').length === 2, 'the second summary');
      await page.waitFor('#kSessions', {text: '4'});
      assert.equal(await page.attr('#tbody tr', 'data-dir'), 's-new');
      // The selected session is fetched again after each summary.
      await page.waitFor('#detail .tag');
      assert.equal(requests.of('session').length, 2);

      await page.runClock(40000);
      await until(() => requests.of('summary').length >= 4, 'two more summaries');
      await sleep(100);
      assert.equal(requests.of('summary').length, 4);
    } finally {
      await rm(`${root}/s-new`, {recursive: true, force: true});
    }
    await page.close();
  });

  test('the Refresh button fetches at once; a failed load keeps the figures', async () => {
    const page = await browser.newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    await page.route(isSummary, (route) => route.fulfill({status: 503, body: 'busy'}));
    await page.click('#btnReload');
    await page.waitFor('#err', {text: 'Failed to load: HTTP 503'});
    assert.equal(requests.of('summary').length, 2);
    assert.equal(await page.text('#kSessions'), '3');
    assert.equal(await page.count('#tbody tr'), 3);

    page.unroute(isSummary);
    await page.click('#btnReload');
    await page.waitUntil(() => document.getElementById('err').textContent === '');
    await page.close();
  });
});

describe('late replies', () => {
  test('a summary that arrives after a newer request is dropped', async () => {
    const page = await browser.newPage();
    let held;
    const heldSeen = new Promise((ok) => {
      page.route(isSummary, (route) => {
        if (!held) { held = route; ok(); } else route.continue();
      });
    });
    await page.goto(server.base + '/');
    await heldSeen;
    await page.click('#btnReload');
    await page.waitFor('#kSessions', {text: '3'});
    const stale = {ok: true, root_found: true, count: 99, sessions: [], profiles: [], models: []};
    await held.fulfill({contentType: 'application/json', body: JSON.stringify(stale)});
    await sleep(200);
    assert.equal(await page.text('#kSessions'), '3');
    assert.equal(await page.count('#tbody tr'), 3);
    await page.close();
  });

  test('a session reply for a row no longer selected is dropped', async () => {
    const page = await browser.newPage();
    await openLoaded(page, server.base + '/');
    let held;
    const heldSeen = new Promise((ok) => {
      page.route(isSession, (route) => {
        if (route.url.searchParams.get('sid') === 's-alpha') { held = route; ok(); } else route.continue();
      });
    });
    await page.click('#tbody tr[data-dir="s-alpha"]');
    await heldSeen;
    await page.click('#tbody tr[data-dir="s-gamma"]');
    await page.waitFor('#detail .tag', {text: 'Grep x1'});
    await held.continue();
    await sleep(300);
    assert.equal(await page.text('#detail .mono'), 's-gamma');
    assert.equal(await page.attr('#tbody tr.sel', 'data-dir'), 's-gamma');
    await page.close();
  });
});
