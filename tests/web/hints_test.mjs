// The hints under the panel, against the real server and module and in Debian's chromium: an
// alignment that stays at status 0 says why in /api/panel, in the event stream's states and on
// the page, and the hint goes when the pilot does what it says.
//   node --test tests/web/hints_test.mjs     (with INS_HOST=<build>/ins-host)
// INS_HINTS_PICTURE=FILE.png keeps a picture of the page showing a hint.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {writeFileSync} from 'node:fs';
import {join} from 'node:path';
import {startServer, launchBrowser, openPanelPage, getJson, postJson, until} from './harness.mjs';

let server, browser, page, layout;

before(async () => {
  server = await startServer();
  browser = await launchBrowser();
  page = await openPanelPage(browser, server.url);
  layout = (await getJson(server.url, '/api/layout')).body;
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

const panel = async () => (await getJson(server.url, '/api/panel')).body;
const hintIds = (state) => state.hints.map((hint) => hint.id);

// A click on the centre of a named control's box, as the page sends it.
async function click(gauge, control) {
  const box = layout.gauges.find((g) => g.name === gauge).mouse.find((m) => m.control === control);
  for (const action of ['down', 'up']) {
    const reply = await postJson(server.url, '/api/mouse', {
      gauge, x: box.x + Math.floor(box.width / 2), y: box.y + Math.floor(box.height / 2), action});
    assert.equal(reply.status, 200, JSON.stringify(reply.body));
  }
}

// The panel state once `ids` are its hints (and the right window `right`, if given).
async function untilHints(ids, right) {
  let last = null;
  try {
    return await until(async () => {
      last = await panel();
      const same = JSON.stringify(hintIds(last)) === JSON.stringify(ids);
      return same && (right === undefined || last.windows.right === right) ? last : null;
    }, 10000, `hints ${JSON.stringify(ids)}`);
  } catch (error) {
    throw new Error(`${error.message}; last: ${JSON.stringify(last?.hints)} right "${last?.windows.right}"`);
  }
}

// The page's list of hints, by id.
const pageHints = () => page.locator('#hints li').evaluateAll(
  (items) => items.map((item) => item.dataset.hint));

test('status 0 at ALIGN is explained until the pilot puts waypoint 00 right and steps again', async () => {
  const set = await postJson(server.url, '/api/set', {name: 'battery', value: 1});
  assert.equal(set.status, 200);
  for (let i = 0; i < 4; ++i) await click('INS', 'SEL_CW');  // POS to DSRTK/STS: the status digit
  await click('ALIGN', 'CW');
  await click('ALIGN', 'CW');

  const missing = await untilHints(['align_no_waypoint_zero'], '   0');
  assert.equal(missing.knobs.ALIGN.knob, 'ALIGN');
  assert.equal(missing.hints[0].control, 'ALIGN');
  assert.match(missing.hints[0].text, /no waypoint 00/);
  await until(async () => JSON.stringify(await pageHints()) === '["align_no_waypoint_zero"]',
              5000, 'the hint on the page');
  assert.match(await page.locator('#hints').textContent(), /ALIGN\s+No alignment: there is no waypoint 00/);
  if (process.env.INS_HINTS_PICTURE) {
    await page.locator('.panel-column').screenshot({path: process.env.INS_HINTS_PICTURE});
  }

  // Waypoint 00 where the aircraft stands, as a pilot keys it: the INS checks it at ALIGN but
  // the count starts only on a step into ALIGN.
  const a = missing.aircraft;
  const rad = Math.PI / 180;
  writeFileSync(join(server.workdir, 'WAYPOINTS.DAT'),
                `0 ${(a.lat_deg * rad).toFixed(8)} ${(-a.lon_east_deg * rad).toFixed(8)}\n`);
  const stepAgain = await untilHints(['align_step_again'], '   0');
  assert.match(stepAgain.hints[0].text, /Turn the knob to STBY and back to ALIGN/);
  await until(async () => JSON.stringify(await pageHints()) === '["align_step_again"]',
              5000, 'the new hint on the page');

  await click('ALIGN', 'CCW');
  await click('ALIGN', 'CW');
  await untilHints([], '   9');
  await until(async () => page.locator('#hints').isHidden(), 5000, 'the hints gone from the page');
  assert.deepEqual(await pageHints(), []);
});

test('the event stream carries the hints with every state', async () => {
  // The page's own stream: its last state holds the same hints as /api/panel.
  const fromStream = await page.evaluate(() => window.insPanel.state.hints);
  assert.deepEqual(fromStream, (await panel()).hints);
  await click('ALIGN', 'CCW');  // STBY: nothing to explain
  await until(async () => (await page.evaluate(() => window.insPanel.state.knobs.ALIGN.knob)) === 'STBY',
              5000, 'STBY in the stream');
  assert.deepEqual(await page.evaluate(() => window.insPanel.state.hints), []);
});

test('a HOLD press refused for the autopilot is explained on the page until HOLD engages', async () => {
  // READY NAV: the knob from STBY to ALIGN (waypoint 00 is in place), a minute at 64 times.
  await click('ALIGN', 'CW');
  assert.equal((await postJson(server.url, '/api/sim', {rate: 64})).status, 200);
  await until(async () => (await panel()).visible.ALIGN.ready_nav, 20000, 'READY NAV');
  assert.equal((await postJson(server.url, '/api/sim', {rate: 1})).status, 200);

  await click('INS', 'HOLD');  // the autopilot's switches are off
  const refused = await untilHints(['hold_autopilot_off']);
  assert.match(refused.hints[0].text, /master switch and heading mode are off/);
  await until(async () => JSON.stringify(await pageHints()) === '["hold_autopilot_off"]',
              5000, 'the HOLD hint on the page');

  for (const name of ['ap_master', 'ap_heading']) {
    assert.equal((await postJson(server.url, '/api/set', {name, value: 1})).status, 200);
  }
  // The key is taken again once its last press has let go (5 ticks).
  await until(async () => !(await panel()).visible.INS.hold_pressed, 5000, 'HOLD let go');
  await click('INS', 'HOLD');
  const engaged = await untilHints([]);
  assert.equal(engaged.visible.INS.hold_lit, true);
  await until(async () => page.locator('#hints').isHidden(), 5000, 'the HOLD hint gone from the page');
});
