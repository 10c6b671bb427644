// Figures of the web panel under a burst of hostile requests (bench/README.md): the pilot's click
// latency in the page before and after, the server's memory, threads and open files before and
// after, and how the burst's requests were answered.
//   node bench/web_burst.mjs <build>/ins-host [REQUESTS] [IN_FLIGHT] [ROUNDS]
// The burst mixes every kind of request the server refuses or limits, from a script on the same
// machine: a path that is not UTF-8, a rebound Host, cross-site simple and form POSTs, a POST
// without the panel's header, a plan named in bytes that are not UTF-8 (with a 100 KB body),
// 200 ranges of a file, 101 headers, a 72 KB head, a stream for another site, and all the while
// 40 clients sending their heads a byte every 2 s.
import http from 'node:http';
import net from 'node:net';
import {readFileSync, readdirSync} from 'node:fs';
import {startServer, launchBrowser, getJson, postJson, until} from '../tests/web/harness.mjs';
import {clickLatencies, clickFigures} from './page_clicks.mjs';

const total = Number(process.argv[3] || 20000);
const inFlight = Number(process.argv[4] || 64);
const rounds = Number(process.argv[5] || 3);
const SLOW_CLIENTS = 16;

const server = await startServer();
const port = Number(new URL(server.url).port);
const browser = await launchBrowser();

function serverProcess() {
  const status = readFileSync(`/proc/${server.process.pid}/status`, 'utf8');
  return {rss_kb: Number(status.match(/VmRSS:\s+(\d+)/)[1]),
          anon_kb: Number(status.match(/RssAnon:\s+(\d+)/)[1]),
          threads: Number(status.match(/Threads:\s+(\d+)/)[1]),
          files: readdirSync(`/proc/${server.process.pid}/fd`).length};
}

const host = `127.0.0.1:${port}`;
const head = (lines) => `${lines.join('\r\n')}\r\nConnection: close\r\n\r\n`;
const KINDS = [
  ['path not UTF-8', head(['GET /%FF%FE HTTP/1.1', `Host: ${host}`])],
  ['rebound Host', head(['GET /api/panel HTTP/1.1', `Host: evil.example:${port}`])],
  ['cross-site simple POST', head(['POST /api/set HTTP/1.1', `Host: ${host}`, 'Origin: http://evil.example',
                                   'Content-Type: text/plain', 'Content-Length: 31']) + '{"name":"main_power","value":1}'],
  ['cross-site form POST', head(['POST /api/sim HTTP/1.1', `Host: ${host}`, 'Origin: http://evil.example',
                                 'Content-Type: application/x-www-form-urlencoded', 'Content-Length: 16']) + '{"paused":true}='],
  ['POST without the header', head(['POST /api/sim HTTP/1.1', `Host: ${host}`, 'Content-Type: application/json',
                                    'Content-Length: 15']) + '{"paused":true}'],
  ['plan named in bytes not UTF-8', head(['POST /api/plan?name=%FF.PLN HTTP/1.1', `Host: ${host}`, 'X-INS-Panel: 1',
                                          'Content-Length: 100000']) + 'x'.repeat(100000)],
  ['200 ranges', head(['GET /app.js HTTP/1.1', `Host: ${host}`, `Range: bytes=${Array(200).fill('0-').join(',')}`])],
  ['101 headers', head(['GET /api/panel HTTP/1.1', `Host: ${host}`, ...Array.from({length: 101}, (_, i) => `X-H${i}: x`)])],
  ['72 KB head', head(['GET /api/panel HTTP/1.1', `Host: ${host}`, ...Array.from({length: 9}, (_, i) => `X-B${i}: ${'x'.repeat(8000)}`)])],
  ['stream for another site', head(['GET /api/stream HTTP/1.1', `Host: ${host}`, 'Origin: http://evil.example'])],
];

// One request on its own connection; resolves to its status (0 when the connection ended
// without one).
function send(text) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    let reply = '';
    socket.setTimeout(30000, () => socket.destroy());
    socket.on('data', (d) => { reply += d.toString('latin1'); });
    socket.on('error', () => {});
    socket.on('close', () => resolve(Number(reply.split(' ')[1]) || 0));
    socket.end(text);
  });
}

