// The node password: where the page finds it, how it travels, and what a
// refusal looks like. lighttpd runs the program with BOT_PASSWORD set.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {closeFixture, openFixture, openLoaded, recordRequests} from './support.mjs';

const isDocument = (u) => u.pathname === '/';

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
  const page = await browser.newPage({storage});
  await page.route(isDocument, (route) => route.continue({headers: {...route.headers, 'x-bot-password': PASSWORD}}));
  return {page, requests: recordRequests(page)};
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
    const {page, requests} = await pageWith({bot_pwd_n1: 'stale-node', bot_active_pwd: 'stale'});
    await openLoaded(page, server.base + '/?node=n1&pwd=' + encodeURIComponent(PASSWORD));
    assert.equal(await page.text('#kSessions'), '3');
    await page.click('#tbody tr[data-dir="s-alpha"]');
    await page.waitFor('#detail .tag');
    assertCarries(requests, PASSWORD);
    assert.equal(requests.of('session').length, 1);
    const u = requests.of('summary')[0].url;
    assert.equal(u.search, '?action=summary&node=n1&pwd=' + encodeURIComponent(PASSWORD));
    await page.close();
  });

  test('the stored password of the node comes before the active one', async () => {
    const {page, requests} = await pageWith({bot_pwd_n1: PASSWORD, bot_active_pwd: 'wrong'});
    await openLoaded(page, server.base + '/?node=n1');
    assert.equal(await page.text('#err'), '');
    assertCarries(requests, PASSWORD);
    await page.close();
  });

  test('without a node, the active password is used', async () => {
    const {page, requests} = await pageWith({bot_pwd_n1: 'wrong', bot_active_pwd: PASSWORD});
    await openLoaded(page, server.base + '/');
    assert.equal(await page.text('#kTurns'), '3');
    assertCarries(requests, PASSWORD);
    await page.close();
  });
});

describe('refusal', () => {
  test('a wrong password shows Failed to load: HTTP 401 and keeps the placeholders', async () => {
    const {page, requests} = await pageWith({bot_active_pwd: 'wrong'});
    await page.goto(server.base + '/');
    await page.waitFor('#err', {text: 'Failed to load: HTTP 401'});
    assert.equal(await page.text('#err'), 'Failed to load: HTTP 401');
    assert.equal(await page.text('#kSessions'), '-');
    assertCarries(requests, 'wrong');
    await page.close();
  });

  test('no password at all is refused too', async () => {
    const {page, requests} = await pageWith({});
    await page.goto(server.base + '/');
    await page.waitFor('#err', {text: 'Failed to load: HTTP 401'});
    assert.equal(requests.all[0].headers['x-bot-password'], undefined);
    await page.close();
  });

  test('a refused session request shows HTTP 401 in the detail panel', async () => {
    const {page} = await pageWith({bot_active_pwd: PASSWORD});
    await openLoaded(page, server.base + '/');
    // The password is changed behind the page's back before the click.
    await page.evaluate(() => { pwd = 'wrong'; });
    await page.click('#tbody tr[data-dir="s-gamma"]');
    await page.waitFor('#detail .err');
    assert.equal(await page.text('#detail .empty.err'), 'HTTP 401');
    await page.close();
  });

  test('storage that refuses access counts as no stored password', async () => {
    const page = await browser.newPage();
    await page.addInitScript(() => {
      Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('denied', 'SecurityError'); }});
    });
    await openLoaded(page, server.base + '/?pwd=' + encodeURIComponent(PASSWORD));
    assert.equal(await page.text('#kSessions'), '3');
    // With the document let in by header, the script finds no password at all.
    await page.route(isDocument, (route) => route.continue({headers: {...route.headers, 'x-bot-password': PASSWORD}}));
    await page.goto(server.base + '/?node=n1');
    await page.waitFor('#err', {text: 'Failed to load: HTTP 401'});
    assert.equal(await page.evaluate('pwd'), '');
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});
