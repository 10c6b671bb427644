// The panel and a page of another origin open in the same browser, Debian's chromium: the other
// page (served from another loopback port, as any site the pilot visits could be) tries what a
// page can do without asking, a simple POST, a form POST, a fetch of the panel, frames and
// streams of the panel, and changes nothing and reads nothing. The pilot's page still gets its
// stream, waits for one while all are taken, and shows an old planner's plan as text.
//   node --test tests/web/origins_test.mjs     (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import net from 'node:net';
import {startServer, launchBrowser, getJson, postJson, until} from './harness.mjs';

let server, browser, other, otherUrl;

// The other site: one page, whatever is asked.
function serveOtherSite(html) {
  return new Promise((resolve) => {
    const site = http.createServer((req, res) => {
      res.writeHead(200, {'Content-Type': 'text/html'});
      res.end(html);
    });
    site.listen(0, '127.0.0.1', () => resolve(site));
  });
}

const ATTACK = (panel) => `<!doctype html><html><body>
<iframe name="sink"></iframe>
<form id="form" method="POST" action="${panel}/api/set" enctype="text/plain" target="sink">
  <input name='{"name": "battery", "value": 1, "pad": "' value='"}'>
</form>
<script>
window.results = {};
async function attempt(name, run) {
  try { window.results[name] = await run(); } catch (e) { window.results[name] = 'failed: ' + e.message; }
}
window.attack = async () => {
  await attempt('simple POST', async () => {
    const r = await fetch('${panel}/api/set', {method: 'POST', mode: 'no-cors',
      headers: {'Content-Type': 'text/plain'}, body: '{"name": "main_power", "value": 1}'});
    return 'answered ' + r.type;
  });
  await attempt('POST with the panel header', async () => {
    const r = await fetch('${panel}/api/sim', {method: 'POST', headers: {'X-INS-Panel': '1',
      'Content-Type': 'application/json'}, body: '{"paused": false}'});
    return 'read ' + r.status;
  });
  await attempt('read the panel', async () => (await (await fetch('${panel}/api/panel')).text()).slice(0, 40));
  await attempt('read the panel as no-cors', async () => {
    const r = await fetch('${panel}/api/panel', {mode: 'no-cors'});
    return (await r.text()).length === 0 ? 'nothing' : 'read it';
  });
  document.getElementById('form').submit();
};
// Keeps count fetches of the panel's stream under way, from each of the origins: a no-cors fetch
// sends no Origin, and its answer, though withheld from this page, holds a stream while it lasts.
window.flood = (origins, count) => {
  window.flooding = true;
  const keep = (origin) => fetch(origin + '/api/stream', {mode: 'no-cors', cache: 'no-store'})
    .catch(() => {}).then(() => { if (window.flooding) setTimeout(() => keep(origin), 50); });
  for (const origin of origins) for (let i = 0; i < count; ++i) keep(origin);
};
window.hold = (count) => {
  for (let i = 0; i < count; ++i) {
    const frame = document.createElement('iframe');
    frame.src = '${panel}/';
    document.body.appendChild(frame);
    new EventSource('${panel}/api/stream');
  }
};
</script></body></html>`;

before(async () => {
  server = await startServer();
  const panelOrigin = new URL(server.url).origin;
  other = await serveOtherSite(ATTACK(panelOrigin));
  otherUrl = `http://127.0.0.1:${other.address().port}/`;
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  other?.close();
  await server?.stop();
});

const panelText = async () => (await fetch(new URL('/api/panel', server.url))).text();

// What the panel's server did with each request `page` made of it, as the browser's network layer
// saw it (the page itself is shown none of it): "POST /api/set 403" once the server answered,
// "GET / net::ERR_BLOCKED_BY_RESPONSE" once the browser refused an answer. An answer is the sign
// that a request reached the server, before a check that it changed nothing there.
async function watchServer(page) {
  const port = new URL(server.url).port;
  const sent = new Map();  // request id -> "METHOD /path"
  const seen = {answers: [], failures: []};
  const pending = [];  // events of a request not yet seen sent (their order is not guaranteed)
  const note = (list, id, what) => {
    if (sent.has(id)) list.push(`${sent.get(id)} ${what}`); else pending.push([list, id, what]);
  };
  const session = await page.context().newCDPSession(page);
  session.on('Network.requestWillBeSent', (e) => {
    const url = new URL(e.request.url);
    if (url.port !== port) return;
    sent.set(e.requestId, `${e.request.method} ${url.pathname}`);
    for (const [list, id, what] of pending.splice(0)) note(list, id, what);
  });
  session.on('Network.responseReceivedExtraInfo', (e) => note(seen.answers, e.requestId, e.statusCode));
  session.on('Network.loadingFailed', (e) => note(seen.failures, e.requestId, e.errorText));
  await session.send('Network.enable');
  return seen;
}
const count = (list, prefix) => list.filter((entry) => entry.startsWith(prefix)).length;

