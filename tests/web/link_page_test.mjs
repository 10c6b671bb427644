// The page under `ins-host link` while a recorded FlightGear session flies (the c172p aligned on
// PHNL's runway, put in the air with its KAP140 in heading mode, then paused a while:
// tests/link/flightgear-align-hold-pause.csv, served back by tests/link/flightgear_replay.py).
// What the header and the readout show follows FlightGear: its time and its pause beside the
// clock, its autopilot in the readout; the map of a three-leg plan of a few NM at 2 NM range
// keeps every label readable, none over another or over a symbol, at a desktop's width and a
// phone's. With INS_LINK_SHOTS=DIR the two widths are saved as DIR/link-1400.png, link-390.png
// (and the map alone, link-390-map.png), the header while paused as link-paused-header.png.
//   node --test tests/web/link_page_test.mjs     (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {dirname, join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {clickThroughApi, getJson, hostProgram, launchBrowser, startAndRead, stopChild, until}
  from './harness.mjs';

const SOURCE = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const RECORDING = join(SOURCE, 'tests', 'link', 'flightgear-align-hold-pause.csv');
const NM_PER_DEG = 60;

// The replay's pace, by recorded time, each stretch some seconds of the wall clock: on the
// runway while the page loads (15 s), the KAP140 in roll hold (its heading mode off) from the
// take-off on (6 s), off a while (3 s), in heading mode (6 s), then slow through the recorded
// pause (144.8 s to 149.1 s: 9 s).
const HEADING_OFF = 'value:60:96:/autopilot/KAP140/locks/hdg-hold=false';
const AUTOPILOT_OFF = 'value:84:96:/autopilot/KAP140/locks/roll-axis=false';
const REPLAY_PACE = ['--speed', '4', '--speed-from', '96:8', '--speed-from', '143:0.5',
                     '--speed-from', '149.5:4', '--fault', HEADING_OFF, '--fault', AUTOPILOT_OFF];

let work, replay, link, browser, desk, watcher;

// The point `nm` from (lat, lon) along `course_deg` (flat: a few NM).
function offset([lat, lon], course_deg, nm) {
  const c = course_deg * Math.PI / 180;
  return [lat + nm * Math.cos(c) / NM_PER_DEG,
          lon + nm * Math.sin(c) / NM_PER_DEG / Math.cos(lat * Math.PI / 180)];
}

// Three legs from where the recording starts: ALFA 1.2 NM north, BRAVO a tenth of a NM east of
// it (two waypoints whose labels would cover each other), CHARL 1.5 NM north-east of BRAVO.
function writePlan(path, start) {
  const alfa = offset(start, 0, 1.2);
  const bravo = offset(alfa, 90, 0.1);
  const charl = offset(bravo, 45, 1.5);
  const dm = (value, pos, neg) => {
    const v = Math.abs(value);
    const minutes = ((v - Math.floor(v)) * 60).toFixed(2).padStart(5, '0');
    return `${value >= 0 ? pos : neg}${Math.floor(v)}* ${minutes}'`;
  };
  const line = (n, ident, [la, lo]) =>
    `waypoint.${n}=, ${ident}, , ${ident}, I, ${dm(la, 'N', 'S')}, ${dm(lo, 'E', 'W')}, +003000.00,\n`;
  writeFileSync(path, '[flightplan]\ntitle=PHNL three legs\ntype=VFR\ncruising_altitude=3000\n' +
                line(1, 'ALFA', alfa) + line(2, 'BRAVO', bravo) + line(3, 'CHARL', charl));
  return {alfa, bravo, charl};
}

function recordedStart() {
  const [header, first] = readFileSync(RECORDING, 'utf8').split('\n');
  const names = header.split(','), values = first.split(',');
  const value = (path) => Number(values[names.indexOf(path)]);
  return [value('/position/latitude-deg'), value('/position/longitude-deg')];
}

// Polls what the page shows beside the clock, under the header and in the readout, keeping
// every change, until FlightGear has been paused and runs again (or the time is up).
function watchPage(page, timeoutMs) {
  const seen = [];
  const done = (async () => {
    const end = Date.now() + timeoutMs;
    while (Date.now() < end) {
      const now = await page.evaluate(() => ({
        clock: document.getElementById('sim-state').textContent,
        rate: document.querySelector('.rates button.active')?.textContent ?? '',
        link: document.getElementById('link-status').dataset.state || '',
        // what the readout says after the aircraft's figures
        readout: document.getElementById('readout').textContent.replace(/^.*Mach [\d.]+\s+/, ''),
      }));
      const last = seen[seen.length - 1];
      if (!last || Object.keys(now).some((k) => now[k] !== last[k])) seen.push(now);
      const pausedAt = seen.findIndex((s) => s.link === 'paused');
      if (process.env.INS_LINK_SHOTS && pausedAt === seen.length - 1 && last !== seen[pausedAt]) {
        await page.screenshot({path: join(process.env.INS_LINK_SHOTS, 'link-paused-header.png'),
                               clip: {x: 0, y: 0, width: 1400, height: 80}});
      }
      if (pausedAt >= 0 && seen.slice(pausedAt).some((s) => s.link === 'live')) break;
      await new Promise((r) => setTimeout(r, 40));
    }
    return seen;
  })();
  return {seen, done};
}

