// The node password: where the page finds it, how it travels, and what a
// refusal looks like. lighttpd runs the program with BOT_PASSWORD set.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {closeFixture, openFixture, openLoaded, recordRequests} from './support.mjs';

const PASSWORD = 'pa ss&"\\x';
let browser, server, root;
before(async () => ({browser, server, root} = await openFixture({password: PASSWORD})));
after(() => closeFixture({browser, server, root}));

/**
 * A page whose document request carries the right password (as the host would
 * let the user in), with the given local storage, so that only the script's
 * own requests depend on what it found.
 */
async function pageWith(storage) {
  const context = await browser.newContext();
  await context.addInitScript((items) => {
    for (const [k, v] of Object.entries(items)) localStorage.setItem(k, v);
  }, storage);
  const page = await context.newPage();
  await page.route((u) => u.pathname === '/', (route) =>
    route.continue({headers: {...route.request().headers(), 'x-bot-password': PASSWORD}}));
  return {page, context, requests: recordRequests(page)};
}

function assertCarries(requests, password) {
  assert.ok(requests.all.length > 0);
  for (const r of requests.all) {
    assert.equal(r.headers['x-bot-password'], password);
    assert.equal(r.url.searchParams.get('pwd'), password);
  }
}

describe('password sources', () => {
  test('pwd in the page URL wins over stored ones and goes in header and query', async () => {
    const {page, context, requests} = await pageWith({bot_pwd_n1: 'stale-node', bot_active_pwd: 'stale'});
    await openLoaded(page, server.base + '/?node=n1&pwd=' + encodeURIComponent(PASSWORD));
    assert.equal(await page.locator('#kSessions').textContent(), '3');
    await page.click('#tbody tr[data-dir="s-alpha"]');
    await page.locator('#detail .tag').first().waitFor();
    assertCarries(requests, PASSWORD);
    assert.equal(requests.of('session').length, 1);
    const u = requests.of('summary')[0].url;
    assert.equal(u.search, '?action=summary&node=n1&pwd=' + encodeURIComponent(PASSWORD));
    await context.close();
  });

  test('the stored password of the node comes before the active one', async () => {
    const {page, context, requests} = await pageWith({bot_pwd_n1: PASSWORD, bot_active_pwd: 'wrong'});
    await openLoaded(page, server.base + '/?node=n1');
    assert.equal(await page.locator('#err').textContent(), '');
    assertCarries(requests, PASSWORD);
    await context.close();
  });

  test('without a node, the active password is used', async () => {
    const {page, context, requests} = await pageWith({bot_pwd_n1: 'wrong', bot_active_pwd: PASSWORD});
    await openLoaded(page, server.base + '/');
    assert.equal(await page.locator('#kTurns').textContent(), '3');
    assertCarries(requests, PASSWORD);
    await context.close();
  });
});

describe('refusal', () => {
  test('a wrong password shows Failed to load: HTTP 401 and keeps the placeholders', async () => {
    const {page, context, requests} = await pageWith({bot_active_pwd: 'wrong'});
    await page.goto(server.base + '/');
    await page.locator('#err').getByText('Failed to load: HTTP 401').waitFor();
    assert.equal(await page.locator('#err').textContent(), 'Failed to load: HTTP 401');
    assert.equal(await page.locator('#kSessions').textContent(), '-');
    assertCarries(requests, 'wrong');
    await context.close();
  });

  test('no password at all is refused too', async () => {
    const {page, context, requests} = await pageWith({});
    await page.goto(server.base + '/');
    await page.locator('#err').getByText('Failed to load: HTTP 401').waitFor();
    assert.equal(requests.all[0].headers['x-bot-password'], undefined);
    await context.close();
  });

  test('a refused session request shows HTTP 401 in the detail panel', async () => {
    const {page, context} = await pageWith({bot_active_pwd: PASSWORD});
    await openLoaded(page, server.base + '/');
    // The password is changed behind the page's back before the click.
    await page.evaluate(() => { pwd = 'wrong'; });
    await page.click('#tbody tr[data-dir="s-gamma"]');
    await page.locator('#detail .err').waitFor();
    assert.equal(await page.locator('#detail .empty.err').textContent(), 'HTTP 401');
    await context.close();
  });

  test('storage that refuses access counts as no stored password', async () => {
    const context = await browser.newContext();
    await context.addInitScript(() => {
      Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('denied', 'SecurityError'); }});
    });
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await openLoaded(page, server.base + '/?pwd=' + encodeURIComponent(PASSWORD));
    assert.equal(await page.locator('#kSessions').textContent(), '3');
    // With the document let in by header, the script finds no password at all.
    await page.route((u) => u.pathname === '/', (route) =>
      route.continue({headers: {...route.request().headers(), 'x-bot-password': PASSWORD}}));
    await page.goto(server.base + '/?node=n1');
    await page.locator('#err').getByText('Failed to load: HTTP 401').waitFor();
    assert.equal(await page.evaluate('pwd'), '');
    assert.deepEqual(errors, []);
    await context.close();
  });
});
