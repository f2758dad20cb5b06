// The session id of the page request reaches the script's `sel` unchanged,
// whatever bytes it holds, and the script stays intact.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {closeFixture, openFixture} from './support.mjs';

let browser, server, root;
before(async () => ({browser, server, root} = await openFixture()));
after(() => closeFixture({browser, server, root}));

test('awkward sids arrive in sel as sent', async () => {
  const context = await browser.newContext();
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  const sids = ["it's", 'back\\slash', "x';alert(1);'", '</script><b id="inj">x</b>', 'line\nfeed',
                'cr\rtab\t', '\u2028sep\u2029', 'caf\u00e9 \u6f22', "'\\</SCRIPT>\n'"];
  for (const sid of sids) {
    await page.goto(server.base + '/?sid=' + encodeURIComponent(sid));
    assert.equal(await page.evaluate('sel'), sid, JSON.stringify(sid));
    assert.equal(await page.locator('#inj').count(), 0);
    // The script ran to its end: the detail panel asks for that session.
    await page.locator('#detail').getByText('Session not found').waitFor();
  }
  assert.deepEqual(errors, []);
  await context.close();
});

test('sid selects the session; an id in the page URL wins over it; none gives ""', async () => {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto(server.base + '/?sid=s-alpha');
  await page.locator('#detail .tag').first().waitFor();
  assert.equal(await page.locator('#tbody tr.sel').getAttribute('data-dir'), 's-alpha');

  await page.goto(server.base + '/?sid=s-alpha&id=s-gamma');
  assert.equal(await page.evaluate('sel'), 's-gamma');

  await page.goto(server.base + '/');
  assert.equal(await page.evaluate('sel'), '');
  await page.locator('#kSessions').getByText('3').waitFor();
  assert.equal(await page.locator('#detail').textContent(), 'Select a row above to inspect tool usage.');
  await context.close();
});
