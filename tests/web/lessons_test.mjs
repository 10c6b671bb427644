// The Lessons card in Debian's chromium, against the real host and module: the alignment lesson
// taken from its first click to READY NAV and NAV by real clicks on the outlined controls and
// real keys, the card moving on only when the panel's published state shows each step done, and
// a wrong move (ALIGN before waypoint 00) explained until it is put right.
//   node --test tests/web/lessons_test.mjs     (with INS_HOST=<build>/ins-host)
// INS_LESSON_SHOTS=DIR keeps pictures of two lessons in progress at 1400 and 390 px wide.
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {mkdirSync} from 'node:fs';
import {join} from 'node:path';
import {startServer, launchBrowser, openPanelPage, getJson, postJson, until} from './harness.mjs';

const SHOTS = process.env.INS_LESSON_SHOTS;
let browser;
before(async () => {
  browser = await launchBrowser();
  if (SHOTS) mkdirSync(SHOTS, {recursive: true});
});
after(async () => { await browser?.close(); });

async function openPanel(t, width) {
  const server = await startServer();
  t.after(() => server.stop());
  const page = await openPanelPage(browser, server.url, {width, height: 1000});
  t.after(() => page.close());
  const panel = async () => (await getJson(server.url, '/api/panel')).body;
  return {server, page, panel};
}

async function startLesson(page, name) {
  await page.selectOption('#lesson-pick', name);
  await page.click('#lesson-start');
  await until(async () => (await page.locator('#lessons').getAttribute('data-step')) === '1',
              5000, `lesson ${name} at step 1`);
}

const stepShown = async (page) => Number(await page.locator('#lessons').getAttribute('data-step'));

async function untilStep(page, number) {
  await until(async () => (await stepShown(page)) === number, 20000, `step ${number} on the card`);
}

// A real mouse click at the centre of the control the card outlines (one only): the outline
// must lie over that control's click area for the press to reach it.
async function clickOutlined(page, control) {
  const outline = page.locator('.lesson-outline');
  assert.equal(await outline.count(), 1);
  assert.equal(await outline.getAttribute('data-control'), control);
  const box = await outline.boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
}

