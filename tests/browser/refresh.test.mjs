// The 20-second refresh, the Refresh button, and replies that arrive late.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {DAY, T0, closeFixture, openFixture, openLoaded, recordRequests, rm, until, writeSession} from './support.mjs';

let browser, server, root;
before(async () => ({browser, server, root} = await openFixture()));
after(() => closeFixture({browser, server, root}));

describe('refresh', () => {
  test('every 20 s the summary is fetched again and new sessions appear', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    // Paused: timers fire only when the test moves the clock.
    await page.clock.install({time: new Date('2024-02-01T00:00:00Z')});
    await page.clock.pauseAt(new Date('2024-02-01T00:00:01Z'));
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/?id=s-gamma');
    await page.locator('#detail .tag').waitFor();
    assert.equal(requests.of('summary').length, 1);
    assert.equal(requests.of('session').length, 1);

    await page.clock.runFor(19000);
    assert.equal(requests.of('summary').length, 1);

    const t = T0 + 5 * DAY;
    await writeSession(root, {dir: 's-new', meta: {id: 's-new', profile: 'coder', model: 'm-large'},
                              events: [[t, 'session_start'], [t + 10, 'user_message']]});
    try {
      const next = page.waitForRequest((r) => r.url().includes('action=summary'));
      await page.clock.runFor(1000);
      await next;
      await page.locator('#kSessions').getByText('4').waitFor();
      assert.equal(await page.locator('#tbody tr').first().getAttribute('data-dir'), 's-new');
      // The selected session is fetched again after each summary. (No
      // waitForFunction here: its frame-based polling stops with the clock.)
      await page.locator('#detail .tag').waitFor();
      assert.equal(requests.of('session').length, 2);

      await page.clock.runFor(40000);
      await until(() => requests.of('summary').length >= 4, 'two more summaries');
      await page.waitForTimeout(100);
      assert.equal(requests.of('summary').length, 4);
    } finally {
      await rm(`${root}/s-new`, {recursive: true, force: true});
    }
    await context.close();
  });

  test('the Refresh button fetches at once; a failed load keeps the figures', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    const requests = recordRequests(page);
    await openLoaded(page, server.base + '/');
    await page.route('**/rudeze_duziruzuderi?action=summary*', (route) => route.fulfill({status: 503, body: 'busy'}));
    await page.click('#btnReload');
    await page.locator('#err').getByText('Failed to load: HTTP 503').waitFor();
    assert.equal(requests.of('summary').length, 2);
    assert.equal(await page.locator('#kSessions').textContent(), '3');
    assert.equal(await page.locator('#tbody tr').count(), 3);

    await page.unroute('**/rudeze_duziruzuderi?action=summary*');
    await page.click('#btnReload');
    await page.waitForFunction(() => document.getElementById('err').textContent === '');
    await context.close();
  });
});

describe('late replies', () => {
  test('a summary that arrives after a newer request is dropped', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    let held;
    const heldSeen = new Promise((ok) => {
      page.route('**/rudeze_duziruzuderi?action=summary*', (route) => {
        if (!held) { held = route; ok(); } else route.continue();
      });
    });
    await page.goto(server.base + '/');
    await heldSeen;
    await page.click('#btnReload');
    await page.locator('#kSessions').getByText('3').waitFor();
    const stale = {ok: true, root_found: true, count: 99, sessions: [], profiles: [], models: []};
    await held.fulfill({contentType: 'application/json', body: JSON.stringify(stale)});
    await page.waitForTimeout(200);
    assert.equal(await page.locator('#kSessions').textContent(), '3');
    assert.equal(await page.locator('#tbody tr').count(), 3);
    await context.close();
  });

  test('a session reply for a row no longer selected is dropped', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    await openLoaded(page, server.base + '/');
    let held;
    const heldSeen = new Promise((ok) => {
      page.route('**/rudeze_duziruzuderi?action=session*', (route) => {
        if (route.request().url().includes('sid=s-alpha')) { held = route; ok(); } else route.continue();
      });
    });
    await page.click('#tbody tr[data-dir="s-alpha"]');
    await heldSeen;
    await page.click('#tbody tr[data-dir="s-gamma"]');
    await page.locator('#detail .tag').getByText('Grep x1').waitFor();
    await held.continue();
    await page.waitForTimeout(300);
    assert.equal(await page.locator('#detail .mono').first().textContent(), 's-gamma');
    assert.equal(await page.locator('#tbody tr.sel').getAttribute('data-dir'), 's-gamma');
    await context.close();
  });
});
