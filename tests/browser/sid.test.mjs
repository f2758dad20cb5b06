// The session id of the page request reaches the script's `sel` unchanged,
// whatever bytes it holds, and the script stays intact.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {closeFixture, openFixture} from './support.mjs';

let browser, server, root;
before(async () => ({browser, server, root} = await openFixture()));
after(() => closeFixture({browser, server, root}));

test('awkward sids arrive in sel as sent', async () => {
  const page = await browser.newPage();
  const sids = ["it's", 'back\\slash', "x';alert(1);'", '</script><b id="inj">x</b>', 'line\nfeed',
                'cr\rtab\t', '\u2028sep\u2029', 'caf\u00e9 \u6f22', "'\\</SCRIPT>\n'"];
  for (const sid of sids) {
    await page.goto(server.base + '/?sid=' + encodeURIComponent(sid));
    assert.equal(await page.evaluate('sel'), sid, JSON.stringify(sid));
    assert.equal(await page.count('#inj'), 0);
    // The script ran to its end: the detail panel asks for that session.
    await page.waitFor('#detail', {text: 'Session not found'});
  }
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('sid selects the session; an id in the page URL wins over it; none gives ""', async () => {
  const page = await browser.newPage();
  await page.goto(server.base + '/?sid=s-alpha');
  await page.waitFor('#detail .tag');
  assert.equal(await page.attr('#tbody tr.sel', 'data-dir'), 's-alpha');

  await page.goto(server.base + '/?sid=s-alpha&id=s-gamma');
  assert.equal(await page.evaluate('sel'), 's-gamma');

  await page.goto(server.base + '/');
  assert.equal(await page.evaluate('sel'), '');
  await page.waitFor('#kSessions', {text: '3'});
  assert.equal(await page.text('#detail'), 'Select a row above to inspect tool usage.');
  await page.close();
});
