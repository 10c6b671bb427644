// Figures of the web panel with a page attached (bench/README.md): memory of the server and of
// the page over many simulated hours at 64x, the frames per second the server sustains with
// its CPU share, and the latency from a click on the CDU to the changed window text in the page.
//   node bench/web_panel.mjs <build>/ins-host [SIMULATED_HOURS]
import {startServer, launchBrowser, getJson, postJson, until} from '../tests/web/harness.mjs';
import {readFileSync} from 'node:fs';
import {clickLatencies, clickFigures} from './page_clicks.mjs';

const hours = Number(process.argv[3] || 10);
const server = await startServer();
const browser = await launchBrowser();
const ticksPerSecond = 100;  // USER_HZ on Linux

function serverProcess() {
  const status = readFileSync(`/proc/${server.process.pid}/status`, 'utf8');
  const stat = readFileSync(`/proc/${server.process.pid}/stat`, 'utf8').split(') ')[1].split(' ');
  return {rss_kb: Number(status.match(/VmRSS:\s+(\d+)/)[1]),
          cpu_s: (Number(stat[11]) + Number(stat[12])) / ticksPerSecond};
}

try {
  const page = await browser.newPage({viewport: {width: 1360, height: 900}});
  page.on('crash', () => console.log('page crashed'));
  page.on('pageerror', (e) => console.log('page error', e.message));
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Performance.enable');
  const pageMemory = async () => {
    await cdp.send('HeapProfiler.collectGarbage');
    const metrics = (await cdp.send('Performance.getMetrics')).metrics;
    const get = (name) => metrics.find((m) => m.name === name).value;
    return {heap_kb: Math.round(get('JSHeapUsedSize') / 1024), nodes: get('Nodes')};
  };
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready=true]');
  await page.waitForFunction(() => window.insMap && insMap.land50, null, {timeout: 30000});
  const layout = (await getJson(server.url, '/api/layout')).body;
  const centre = (gauge, control) => {
    const b = layout.gauges.find((g) => g.name === gauge).mouse.find((m) => m.control === control);
    return {x: b.x + b.width / 2, y: b.y + b.height / 2};
  };

  // --- Click latency at 1x: a press on the data selector in the page to the new text of the
  // left window in the page, measured inside the page (mousedown dispatched, MutationObserver).
  // POS and WAY PT then show different latitudes, so each click changes the left window.
  for (const [name, value] of [['lat', 52.7], ['lon', -8.9], ['heading', 300], ['tas', 480],
                               ['altitude', 35000], ['wind_dir', 300], ['wind_speed', 40]]) {
    await postJson(server.url, '/api/set', {name, value});
  }
  await postJson(server.url, '/api/set', {name: 'battery', value: 1});
  await page.click('#gauge-ALIGN', {position: centre('ALIGN', 'CW')});
  await until(async () => (await getJson(server.url, '/api/panel')).body.images.ALIGN.knob === 1, 5000, 'STBY');
  console.log(`click to window text: ${clickFigures(await clickLatencies(page, layout, 20), 20)}`);

  // --- A flight at 64x for the given simulated hours, sampled every simulated hour.
  await postJson(server.url, '/api/sim', {motion: true});
  await page.check('#map-follow');
  await postJson(server.url, '/api/sim', {rate: 64});
  const start = (await getJson(server.url, '/api/panel')).body;
  const startWall = Date.now();
  const startCpu = serverProcess().cpu_s;
  console.log('sim_h  wall_s  frames/s  server_cpu  server_rss_MB  page_heap_MB  page_nodes');
  for (let h = 0; h <= hours; ++h) {
    if (h > 0) {
      await until(async () => (await getJson(server.url, '/api/panel')).body.time_s >= start.time_s + h * 3600,
                  3600 * 1000 / 64 * 1.5, `simulated hour ${h}`);
    }
    const now = (await getJson(server.url, '/api/panel')).body;
    const wall_s = (Date.now() - startWall) / 1000;
    const proc = serverProcess();
    const mem = await pageMemory();
    const fps = h > 0 ? (now.frame - start.frame) / wall_s : NaN;
    const cpu = h > 0 ? (proc.cpu_s - startCpu) / wall_s * 100 : NaN;
    console.log(`${String(h).padStart(5)}  ${wall_s.toFixed(0).padStart(6)}  ${fps.toFixed(0).padStart(8)}  ` +
                `${cpu.toFixed(0).padStart(9)} %  ${(proc.rss_kb / 1024).toFixed(1).padStart(13)}  ` +
                `${(mem.heap_kb / 1024).toFixed(1).padStart(12)}  ${String(mem.nodes).padStart(10)}`);
  }
} finally {
  await browser.close();
  await server.stop();
}
