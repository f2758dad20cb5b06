// Theme choice (URL, storage, system preference), the Theme button, the host
// frame's theme messages, and embed mode.
import {after, before, describe, test} from 'node:test';
import assert from 'node:assert/strict';
import {closeFixture, openFixture, sleep} from './support.mjs';

// A host page that frames the dashboard and answers its theme request.
const HOST_PAGE = `<!DOCTYPE html><html><body>
<script>
window.requests = 0;
addEventListener('message', (e) => {
  if (e.data && e.data.type === 'qv-theme-request') {
    window.requests++;
    e.source.postMessage({type: 'qv-theme', theme: 'light'}, '*');
  }
});
</script>
<iframe id="f" src="/?embed=1" width="900" height="600"></iframe>
</body></html>`;

let browser, server, root;
before(async () => ({browser, server, root} = await openFixture({files: {'host.html': HOST_PAGE}})));
after(() => closeFixture({browser, server, root}));

const LIGHT_BG = 'rgb(245, 245, 247)';
const DARK_BG = 'rgb(0, 0, 0)';

const newPage = (colorScheme = 'dark') => browser.newPage({colorScheme});

async function open(page, url) {
  const response = await page.goto(url);
  assert.equal(response.status, 200, url);
}

const themeOf = (page) => page.evaluate(() => ({
  attr: document.documentElement.getAttribute('data-theme'),
  stored: localStorage.getItem('bot_theme'),
  bg: getComputedStyle(document.body).backgroundColor,
  scheme: getComputedStyle(document.documentElement).colorScheme,
}));

describe('theme at load', () => {
  test('theme=light in the URL beats a stored dark and replaces it', async () => {
    const page = await newPage('dark');
    await open(page, server.base + '/?theme=dark');
    assert.deepEqual(await themeOf(page), {attr: 'dark', stored: 'dark', bg: DARK_BG, scheme: 'dark'});
    await open(page, server.base + '/?x=1&theme=light');
    assert.deepEqual(await themeOf(page), {attr: 'light', stored: 'light', bg: LIGHT_BG, scheme: 'light'});
    await page.close();
  });

  test('theme=Light is not recognised; theme=darker reads as dark', async () => {
    const page = await newPage('light');
    await open(page, server.base + '/?theme=Light');
    assert.equal((await themeOf(page)).attr, 'light'); // from the system preference
    await open(page, server.base + '/?theme=darker');
    assert.equal((await themeOf(page)).attr, 'dark');
    await page.close();
  });

  test('without URL or storage the system preference decides, and is remembered', async () => {
    const page = await newPage('light');
    await open(page, server.base + '/');
    assert.deepEqual(await themeOf(page), {attr: 'light', stored: 'light', bg: LIGHT_BG, scheme: 'light'});
    await page.setColorScheme('dark');
    await page.reload();
    assert.equal((await themeOf(page)).attr, 'light');

    const other = await newPage('dark');
    await open(other, server.base + '/');
    assert.deepEqual(await themeOf(other), {attr: 'dark', stored: 'dark', bg: DARK_BG, scheme: 'dark'});
    await other.close();
    await page.close();
  });
});

describe('theme changes', () => {
  test('the Theme button toggles, stores and announces the theme', async () => {
    const page = await newPage('dark');
    await open(page, server.base + '/');
    await page.evaluate(() => {
      window.seen = [];
      addEventListener('bot-theme', (e) => window.seen.push(e.detail));
    });
    await page.click('#btnTheme');
    assert.deepEqual(await themeOf(page), {attr: 'light', stored: 'light', bg: LIGHT_BG, scheme: 'light'});
    await page.click('#btnTheme');
    assert.equal((await themeOf(page)).attr, 'dark');
    assert.deepEqual(await page.evaluate('seen'), ['light', 'dark']);
    assert.equal(await page.evaluate('qvTheme()'), 'dark');
    await page.close();
  });

  test('qv-theme messages switch the theme; the same or an unknown theme does nothing', async () => {
    const page = await newPage('dark');
    await open(page, server.base + '/');
    await page.evaluate(() => {
      window.seen = [];
      addEventListener('bot-theme', (e) => window.seen.push(e.detail));
    });
    const post = (data) => page.postMessage(data);
    await post({type: 'qv-theme', theme: 'dark'});
    await post({type: 'qv-theme', theme: 'blue'});
    await post({type: 'other', theme: 'light'});
    assert.deepEqual(await page.evaluate('seen'), []);
    await post({type: 'qv-theme', theme: 'light'});
    assert.deepEqual(await themeOf(page), {attr: 'light', stored: 'light', bg: LIGHT_BG, scheme: 'light'});
    assert.deepEqual(await page.evaluate('seen'), ['light']);
    await page.close();
  });
});

describe('embedding', () => {
  test('embed=1 and embed=true hide the Theme button; embed=yes and embed=10 do not', async () => {
    const page = await newPage();
    for (const [query, hidden] of [['embed=1', true], ['a=b&embed=true', true], ['embed=yes', false],
                                   ['embed=10', false], ['', false]]) {
      await open(page, server.base + '/?' + query);
      assert.equal(await page.visible('#btnTheme'), !hidden, query);
      assert.equal(await page.visible('#btnReload'), true);
    }
    await page.close();
  });

  test('a framed page asks its host once for the theme and follows the answer', async () => {
    const page = await newPage('dark');
    await open(page, server.base + '/host.html');
    const frame = page.frame('#f');
    await frame.waitFor('#kSessions', {text: '3'});
    await frame.waitFor('html[data-theme="light"]', {state: 'attached'});
    await sleep(200);
    assert.equal(await page.evaluate('requests'), 1);
    assert.equal(await frame.visible('#btnTheme'), false);
    await page.close();
  });

  test('a page on its own posts no theme request', async () => {
    const page = await newPage();
    await page.addInitScript(() => {
      window.requests = 0;
      addEventListener('message', (e) => { if (e.data && e.data.type === 'qv-theme-request') window.requests++; });
    });
    await open(page, server.base + '/');
    await sleep(200);
    assert.equal(await page.evaluate('requests'), 0);
    await page.close();
  });
});