// Round trips of small requests one after the other on one kept-alive connection: each waits
// 40 ms for the delayed acknowledgement when the server's answers are held back by Nagle's rule.
async function keptAliveRoundTrips(count) {
  const agent = new http.Agent({keepAlive: true, maxSockets: 1});
  const times = [];
  const sockets = new Set();
  for (let i = 0; i < count; ++i) {
    const t0 = performance.now();
    await new Promise((resolve, reject) => {
      const req = http.request({host: '127.0.0.1', port, path: '/api/panel', agent}, (res) => {
        sockets.add(res.socket);
        res.resume();
        res.on('end', resolve);
      });
      req.on('error', reject);
      req.end();
    });
    times.push(performance.now() - t0);
  }
  agent.destroy();
  times.sort((a, b) => a - b);
  return {median: times[Math.floor(count / 2)], p90: times[Math.floor(count * 0.9)], connections: sockets.size};
}

const ms = (x) => `${x.toFixed(1)} ms`;
const show = (what, c) => console.log(`${what}: click to window text ${clickFigures(c, 20)}`);
const showServer = (what, s) => console.log(`${what}: server RSS ${(s.rss_kb / 1024).toFixed(1)} MB ` +
                                            `(${(s.anon_kb / 1024).toFixed(1)} MB its own data, the rest ` +
                                            'mapped files), ' +
                                            `${s.threads} threads, ${s.files} open files`);

// One burst: `total` requests of the kinds above, `inFlight` at a time, with the slow clients
// dripping all the while; prints how they were answered.
async function burst(round) {
  // The slow clients, for the whole burst.
  const slow = [];
  let slowCut = 0;
  const openSlow = () => {
    const socket = net.connect(port, '127.0.0.1');
    socket.on('error', () => {});
    socket.on('close', () => {
      const i = slow.indexOf(socket);
      if (i >= 0) slow.splice(i, 1);
      if (!bursting) return;
      ++slowCut;
      openSlow();
    });
    socket.write('G');
    slow.push(socket);
  };
  let bursting = true;
  for (let i = 0; i < SLOW_CLIENTS; ++i) openSlow();
  const drip = setInterval(() => slow.forEach((s) => s.write('E')), 2000);

  const statuses = new Map();
  let next = 0;
  const started = Date.now();
  const worker = async () => {
    while (next < total) {
      const [kind, text] = KINDS[next++ % KINDS.length];
      const status = await send(text);
      const key = `${kind} ${status}`;
      statuses.set(key, (statuses.get(key) || 0) + 1);
    }
  };
  await Promise.all(Array.from({length: inFlight}, worker));
  const burstS = (Date.now() - started) / 1000;
  bursting = false;
  clearInterval(drip);
  slow.forEach((s) => s.destroy());
  const during = serverProcess();
  console.log(`round ${round}: ${total} requests, ${inFlight} at a time, in ${burstS.toFixed(1)} s ` +
              `(${(total / burstS).toFixed(0)} a second); slow clients cut off by the server: ${slowCut}`);
  for (const [key, count] of [...statuses].sort()) console.log(`  ${key}: ${count}`);
  showServer(`round ${round}, at the burst's end`, during);
}

try {
  const page = await browser.newPage({viewport: {width: 1360, height: 900}});
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready=true]');
  const layout = (await getJson(server.url, '/api/layout')).body;
  // Power, the mode knob at STBY and two different positions in POS and WAY PT, so that each click
  // of the data selector changes the left window.
  for (const [name, value] of [['lat', 52.7], ['lon', -8.9], ['battery', 1]]) {
    await postJson(server.url, '/api/set', {name, value});
  }
  await postJson(server.url, '/api/mouse', {gauge: 'ALIGN', x: 128, y: 51, action: 'down'});
  await postJson(server.url, '/api/mouse', {gauge: 'ALIGN', x: 128, y: 51, action: 'up'});
  await until(async () => (await getJson(server.url, '/api/panel')).body.images.ALIGN.knob === 1, 5000, 'STBY');
  await page.waitForTimeout(2000);

  const before = serverProcess();
  showServer('before', before);
  show('before', await clickLatencies(page, layout, 20));
  const kept = await keptAliveRoundTrips(200);
  console.log(`200 GET /api/panel on kept-alive connections: median ${ms(kept.median)}, ` +
              `90th percentile ${ms(kept.p90)}, over ${kept.connections} connection(s)`);

  for (let round = 1; round <= rounds; ++round) {
    await burst(round);
    await page.waitForTimeout(5000);  // the last connections' deadlines pass, the pool trims
    showServer(`round ${round}, 5 s after`, serverProcess());
  }
  show('after', await clickLatencies(page, layout, 20));
  const panel = (await getJson(server.url, '/api/panel')).body;
  console.log(`panel after: battery ${panel.aircraft.battery}, main power ${panel.aircraft.main_power}, ` +
              `paused ${panel.paused} (the burst asked for main power and a pause: it changed ` +
              `${panel.aircraft.main_power || panel.paused ? 'something' : 'nothing'})`);
} finally {
  await browser.close();
  await server.stop();
}
