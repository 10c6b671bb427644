// The web API of `ins-host serve`, against the real server and module: loopback by default,
// every bad request answered with a 4xx and a clear message and leaving the panel as it was,
// and the good requests doing what they say.
//   node --test tests/web/api_test.mjs        (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import {readFileSync, existsSync} from 'node:fs';
import http from 'node:http';
import {spawnSync} from 'node:child_process';
import {startServer, getJson, postJson, until, hostProgram} from './harness.mjs';

let server;
before(async () => { server = await startServer(); });
after(async () => { await server.stop(); });

// A GET with the path sent exactly as written (fetch would tidy "/../" away).
function rawGet(base, path) {
  const url = new URL(base);
  return new Promise((resolve, reject) => {
    const req = http.request({host: url.hostname, port: url.port, path, method: 'GET'}, (res) => {
      let body = '';
      res.on('data', (d) => { body += d; });
      res.on('end', () => resolve({status: res.statusCode, body}));
    });
    req.on('error', reject);
    req.end();
  });
}

test('the server listens on the loopback address only, unless told otherwise', () => {
  const url = new URL(server.url);
  assert.equal(url.hostname, '127.0.0.1');
  // /proc/net/tcp: local address as hex IP:PORT, state 0A = LISTEN.
  const port = Number(url.port).toString(16).toUpperCase().padStart(4, '0');
  const listening = readFileSync('/proc/net/tcp', 'utf8').split('\n').slice(1)
    .map((line) => line.trim().split(/\s+/))
    .filter((f) => f.length > 3 && f[3] === '0A' && f[1].endsWith(`:${port}`))
    .map((f) => f[1]);
  assert.deepEqual(listening, [`0100007F:${port}`]);
  assert.doesNotMatch(server.output().stderr, /warning/);
});

test('the panel, its layout and its files come from the one server', async () => {
  const layout = await getJson(server.url, '/api/layout');
  assert.equal(layout.status, 200);
  const ins = layout.body.gauges.find((g) => g.name === 'INS');
  assert.equal(ins.width, 400);
  assert.equal(ins.height, 308);
  assert.equal(ins.mouse.length, 26);
  assert.deepEqual(ins.mouse.find((b) => b.control === '9'),
                   {x: 323, y: 219, width: 39, height: 39, cursor: 1, repeats: false, control: '9'});
  assert.equal(layout.body.gauges.find((g) => g.name === 'ALIGN').mouse.length, 2);
  // The panel once the module has drawn its first frame (the state published before it holds
  // the elements' values from before the module set them).
  const panel = await until(async () => {
    const p = await getJson(server.url, '/api/panel');
    return p.body.frame >= 1 ? p : null;
  }, 5000, 'the first frame');
  assert.deepEqual(Object.keys(panel.body.windows).sort(),
                   ['E', 'N', 'S', 'W', 'from', 'left', 'right', 'to']);
  assert.equal(panel.body.visible.INS.hold_lit, false);
  assert.equal(panel.body.images.INS.knob, 3);  // POS at load
  assert.equal(panel.body.images.ALIGN.knob, 0);  // OFF at load
  assert.deepEqual(panel.body.knobs, {INS: {knob: 'POS'}, ALIGN: {knob: 'OFF'}});
  for (const path of ['/', '/app.js', '/map.js', '/style.css', '/fonts/DSEG14Classic-Regular.ttf',
                      '/vendor/d3-geo.min.js', '/maps/land-50m.json', '/assets/sound/tavren/ins_tog.wav',
                      '/state-stream.js', '/state-worker.js']) {
    assert.equal((await fetch(new URL(path, server.url))).status, 200, path);
  }
});