test('a page of another origin changes nothing and reads nothing', async () => {
  await postJson(server.url, '/api/sim', {paused: true});
  const before = await until(async () => {
    const a = await panelText();
    await new Promise((r) => setTimeout(r, 80));
    return a === await panelText() && JSON.parse(a).paused ? a : null;
  }, 5000, 'the paused panel');

  const page = await browser.newPage();
  // What the server answered, as the browser saw it (an answer the browser withholds from the
  // page, by the server's Cross-Origin-Resource-Policy, still counts as sent).
  const answered = [];
  page.on('response', (r) => {
    if (r.url().startsWith(server.url)) answered.push(`${r.request().method()} ${new URL(r.url()).pathname} ${r.status()}`);
  });
  const failed = [];
  page.on('requestfailed', (r) => {
    if (r.url().startsWith(server.url)) failed.push(`${r.method()} ${new URL(r.url()).pathname} ${r.failure().errorText}`);
  });
  const network = await watchServer(page);
  await page.goto(otherUrl);
  await page.evaluate(() => window.attack());
  const results = await page.evaluate(() => window.results);
  // Every attempt reached the server: the simple POST and the form's, the preflight of the POST
  // with the panel header (refused, so its POST is never sent), and both reads.
  await until(() => count(network.answers, 'POST /api/set ') === 2 &&
                    count(network.answers, 'OPTIONS /api/sim ') === 1 &&
                    count(network.answers, 'GET /api/panel ') === 2, 5000,
              'every attempt answered by the server');
  assert.equal(count(network.answers, 'POST /api/sim '), 0, network.answers.join('\n'));

  assert.match(results['simple POST'], /^failed/);  // sent; its answer withheld from the page
  assert.match(results['POST with the panel header'], /^failed/);  // its preflight is not granted
  assert.match(results['read the panel'], /^failed/);
  assert.match(results['read the panel as no-cors'], /^failed/);
  // The simple POST was answered (the answer withheld from the page); the form's refusal even
  // reached its frame's navigation; the reads found no CORS header to let them through.
  await until(() => answered.includes('POST /api/set 403'), 3000, 'the form POST refused');
  assert.ok(failed.includes('POST /api/set net::ERR_BLOCKED_BY_RESPONSE.NotSameOrigin'), failed.join('\n'));
  assert.ok(failed.includes('GET /api/panel net::ERR_FAILED'), failed.join('\n'));
  assert.equal(answered.filter((a) => a.startsWith('POST') && !a.endsWith(' 403')).length, 0, answered.join('\n'));
  assert.equal(await panelText(), before);
  await page.close();
});

test('frames and streams from another origin leave the pilot\'s page its stream', async () => {
  const attacker = await browser.newPage();
  await attacker.goto(otherUrl);
  const network = await watchServer(attacker);
  await attacker.evaluate(() => window.hold(12));
  // Each frame's page and each stream reached the server; the browser refused every page the
  // server sent for a frame, by the panel's own headers, and the server refused every stream.
  await until(() => count(network.failures, 'GET / net::ERR_BLOCKED_BY_RESPONSE') === 12 &&
                    count(network.answers, 'GET /api/stream ') === 12, 10000,
              'every frame and stream answered');
  assert.deepEqual(network.answers.filter((a) => a.startsWith('GET /api/stream ')),
                   Array(12).fill('GET /api/stream 403'));
  // No frame shows the panel (and so none opens a stream of its own).
  const frames = attacker.frames().slice(1);
  assert.equal(frames.length, 13);  // the form's frame and twelve of the panel
  for (const frame of frames) {
    assert.notEqual(await frame.evaluate(() => document.body && document.body.dataset.ready), 'true');
  }
  const pilot = await browser.newPage();
  await pilot.goto(server.url);
  await pilot.waitForSelector('body[data-ready=true]');
  await until(async () => (await pilot.locator('#connection').textContent()) === 'live', 5000, 'the pilot live');
  await pilot.close();
  await attacker.close();
});

