// The web panel in Debian's chromium, driven as a pilot would: real mouse clicks on the gauges'
// pixels and real key presses, reading the CDU through the data-window elements.
//   node --test tests/web/browser_test.mjs     (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';
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
const windowText = (name) => page.locator(`[data-window="${name}"]`).textContent();

async function waitWindow(name, text, timeoutMs = 5000) {
  await until(async () => (await windowText(name)) === text, timeoutMs, `window ${name} = "${text}"`);
}

function centreOf(gauge, control) {
  const box = layout.gauges.find((g) => g.name === gauge).mouse.find((b) => b.control === control);
  return {x: box.x + Math.floor(box.width / 2), y: box.y + Math.floor(box.height / 2)};
}

// A real click at a gauge pixel; the gauge's top-left corner is its pixel (0, 0) at scale 1.
async function clickControl(gauge, control) {
  await page.click(`#gauge-${gauge}`, {position: centreOf(gauge, control)});
}

// A digit key's pressed image shows for 5 ticks after a press; the next press of any key waits
// for it to go, as a pilot's finger would.
async function keyReleased(digit) {
  await until(async () => !(await panel()).visible.INS[`key${digit}_pressed`], 3000, `key ${digit} up`);
}

async function setField(name, value) {
  const input = page.locator(`input[data-set="${name}"]`);
  await input.fill(String(value));
  await input.press('Enter');
}

