// Screenshots of both themes at desktop and phone widths, into test-output/,
// named after the browser. Uses the bundled sample sessions when they are there.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {existsSync, readdirSync} from 'node:fs';
import {mkdir} from 'node:fs/promises';
import {join} from 'node:path';
import {browserName, launchBrowser, mainSessions, makeSessions, openLoaded, outputDir, repoRoot, rm,
        startServer} from './support.mjs';

const samples = join(repoRoot, 'examples', 'sessions');
let browser, server, root, made;
before(async () => {
  made = !existsSync(samples);
  root = made ? await makeSessions(mainSessions()) : samples;
  [browser, server] = await Promise.all([launchBrowser(), startServer({root}), mkdir(outputDir, {recursive: true})]);
});
after(async () => {
  await browser?.close();
  await server?.stop();
  if (made) await rm(root, {recursive: true, force: true});
});

const sessionCount = () => readdirSync(root, {withFileTypes: true})
  .filter((e) => e.isDirectory() && !e.name.startsWith('.')).length;

for (const [name, viewport] of [['desktop', {width: 1280, height: 900}], ['phone', {width: 390, height: 844}]]) {
  for (const theme of ['dark', 'light']) {
    test(`${name} ${theme}: everything fits the width`, async () => {
      const page = await browser.newPage({viewport, deviceScaleFactor: 1});
      await openLoaded(page, `${server.base}/?theme=${theme}`);
      assert.equal(await page.text('#kSessions'), String(Math.min(256, sessionCount())));
      await page.click('#tbody tr');
      await page.waitFor('#detail .mono');
      // Only the table may scroll sideways, inside its panel.
      assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= innerWidth));
      await page.screenshot(join(outputDir, `dashboard-${browserName}-${name}-${theme}.png`), {fullPage: true});
      await page.close();
    });
  }
}
