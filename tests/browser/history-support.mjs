// Shared by the tests of the history report: the history program
// ($QV_HISTORY_PROGRAM), its reports written to files, the figures a page
// embeds, and sessions roots made for them.
import {execFileSync} from 'node:child_process';
import {mkdir, mkdtemp, writeFile} from 'node:fs/promises';
import {readFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join, resolve} from 'node:path';
import {DAY, T0, repoRoot, spreadEvents, ts} from './support.mjs';

export const historyProgram =
  resolve(repoRoot, process.env.QV_HISTORY_PROGRAM || 'build/rudeze_duziruzuderi-history');
export const samplesRoot = join(repoRoot, 'examples', 'sessions');
// Fixed, so that a report of the same data is the same file.
export const MADE = '1765450800';

/** The program's standard output for `args` (a failure throws with its messages). */
export function runHistory(args) {
  return execFileSync(historyProgram, args, {
    env: {...process.env, SOURCE_DATE_EPOCH: MADE}, maxBuffer: 64 << 20, encoding: 'latin1',
  });
}

/** The rows of `--format json --by <by>` with `options` (an argument list). */
export function jsonRows(options, by) {
  return JSON.parse(Buffer.from(runHistory([...options, '--format', 'json', '--by', by]), 'latin1')
    .toString('utf8')).rows;
}

/** Writes the html report of `options` to `file` and gives its text. */
export function writeReport(options, file) {
  runHistory([...options, '--format', 'html', '-o', file]);
  return readFileSync(file, 'utf8');
}

/** The figures a report embeds (its history-data script), from the page's text. */
export function pageData(html) {
  const m = /<script type="application\/json" id="history-data">([^]*?)<\/script>/.exec(html);
  if (!m) throw new Error('no history-data script in the page');
  return JSON.parse(m[1]);
}

/** A year-long root of 2,000 generated sessions, under a new temporary folder. */
export async function makeYearRoot() {
  const dir = await mkdtemp(join(tmpdir(), 'qv-history-year-'));
  const root = join(dir, 'root');
  execFileSync(join(historyProgram, '..', 'qv_make_sessions'),
               [root, '--sessions', '2000', '--log-bytes', '20000', '--seed', '5', '--days', '365'],
               {stdio: 'ignore'});
  return {dir, root};
}

// Names that markup and JSON must survive: quotes, markup, entities, a script
// end, control bytes, bytes that are not UTF-8, and UTF-8. Each is a JSON
// string body as meta.json holds it (escapes and raw bytes alike).
const HOSTILE = [
  '\\"quoted\\" \'single\'', '<b>bold</b> & co', 'a&amp;b &lt;c&gt;', '</script><script>alert(1)</script>',
  '<!-- x --> ]]>', 'tab\\there\\nnewline', 'bell\x07 and \\u0001 escaped', 'bad \xff\xfe bytes',
  'cut \xc3', 'caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80', 'plain-one', 'plain-two',
  '\\\\back\\\\slash', 'long-' + 'x'.repeat(90),
];

/**
 * A root of 28 sessions over four days whose projects, models and profiles
 * are the hostile names (more than ten of each, so the breakdowns have a rest).
 */
export async function makeHostileRoot() {
  const root = await mkdtemp(join(tmpdir(), 'qv-history-hostile-'));
  const n = HOSTILE.length;
  for (let i = 0; i < 2 * n; i++) {
    const dir = join(root, `s-${String(i).padStart(2, '0')}`);
    await mkdir(dir);
    const start = T0 + (i % 4) * DAY + i * 1800;
    const meta = `{"id":"s-${i}","cwd":"/src/${HOSTILE[i % n]}","model":"${HOSTILE[(i + 3) % n]}",` +
                 `"profile":"${HOSTILE[(i + 7) % n]}","start_epoch":${start}}`;
    await writeFile(join(dir, 'meta.json'), Buffer.from(meta, 'latin1'));
    const events = spreadEvents({start, span: 600 + 97 * i, active: 300 + 53 * i, turns: 1 + (i % 3),
                                 tools: i % 5});
    await writeFile(join(dir, 'events.jsonl'),
                    events.map(([t, event, extra]) => JSON.stringify({ts: ts(t), event, ...extra}) + '\n').join(''));
  }
  return root;
}
