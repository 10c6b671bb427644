// The web panel draws what `ins-host run` draws: the same state reached with real clicks in the
// page and by a scenario, the page's gauges compared with the scenario's PNG snapshot at points
// on the art (the face, the knob, the thumbwheel, a lit key, the switch and the mode knob). The
// text windows are left out: the page and the snapshot set the segment font with different
// text engines.
//   node --test tests/web/picture_test.mjs     (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {mkdtempSync, readFileSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {startServer, launchBrowser, getJson, postJson, until, hostProgram} from './harness.mjs';

const SCENARIO = new URL('./same_state.scn', import.meta.url).pathname;
// The snapshot stands the gauges one below the other, 8 pixels from the edge and apart.
const MARGIN_PX = 8, GAP_PX = 8, INS_HEIGHT_PX = 308;

let server, browser, page, output;

before(async () => {
  output = mkdtempSync(join(tmpdir(), 'ins-web-picture-'));
  execFileSync(hostProgram(), ['run', SCENARIO, '--output', output],
               {env: {...process.env, SDL_AUDIODRIVER: 'dummy'}});
  server = await startServer();
  browser = await launchBrowser();
  page = await browser.newPage({viewport: {width: 1400, height: 1000}});
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready=true]');
});

after(async () => {
  await browser?.close();
  await server?.stop();
  if (output) rmSync(output, {recursive: true, force: true});
});

// RGBA of every pixel of a PNG as the file holds it, decoded by the browser itself.
async function decodePng(bytes) {
  return page.evaluate(async (b64) => {
    const blob = await (await fetch(`data:image/png;base64,${b64}`)).blob();
    const image = await createImageBitmap(blob, {colorSpaceConversion: 'none'});
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const ctx = canvas.getContext('2d');
    ctx.drawImage(image, 0, 0);
    return {width: canvas.width, height: canvas.height,
            data: Array.from(ctx.getImageData(0, 0, canvas.width, canvas.height).data)};
  }, bytes.toString('base64'));
}

function pixel(image, x, y) {
  const i = (y * image.width + x) * 4;
  return image.data.slice(i, i + 3);
}

test('the page draws the panel as ins-host run draws it', async () => {
  const layout = (await getJson(server.url, '/api/layout')).body;
  const click = async (gauge, control) => {
    const b = layout.gauges.find((g) => g.name === gauge).mouse.find((m) => m.control === control);
    await page.click(`#gauge-${gauge}`, {position: {x: b.x + b.width / 2, y: b.y + b.height / 2}});
  };
  const panel = async () => (await getJson(server.url, '/api/panel')).body;
  await postJson(server.url, '/api/set', {name: 'battery', value: 1});
  await click('ALIGN', 'CW');
  await until(async () => (await panel()).images.ALIGN.knob === 1, 3000, 'STBY');
  await click('INS', 'SEL_CW');
  await until(async () => (await panel()).images.INS.knob === 4, 3000, 'WAY PT');
  // The wheel repeats while its button is held (every 0.1 s of simulated time): clicked with
  // the simulation paused, each click is exactly one step whatever the page's round trip takes.
  await postJson(server.url, '/api/sim', {paused: true});
  for (let n = 1; n <= 3; ++n) await click('INS', 'UNITS_UP');
  await page.evaluate(() => insPanel.settled());  // the presses and releases reached the host
  await postJson(server.url, '/api/sim', {paused: false});
  await until(async () => (await panel()).images.INS.units === 3, 3000, 'units 3');
  await click('INS', 'SET');
  await until(async () => (await panel()).visible.INS.set_lit, 3000, 'SET lit');
  // A second of simulated time, as the scenario waits: the key's pressed image has gone.
  const lit = (await panel()).time_s;
  await until(async () => (await panel()).time_s >= lit + 1, 3000, 'a second later');
  await postJson(server.url, '/api/sim', {paused: true});
  await page.waitForTimeout(300);  // the last state drawn

  const snapshot = await decodePng(readFileSync(join(output, 'same-state.png')));
  const shots = {
    INS: await decodePng(await page.locator('#gauge-INS').screenshot()),
    ALIGN: await decodePng(await page.locator('#gauge-ALIGN').screenshot()),
  };
  assert.equal(shots.INS.width, 400);
  assert.equal(shots.INS.height, 308);
  const origin = {INS: [MARGIN_PX, MARGIN_PX], ALIGN: [MARGIN_PX, MARGIN_PX + INS_HEIGHT_PX + GAP_PX]};
  const points = [
    ['INS', 'face top left', 12, 60], ['INS', 'face centre', 200, 200], ['INS', 'face bottom right', 390, 300],
    ['INS', 'data selector knob', 83, 226], ['INS', 'knob edge', 60, 200],
    ['INS', 'units wheel digit', 97, 135], ['INS', 'tens wheel', 71, 135],
    ['INS', 'SET key lit', 103, 91], ['INS', 'AUTO/MAN switch', 165, 281],
    ['INS', 'HOLD key', 57, 91], ['INS', 'key 5', 293, 191],
    ['ALIGN', 'mode knob', 101, 50], ['ALIGN', 'face legend area', 300, 80], ['ALIGN', 'READY NAV lamp (dark)', 225, 50],
  ];
  const differences = [];
  for (const [gauge, what, x, y] of points) {
    const a = pixel(shots[gauge], x, y);
    const b = pixel(snapshot, origin[gauge][0] + x, origin[gauge][1] + y);
    if (a.some((v, i) => Math.abs(v - b[i]) > 6)) differences.push(`${gauge} ${what} (${x}, ${y}): page ${a}, snapshot ${b}`);
  }
  assert.deepEqual(differences, []);
  // And the snapshot is not a blank: the points differ among themselves.
  const colours = new Set(points.map(([g, , x, y]) => String(pixel(shots[g], x, y))));
  assert.ok(colours.size >= 5, `only ${colours.size} colours among the points`);
});
