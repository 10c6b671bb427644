// The live panel as a pilot meets it in chromium: held controls that repeat on the wall clock
// whatever the rate, presses that end with their tab, many tabs on one stream, the keys after a
// drop-down, the art at two device pixels to the CSS pixel, a phone-sized window and the plan
// given on the command line.
//   node --test tests/web/live_test.mjs     (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import net from 'node:net';
import {startServer, launchBrowser, getJson, postJson, until} from './harness.mjs';

const PLAN = new URL('../../examples/EINN-BIKF-oceanic.PLN', import.meta.url).pathname;

let server, browser, layout;

before(async () => {
  server = await startServer(['--plan', PLAN]);
  browser = await launchBrowser();
  layout = (await getJson(server.url, '/api/layout')).body;
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

const panel = async () => (await getJson(server.url, '/api/panel')).body;
const pause = (ms) => new Promise((r) => setTimeout(r, ms));
const gaugeLayout = (name) => layout.gauges.find((g) => g.name === name);

async function openPanel(context) {
  const page = await context.newPage();
  page.on('pageerror', (error) => { throw error; });
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready=true]');
  await until(async () => (await page.locator('#connection').textContent()) === 'live', 10000, 'the page live');
  return page;
}

// The page point of a control's centre (the panel at scale 1).
async function controlPoint(page, gauge, control) {
  const box = gaugeLayout(gauge).mouse.find((b) => b.control === control);
  const at = await page.locator(`#gauge-${gauge}`).boundingBox();
  return {x: at.x + box.x + box.width / 2, y: at.y + box.y + box.height / 2};
}

// The units wheel, once the last request of the page is answered and a frame has drawn it.
async function unitsAfter(page) {
  await page.evaluate(() => insPanel.settled());
  await pause(300);
  return (await panel()).images.INS.units;
}

const stepsBetween = (before, after) => (after - before + 10) % 10;

test('a held wheel steps as often at 64x as at 1x: its repeats follow the wall clock', async () => {
  const context = await browser.newContext({viewport: {width: 1400, height: 1000}});
  const page = await openPanel(context);
  const at = await controlPoint(page, 'INS', 'UNITS_UP');
  const hold = async (ms) => {
    const before = await unitsAfter(page);
    await page.mouse.move(at.x, at.y);
    await page.mouse.down();
    await pause(ms);
    await page.mouse.up();
    return stepsBetween(before, await unitsAfter(page));
  };
  const steps = {};
  for (const rate of [1, 64]) {
    await postJson(server.url, '/api/sim', {rate, paused: false});
    steps[rate] = {click: await hold(100), long: await hold(1050)};
    // Six quick key presses are six steps.
    const before = await unitsAfter(page);
    for (let i = 0; i < 6; ++i) await page.keyboard.press('ArrowUp');
    steps[rate].keys = stepsBetween(before, await unitsAfter(page));
  }
  await postJson(server.url, '/api/sim', {rate: 1});
  // A click and a key press act once; a hold of 1.05 s is the press and the repeats at 0.5, 0.6
  // .. 1.0 s: 7 steps. The host times a hold between two requests, whose delays may differ a
  // little on a busy machine, so a long hold may gain or lose the one repeat at its edge.
  for (const rate of [1, 64]) {
    assert.equal(steps[rate].click, 1, `${rate}x click`);
    assert.equal(steps[rate].keys, 6, `${rate}x keys`);
    assert.ok(Math.abs(steps[rate].long - 7) <= 1, `${rate}x hold of 1.05 s: ${steps[rate].long} steps`);
  }
  assert.ok(Math.abs(steps[1].long - steps[64].long) <= 1, JSON.stringify(steps));
  await context.close();
});

test('a press is released when its tab reloads or closes', async (t) => {
  for (const ending of ['reload', 'close']) {
    await t.test(ending, async () => {
      const context = await browser.newContext({viewport: {width: 1400, height: 1000}});
      const page = await openPanel(context);
      const client = await page.evaluate(() => insPanel.client);
      const at = await controlPoint(page, 'INS', 'UNITS_UP');
      await page.mouse.move(at.x, at.y);
      await page.mouse.down();
      await until(async () => (await panel()).held?.client === client, 3000, 'the press held');
      if (ending === 'reload') await page.reload(); else await page.close();
      await until(async () => (await panel()).held === null, 4000, 'the press released');
      const units = (await panel()).images.INS.units;
      await pause(600);
      assert.equal((await panel()).images.INS.units, units, 'the wheel stands still');
      await context.close();
    });
  }
});

test('seven tabs share one stream, and a click in the first still reaches the host', async () => {
  const context = await browser.newContext({viewport: {width: 1400, height: 1000}});
  const tabs = [];
  for (let i = 0; i < 7; ++i) tabs.push(await openPanel(context));
  // The browser holds one of the host's eight streams: seven more can be had, not eight.
  const port = Number(new URL(server.url).port);
  const taken = [];
  try {
    for (let i = 0; i < 8; ++i) {
      const socket = net.connect(port, '127.0.0.1');
      socket.write(`GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nX-INS-Panel: 1\r\n\r\n`);
      const reply = await new Promise((r) => socket.once('data', (d) => r(d.toString('latin1'))));
      taken.push(socket);
      if (!reply.startsWith('HTTP/1.1 200')) break;
    }
    assert.equal(taken.length, 8, 'the eighth stream refused');
  } finally {
    taken.forEach((s) => s.destroy());
  }
  const knob = (await panel()).images.ALIGN.knob;
  const box = gaugeLayout('ALIGN').mouse.find((b) => b.control === 'CW');
  await tabs[0].click('#gauge-ALIGN', {position: {x: box.x + box.width / 2, y: box.y + box.height / 2}});
  await until(async () => (await panel()).images.ALIGN.knob === knob + 1, 5000, 'the mode knob turned');
  // Every tab shows it, through the one stream.
  for (const tab of tabs) {
    await until(() => tab.evaluate((k) => insPanel.state.images.ALIGN.knob === k, knob + 1), 5000,
                'the turn shown in every tab');
  }
  await context.close();
});

test('the panel\'s keys work after a drop-down is used, but not while typing in a field', async () => {
  const context = await browser.newContext({viewport: {width: 1400, height: 1000}});
  const page = await openPanel(context);
  // [where the focus is, whether ArrowUp steps the wheel]
  const cases = [['#map-range', true], ['#examples', true], ['input[data-set="lat"]', false]];
  for (const [field, panelKey] of cases) {
    if (field === '#map-range') await page.selectOption(field, '400');
    await page.focus(field);
    const before = await unitsAfter(page);
    await page.keyboard.press('ArrowUp');
    assert.equal(stepsBetween(before, await unitsAfter(page)), panelKey ? 1 : 0, field);
  }
  assert.equal(await page.locator('#map-range').inputValue(), '400', 'the map range unchanged');
  await context.close();
});

// How well a picture of the CDU face draws it as the 2x rendering does, worked out in the page
// (the pictures are large): the share of the rendering's edge pixels (those that differ from a
// neighbour: the legends, the screws, the bevels; flat areas are as right enlarged as sharp)
// outside every element the face carries that the picture draws within a few levels. For the
// page's own canvas (`shot`, a PNG) and, to show that the check tells sharp from enlarged, for
// the 1x face enlarged twice.
function faceEdgesMatched(page, shot) {
  const covered = gaugeLayout('INS').elements.slice(1).map((e) => [e.x - 2, e.y - 2, e.x + e.width + 2, e.y + e.height + 2]);
  return page.evaluate(async ({shotB64, covered}) => {
    const pixels = async (blob, scale = 1) => {
      const image = await createImageBitmap(blob, {colorSpaceConversion: 'none'});
      const canvas = new OffscreenCanvas(image.width * scale, image.height * scale);
      const ctx = canvas.getContext('2d');
      ctx.drawImage(image, 0, 0, canvas.width, canvas.height);
      return ctx.getImageData(0, 0, canvas.width, canvas.height);
    };
    const fetched = async (url) => (await fetch(url)).blob();
    const reference = await pixels(await fetched('/bitmaps-2x/4096.png'));
    const shot = await pixels(await fetched(`data:image/png;base64,${shotB64}`));
    const enlarged = await pixels(await fetched('/bitmaps/4096.png'), 2);
    const {width, height, data: ref} = reference;
    const skip = new Uint8Array(width * height);
    for (const [x0, y0, x1, y1] of covered) {
      for (let y = Math.max(0, y0 * 2); y < Math.min(height, y1 * 2); ++y) {
        skip.fill(1, y * width + Math.max(0, x0 * 2), y * width + Math.min(width, x1 * 2));
      }
    }
    const matched = (picture) => {
      if (picture.width !== width || picture.height !== height) return -1;
      let compared = 0, same = 0;
      for (let y = 0; y < height - 1; ++y) {
        for (let x = 0; x < width - 1; ++x) {
          const i = (y * width + x) * 4;
          if (skip[y * width + x]) continue;
          let edge = false, near = true;
          for (let c = 0; c < 3; ++c) {
            edge ||= Math.abs(ref[i + c] - ref[i + 4 + c]) > 32 || Math.abs(ref[i + c] - ref[i + width * 4 + c]) > 32;
            near &&= Math.abs(picture.data[i + c] - ref[i + c]) <= 6;
          }
          if (!edge) continue;
          ++compared;
          if (near) ++same;
        }
      }
      return {compared, share: same / compared};
    };
    return {shot: matched(shot), enlarged: matched(enlarged)};
  }, {shotB64: shot.toString('base64'), covered});
}

test('the art is drawn from its 2x rendering where a gauge pixel is two device pixels', async (t) => {
  for (const [what, deviceScaleFactor, scale] of [['a 2x screen', 2, '1'], ['Scale 200 %', 1, '2']]) {
    await t.test(what, async () => {
      const context = await browser.newContext({viewport: {width: 1400, height: 1000}, deviceScaleFactor});
      const page = await openPanel(context);
      if (scale !== '1') await page.selectOption('#zoom', scale);
      await until(() => page.evaluate(() => document.body.dataset.art === '2'), 5000, 'the 2x art');
      await page.mouse.move(0, 0);
      const shot = await page.locator('#gauge-INS canvas').screenshot({scale: 'device'});
      const matched = await faceEdgesMatched(page, shot);
      assert.ok(matched.shot.compared > 5000, JSON.stringify(matched));
      assert.ok(matched.shot.share > 0.98, `the page draws ${JSON.stringify(matched.shot)} of the face's edges as the 2x rendering`);
      assert.ok(matched.enlarged.share < 0.6, `the 1x face enlarged draws ${JSON.stringify(matched.enlarged)}`);
      await context.close();
    });
  }
});

test('on a 390 px screen nothing is cut; the plan given at start shows at once; the page has its icon', async () => {
  const context = await browser.newContext({viewport: {width: 390, height: 844}});
  const page = await openPanel(context);
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 390, 'no sideways scrolling');
  // Every control of the side column lies inside the window, and a long longitude fits its field.
  const outside = await page.evaluate(() => [...document.querySelectorAll('.side-column input, .side-column select, .side-column button')]
    .filter((e) => { const r = e.getBoundingClientRect(); return r.left < 0 || r.right > innerWidth; })
    .map((e) => e.id || e.dataset.set));
  assert.deepEqual(outside, []);
  await page.locator('input[data-set="lon"]').fill('-122.12345');
  const [textPx, roomPx] = await page.locator('input[data-set="lon"]').evaluate((input) => {
    const style = getComputedStyle(input);
    const ctx = document.createElement('canvas').getContext('2d');
    ctx.font = `${style.fontSize} ${style.fontFamily}`;
    return [ctx.measureText(input.value).width,
            input.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight)];
  });
  assert.ok(textPx <= roomPx, `-122.12345 takes ${textPx.toFixed(1)} px of ${roomPx} px`);
  assert.match(await page.locator('#plan-message').textContent(), /^EINN-BIKF-oceanic\.PLN: 5 waypoints, EINN to BIKF\./);
  assert.equal(await page.locator('#map-plan').getAttribute('data-waypoints'), '5');
  await context.close();
  const icon = await fetch(new URL('/favicon.ico', server.url));
  assert.deepEqual([icon.status, icon.headers.get('content-type')], [200, 'image/x-icon']);
});