before(async () => {
  work = mkdtempSync(join(tmpdir(), 'ins-link-page-'));
  writePlan(join(work, 'PHNL-3.PLN'), recordedStart());
  browser = await launchBrowser();
  desk = await browser.newPage({viewport: {width: 1400, height: 1000}});
  replay = startAndRead('python3', [join(SOURCE, 'tests', 'link', 'flightgear_replay.py'), 'replay',
                                    RECORDING, '--port', '0', ...REPLAY_PACE],
                        /REPLAY_PORT (\d+)/, 'replay port');
  const port = await replay.found;
  link = startAndRead(hostProgram(), ['link', '--flightgear', `127.0.0.1:${port}`, '--port', '0',
                                      '--workdir', join(work, 'ins'), '--plan', join(work, 'PHNL-3.PLN')],
                      /INS panel at (http:\/\/\S+)/, 'panel URL');
  const url = await link.found;
  await desk.goto(url);
  await until(() => desk.evaluate(() => document.body.dataset.ready === 'true'), 15000, 'the page');
  watcher = watchPage(desk, 120000);
  // The INS imports the plan (its waypoint 00 is FlightGear's position) once its frames run.
  await until(async () => (await getJson(url, '/api/panel')).body.time_s > 0.2, 10000, 'the first frames');
  const layout = (await getJson(url, '/api/layout')).body;
  await clickThroughApi(url, layout, 'INS', 'PLAN');
});

after(async () => {
  await browser?.close();
  await stopChild(link?.child);
  await stopChild(replay?.child);
  if (work) rmSync(work, {recursive: true, force: true});
});

// Boxes of the map's labels, its symbols and the map itself, in page pixels.
function mapGeometry(page) {
  return page.evaluate(() => {
    const box = (node) => {
      const r = node.getBoundingClientRect();
      return {x: r.left, y: r.top, w: r.width, h: r.height};
    };
    const all = (selector) => [...document.querySelectorAll(`#map-overlay ${selector}`)];
    return {
      map: box(document.getElementById('map')),
      labels: all('text[data-label], text[data-plan-label]').map((n) => ({
        text: n.textContent, ...box(n)})),
      symbols: [...all('circle[data-waypoint], rect[data-plan-waypoint], #map-aircraft'),
                ...all('#map-scale')].map((n) => ({
        what: n.dataset.waypoint ?? n.dataset.planWaypoint ?? n.id, ...box(n)})),
      circles: Object.fromEntries(all('circle[data-waypoint]').map((n) => [
        n.dataset.waypoint, [Number(n.getAttribute('cx')), Number(n.getAttribute('cy'))]])),
      scale: document.querySelector('#map-scale text')?.textContent,
    };
  });
}

const overlap = (a, b) => a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;

let waypointsApartNm;  // from waypoint 00 to 01, as the INS holds them

async function checkMapAtTwoMiles(page, width) {
  await page.selectOption('#map-range', '2');
  // Every waypoint of the INS (00 to 03) and the plan's first and last are named.
  const wanted = ['00', '01', '02', '03', 'ALFA', 'CHARL'];
  const g = await until(async () => {
    const now = await mapGeometry(page);
    const shown = now.labels.map((l) => l.text);
    return wanted.every((t) => shown.includes(t)) ? now : null;
  }, 10000, `the labels at ${width} px`);
  // 2 NM from the centre to the map's nearer edge: waypoints 00 (where FlightGear's aircraft
  // stood at the import) and 01 stand their distance over 2 NM of that radius apart.
  const radius = Math.min(g.map.w, g.map.h) / 2;
  const [x0, y0] = g.circles['0'], [x1, y1] = g.circles['1'];
  const apart_px = Math.hypot(x1 - x0, y1 - y0);
  assert.ok(Math.abs(apart_px - waypointsApartNm / 2 * radius) < 0.05 * radius,
            `00 to 01 at ${width} px: ${apart_px.toFixed(0)} px for ${waypointsApartNm.toFixed(2)} ` +
            `NM, radius ${radius}`);
  assert.match(g.scale, /^(0\.5|1|2) NM$/, `the scale bar at ${width} px`);
  for (const [i, a] of g.labels.entries()) {
    assert.ok(a.x >= g.map.x && a.y >= g.map.y && a.x + a.w <= g.map.x + g.map.w &&
              a.y + a.h <= g.map.y + g.map.h, `${a.text} outside the map at ${width} px`);
    for (const b of g.labels.slice(i + 1)) {
      assert.ok(!overlap(a, b), `labels ${a.text} and ${b.text} overlap at ${width} px: ` +
                                `${JSON.stringify([a, b])}`);
    }
    for (const s of g.symbols) {
      assert.ok(!overlap(a, s), `label ${a.text} covers ${s.what} at ${width} px`);
    }
  }
}

