// The page under `ins-host link`, in Debian's chromium: a recorded FlightGear session served
// back over TCP (tests/link/flightgear_replay.py) flies the aircraft. The line under the header
// says the link is live, the controls FlightGear takes over are greyed out and take no input,
// the aircraft's fields show FlightGear's position; when FlightGear goes away the line says so.
//   node --test tests/web/link_test.mjs     (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {dirname, join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {hostProgram, launchBrowser, startAndRead, stopChild, until} from './harness.mjs';

const SOURCE = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const RECORDING = join(SOURCE, 'tests', 'link', 'flightgear-c172p-phnl.csv');

let replay, link, browser;

before(async () => {
  replay = startAndRead('python3', [join(SOURCE, 'tests', 'link', 'flightgear_replay.py'), 'replay',
                                    RECORDING, '--port', '0'], /REPLAY_PORT (\d+)/, 'replay port');
  const port = await replay.found;
  link = startAndRead(hostProgram(), ['link', '--flightgear', `127.0.0.1:${port}`, '--port', '0'],
                      /INS panel at (http:\/\/\S+)/, 'panel URL');
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  await stopChild(link?.child);
  await stopChild(replay?.child);
});

test('the page says the link is live and greys out what FlightGear takes over', async () => {
  const url = await link.found;
  const page = await browser.newPage();
  await page.goto(url);
  const line = page.locator('#link-status');
  await until(async () => (await line.isVisible()) && /^live: FlightGear at 127\.0\.0\.1:\d+ flies the aircraft$/
    .test(await line.textContent()), 15000, 'the live line');
  for (const selector of ['#pause', '.rates button[data-rate="8"]', '[data-set="battery"]',
                          '[data-set="lat"]', '#motion', '#cruise-alt']) {
    assert.ok(await page.locator(selector).isDisabled(), `${selector} is still usable`);
  }
  // The panel's own controls and the plan loading stay the pilot's.
  assert.ok(await page.locator('#load-example').isEnabled());
  // Take off and Prepare are asked of FlightGear.
  assert.ok(await page.locator('#takeoff').isEnabled());
  assert.ok(await page.locator('#prepare').isVisible() && await page.locator('#prepare').isEnabled());
  // FlightGear's position, near Honolulu, in the greyed fields.
  await until(async () => Math.abs(Number(await page.locator('[data-set="lat"]').inputValue()) - 21.3) < 0.2,
              10000, 'the recorded latitude');
  // The lessons offered are those that need neither the host's aircraft where they put it nor
  // its flying: FlightGear has the aircraft.
  const offered = await page.locator('#lesson-pick option').allTextContents();
  assert.deepEqual(offered, ['Keying, reviewing and correcting waypoints',
                             'Reading the data selector in flight']);
  await page.close();
});

test('when FlightGear goes away the line says so and the host keeps serving', async () => {
  const url = await link.found;
  await stopChild(replay.child);
  const page = await browser.newPage();
  await page.goto(url);
  const line = page.locator('#link-status');
  await until(async () => /^not connected to FlightGear at .*: reconnecting; the INS keeps its last values$/
    .test(await line.textContent()), 15000, 'the not-connected line');
  const response = await fetch(new URL('/api/panel', url));
  assert.equal(response.status, 200);
  assert.equal((await response.json()).link.state, 'not connected');
  await page.close();
});
