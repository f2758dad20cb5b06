// What the page shows before data arrives, without a sessions root, and with
// an empty one.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {join} from 'node:path';
import {isAction, launchBrowser, makeSessions, openLoaded, rm, startServer, texts} from './support.mjs';

let browser, empty, missing, root;
before(async () => {
  root = await makeSessions([]);
  [browser, empty, missing] = await Promise.all([
    launchBrowser(), startServer({root}), startServer({root: join(root, 'gone')})]);
});
after(async () => {
  await browser?.close();
  await empty?.stop();
  await missing?.stop();
  await rm(root, {recursive: true, force: true});
});

const PLACEHOLDERS = {
  cards: ['-', '-', '-', '-', '-'], pill: 'idle', bars: ['No data', 'No data'], rows: 0,
  detail: 'Select a row above to inspect tool usage.',
};

async function screen(page) {
  return {
    cards: await texts(page, '.grid .v'),
    pill: await page.text('#livePill'),
    bars: await texts(page, '.bars'),
    rows: await page.count('#tbody tr'),
    detail: await page.text('#detail'),
  };
}

test('before the first summary the placeholders show', async () => {
  const page = await browser.newPage();
  let release;
  const held = new Promise((ok) => { release = ok; });
  await page.route(isAction('summary'), async (route) => { await held; await route.continue(); });
  await page.goto(empty.base + '/');
  assert.deepEqual(await screen(page), PLACEHOLDERS);
  assert.equal(await page.visible('#tblEmpty'), false);
  assert.deepEqual(await texts(page, '.grid .sub'),
                   ['\u00a0', 'All sessions combined', '\u00a0', '\u00a0', '\u00a0']);
  release();
  await page.waitFor('#tblEmpty');
  await page.close();
});

test('an empty sessions root: zeros, no rows, and the empty-table line', async () => {
  const page = await browser.newPage();
  await openLoaded(page, empty.base + '/');
  assert.deepEqual(await screen(page), {...PLACEHOLDERS, cards: ['0', '0s', '0s', '0.0%', '0']});
  assert.equal(await page.text('#tblEmpty'), 'No session directories found');
  assert.equal(await page.visible('#tblEmpty'), true);
  assert.equal(await page.text('#kTurnsSub'), '-');
  assert.equal(await page.evaluate(() => document.getElementById('railOn').style.width), '0%');
  assert.equal(await page.text('#err'), '');
  await page.close();
});

test('a missing sessions root is named in the error line', async () => {
  const page = await browser.newPage();
  await openLoaded(page, missing.base + '/');
  assert.equal(await page.text('#err'), 'Sessions root not found: ' + join(root, 'gone'));
  assert.equal(await page.visible('#tblEmpty'), true);
  assert.equal(await page.text('#kSessions'), '0');
  await page.close();
});