test('aligning, keying waypoint 00, importing and flying a plan through the page', async (t) => {
  await t.test('power and the first click of the mode knob, with its sound reaching the page', async () => {
    await setField('lat', 52.701917);
    await setField('lon', -8.924639);
    await page.locator('input[data-set="battery"]').check();
    await until(async () => (await panel()).aircraft.battery, 3000, 'battery on');
    await clickControl('ALIGN', 'CW');
    await until(async () => (await panel()).images.ALIGN.knob === 1, 3000, 'knob at STBY');
    await until(() => page.evaluate(() => insPanel.soundsHeard.length > 0), 3000, 'a sound request');
    const heard = await page.evaluate(() => insPanel.soundsHeard.map((s) => s.path));
    assert.deepEqual(heard, ['sound\\tavren\\ins_tog.wav']);
    assert.match(await page.locator('#last-sound').textContent(), /ins_tog\.wav/);
  });

  await t.test('waypoint 00 keyed with mouse clicks, the digits echoed as they go', async () => {
    await clickControl('INS', 'SEL_CW');  // POS -> WAY PT
    await until(async () => (await panel()).images.INS.knob === 4, 3000, 'selector at WAY PT');
    await clickControl('INS', 'SET');
    await waitWindow('to', '00');
    const latitude = [['2', ' --°--.--'], ['5', ' 5-°--.--'], ['2', ' 52°--.--'], ['4', ' 52°4-.--'],
                      ['2', ' 52°42.--'], ['1', ' 52°42.1-'], ['2', ' 52°42.12']];
    for (const [digit, echo] of latitude) {
      await clickControl('INS', digit);
      await waitWindow('left', echo);
      await keyReleased(digit);
    }
    assert.equal(await windowText('N'), 'N');
    const longitude = [['4', '---°--.--'], ['0', '0--°--.--'], ['0', '00-°--.--'], ['8', '008°--.--'],
                       ['5', '008°5-.--'], ['5', '008°55.--'], ['4', '008°55.4-'], ['8', '008°55.48']];
    for (const [digit, echo] of longitude) {
      await clickControl('INS', digit);
      await waitWindow('right', echo);
      await keyReleased(digit);
    }
    assert.equal(await windowText('W'), 'W');
    await clickControl('INS', 'INSERT');
    await until(() => {
      try {
        return readFileSync(`${server.workdir}/WAYPOINTS.DAT`, 'utf8').split('\n')[0].startsWith('0 ');
      } catch (e) { return false; }
    }, 3000, 'waypoint 00 in WAYPOINTS.DAT');
    await waitWindow('left', ' 52°42.12');  // WAY PT shows the stored waypoint
  });

  await t.test('and again with the keyboard', async () => {
    await page.evaluate(() => document.activeElement && document.activeElement.blur());  // keys to the panel
    await page.keyboard.press('s');
    await until(async () => (await panel()).visible.INS.set_lit, 3000, 'SET lit');
    for (const [key, echo] of [['2', ' --°--.--'], ['5', ' 5-°--.--'], ['2', ' 52°--.--'], ['4', ' 52°4-.--'],
                               ['2', ' 52°42.--'], ['1', ' 52°42.1-'], ['2', ' 52°42.12']]) {
      await page.keyboard.press(key);
      await waitWindow('left', echo);
      await keyReleased(key);
    }
    for (const [key, echo] of [['4', '---°--.--'], ['0', '0--°--.--'], ['0', '00-°--.--'], ['8', '008°--.--'],
                               ['5', '008°5-.--'], ['5', '008°55.--'], ['4', '008°55.4-'], ['8', '008°55.48']]) {
      await page.keyboard.press(key);
      await waitWindow('right', echo);
      await keyReleased(key);
    }
    await page.keyboard.press('Backspace');  // CLEAR steps back over the last digit
    await waitWindow('right', '008°55.4-');
    await keyReleased(8);
    await page.keyboard.press('8');
    await waitWindow('right', '008°55.48');
    await keyReleased(8);
    await page.keyboard.press('Enter');
    await until(async () => !(await panel()).visible.INS.set_lit, 3000, 'SET out after INSERT');
    await page.keyboard.press('?');
    assert.equal(await page.locator('#help').isVisible(), true);
    assert.match(await page.locator('#help').textContent(), /WYPT CHG/);
    await page.keyboard.press('Escape');
    assert.equal(await page.locator('#help').isVisible(), false);
  });

  await t.test('alignment by the mode knob\'s pixel boxes, counted down at 64x', async () => {
    await clickControl('ALIGN', 'CW');  // STBY -> ALIGN
    await page.keyboard.press(']');  // selector on to DIS/TIME
    await page.keyboard.press(']');
    await page.keyboard.press(']');  // ... and WIND, DSRTK/STS
    await until(async () => (await panel()).images.INS.knob === 7, 3000, 'selector at DSRTK/STS');
    await waitWindow('right', '   9');
    await page.click('[data-rate="64"]');
    await until(async () => (await panel()).visible.ALIGN.ready_nav, 10000, 'READY NAV');
    await clickControl('ALIGN', 'CW');  // NAV
    await until(async () => (await panel()).images.ALIGN.knob === 3, 3000, 'knob at NAV');
    await page.click('[data-rate="1"]');
  });

  await t.test('a plan imported through the PLAN spot shows on the map', async () => {
    await page.selectOption('#examples', 'EINN-BIKF-oceanic.PLN');
    await page.click('#load-example');
    await until(async () => /EINN to BIKF/.test(await page.locator('#plan-message').textContent()),
                5000, 'the plan loaded');
    await clickControl('INS', 'PLAN');
    await until(() => readFileSync(`${server.workdir}/WAYPOINTS.DAT`, 'utf8').trim().split('\n').length === 100,
                5000, 'the import');
    await until(async () => (await page.locator('#map circle[data-waypoint]').count()) >= 6, 5000,
                'waypoints 00 to 05 on the map');
    // WYPT CHG repeats while held: pressed with the simulation paused it acts exactly once.
    await postJson(server.url, '/api/sim', {paused: true});
    await page.keyboard.press('w');
    await page.evaluate(() => insPanel.settled());  // press and release reached the host
    await postJson(server.url, '/api/sim', {paused: false});
    await waitWindow('to', '01');
    await waitWindow('from', '00');
  });

  await t.test('HOLD at 64x: the aircraft symbol moves along the leg', async () => {
    await page.click('#takeoff');
    await page.locator('input[data-set="ap_master"]').check();
    await page.locator('input[data-set="ap_heading"]').check();
    await page.keyboard.press('a');
    await page.click('[data-rate="64"]');
    await until(async () => (await panel()).aircraft.alt_ft > 500, 10000, 'airborne');
    await page.keyboard.press('h');
    await until(async () => (await panel()).visible.INS.hold_lit, 3000, 'HOLD lit');
    await waitWindow('to', '02', 10000);  // AUTO moved on from 01, the departure itself
    const symbol = page.locator('#map-aircraft');
    const sample = async () => ({x: Number(await symbol.getAttribute('data-x')),
                                 y: Number(await symbol.getAttribute('data-y')),
                                 lat: Number(await symbol.getAttribute('data-lat')),
                                 lon: Number(await symbol.getAttribute('data-lon'))});
    // Let the turn onto the leg finish, then watch two minutes of simulated flight.
    const start = await panel();
    await until(async () => (await panel()).time_s > start.time_s + 240, 15000, 'four minutes');
    const first = await sample();
    const t0 = (await panel()).time_s;
    await until(async () => (await panel()).time_s > t0 + 120, 10000, 'two more minutes');
    const second = await sample();
    const moved_px = Math.hypot(second.x - first.x, second.y - first.y);
    const moved_nm = greatCircleNm(first, second);
    assert.ok(moved_nm > 8, `moved ${moved_nm.toFixed(1)} NM in two minutes`);
    assert.ok(moved_px > 3 || Math.abs(second.lat - first.lat) > 0.05, `symbol moved ${moved_px} px`);
    // On the leg from 01 to 02: the cross-track distance is small and the distance to go shrinks.
    const waypoints = (await getJson(server.url, '/api/waypoints')).body.waypoints;
    const from = waypoints.find((w) => w.number === 1), to = waypoints.find((w) => w.number === 2);
    for (const p of [first, second]) {
      assert.ok(Math.abs(crossTrackNm(from, to, p)) < 3, `cross-track ${crossTrackNm(from, to, p)} NM`);
    }
    assert.ok(greatCircleNm(second, {lat: to.lat_deg, lon: to.lon_east_deg}) <
              greatCircleNm(first, {lat: to.lat_deg, lon: to.lon_east_deg}));
    assert.equal(await page.locator('#map-leg').getAttribute('data-to'), '2');
    await page.click('[data-rate="1"]');
  });
});

const R_NM = 3437.7467707849396;
const rad = (d) => (d * Math.PI) / 180;

function greatCircleNm(a, b) {
  const s = Math.sin(rad(b.lat - a.lat) / 2) ** 2 +
    Math.cos(rad(a.lat)) * Math.cos(rad(b.lat)) * Math.sin(rad(b.lon - a.lon) / 2) ** 2;
  return 2 * R_NM * Math.asin(Math.min(1, Math.sqrt(s)));
}

function courseRad(a, b) {
  const y = Math.sin(rad(b.lon - a.lon)) * Math.cos(rad(b.lat));
  const x = Math.cos(rad(a.lat)) * Math.sin(rad(b.lat)) -
    Math.sin(rad(a.lat)) * Math.cos(rad(b.lat)) * Math.cos(rad(b.lon - a.lon));
  return Math.atan2(y, x);
}

function crossTrackNm(fromW, toW, p) {
  const a = {lat: fromW.lat_deg, lon: fromW.lon_east_deg}, b = {lat: toW.lat_deg, lon: toW.lon_east_deg};
  const d13 = greatCircleNm(a, p) / R_NM;
  return Math.asin(Math.sin(d13) * Math.sin(courseRad(a, p) - courseRad(a, b))) * R_NM;
}
