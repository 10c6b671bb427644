// The web panel's keyboard typed at a person's pace, in Debian's chromium against the real host
// and module: the CDU takes a key again only 5 ticks after its last press, and the page holds the
// keys typed faster than that, so every digit keyed is stored, at any rate of the simulation and
// across a pause. And a plan loaded while the aircraft flies is loaded only once the pilot says so.
//   node --test tests/web/keys_test.mjs     (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';
import {startServer, launchBrowser, openPanelPage, getJson, postJson, until, clickThroughApi, controlCentre}
  from './harness.mjs';

const TYPING_DELAY_MS = 40;

let browser;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser?.close(); });

// A fresh server and the page on it, ready for keys (nothing focused).
async function openPanel(t) {
  const server = await startServer();
  t.after(() => server.stop());
  const page = await openPanelPage(browser, server.url);
  t.after(() => page.close());
  const layout = (await getJson(server.url, '/api/layout')).body;
  const panel = async () => (await getJson(server.url, '/api/panel')).body;
  const windowText = (name) => page.locator(`[data-window="${name}"]`).textContent();
  return {server, page, layout, panel, windowText};
}

// Power, the mode knob at STBY and the data selector at WAY PT: SET opens an entry for the
// waypoint on the thumbwheels (00).
async function readyForEntry({server, layout, panel}) {
  await postJson(server.url, '/api/set', {name: 'battery', value: 1});
  await clickThroughApi(server.url, layout, 'ALIGN', 'CW');
  await until(async () => (await panel()).images.ALIGN.knob === 1, 3000, 'knob at STBY');
  await clickThroughApi(server.url, layout, 'INS', 'SEL_CW');
  await until(async () => (await panel()).images.INS.knob === 4, 3000, 'selector at WAY PT');
}

// Waypoint 00 as WAYPOINTS.DAT holds it (radians, longitude west positive), in hundredths of a
// minute of arc, the CDU's own resolution; null while there is no line for it.
function storedWaypoint00(workdir) {
  let text;
  try {
    text = readFileSync(`${workdir}/WAYPOINTS.DAT`, 'utf8');
  } catch (e) {
    return null;
  }
  const line = text.split('\n').find((l) => l.startsWith('0 '));
  if (!line) return null;
  const [, lat, lonWest] = line.trim().split(/\s+/).map(Number);
  const hundredths = (radians) => Math.round((radians * 180 / Math.PI) * 6000);
  return {lat: hundredths(lat), lonWest: hundredths(lonWest)};
}

// N 53°00.00, W 008°00.55: runs of one digit in both halves, each of which the CDU takes only
// once its latch has let go.
const LATITUDE_KEYS = '2530000';
const LONGITUDE_KEYS = '40080055';
const EXPECTED = {lat: 53 * 6000, lonWest: 8 * 6000 + 55};

test('a waypoint typed at 40 ms a key is stored digit for digit', async (t) => {
  for (const rate of [1, 64]) {
    await t.test(`at ${rate}x`, async (t) => {
      const panelPage = await openPanel(t);
      const {server, page, windowText} = panelPage;
      await readyForEntry(panelPage);
      await postJson(server.url, '/api/sim', {rate});
      let mostWaiting = 0;
      const watch = setInterval(async () => {
        const waiting = Number(await page.locator('#key-queue').getAttribute('data-waiting').catch(() => 0));
        mostWaiting = Math.max(mostWaiting, waiting);
      }, 20);
      try {
        await page.keyboard.type(`s${LATITUDE_KEYS}${LONGITUDE_KEYS}`, {delay: TYPING_DELAY_MS});
        const keyed = {left: ' 53°00.00', right: '008°00.55'};
        const shown = async () => ({left: await windowText('left'), right: await windowText('right')});
        const same = (a, b) => a.left === b.left && a.right === b.right;
        const last = await until(async () => { const s = await shown(); return same(s, keyed) && s; },
                                 10000, 'the whole waypoint keyed').catch(shown);
        // A refused request says why in the page's message line.
        assert.deepEqual(last, keyed, `message: "${await page.locator('#set-message').textContent()}"`);
        await page.keyboard.press('Enter');
        const stored = await until(() => storedWaypoint00(server.workdir), 5000, 'waypoint 00 stored');
        assert.deepEqual(stored, EXPECTED);
      } finally {
        clearInterval(watch);
      }
      // At 1x a repeated key waits about a third of a second: typed at 40 ms, keys queue up.
      if (rate === 1) assert.ok(mostWaiting >= 2, `at most ${mostWaiting} keys seen waiting`);
      assert.equal(await page.locator('#key-queue').isVisible(), false, 'the queue is empty at the end');
    });
  }
});

