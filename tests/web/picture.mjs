// Draws the picture of the web panel for the README: a plan imported and flown with HOLD over
// the Atlantic, the selector at DIS/TIME. Drives the page through its API for speed.
//   node tests/web/picture.mjs <build>/ins-host docs/web-panel.png
import {startServer, launchBrowser, getJson, postJson, until} from './harness.mjs';

const output = process.argv[3] || 'web-panel.png';
const server = await startServer();
const browser = await launchBrowser();
try {
  const page = await browser.newPage({viewport: {width: 1360, height: 860}});
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready=true]');
  await page.waitForFunction(() => window.insMap && insMap.land50, null, {timeout: 30000});
  const layout = (await getJson(server.url, '/api/layout')).body;
  const click = async (gauge, control) => {
    const box = layout.gauges.find((g) => g.name === gauge).mouse.find((b) => b.control === control);
    await page.click(`#gauge-${gauge}`, {position: {x: box.x + box.width / 2, y: box.y + box.height / 2}});
  };
  const panel = async () => (await getJson(server.url, '/api/panel')).body;
  await page.selectOption('#examples', 'EINN-BIKF-oceanic.PLN');
  await page.click('#load-example');
  await until(async () => (await panel()).plan, 5000, 'the plan');
  await postJson(server.url, '/api/set', {name: 'battery', value: 1});
  await postJson(server.url, '/api/set', {name: 'wind_dir', value: 300});
  await postJson(server.url, '/api/set', {name: 'wind_speed', value: 40});
  await click('ALIGN', 'CW');
  await page.waitForTimeout(1500);
  await click('INS', 'PLAN');
  await page.waitForTimeout(1200);
  await click('ALIGN', 'CW');
  await postJson(server.url, '/api/sim', {rate: 64});
  await until(async () => (await panel()).visible.ALIGN.ready_nav, 20000, 'READY NAV');
  await click('ALIGN', 'CW');
  await postJson(server.url, '/api/sim', {rate: 1});
  await click('INS', 'SEL_CW');
  await page.waitForTimeout(400);
  await click('INS', 'SEL_CW');
  await page.waitForTimeout(400);
  await click('INS', 'WYPT_CHG');
  await page.waitForTimeout(600);
  await postJson(server.url, '/api/takeoff', {alt_ft: 35000, tas_kt: 480});
  await postJson(server.url, '/api/set', {name: 'ap_master', value: 1});
  await postJson(server.url, '/api/set', {name: 'ap_heading', value: 1});
  await postJson(server.url, '/api/sim', {rate: 64});
  await until(async () => (await panel()).aircraft.alt_ft > 2000, 20000, 'airborne');
  await click('INS', 'HOLD');
  const t0 = (await panel()).time_s;
  await until(async () => (await panel()).time_s > t0 + 40 * 60, 60000, 'forty minutes of flight');
  await postJson(server.url, '/api/sim', {rate: 1});
  await page.waitForTimeout(1500);
  await page.screenshot({path: output});
  console.log(`wrote ${output}`);
} finally {
  await browser.close();
  await server.stop();
}