test('the alignment lesson, from the first click to NAV, moves on the panel\'s state', async (t) => {
  const {page, panel} = await openPanel(t, 1400);
  await startLesson(page, '1-power-and-alignment.lesson');
  assert.match(await page.locator('#lesson-instruction').textContent(), /OFF to STBY/);
  // The lesson put the aircraft where it starts, battery on.
  const start = await panel();
  assert.equal(start.aircraft.battery, true);
  assert.ok(Math.abs(start.aircraft.lat_deg - 52.701917) < 1e-6);

  await clickOutlined(page, 'ALIGN CW');
  await untilStep(page, 2);
  assert.equal((await panel()).knobs.ALIGN.knob, 'STBY');
  assert.match(await page.locator('#lesson-explained').textContent(), /^Step 1 done: The INS has power/);

  // The wrong move: ALIGN with no waypoint 00. The card says why while the panel shows it, and
  // stays at step 2; back at STBY the message goes.
  await page.mouse.click(...await centreOf(page, 'ALIGN', 'CW'));
  await until(async () => (await panel()).knobs.ALIGN.knob === 'ALIGN', 5000, 'the knob at ALIGN');
  await page.locator('#lesson-wrong').waitFor({state: 'visible', timeout: 5000});
  assert.match(await page.locator('#lesson-wrong').textContent(), /no waypoint 00 is stored.*status digit stays 0/);
  assert.equal(await stepShown(page), 2);
  if (SHOTS) {
    await page.screenshot({path: join(SHOTS, 'alignment-wrong-move-1400.png'), fullPage: true});
    await page.setViewportSize({width: 390, height: 1000});
    await page.screenshot({path: join(SHOTS, 'alignment-wrong-move-390.png'), fullPage: true});
    await page.setViewportSize({width: 1400, height: 1000});
  }
  await page.mouse.click(...await centreOf(page, 'ALIGN', 'CCW'));
  await page.locator('#lesson-wrong').waitFor({state: 'hidden', timeout: 5000});
  assert.equal((await panel()).knobs.ALIGN.knob, 'STBY');

  await clickOutlined(page, 'INS SEL_CW');
  await untilStep(page, 3);
  await clickOutlined(page, 'INS SET');
  await untilStep(page, 4);

  // Part of the latitude: the panel shows the digits, and the step waits for all of them.
  await page.keyboard.type('2524', {delay: 60});
  await until(async () => (await panel()).windows.left === ' 52°4-.--', 10000, 'N 52 4 keyed');
  assert.equal(await stepShown(page), 4);
  await page.keyboard.type('212', {delay: 60});
  await untilStep(page, 5);
  assert.equal((await panel()).windows.left, ' 52°42.12');
  await page.keyboard.type('40085548', {delay: 60});
  await untilStep(page, 6);
  await clickOutlined(page, 'INS INSERT');
  await untilStep(page, 7);
  for (let i = 0; i < 3; ++i) {
    await clickOutlined(page, 'INS SEL_CW');
    await until(async () => (await panel()).images.INS.knob === 5 + i, 5000, `selector step ${i + 1}`);
  }
  await untilStep(page, 8);
  // The wrong move at step 2 left its mark: the first step into ALIGN goes by the check made
  // then, and the count does not start. The card says so, and what to do.
  await clickOutlined(page, 'ALIGN CW');
  await until(async () => (await panel()).knobs.ALIGN.knob === 'ALIGN', 5000, 'the knob at ALIGN');
  await page.locator('#lesson-wrong').waitFor({state: 'visible', timeout: 5000});
  assert.match(await page.locator('#lesson-wrong').textContent(), /^Status 0 at ALIGN.*turn to STBY and back to ALIGN/);
  assert.equal((await panel()).windows.right, '   0');
  assert.equal(await stepShown(page), 8);
  await page.mouse.click(...await centreOf(page, 'ALIGN', 'CCW'));
  await until(async () => (await panel()).knobs.ALIGN.knob === 'STBY', 5000, 'the knob at STBY');
  await clickOutlined(page, 'ALIGN CW');
  await untilStep(page, 9);
  assert.equal((await panel()).windows.right, '   9');
  assert.ok(await page.locator('#lesson-wrong').isHidden());

  // The wait: the card offers 8x, and moves on at READY NAV.
  assert.equal(await page.locator('#lesson-rate').textContent(), 'Run the clock at 8x');
  await page.click('#lesson-rate');
  await until(async () => (await panel()).rate === 8, 5000, 'the clock at 8x');
  await untilStep(page, 10);
  const ready = await panel();
  assert.equal(ready.visible.ALIGN.ready_nav, true);
  assert.equal(ready.windows.right, '   5');
  assert.match(await page.locator('#lesson-explained').textContent(), /^Step 9 done: Status 5 and READY NAV/);

  await clickOutlined(page, 'ALIGN CW');
  await untilStep(page, 11);
  assert.equal((await panel()).knobs.ALIGN.knob, 'NAV');
  assert.equal(await page.locator('#lesson-progress').textContent(), 'All 10 steps done');
  assert.equal(await page.locator('.lesson-outline').count(), 0);
});

// The centre of a control's click area on the screen, for a move the lesson does not outline.
async function centreOf(page, gauge, control) {
  return page.evaluate(([gauge, control]) => {
    const area = window.insPanel.layout.gauges.find((g) => g.name === gauge).mouse
      .find((m) => m.control === control);
    const rect = document.getElementById(`gauge-${gauge}`).getBoundingClientRect();
    const scale = rect.width / document.getElementById(`gauge-${gauge}`).offsetWidth;
    return [rect.left + (area.x + area.width / 2) * scale, rect.top + (area.y + area.height / 2) * scale];
  }, [gauge, control]);
}

test('a phone-sized page follows the waypoint lesson, the outline over the thumbwheel', async (t) => {
  const {server, page, panel} = await openPanel(t, 390);
  // Powered at STBY, as the lesson asks.
  await page.evaluate(() => window.insPanel.settled());
  await postJson(server.url, '/api/set', {name: 'battery', value: 1});
  await page.mouse.click(...await centreOf(page, 'ALIGN', 'CW'));
  await until(async () => (await panel()).knobs.ALIGN.knob === 'STBY', 5000, 'STBY');
  await startLesson(page, '2-keying-waypoints.lesson');
  await page.locator('#lessons').scrollIntoViewIfNeeded();
  await clickOutlined(page, 'INS SEL_CW');
  await untilStep(page, 2);
  assert.equal(await page.locator('.lesson-outline').getAttribute('data-control'), 'INS UNITS_UP');
  if (SHOTS) {
    await page.screenshot({path: join(SHOTS, 'waypoints-step-2-390.png'), fullPage: true});
    await page.setViewportSize({width: 1400, height: 1000});
    await page.screenshot({path: join(SHOTS, 'waypoints-step-2-1400.png'), fullPage: true});
  }
  await clickOutlined(page, 'INS UNITS_UP');
  await untilStep(page, 3);
  assert.equal((await panel()).images.INS.units, 1);
});
