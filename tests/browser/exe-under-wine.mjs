// The page end to end with the Windows program: lighttpd runs a wrapper that
// starts the .exe under Wine for every request. A few cases only, since each
// Wine start costs a few hundred milliseconds. The .exe comes from
// $QV_WINE_PROGRAM; the Windows stage of scripts/test runs this file.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {mkdtemp} from 'node:fs/promises';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {DAY, T0, launchBrowser, mainSessions, openLoaded, repoRoot, rm, startServer, texts,
        writeSession} from './support.mjs';

const exe = process.env.QV_WINE_PROGRAM;
const PASSWORD = 'wine-pw';
const JAPANESE = '日本-セッション';
let browser, server, base, wrapperDir;

before(async () => {
  assert.ok(exe, 'QV_WINE_PROGRAM names the .exe');
  base = await mkdtemp(join(tmpdir(), 'qv-wine-browser-'));
  const root = join(base, 'Zoë-ñ', 'sessions');
  const t = T0 + 3 * DAY;
  for (const s of [...mainSessions(), {
    dir: JAPANESE,
    meta: {profile: 'coder', model: 'm-large', cwd: '/home/zoë/日本', start_epoch: t},
    events: [[t, 'session_start'], [t, 'agent_run_start'], [t + 2, 'tool_use', {tool: 'Grep'}],
             [t + 3, 'tool_use', {tool: 'Read'}], [t + 4, 'tool_use', {tool: 'Grep'}],
             [t + 30, 'agent_idle']],
  }]) {
    await writeSession(root, s);
  }
  wrapperDir = join(base, 'cgi');
  const wrapper = execFileSync(join(repoRoot, 'tests', 'browser', 'wine-cgi.sh'), [exe, wrapperDir])
    .toString().trim();
  // The first start may set up the prefix and the Wine server: not inside a request.
  execFileSync(wrapper, ['--meta']);
  [browser, server] = await Promise.all([launchBrowser(),
                                         startServer({root, password: PASSWORD, cgi: wrapper})]);
});

after(async () => {
  await browser?.close();
  await server?.stop();
  if (base) await rm(base, {recursive: true, force: true});
});

const withPassword = (query = '') => `${server.base}/?pwd=${PASSWORD}${query}`;

test('the summary renders its cards and table, non-ASCII names included', async () => {
  const page = await browser.newPage();
  await openLoaded(page, withPassword());
  assert.equal(await page.text('#kSessions'), '4');
  assert.equal(await page.text('#kTurns'), '4');
  assert.equal(await page.text('#kDutySub'), '10 tool calls');
  assert.equal(await page.text('#err'), '');
  const dirs = await page.attrs('#tbody tr', 'data-dir');
  assert.deepEqual(dirs, [JAPANESE, 's-beta', 's-gamma', 's-alpha']);
  await page.close();
});

test('a click on the row of a non-ASCII folder shows its tools', async () => {
  const page = await browser.newPage();
  await openLoaded(page, withPassword());
  await page.click(`#tbody tr[data-dir="${JAPANESE}"]`);
  await page.waitFor('#detail .tag');
  assert.deepEqual(await texts(page, '#detail .tag'), ['Grep x2', 'Read x1']);
  assert.equal(await page.attr('#tbody tr.sel', 'data-dir'), JAPANESE);
  await page.close();
});

test('a refused password shows Failed to load: HTTP 401', async () => {
  // The document itself is let in, as the host would; the script then asks
  // with the stale password it finds in local storage.
  const page = await browser.newPage({storage: {bot_active_pwd: 'wrong'}});
  await page.route((u) => u.pathname === '/', (route) =>
    route.continue({headers: {...route.headers, 'x-bot-password': PASSWORD}}));
  await page.goto(`${server.base}/`);
  await page.waitFor('#err', {text: 'Failed to load: HTTP 401'});
  assert.equal(await page.text('#kSessions'), '-');
  await page.close();
});
