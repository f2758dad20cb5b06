// Shared by the browser tests: fixture session folders, a lighttpd that runs the
// program as CGI (the same configuration as scripts/demo), and the browser
// ($QV_BROWSER, through browsers.mjs).
import {spawn, execFileSync} from 'node:child_process';
import {mkdtemp, mkdir, writeFile, rm} from 'node:fs/promises';
import {connect, createServer} from 'node:net';
import {tmpdir} from 'node:os';
import {dirname, join, resolve} from 'node:path';
import {fileURLToPath} from 'node:url';
import {browserName, launch, sleep} from './browsers.mjs';

export const repoRoot = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');
export const program = resolve(repoRoot, process.env.QV_PROGRAM || 'build/rudeze_duziruzuderi');
export const outputDir = join(repoRoot, 'test-output');
const confScript = join(repoRoot, 'tests', 'browser', 'lighttpd-conf.sh');

const pad = (n) => String(n).padStart(2, '0');
/** Event-log time text of an epoch second count (UTC). */
export function ts(epoch) {
  const d = new Date(epoch * 1000);
  return `${d.getUTCFullYear()}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())} ` +
         `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}:${pad(d.getUTCSeconds())}`;
}

export const DAY = 86400;
export const T0 = 1704067200; // 2024-01-01 00:00:00

/**
 * Writes session folders under a new temporary root.
 * Each session: {dir, meta?, stats?, events?: [[epoch, event, extra?]], thinking?}.
 */
export async function makeSessions(sessions) {
  const root = await mkdtemp(join(tmpdir(), 'qv-browser-root-'));
  for (const s of sessions) await writeSession(root, s);
  return root;
}

export async function writeSession(root, s) {
  const dir = join(root, s.dir);
  await mkdir(dir, {recursive: true});
  if (s.meta) await writeFile(join(dir, 'meta.json'), JSON.stringify(s.meta));
  if (s.stats) await writeFile(join(dir, 'stats.json'), JSON.stringify(s.stats));
  if (s.thinking) await writeFile(join(dir, 'thinking'), '');
  const lines = (s.events || []).map(([t, event, extra]) =>
    JSON.stringify({ts: ts(t), event, ...(extra || {})}) + '\n');
  await writeFile(join(dir, 'events.jsonl'), lines.join(''));
}

function freePort() {
  return new Promise((ok, fail) => {
    const srv = createServer();
    srv.on('error', fail);
    srv.listen(0, '127.0.0.1', () => {
      const {port} = srv.address();
      srv.close(() => ok(port));
    });
  });
}

function canConnect(port) {
  return new Promise((ok) => {
    const sock = connect(port, '127.0.0.1');
    sock.once('connect', () => { sock.destroy(); ok(true); });
    sock.once('error', () => ok(false));
  });
}

/**
 * Starts lighttpd on a free loopback port over `root`, with an optional node
 * password and static files (name -> text) in its document root, running
 * `cgi` (by default the program under test) for the plugin routes.
 * Returns {base, stop}.
 */
export async function startServer({root, password = '', files = {}, cgi = program}) {
  const dir = await mkdtemp(join(tmpdir(), 'qv-browser-www-'));
  const www = join(dir, 'www');
  await mkdir(www);
  for (const [name, text] of Object.entries(files)) await writeFile(join(www, name), text);
  const env = {...process.env, QV_SESSIONS_DIR: root};
  if (password) env.BOT_PASSWORD = password; else delete env.BOT_PASSWORD;
  // Another process may take the port between the probe and the bind: retry.
  for (let attempt = 0; attempt < 5; attempt++) {
    const port = await freePort();
    const conf = join(dir, `lighttpd-${port}.conf`);
    await writeFile(conf, execFileSync(confScript, [cgi, String(port), www], {env}));
    const child = spawn('lighttpd', ['-D', '-f', conf], {env, stdio: ['ignore', 'ignore', 'pipe']});
    let log = '';
    child.stderr.on('data', (b) => { log += b; });
    let exited = false;
    const exit = new Promise((ok) => child.once('exit', () => { exited = true; ok(); }));
    for (let i = 0; i < 100 && !exited; i++) {
      if (await canConnect(port)) {
        return {
          base: `http://127.0.0.1:${port}`,
          async stop() {
            child.kill('SIGTERM');
            await exit;
            await rm(dir, {recursive: true, force: true});
          },
        };
      }
      await new Promise((ok) => setTimeout(ok, 50));
    }
    child.kill('SIGKILL');
    await exit;
    if (attempt === 4) throw new Error(`lighttpd did not start: ${log}`);
  }
}

