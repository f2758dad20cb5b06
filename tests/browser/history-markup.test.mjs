// The history report's markup, checked by html-validate (its recommended
// rules) and read back: the reports of the samples, of an empty root, of a
// window with no activity, and of a root whose projects, models and profiles
// are hostile names. No browser is needed, so it runs once, with chromium.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';
import {mkdir, mkdtemp} from 'node:fs/promises';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {HtmlValidate} from 'html-validate';
import {browserName, rm} from './support.mjs';
import {makeHostileRoot, pageData, runHistory, samplesRoot} from './history-support.mjs';

const skip = browserName !== 'chromium' && 'no browser needed: runs once, with chromium';
let dir, hostile;
before(async () => {
  if (skip) return;
  dir = await mkdtemp(join(tmpdir(), 'qv-history-markup-'));
  await mkdir(join(dir, 'empty'));
  hostile = await makeHostileRoot();
});
after(async () => {
  if (dir) await rm(dir, {recursive: true, force: true});
  if (hostile) await rm(hostile, {recursive: true, force: true});
});

const validator = new HtmlValidate(JSON.parse(readFileSync(new URL('./htmlvalidate.json', import.meta.url), 'utf8')));

test('every report is valid UTF-8 and html-validate finds no error in it', {skip}, async () => {
  const cases = {
    samples: ['--root', samplesRoot, '--tz', 'utc'],
    empty: ['--root', join(dir, 'empty'), '--tz', 'utc'],
    'no activity in the window': ['--root', samplesRoot, '--tz', '-08:00', '--since', '2030-01-01', '--until', '2030-01-31'],
    hostile: ['--root', hostile, '--tz', 'utc'],
    'hostile, one model': ['--root', hostile, '--tz', '+05:45', '--model', 'plain-one'],
  };
  for (const [name, options] of Object.entries(cases)) {
    const file = join(dir, 'report.html');
    runHistory([...options, '--format', 'html', '-o', file]);
    const html = new TextDecoder('utf-8', {fatal: true}).decode(readFileSync(file));
    const report = await validator.validateString(html, `${name}.html`);
    const errors = report.results.flatMap((r) => r.messages)
      .map((m) => `${m.line}:${m.column} ${m.ruleId}: ${m.message} [${m.selector}]`);
    assert.deepEqual(errors, [], name);
    // The figures still parse: no name broke out of the data script.
    const data = pageData(html);
    assert.equal(data.sessions_root, options[1], `${name}: sessions root`);
  }
});

test('hostile names reach the page as text, whole or shortened, never as markup', {skip}, () => {
  const html = runHistory(['--root', hostile, '--tz', 'utc', '--format', 'html']);
  const text = Buffer.from(html, 'latin1').toString('utf8');
  const data = pageData(text);
  const names = [...data.projects.rows, ...data.models.rows, ...data.profiles.rows]
    .map((r) => r.project ?? r.model ?? r.profile);
  assert.ok(names.some((n) => n.includes('</script>')), 'a name with a script end is among the rows');
  assert.ok(names.some((n) => n.includes('"')) && names.some((n) => n.includes('<b>')), 'quotes and markup are among the rows');
  for (const bad of ['<b>bold</b>', '<script>alert', '<!-- x -->']) {
    assert.ok(!text.includes(bad), `${bad} written as markup`);
  }
});