test('the map of a three-leg plan at 2 NM keeps every label clear, on a desktop and a phone', async () => {
  const url = await link.found;
  // Once FlightGear has flown a while in heading mode, with a trail behind the aircraft.
  await until(async () => (await getJson(url, '/api/panel')).body.link.autopilot.heading_mode === true,
              60000, 'the recorded heading mode');
  const held = (await getJson(url, '/api/waypoints')).body.waypoints;
  const [w0, w1] = [0, 1].map((n) => held.find((w) => w.number === n));
  const rad = Math.PI / 180;
  waypointsApartNm = NM_PER_DEG / rad * Math.acos(
    Math.sin(w0.lat_deg * rad) * Math.sin(w1.lat_deg * rad) +
    Math.cos(w0.lat_deg * rad) * Math.cos(w1.lat_deg * rad) * Math.cos((w1.lon_east_deg - w0.lon_east_deg) * rad));
  assert.ok(waypointsApartNm > 1 && waypointsApartNm < 1.5, `00 to 01: ${waypointsApartNm} NM`);
  const ranges = await desk.$$eval('#map-range option', (o) => o.map((e) => Number(e.value)));
  assert.deepEqual(ranges.slice(0, 4), [2, 5, 10, 25]);
  await checkMapAtTwoMiles(desk, 1400);
  const phone = await browser.newPage({viewport: {width: 390, height: 844}, deviceScaleFactor: 2});
  await phone.goto(url);
  await until(() => phone.evaluate(() => document.body.dataset.ready === 'true'), 15000, 'the page');
  await checkMapAtTwoMiles(phone, 390);
  const shots = process.env.INS_LINK_SHOTS;
  if (shots) {
    // (The coastlines come a moment after the page.)
    await until(() => phone.evaluate(() => !!insMap.land50), 15000, 'the coastlines');
    await desk.screenshot({path: join(shots, 'link-1400.png'), fullPage: true});
    await phone.screenshot({path: join(shots, 'link-390.png'), fullPage: true});
    await phone.locator('#map').screenshot({path: join(shots, 'link-390-map.png')});
  }
  await phone.close();
});

test('the header shows FlightGear\'s time and pause, the readout its autopilot', async () => {
  const seen = await watcher.done;
  const said = (s) => `${s.link} | ${s.clock} ${s.rate} | ${s.readout}`;
  const story = seen.map(said).join('\n');
  // Beside the clock: FlightGear's time while live, PAUSED while it is paused; never a rate of
  // the host's, there or among the rate buttons.
  for (const s of seen) {
    if (s.link === 'live') assert.equal(s.clock, 'FG TIME', story);
    if (s.link === 'paused') assert.equal(s.clock, 'PAUSED', story);
    assert.doesNotMatch(s.clock, /x$/, story);
    assert.equal(s.rate, '', story);
  }
  const pausedAt = seen.findIndex((s) => s.link === 'paused');
  assert.ok(pausedAt > 0 && seen.slice(pausedAt).some((s) => s.link === 'live'),
            `the recorded pause and the run after it were not seen:\n${story}`);
  // The readout, while the link has fresh data: the autopilot off on the runway (unless the page
  // came late on a busy machine), the KAP140 in roll hold, off, then in heading mode through the
  // pause; nothing else (the host's own "Held"), but before FlightGear's first values for its
  // locks.
  const autopilot = seen.filter((s) => s.link === 'live' || s.link === 'paused')
    .map((s) => s.readout).filter((t) => t !== 'KAP140 not reported');
  const order = autopilot.filter((t, i) => i === 0 || t !== autopilot[i - 1]);
  const flown = ['KAP140 roll hold', 'autopilot off', 'KAP140 heading mode'];
  assert.deepEqual(order[0] === 'autopilot off' ? order.slice(1) : order, flown, story);
  assert.equal(seen[pausedAt].readout, 'KAP140 heading mode', story);
});