/**
 * What most test files share: the main sample sessions served by lighttpd
 * (with `serverOptions` such as a password or extra files) and a browser.
 */
export async function openFixture(serverOptions = {}) {
  const root = await makeSessions(mainSessions());
  const [browser, server] = await Promise.all([launchBrowser(), startServer({root, ...serverOptions})]);
  return {browser, server, root};
}

export async function closeFixture({browser, server, root} = {}) {
  await browser?.close();
  await server?.stop();
  if (root) await rm(root, {recursive: true, force: true});
}

export const launchBrowser = () => launch();
export {browserName, sleep};

/** Records the plugin requests (summary and session) that a page makes. */
export function recordRequests(page) {
  const list = [];
  page.onRequest(({url, headers}) => {
    if (url.searchParams.has('action')) list.push({url, headers});
  });
  return {
    all: list,
    of: (action) => list.filter((r) => r.url.searchParams.get('action') === action),
  };
}

/** Opens the page and waits until the first summary is on screen. */
export async function openLoaded(page, url) {
  await page.goto(url);
  await page.waitUntil(() => document.getElementById('kSessions').textContent !== '-', [], 'the first summary');
}

/** Waits until `cond()` holds (polling), for counts fed by browser events. */
export async function until(cond, what = 'condition', ms = 5000) {
  const end = Date.now() + ms;
  while (!(await cond())) {
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((ok) => setTimeout(ok, 20));
  }
}

export const texts = (page, selector) => page.texts(selector);

/** Request matchers for page.route, by the plugin action asked for. */
export const isAction = (action) => (u) => u.searchParams.get('action') === action;

/**
 * Three sessions whose figures are easy to check by hand. Sums: active 100 s,
 * wall 800 s (duty 12.5), 3 turns, 7 tool calls, one live session.
 *   s-alpha (id alpha-id): 60 of 480 s active (12.5%), 1 turn, tools
 *     Read x2, Bash x3, Edit x1 in first-use order; the oldest.
 *   s-gamma: 40 of 220 s active in 2 turns, one Grep call.
 *   s-beta: no run, 100 s, live (thinking marker), profile with markup; the newest.
 */
export function mainSessions() {
  const a = T0, g = T0 + DAY, b = T0 + 2 * DAY;
  return [
    {
      dir: 's-alpha',
      meta: {id: 'alpha-id', profile: 'coder', model: 'm-large', cwd: '/work/alpha', start_epoch: a},
      stats: {branch: 'main', input_tokens: 1200},
      events: [[a, 'session_start'], [a, 'agent_run_start'],
               [a + 1, 'tool_use', {tool: 'Read'}], [a + 2, 'tool_use', {tool: 'Bash'}],
               [a + 3, 'tool_use', {tool: 'Bash'}], [a + 5, 'tool_use', {tool: 'Read'}],
               [a + 6, 'tool_use', {tool: 'Bash'}], [a + 7, 'tool_use', {tool: 'Edit'}],
               [a + 60, 'agent_idle'], [a + 480, 'user_message']],
    },
    {
      dir: 's-gamma',
      meta: {id: 's-gamma', profile: 'coder', model: 'm-small', start_epoch: g},
      stats: {branch: 'dev'},
      events: [[g, 'session_start'], [g, 'agent_run_start'], [g + 5, 'tool_use', {tool: 'Grep'}],
               [g + 20, 'agent_idle'], [g + 100, 'user_message'], [g + 100, 'agent_run_start'],
               [g + 120, 'agent_idle'], [g + 220, 'user_message']],
    },
    {
      dir: 's-beta',
      meta: {id: 's-beta', profile: '<b>ops</b>', model: 'm-small', start_epoch: b},
      thinking: true,
      events: [[b, 'session_start'], [b + 100, 'user_message']],
    },
  ];
}

/**
 * The event list of a session that starts at `start`, lasts `span` seconds and
 * is active for `active` of them, in `turns` agent runs spread evenly over the
 * span, with `tools` tool calls shared among the runs; it ends with
 * session_end at start + span. Needs active <= span and turns > 0.
 */
export function spreadEvents({start, span, active, turns, tools = 0}) {
  const events = [[start, 'session_start']];
  const at = (i, total) => Math.floor((i * total) / turns);
  for (let i = 0; i < turns; i++) {
    const runStart = start + at(i, span);
    events.push([runStart, 'agent_run_start']);
    for (let k = at(i, tools); k < at(i + 1, tools); k++) events.push([runStart, 'tool_use', {tool: 'Bash'}]);
    events.push([runStart + at(i + 1, active) - at(i, active), 'agent_idle']);
  }
  events.push([start + span, 'session_end']);
  return events;
}

export {rm};