test('clicks on a key 40 ms apart are each taken', async (t) => {
  const panelPage = await openPanel(t);
  const {page, layout, windowText} = panelPage;
  await readyForEntry(panelPage);
  const click = (control) => page.click('#gauge-INS', {position: controlCentre(layout, 'INS', control)});
  for (const control of ['SET', '2', '0', '0', '0']) {
    await click(control);
    await new Promise((resolve) => setTimeout(resolve, TYPING_DELAY_MS));
  }
  const keyed = ' 00°0-.--';
  const last = await until(async () => { const s = await windowText('left'); return s === keyed && s; },
                           5000, 'N and three 0s keyed').catch(() => windowText('left'));
  assert.equal(last, keyed);
});

test('a repeated key waits while the simulation is paused, and goes when it runs', async (t) => {
  const panelPage = await openPanel(t);
  const {server, page, panel, windowText} = panelPage;
  await readyForEntry(panelPage);
  await page.keyboard.type('s25', {delay: TYPING_DELAY_MS});
  await until(async () => (await windowText('left')) === ' 5-°--.--', 5000, 'N and 5 keyed');
  await postJson(server.url, '/api/sim', {paused: true});
  await until(async () => (await panel()).paused, 3000, 'paused');
  await until(() => page.evaluate(() => insPanel.state.paused), 3000, 'the page sees the pause');
  const queue = page.locator('#key-queue');
  await page.keyboard.type('33', {delay: TYPING_DELAY_MS});
  // The first 3 goes at once (the CDU takes it, and draws it at the next frame); the second waits
  // for the latch, which no tick passes to let go while paused.
  await until(async () => (await queue.getAttribute('data-waiting')) === '1', 3000, 'the second 3 waiting');
  assert.match(await queue.textContent(), /waiting for the CDU: 3$/);
  await until(async () => /paused/.test(await queue.textContent()), 6000, 'the page saying why');
  assert.equal(await queue.getAttribute('data-waiting'), '1');
  // INS_KEYS_SCREENSHOT=file.png keeps a picture of the page with the key waiting.
  if (process.env.INS_KEYS_SCREENSHOT) await page.screenshot({path: process.env.INS_KEYS_SCREENSHOT});
  await postJson(server.url, '/api/sim', {paused: false});
  await until(async () => (await windowText('left')) === ' 53°3-.--', 5000, 'both 3s taken');
  await page.evaluate(() => insPanel.settled());
  assert.equal(await queue.isVisible(), false);
});

// A plan loaded in the page while the aircraft flies: the page asks, naming what happens.
test('loading a plan in flight asks first', async (t) => {
  const cases = [
    {name: 'declined: the aircraft flies on', accept: false},
    {name: 'accepted: on the ground at the departure', accept: true},
  ];
  for (const {name, accept} of cases) {
    await t.test(name, async (t) => {
      const {server, page, panel} = await openPanel(t);
      await postJson(server.url, '/api/takeoff', {alt_ft: 10000, tas_kt: 300});
      await postJson(server.url, '/api/sim', {rate: 64});
      await until(async () => (await panel()).aircraft.alt_ft > 2000, 20000, 'airborne');
      await postJson(server.url, '/api/sim', {rate: 1});
      const asked = [];
      page.once('dialog', async (dialog) => {
        asked.push({type: dialog.type(), message: dialog.message()});
        await (accept ? dialog.accept() : dialog.dismiss());
      });
      await page.selectOption('#examples', 'EINN-BIKF-oceanic.PLN');
      await page.click('#load-example');
      await until(async () => /EINN-BIKF-oceanic.PLN/.test(await page.locator('#plan-message').textContent()),
                  5000, 'the plan card answering');
      assert.equal(asked.length, 1, 'asked once');
      assert.equal(asked[0].type, 'confirm');
      assert.match(asked[0].message, /in the air at \d+ ft/);
      assert.match(asked[0].message, /EINN-BIKF-oceanic\.PLN/);
      assert.match(asked[0].message, /put on the ground at the plan's departure/);
      const state = await panel();
      if (accept) {
        assert.match(await page.locator('#plan-message').textContent(), /EINN to BIKF/);
        assert.equal((await getJson(server.url, '/api/plan')).body.plan.name, 'EINN-BIKF-oceanic.PLN');
        assert.ok(state.aircraft.alt_ft < 1, `at ${state.aircraft.alt_ft} ft`);
      } else {
        assert.match(await page.locator('#plan-message').textContent(), /not loaded/);
        assert.equal((await getJson(server.url, '/api/plan')).body.plan, null);
        assert.ok(state.aircraft.alt_ft > 2000, `at ${state.aircraft.alt_ft} ft`);
      }
    });
  }
});

test('on the ground a plan loads without a question', async (t) => {
  const {page} = await openPanel(t);
  page.on('dialog', (dialog) => { throw new Error(`asked: ${dialog.message()}`); });
  await page.selectOption('#examples', 'EINN-BIKF-oceanic.PLN');
  await page.click('#load-example');
  await until(async () => /EINN to BIKF/.test(await page.locator('#plan-message').textContent()),
              5000, 'the plan loaded');
});
