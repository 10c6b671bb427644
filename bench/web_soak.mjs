// The web server soaked for minutes under the load a crowded machine puts on it (bench/README.md):
// 20 clients polling the panel and clicking, 300 idle connections that open again as soon as
// the server closes them, and the pilot clicking the data selector once a second. Prints the
// pilot's click-to-window times (the click posted, to the changed left window in the event
// stream), and the server's memory and threads sampled through the run.
//   node bench/web_soak.mjs <build>/ins-host [SECONDS] [CLIENTS] [IDLE]
import http from 'node:http';
import net from 'node:net';
import {readFileSync} from 'node:fs';
import {startServer, getJson, postJson, until} from '../tests/web/harness.mjs';

const seconds = Number(process.argv[3] || 300);
const clientCount = Number(process.argv[4] || 20);
const idleCount = Number(process.argv[5] || 300);
const SAMPLE_MS = 5000;

const server = await startServer();
const port = Number(new URL(server.url).port);
const pause = (ms) => new Promise((r) => setTimeout(r, ms));

function serverProcess() {
  const status = readFileSync(`/proc/${server.process.pid}/status`, 'utf8');
  return {rss_mb: Number(status.match(/VmRSS:\s+(\d+)/)[1]) / 1024,
          threads: Number(status.match(/Threads:\s+(\d+)/)[1])};
}

// Idle connections: each sends nothing, and opens again when the server closes it.
function idleCrowd(count) {
  const crowd = {open: true, sockets: new Set(), reopened: 0};
  const connect = () => {
    const socket = net.connect(port, '127.0.0.1');
    socket.on('error', () => {});
    socket.on('close', () => {
      crowd.sockets.delete(socket);
      if (crowd.open) { ++crowd.reopened; connect(); }
    });
    crowd.sockets.add(socket);
  };
  for (let i = 0; i < count; ++i) connect();
  crowd.stop = () => { crowd.open = false; crowd.sockets.forEach((s) => s.destroy()); };
  return crowd;
}

// A client of the panel: polls it five times a second and clicks a panel-window icon every 2 s,
// on kept-alive connections of its own. Counts its answers by status.
function pollingClient(index, statuses) {
  const agent = new http.Agent({keepAlive: true, maxSockets: 2});
  let running = true;
  const count = (status) => statuses.set(status, (statuses.get(status) || 0) + 1);
  const request = (method, path, body) => new Promise((resolve) => {
    const req = http.request({host: '127.0.0.1', port, path, method, agent,
                              headers: body ? {'Content-Type': 'application/json', 'X-INS-Panel': '1'} : {}},
                             (res) => { res.resume(); res.on('end', () => { count(res.statusCode); resolve(); }); });
    req.on('error', () => { count('error'); resolve(); });
    req.end(body);
  });
  const icon = `INSicon1024_0${(index % 8) + 1}`;
  (async () => {
    for (let tick = 0; running; ++tick) {
      await request('GET', '/api/panel');
      if (tick % 10 === 0) {
        for (const action of ['down', 'up']) {
          await request('POST', '/api/mouse', JSON.stringify({gauge: icon, x: 9, y: 9, action, client: `c${index}`}));
        }
      }
      await pause(200);
    }
  })();
  return () => { running = false; agent.destroy(); };
}

// The pilot's event stream: the latest left window, and a wait for it to change.
function pilotStream() {
  const watchers = new Set();
  const stream = {left: null};
  const req = http.get({host: '127.0.0.1', port, path: '/api/stream?id=pilot', headers: {'X-INS-Panel': '1'}}, (res) => {
    let buffered = '';
    res.setEncoding('utf8');
    res.on('data', (d) => {
      buffered += d;
      let end;
      while ((end = buffered.indexOf('\n\n')) >= 0) {
        const event = buffered.slice(0, end);
        buffered = buffered.slice(end + 2);
        if (!event.startsWith('data: ')) continue;
        stream.left = JSON.parse(event.slice(6)).windows.left;
        for (const w of watchers) w();
      }
    });
  });
  stream.changedFrom = (before) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => { watchers.delete(check); reject(new Error('no change in 10 s')); }, 10000);
    const check = () => {
      if (stream.left !== before) { clearTimeout(timer); watchers.delete(check); resolve(); }
    };
    watchers.add(check);
    check();
  });
  stream.close = () => req.destroy();
  return stream;
}