// Each bad request: status, a message naming what is wrong, and the panel exactly as before.
const BAD_REQUESTS = [
  ['/api/mouse', '{"gauge": "INS", "x": 10', 400, /not valid JSON/],
  ['/api/mouse', '[1, 2]', 400, /JSON object/],
  ['/api/mouse', {gauge: 'PFD', x: 1, y: 1, action: 'down'}, 400, /no gauge "PFD"/],
  ['/api/mouse', {gauge: 'INS', x: 400, y: 10, action: 'down'}, 400, /"x" 400 is outside the INS gauge \(0..399\)/],
  ['/api/mouse', {gauge: 'INS', x: 10, y: -1, action: 'down'}, 400, /"y" -1 is outside/],
  ['/api/mouse', {gauge: 'INS', x: 10.5, y: 1, action: 'down'}, 400, /whole number/],
  ['/api/mouse', {gauge: 'INS', x: 10, y: 1, action: 'click'}, 400, /"down", "up" or "hold"/],
  ['/api/mouse', {gauge: 'INS', x: 10, y: 1, action: 'down', client: 'tab 1'}, 400, /"client" must be 1 to 64 letters/],
  ['/api/mouse', {gauge: 'INS', x: 10, y: 1, action: 'down', stream: 's'.repeat(65)}, 400, /"stream" must be 1 to 64/],
  ['/api/mouse', {gauge: 'INS', x: 10, y: 1, action: 'down', button: 2}, 400, /unknown field "button"/],
  ['/api/set', {name: 'flaps', value: 1}, 400, /unknown condition "flaps"/],
  ['/api/set', {name: 'battery', value: 2}, 400, /out of range 0.0..1.0 \(battery, 0 or 1\)/],
  ['/api/set', {name: 'battery', value: 0.5}, 400, /battery must be 0 or 1/],
  ['/api/set', {name: 'lat', value: 91}, 400, /out of range -90.0..90.0 \(lat, degrees\)/],
  ['/api/set', {name: 'tick', value: 2.5}, 400, /tick must be a whole number/],
  ['/api/set', {name: 'lat', value: '52'}, 400, /"value" must be a number/],
  ['/api/set', {name: 'heading'}, 400, /missing field "value"/],
  ['/api/set', {name: 'tas', value: 1e308, extra: true}, 400, /unknown field "extra"/],
  ['/api/sim', {rate: 65}, 400, /"rate" must be a whole number 1..64/],
  ['/api/sim', {rate: 0}, 400, /"rate"/],
  ['/api/sim', {paused: 'yes'}, 400, /"paused" must be true or false/],
  ['/api/sim', {}, 400, /nothing to change/],
  ['/api/takeoff', {alt_ft: 90000}, 400, /"alt_ft" 90000.0 is out of range/],
  ['/api/prepare', {}, 409, /the host's own aircraft needs none/],
  ['/api/set', `{"name": "lat", "value": 1, "pad": "${'x'.repeat(20000)}"}`, 413, /larger than 16384/],
];

// The panel as published once two frames after `reply`'s have run: the positive sign that a
// mouse request's command reached the simulation (its reply names the frame it was taken at),
// before a check that it changed nothing.
async function panelAfter(reply) {
  assert.equal(reply.status, 200, JSON.stringify(reply.body));
  return until(async () => {
    const p = (await getJson(server.url, '/api/panel')).body;
    return p.frame > reply.body.frame + 1 ? p : null;
  }, 5000, `a frame after frame ${reply.body.frame}`);
}

async function pausedPanel() {
  await postJson(server.url, '/api/sim', {paused: true});
  // The state published after the pause: wait for it to stand still.
  return until(async () => {
    const a = await getJson(server.url, '/api/panel');
    await new Promise((r) => setTimeout(r, 80));
    const b = await getJson(server.url, '/api/panel');
    return a.body.paused && JSON.stringify(a.body) === JSON.stringify(b.body) ? b.body : null;
  }, 5000, 'the paused panel');
}

test('bad requests get a 4xx with a clear message and change nothing', async () => {
  const before = await pausedPanel();
  for (const [path, body, status, message] of BAD_REQUESTS) {
    const raw = typeof body === 'string';
    const reply = await postJson(server.url, path, body, {raw});
    assert.equal(reply.status, status, `${path} ${raw ? body.slice(0, 60) : JSON.stringify(body)}`);
    assert.match(reply.body.error, message);
    assert.deepEqual((await getJson(server.url, '/api/panel')).body, before, `after ${path}`);
  }
});

test('paths outside the static folder and unknown paths are refused', async () => {
  for (const path of ['/../../../etc/passwd', '/%2e%2e/%2e%2e/etc/passwd', '/bitmaps/../../../etc/passwd',
                      '/assets/..%2f..%2f..%2fetc/passwd', '/api/nothing']) {
    const reply = await rawGet(server.url, path);
    assert.ok(reply.status >= 400 && reply.status < 500, `${path}: ${reply.status}`);
    assert.doesNotMatch(reply.body, /root:/);
  }
});

test('a plan the host cannot fly is refused with file and line, and nothing changes', async () => {
  const before = await pausedPanel();
  const cases = [
    ['bad.PLN', '[flightplan]\ntitle=nothing here\n', 422, /plan refused, nothing changed: bad.PLN/],
    ['../escape.PLN', '[flightplan]\n', 400, /may not hold folders/],
    ['big.PLN', 'x'.repeat(600 * 1024), 413, /./],
  ];
  for (const [name, text, status, message] of cases) {
    const reply = await postJson(server.url, `/api/plan?name=${encodeURIComponent(name)}`, text,
                                 {raw: true, contentType: 'application/octet-stream'});
    assert.equal(reply.status, status, name);
    if (reply.body) assert.match(reply.body.error, message);
    assert.deepEqual((await getJson(server.url, '/api/panel')).body, before, `after ${name}`);
    assert.equal(existsSync(`${server.workdir}/PLAN.PLN`), false);
  }
  const missing = await postJson(server.url, '/api/plan?example=NOPE.PLN', '', {raw: true});
  assert.equal(missing.status, 404);
  assert.match(missing.body.error, /no example plan named "NOPE.PLN"/);
});

test('a good plan becomes PLAN.PLN byte for byte and stands the aircraft at its departure', async () => {
  const examples = (await getJson(server.url, '/api/examples')).body.examples;
  assert.ok(examples.includes('EINN-BIKF-oceanic.PLN'));
  const reply = await postJson(server.url, '/api/plan?example=EINN-BIKF-oceanic.PLN', '', {raw: true});
  assert.equal(reply.status, 200);
  assert.equal(reply.body.waypoints[0].ident, 'EINN');
  const source = readFileSync(new URL('../../examples/EINN-BIKF-oceanic.PLN', import.meta.url));
  assert.deepEqual(readFileSync(`${server.workdir}/PLAN.PLN`), source);
  const a = (await getJson(server.url, '/api/panel')).body.aircraft;
  assert.ok(Math.abs(a.lat_deg - reply.body.waypoints[0].lat_deg) < 1e-9);
  assert.ok(Math.abs(a.lon_east_deg - reply.body.waypoints[0].lon_east_deg) < 1e-9);
  assert.equal(a.motion, false);
});

test('a click is hit-tested against the mouse list: the mode knob turns, with its sound', async () => {
  await postJson(server.url, '/api/sim', {paused: false});
  const before = (await getJson(server.url, '/api/panel')).body;
  const lastSeq = before.sounds.length ? before.sounds[before.sounds.length - 1].seq : 0;
  for (const action of ['down', 'up']) {
    const r = await postJson(server.url, '/api/mouse', {gauge: 'ALIGN', x: 128, y: 51, action});
    assert.equal(r.status, 200);
  }
  const after = await until(async () => {
    const p = (await getJson(server.url, '/api/panel')).body;
    return p.images.ALIGN.knob === 1 ? p : null;
  }, 5000, 'the mode knob at STBY');
  assert.equal(after.knobs.ALIGN.knob, 'STBY');
  assert.deepEqual(after.sounds.filter((s) => s.seq > lastSeq).map((s) => [s.path, s.url]),
                   [['sound\\tavren\\ins_tog.wav', '/assets/sound/tavren/ins_tog.wav']]);
  // A point on no box does nothing.
  await postJson(server.url, '/api/mouse', {gauge: 'ALIGN', x: 5, y: 5, action: 'down'});
  const up = await postJson(server.url, '/api/mouse', {gauge: 'ALIGN', x: 5, y: 5, action: 'up'});
  assert.equal((await panelAfter(up)).images.ALIGN.knob, 1);
});

test('a held thumbwheel box repeats until the button comes up; a key acts once', async () => {
  await postJson(server.url, '/api/sim', {paused: false, rate: 1});
  const panel = async () => (await getJson(server.url, '/api/panel')).body;
  const start = (await panel()).images.INS.units;
  // Steps the wheel has turned since the start, across its wrap from 9 to 0.
  const steps = async () => ((await panel()).images.INS.units - start + 10) % 10;
  // UNITS_UP is the box at 82, 115, 50 x 20.
  await postJson(server.url, '/api/mouse', {gauge: 'INS', x: 100, y: 125, action: 'down'});
  await until(async () => (await steps()) >= 3, 5000, 'three steps while held');
  const release = await postJson(server.url, '/api/mouse', {gauge: 'INS', x: 0, y: 0, action: 'up'});
  // A repeat that fell due just before the release is delivered with it; the wheel's image
  // shows it once a frame has drawn it. The panel then says nothing is held.
  const atRelease = await panelAfter(release);
  assert.equal(atRelease.held, null);
  await new Promise((r) => setTimeout(r, 500));  // five repeat periods
  const later = await panel();
  assert.ok(later.frame > atRelease.frame, 'the simulation ran on through the wait');
  assert.equal(later.images.INS.units, atRelease.images.INS.units);
  // A box that does not repeat (the data selector's clockwise one): held for half a second, it
  // acts once.
  await postJson(server.url, '/api/set', {name: 'battery', value: 1});
  const selector = (await panel()).images.INS.knob;
  await postJson(server.url, '/api/mouse', {gauge: 'INS', x: 100, y: 200, action: 'down'});  // SEL_CW
  await new Promise((r) => setTimeout(r, 500));
  const up = await postJson(server.url, '/api/mouse', {gauge: 'INS', x: 0, y: 0, action: 'up'});
  await until(async () => (await panel()).images.INS.knob === selector + 1, 3000,
              'one step of the data selector');
  assert.equal((await panelAfter(up)).images.INS.knob, selector + 1);
});

// UNITS_UP's box, and what the panel says is held.
const UNITS_UP = {gauge: 'INS', x: 100, y: 125};
const held = async () => (await getJson(server.url, '/api/panel')).body.held;
const pause = (ms) => new Promise((r) => setTimeout(r, ms));

// Keeps saying "still holding" for `client` every quarter second, as the page does, until stopped.
function keepHolding(client) {
  let on = true;
  const done = (async () => {
    while (on) {
      await postJson(server.url, '/api/mouse', {...UNITS_UP, action: 'hold', client});
      await pause(250);
    }
  })();
  return async () => { on = false; await done; };
}

test('a held press belongs to its client, and ends with it', async (t) => {
  await postJson(server.url, '/api/sim', {paused: false, rate: 1});
  await t.test('a client that falls silent loses its press', async () => {
    await postJson(server.url, '/api/mouse', {...UNITS_UP, action: 'down', client: 'quiet'});
    assert.deepEqual(await held(), {gauge: 'INS', client: 'quiet'});
    await until(async () => (await held()) === null, 4000, 'the silent press released');
  });
  await t.test('one that keeps saying so holds on; only its own "up" releases it', async () => {
    await postJson(server.url, '/api/mouse', {...UNITS_UP, action: 'down', client: 'steady'});
    const stop = keepHolding('steady');
    try {
      await pause(2500);  // longer than a silence that releases
      assert.deepEqual(await held(), {gauge: 'INS', client: 'steady'});
      const other = await postJson(server.url, '/api/mouse', {gauge: 'INS', x: 0, y: 0, action: 'up', client: 'other'});
      assert.deepEqual((await panelAfter(other)).held, {gauge: 'INS', client: 'steady'});
      await postJson(server.url, '/api/mouse', {gauge: 'INS', x: 0, y: 0, action: 'up', client: 'steady'});
      assert.equal(await held(), null);
    } finally {
      await stop();
    }
  });
  await t.test('the press ends with the event stream it named', async () => {
    const request = http.get(new URL('/api/stream?id=browser-1', server.url), {headers: {'X-INS-Panel': '1'}});
    await new Promise((resolve, reject) => { request.on('response', resolve); request.on('error', reject); });
    await postJson(server.url, '/api/mouse', {...UNITS_UP, action: 'down', client: 'tab', stream: 'browser-1'});
    const stop = keepHolding('tab');
    try {
      await pause(300);
      assert.deepEqual(await held(), {gauge: 'INS', client: 'tab'});
      request.destroy();
      await until(async () => (await held()) === null, 4000, 'the press released with its stream');
    } finally {
      await stop();
    }
    const badReply = await fetch(new URL('/api/stream?id=no%20spaces', server.url), {headers: {'X-INS-Panel': '1'}});
    const badId = {status: badReply.status, body: await badReply.json()};
    assert.deepEqual([badId.status, badId.body.error], [400, '"id" must be 1 to 64 letters, digits, \'-\' or \'_\'']);
  });
});

test('a second server on a busy port refuses, naming the port', async () => {
  const port = new URL(server.url).port;
  const second = spawnSync(hostProgram(), ['serve', '--port', port],
                           {encoding: 'utf8', timeout: 15000, env: {...process.env, SDL_AUDIODRIVER: 'dummy'}});
  assert.equal(second.status, 2, second.stderr);
  assert.match(second.stderr, new RegExp(`cannot listen on 127.0.0.1 port ${port}: the port is in use`));
  assert.equal((await getJson(server.url, '/api/panel')).status, 200);  // the first still serves
});

test('an icon sends its panel-window event: the host toggles that window', async () => {
  const open = async () => (await getJson(server.url, '/api/panel')).body.panel_windows;
  assert.equal((await open())[2], false);
  await postJson(server.url, '/api/mouse', {gauge: 'INSicon1024_03', x: 9, y: 9, action: 'down'});
  await postJson(server.url, '/api/mouse', {gauge: 'INSicon1024_03', x: 9, y: 9, action: 'up'});
  await until(async () => (await open())[2], 3000, 'panel window 3 open');
  assert.deepEqual((await open()).map(Number), [0, 0, 1, 0, 0, 0, 0, 0]);
  const icon = (await getJson(server.url, '/api/layout')).body.gauges.find((g) => g.name === 'INSicon1024_03');
  assert.deepEqual([icon.width, icon.height, icon.mouse[0].control], [19, 19, 'ICON']);
});

test('another address is served only on request, with a warning', async () => {
  const open = await startServer(['--address', '0.0.0.0']);
  try {
    await until(() => /warning: serving on 0.0.0.0/.test(open.output().stderr), 5000, 'the warning');
  } finally {
    await open.stop();
  }
});