test('no-cors fetches of the stream from another origin leave the pilot\'s page its stream', async () => {
  const panel = new URL(server.url);
  // Two names of the panel's address, six fetches each (the browser's limit for one host).
  const origins = [`http://127.0.0.1:${panel.port}`, `http://localhost:${panel.port}`];
  const context = await browser.newContext();
  const attacker = await context.newPage();
  const network = await watchServer(attacker);
  const answered = () => network.answers.filter((a) => a.startsWith('GET /api/stream '));
  await attacker.goto(otherUrl);
  await attacker.evaluate((o) => window.flood(o, 6), origins);
  const pilot = await browser.newPage();
  try {
    // The flood reaches the server, and keeps coming, while the pilot's page opens.
    await until(() => answered().length >= 12, 10000, 'the flood answered');
    await pilot.goto(server.url);
    await pilot.waitForSelector('body[data-ready=true]');
    await until(async () => (await pilot.locator('#connection').textContent()) === 'live', 10000,
                'the pilot live among the flood');
    const seen = answered().length;
    await until(() => answered().length >= seen + 12, 10000, 'the flood still coming');
    assert.equal(await pilot.locator('#connection').textContent(), 'live');
    assert.deepEqual([...new Set(answered())], ['GET /api/stream 403'], 'every fetch of the flood refused');
  } finally {
    await attacker.evaluate(() => { window.flooding = false; });
    await context.close();
    await pilot.close();
  }
});

test('the pilot\'s page waits for a stream while all are taken, and takes one when it frees', async () => {
  const port = Number(new URL(server.url).port);
  const held = [];
  // All eight streams, once the earlier pages' have been let go.
  await until(async () => {
    const socket = net.connect(port, '127.0.0.1');
    socket.write(`GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nX-INS-Panel: 1\r\n\r\n`);
    const reply = await new Promise((r) => socket.once('data', (d) => r(d.toString('latin1'))));
    if (reply.startsWith('HTTP/1.1 200')) held.push(socket); else socket.destroy();
    return held.length === 8;
  }, 10000, 'eight streams held');
  const pilot = await browser.newPage();
  try {
    await pilot.goto(server.url);
    await pilot.waitForSelector('body[data-ready=true]');
    // The page says why it is not live, and that it keeps trying.
    await until(async () => (await pilot.locator('#connection').getAttribute('data-state')) === 'full',
                5000, 'the page told the host is full');
    assert.match(await pilot.locator('#stream-refused').textContent(),
                 /open in 8 browsers or programs already.*tries again by itself/);
    assert.equal(await pilot.locator('#stream-refused').isVisible(), true);
    held.forEach((s) => s.destroy());
    await until(async () => (await pilot.locator('#connection').textContent()) === 'live', 20000,
                'the pilot live once streams are free');
    assert.equal(await pilot.locator('#stream-refused').isVisible(), false);
  } finally {
    held.forEach((s) => s.destroy());
    await pilot.close();
  }
});

test('a plan in an old planner\'s code page shows in the page as text', async () => {
  const pilot = await browser.newPage();
  await pilot.goto(server.url);
  await pilot.waitForSelector('body[data-ready=true]');
  const plan = Buffer.from(
    '[flightplan]\r\ntitle=Zürich à Genève\r\ncruising_altitude=24000\r\n' +
    'waypoint.0=ZÜRI, A, N47* 27.87\', E8* 32.95\', +001416.00\r\n' +
    'waypoint.1=GENÈV, A, N46* 14.28\', E6* 6.53\', +001411.00\r\n', 'latin1');
  await pilot.setInputFiles('#plan-file', {name: 'Zürich.PLN', mimeType: 'application/octet-stream', buffer: plan});
  await until(async () => /ZÜRI to GENÈV/.test(await pilot.locator('#plan-message').textContent()), 5000,
              'the plan loaded');
  assert.match(await pilot.locator('#plan-message').textContent(), /^Zürich\.PLN: 2 waypoints, ZÜRI to GENÈV\./);
  assert.equal((await getJson(server.url, '/api/plan')).body.plan.title, 'Zürich à Genève');
  await pilot.close();
});