const percentile = (sorted, q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];

try {
  // Power, the mode knob at STBY and different positions in POS and WAY PT, so that each click of
  // the data selector changes the left window.
  for (const [name, value] of [['lat', 52.7], ['lon', -8.9], ['battery', 1]]) {
    await postJson(server.url, '/api/set', {name, value});
  }
  await postJson(server.url, '/api/mouse', {gauge: 'ALIGN', x: 128, y: 51, action: 'down'});
  await postJson(server.url, '/api/mouse', {gauge: 'ALIGN', x: 128, y: 51, action: 'up'});
  await until(async () => (await getJson(server.url, '/api/panel')).body.images.ALIGN.knob === 1, 5000, 'STBY');
  const layout = (await getJson(server.url, '/api/layout')).body;
  const box = (control) => {
    const b = layout.gauges.find((g) => g.name === 'INS').mouse.find((m) => m.control === control);
    return {x: b.x + Math.floor(b.width / 2), y: b.y + Math.floor(b.height / 2)};
  };
  const pilot = pilotStream();
  await until(() => pilot.left !== null, 5000, 'the pilot\'s stream');

  const samples = [{t: 0, ...serverProcess()}];
  const statuses = new Map();
  const crowd = idleCrowd(idleCount);
  const clients = Array.from({length: clientCount}, (_, i) => pollingClient(i, statuses));
  const started = Date.now();
  const sampler = setInterval(() => samples.push({t: (Date.now() - started) / 1000, ...serverProcess()}), SAMPLE_MS);

  const clicks = [];
  let missed = 0;
  for (let i = 0; Date.now() - started < seconds * 1000; ++i) {
    const at = box(i % 2 === 0 ? 'SEL_CW' : 'SEL_CCW');
    const before = pilot.left;
    const t0 = performance.now();
    try {
      await postJson(server.url, '/api/mouse', {gauge: 'INS', ...at, action: 'down', client: 'pilot', stream: 'pilot'});
      const changed = pilot.changedFrom(before);
      await postJson(server.url, '/api/mouse', {gauge: 'INS', ...at, action: 'up', client: 'pilot'});
      await changed;
      clicks.push(performance.now() - t0);
    } catch (error) {
      ++missed;
    }
    await pause(1000);
  }
  clearInterval(sampler);
  samples.push({t: (Date.now() - started) / 1000, ...serverProcess()});
  clients.forEach((stop) => stop());
  crowd.stop();
  pilot.close();

  clicks.sort((a, b) => a - b);
  console.log(`${seconds} s, ${clientCount} polling and clicking clients, ${idleCount} idle connections ` +
              `(closed by the server and opened again ${crowd.reopened} times)`);
  console.log(`pilot: ${clicks.length} clicks, ${missed} without a change in 10 s; click to window: ` +
              `median ${percentile(clicks, 0.5).toFixed(1)} ms, 99th percentile ${percentile(clicks, 0.99).toFixed(1)} ms, ` +
              `max ${clicks[clicks.length - 1].toFixed(1)} ms`);
  console.log(`clients' answers: ${[...statuses].map(([s, n]) => `${s}: ${n}`).join(', ')}`);
  const rss = samples.map((s) => s.rss_mb);
  const threads = samples.map((s) => s.threads);
  const later = samples.filter((s) => s.t >= 60);
  console.log(`server RSS: start ${rss[0].toFixed(1)} MB, min ${Math.min(...rss).toFixed(1)}, ` +
              `max ${Math.max(...rss).toFixed(1)}, end ${rss[rss.length - 1].toFixed(1)} MB; after the first minute ` +
              `${Math.min(...later.map((s) => s.rss_mb)).toFixed(1)} to ${Math.max(...later.map((s) => s.rss_mb)).toFixed(1)} MB`);
  console.log(`server threads: ${[...new Set(threads)].join(', ')} (start ${threads[0]}, end ${threads[threads.length - 1]})`);
  console.log('samples (s: RSS MB, threads): ' +
              samples.filter((_, i) => i % 6 === 0 || i === samples.length - 1)
                .map((s) => `${s.t.toFixed(0)}: ${s.rss_mb.toFixed(1)}, ${s.threads}`).join('; '));
} finally {
  await server.stop();
}
