// The web server against hostile requests, as any page in the pilot's browser (or any program on
// the machine) could send them: each is refused or answered without changing anything, the panel
// stays byte for byte as it was, nothing is written, and the server answers the next request.
//   node --test tests/web/guard_test.mjs        (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import net from 'node:net';
import {execFileSync} from 'node:child_process';
import {existsSync, lstatSync, mkdirSync, readFileSync, readdirSync, rmSync, statSync, symlinkSync,
        writeFileSync} from 'node:fs';
import {join} from 'node:path';
import {startServer, getJson, postJson, until} from './harness.mjs';

let server, port;
before(async () => {
  server = await startServer();
  port = Number(new URL(server.url).port);
  await postJson(server.url, '/api/sim', {paused: true});
});
after(async () => { await server.stop(); });

// One request written exactly as given (a Host of our choosing, bytes fetch would not send), read
// to the end of the connection: {status, headers (lower-case names), body}.
function rawRequest(text, {timeoutMs = 10000} = {}) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    const chunks = [];
    const timer = setTimeout(() => { socket.destroy(); reject(new Error(`no answer to ${text.slice(0, 60)}`)); },
                             timeoutMs);
    socket.on('data', (d) => chunks.push(d));
    socket.on('error', () => {});
    socket.on('close', () => {
      clearTimeout(timer);
      const reply = Buffer.concat(chunks).toString('latin1');
      const [head, ...rest] = reply.split('\r\n\r\n');
      const lines = head.split('\r\n');
      const headers = {};
      for (const line of lines.slice(1)) {
        const colon = line.indexOf(':');
        headers[line.slice(0, colon).toLowerCase()] = line.slice(colon + 1).trim();
      }
      resolve({status: Number(lines[0].split(' ')[1]), headers, body: rest.join('\r\n\r\n')});
    });
    socket.write(typeof text === 'string' ? Buffer.from(text, 'latin1') : text);
  });
}

function request(method, path, {host = `127.0.0.1:${port}`, headers = {}, body = ''} = {}) {
  const lines = [`${method} ${path} HTTP/1.1`];
  if (host !== null) lines.push(`Host: ${host}`);
  for (const [name, value] of Object.entries(headers)) lines.push(`${name}: ${value}`);
  if (body.length > 0 || method === 'POST') lines.push(`Content-Length: ${Buffer.byteLength(body, 'latin1')}`);
  lines.push('Connection: close');
  return rawRequest(`${lines.join('\r\n')}\r\n\r\n${body}`);
}

const panelText = async () => (await fetch(new URL('/api/panel', server.url))).text();

// Every file of the working folder with its size and time: what "nothing written" compares.
function folderListing() {
  return readdirSync(server.workdir).sort().map((name) => {
    const s = lstatSync(join(server.workdir, name));
    return `${name} ${s.size} ${s.mtimeMs}`;
  });
}

async function assertUnchanged(before, what) {
  assert.equal(await panelText(), before.panel, `the panel after ${what}`);
  assert.deepEqual(folderListing(), before.folder, `the working folder after ${what}`);
  assert.equal((await getJson(server.url, '/api/layout')).status, 200, `the server after ${what}`);
}

async function snapshot() {
  // The paused panel stands still once the pause has been published.
  const panel = await until(async () => {
    const a = await panelText();
    await new Promise((r) => setTimeout(r, 80));
    return a === await panelText() && JSON.parse(a).paused ? a : null;
  }, 5000, 'the paused panel');
  return {panel, folder: folderListing()};
}

const PLAN = readFileSync(new URL('../../examples/EINN-BIKF-oceanic.PLN', import.meta.url));
const SET_BATTERY = '{"name": "battery", "value": 1}';
const EVIL = 'http://evil.example';

// [what, method, path, options, status, message]; made once the server's port is known.
const REFUSED = () => [
  ['a path that is not UTF-8', 'GET', '/%FF', {}, 404, /no such path/],
  ['an API path that is not UTF-8', 'GET', '/api/%FF%FE', {}, 404, /no such path/],
  ['another Host (a rebound name)', 'GET', '/api/panel', {host: `evil.example:${port}`}, 421, /only to its own address/],
  ['our address on another port', 'GET', '/api/panel', {host: '127.0.0.1:1'}, 421, /only to its own address/],
  ['no Host at all', 'GET', '/api/panel', {host: null}, 421, /only to its own address/],
  ['our address with a NUL and more after it', 'GET', '/api/panel', {host: `127.0.0.1:${port}\0.evil.example`},
   421, /only to its own address/],
  ['our address with a control byte after it', 'GET', '/api/panel', {host: `127.0.0.1:${port}\x01`},
   421, /only to its own address/],
  ['a rebound name driving the panel', 'POST', '/api/set',
   {host: `evil.example:${port}`, headers: {'X-INS-Panel': '1', 'Content-Type': 'application/json'}, body: SET_BATTERY},
   421, /only to its own address/],
  ['a cross-site simple POST (text/plain)', 'POST', '/api/set',
   {headers: {'Content-Type': 'text/plain', Origin: EVIL}, body: SET_BATTERY}, 403, /another site/],
  ['a cross-site form POST', 'POST', '/api/set',
   {headers: {'Content-Type': 'application/x-www-form-urlencoded', Origin: EVIL}, body: `${SET_BATTERY}=`}, 403, /another site/],
  ['another site even with the header', 'POST', '/api/set',
   {headers: {'X-INS-Panel': '1', 'Content-Type': 'application/json', Origin: EVIL}, body: SET_BATTERY}, 403, /another site/],
  ['a sandboxed page (Origin null)', 'POST', '/api/set',
   {headers: {'X-INS-Panel': '1', Origin: 'null'}, body: SET_BATTERY}, 403, /another site/],
  ['our own origin with a NUL and another site after it', 'POST', '/api/set',
   {headers: {'X-INS-Panel': '1', Origin: `http://127.0.0.1:${port}\0.evil.example`}, body: SET_BATTERY},
   403, /another site/],
  ['our own port on another scheme', 'POST', '/api/set',
   {headers: {'X-INS-Panel': '1', Origin: `https://127.0.0.1:${port}`}, body: SET_BATTERY}, 403, /another site/],
  ['a POST without the panel\'s header', 'POST', '/api/set',
   {headers: {'Content-Type': 'application/json'}, body: SET_BATTERY}, 403, /must carry the header X-INS-Panel/],
  ['a DELETE without it', 'DELETE', '/api/plan', {}, 403, /must carry the header X-INS-Panel/],
  ['a plan named in bytes that are not UTF-8', 'POST', '/api/plan?name=%FF.PLN',
   {headers: {'X-INS-Panel': '1'}, body: PLAN.toString('latin1')}, 400, /file name \("name"\) is not UTF-8/],
  ['an example named in bytes that are not UTF-8', 'POST', '/api/plan?example=%C0%AF.PLN',
   {headers: {'X-INS-Panel': '1'}}, 400, /"example" is not UTF-8/],
  ['a stream for another site', 'GET', '/api/stream', {headers: {Origin: EVIL}}, 403, /panel's own page/],
  ['a stream asked for as a no-cors fetch sends it (no Origin, no header)', 'GET', '/api/stream', {}, 403,
   /panel's own page/],
  ['a stream with a token the server never gave', 'GET', '/api/stream?token=0123456789abcdef0123456789abcdef', {},
   403, /panel's own page/],
  ['more headers than any browser sends', 'GET', '/api/panel',
   {headers: Object.fromEntries(Array.from({length: 101}, (_, i) => [`X-H${i}`, 'x']))}, 431, /more than 100 headers/],
  ['a head larger than 64 KiB', 'GET', '/api/panel',
   {headers: Object.fromEntries(Array.from({length: 9}, (_, i) => [`X-Big${i}`, 'x'.repeat(8000)]))}, 400, /could not be read/],
  ['two hundred ranges of the whole file', 'GET', '/app.js',
   {headers: {Range: `bytes=${Array(200).fill('0-').join(',')}`}}, 416, /one range at a time/],
];

test('hostile requests are refused with a short message, and change and write nothing', async () => {
  const before = await snapshot();
  for (const [what, method, path, options, status, message] of REFUSED()) {
    const reply = await request(method, path, options);
    assert.equal(reply.status, status, what);
    assert.match(JSON.parse(reply.body).error, message, what);
    assert.ok(reply.body.length < 300, `${what}: a short reply, not ${reply.body.length} bytes`);
    assert.doesNotMatch(reply.body, /"windows"/, what);
    await assertUnchanged(before, what);
  }
});

test('no reply grants another origin anything: no CORS header, framing and embedding refused', async () => {
  const preflight = await request('OPTIONS', '/api/set', {headers: {
    Origin: EVIL, 'Access-Control-Request-Method': 'POST', 'Access-Control-Request-Headers': 'x-ins-panel'}});
  for (const [path, reply] of [['OPTIONS /api/set', preflight], ['GET /', await request('GET', '/')],
                               ['GET /api/panel', await request('GET', '/api/panel', {headers: {Origin: EVIL}})]]) {
    assert.deepEqual(Object.keys(reply.headers).filter((h) => h.startsWith('access-control-')), [], path);
    assert.equal(reply.headers['x-frame-options'], 'DENY', path);
    assert.equal(reply.headers['cross-origin-resource-policy'], 'same-origin', path);
  }
});

test('every loopback name of the server, and the page\'s own origin, are answered', async () => {
  const before = await snapshot();
  for (const host of [`127.0.0.1:${port}`, `localhost:${port}`, `LOCALHOST:${port}`, `[::1]:${port}`]) {
    assert.equal((await request('GET', '/api/panel', {host})).status, 200, host);
    const pause = await request('POST', '/api/sim', {host, body: '{"paused": true}',
      headers: {'X-INS-Panel': '1', 'Content-Type': 'application/json', Origin: `http://${host}`}});
    assert.equal(pause.status, 200, `POST from the page at ${host}`);
  }
  await assertUnchanged(before, 'pausing a paused panel');
});

test('one range is served as asked, and an API reply is sent whole whatever the Range', async () => {
  const page = readFileSync(new URL('../../host/web/static/app.js', import.meta.url), 'latin1');
  const part = await request('GET', '/app.js', {headers: {Range: 'bytes=10-19'}});
  assert.equal(part.status, 206);
  assert.equal(part.body, page.slice(10, 20));
  const panel = await request('GET', '/api/panel', {headers: {Range: 'bytes=0-9,20-29'}});
  assert.equal(panel.status, 200);
  assert.ok(JSON.parse(panel.body).windows);
});

// Plans as older planners write them: titles and idents in an 8-bit code page, the positions'
// degree signs too. The host reads them as such; PLAN.PLN keeps the bytes the INS imports.
const LATIN1_PLAN = (declaration, title, first, second) => Buffer.from(
  `<?xml version="1.0"${declaration}?>\r\n<SimBase.Document Type="AceXML" version="1,0">\r\n` +
  `<FlightPlan.FlightPlan>\r\n<Title>${title}</Title>\r\n<CruisingAlt>24000</CruisingAlt>\r\n` +
  `<ATCWaypoint id="${first}">\r\n<WorldPosition>N47° 27' 52.00",E8° 32' 57.00",+001416.00</WorldPosition>\r\n</ATCWaypoint>\r\n` +
  `<ATCWaypoint id="${second}">\r\n<WorldPosition>N46° 14' 17.00",E6° 6' 32.00",+001411.00</WorldPosition>\r\n</ATCWaypoint>\r\n` +
  '</FlightPlan.FlightPlan>\r\n</SimBase.Document>\r\n', 'latin1');

test('a plan in an 8-bit code page is read as such, and its titles and idents come back as text', async () => {
  const cases = [
    // Latin-1, as its declaration says.
    [LATIN1_PLAN(' encoding="ISO-8859-1"', 'Zürich à Genève', 'ZÜRI', 'GENÈV'), 'Zürich à Genève', 'ZÜRI', 'GENÈV'],
    // Declared UTF-8 but written by a Windows planner: its code page's quote mark (byte 0x92).
    [LATIN1_PLAN(' encoding="UTF-8"', 'Pilot\x92s plan', 'LSZH', 'GENÈV'),
     'Pilot’s plan', 'LSZH', 'GENÈV'],
  ];
  for (const [bytes, title, first, second] of cases) {
    const reply = await postJson(server.url, '/api/plan?name=old%20planner.PLN', bytes,
                                 {raw: true, contentType: 'application/octet-stream'});
    assert.equal(reply.status, 200, title);
    assert.equal(reply.body.title, title);
    assert.deepEqual(reply.body.waypoints.map((w) => w.ident), [first, second]);
    assert.deepEqual((await getJson(server.url, '/api/plan')).body.plan, reply.body);
    assert.deepEqual(readFileSync(join(server.workdir, 'PLAN.PLN')), bytes);
  }
});

test('the plan is written as the store writes: never through a planted link, and whole or not at all', async () => {
  const outside = join(server.workdir, '..', `ins-guard-victim-${process.pid}`);
  writeFileSync(outside, 'not to be overwritten\n');
  const plan = join(server.workdir, 'PLAN.PLN');
  try {
    for (const planted of ['PLAN.PLN.new', 'PLAN.PLN']) {
      rmSync(join(server.workdir, planted), {force: true});
      symlinkSync(outside, join(server.workdir, planted));
      const reply = await postJson(server.url, '/api/plan?example=EINN-BIKF-oceanic.PLN', '', {raw: true});
      assert.equal(reply.status, 200, planted);
      assert.equal(readFileSync(outside, 'utf8'), 'not to be overwritten\n', `a link planted as ${planted}`);
      assert.ok(lstatSync(plan).isFile() && !lstatSync(plan).isSymbolicLink());
      assert.deepEqual(readFileSync(plan), PLAN);
      assert.equal(existsSync(join(server.workdir, 'PLAN.PLN.new')), false);
    }
    // A write that cannot be made (a folder where the temporary goes) changes nothing at all.
    mkdirSync(join(server.workdir, 'PLAN.PLN.new'));
    const before = await snapshot();
    const reply = await postJson(server.url, '/api/plan?name=other.PLN',
                                 LATIN1_PLAN('', 'Other', 'LSZH', 'LSGG'), {raw: true, contentType: 'text/xml'});
    assert.equal(reply.status, 500);
    assert.match(reply.body.error, /plan not loaded, nothing changed: cannot write PLAN.PLN/);
    await assertUnchanged(before, 'a plan that could not be written');
    assert.deepEqual(readFileSync(plan), PLAN);
    assert.equal((await getJson(server.url, '/api/plan')).body.plan.name, 'EINN-BIKF-oceanic.PLN');
  } finally {
    rmSync(join(server.workdir, 'PLAN.PLN.new'), {recursive: true, force: true});
    rmSync(outside, {force: true});
  }
});

test('the waypoint file is read only when it is a plain file of a waypoint file\'s size', async () => {
  const file = join(server.workdir, 'WAYPOINTS.DAT');
  try {
    writeFileSync(file, '0 0.91982341 0.15576482\r\n1 0.96 0.26\r\n');
    const good = await getJson(server.url, '/api/waypoints');
    assert.equal(good.status, 200);
    assert.deepEqual(good.body.waypoints.map((w) => w.number), [0, 1]);
    rmSync(file);
    execFileSync('mkfifo', [file]);  // would hold a thread for ever, were it opened and read
    const fifo = await getJson(server.url, '/api/waypoints');
    assert.deepEqual([fifo.status, fifo.body.error], [409, 'WAYPOINTS.DAT in the working folder is not a plain file']);
    rmSync(file);
    execFileSync('truncate', ['-s', '1G', file]);  // sparse: a gigabyte of nothing, read whole
    const huge = await getJson(server.url, '/api/waypoints');
    assert.deepEqual([huge.status, huge.body.error], [409, 'WAYPOINTS.DAT in the working folder is larger than 64 KiB']);
    assert.equal((await getJson(server.url, '/api/layout')).status, 200);
  } finally {
    rmSync(file, {force: true});
  }
});

test('event streams: the panel\'s own only, eight at once, the ninth told to come back', async () => {
  // The page's own proof, either of them: its header (fetch), or the token its origin alone could
  // read (EventSource, which sends no header of its own).
  // The token is asked for as the page asks: with the header no page of another origin can send.
  assert.equal((await getJson(server.url, '/api/stream-token')).status, 403);
  const given = await fetch(new URL('/api/stream-token', server.url), {headers: {'X-INS-Panel': '1'}});
  const {token} = await given.json();
  assert.match(token, /^[0-9a-f]{32}$/);
  const PROOFS = [`/api/stream HTTP/1.1\r\nX-INS-Panel: 1`, `/api/stream?token=${token} HTTP/1.1`];
  const streams = [];
  let opened = 0;
  const open = () => new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('data', (d) => resolve({socket, status: Number(d.toString('latin1').split(' ')[1])}));
    socket.write(`GET ${PROOFS[opened++ % PROOFS.length]}\r\nHost: 127.0.0.1:${port}\r\n\r\n`);
  });
  try {
    for (let i = 0; i < 8; ++i) streams.push(await open());
    assert.deepEqual(streams.map((s) => s.status), Array(8).fill(200));
    const ninth = await open();
    ninth.socket.destroy();
    assert.equal(ninth.status, 503);
    streams.pop().socket.destroy();
    const again = await until(async () => {
      const s = await open();
      if (s.status === 200) return s;
      s.socket.destroy();
      return null;
    }, 5000, 'a stream once one closed');
    streams.push(again);
  } finally {
    for (const s of streams) s.socket.destroy();
  }
});

test('clients that send their requests a byte at a time cannot hold the server', async () => {
  // More slow clients than the server has threads (32), each sending one byte of a request head
  // every 2 s. Without a deadline for the head they would hold every thread for ever.
  const SLOW = 40;
  const slow = [];
  const timers = [];
  const started = Date.now();
  for (let i = 0; i < SLOW; ++i) {
    const socket = net.connect(port, '127.0.0.1');
    const client = {socket, closedAfterMs: null};
    socket.on('error', () => {});
    socket.on('close', () => { client.closedAfterMs = Date.now() - started; });
    socket.write('G');
    timers.push(setInterval(() => { if (!socket.destroyed) socket.write('E'); }, 2000));
    slow.push(client);
  }
  try {
    await new Promise((r) => setTimeout(r, 500));
    // The pilot's request waits at most for a slow client's head deadline (3 s) to pass.
    const asked = Date.now();
    assert.equal((await getJson(server.url, '/api/layout')).status, 200);
    assert.ok(Date.now() - asked < 8000, `the pilot's request waited ${Date.now() - asked} ms`);
    await until(() => slow.every((c) => c.closedAfterMs !== null), 12000, 'every slow client cut off');
  } finally {
    timers.forEach(clearInterval);
    slow.forEach((c) => c.socket.destroy());
  }
  assert.equal((await getJson(server.url, '/api/layout')).status, 200);
});

// Writes `head`, then the body `piece` after `piece` (backpressure kept) until the server answers
// or `limit` bytes are sent; resolves to {status, error, sent: body bytes written before the
// answer began, closed}.
function sendUntilAnswered(head, piece, limit, {chunked = false} = {}) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    let reply = '';
    let sent = 0;
    let sentAtAnswer = null;
    let answered = false;
    const timer = setTimeout(() => { socket.destroy(); reject(new Error('no answer')); }, 60000);
    socket.on('error', () => {});
    socket.on('data', (d) => {
      if (sentAtAnswer === null) sentAtAnswer = sent;
      reply += d.toString('latin1');
      answered = true;
    });
    socket.on('close', () => {
      clearTimeout(timer);
      const [headText, ...rest] = reply.split('\r\n\r\n');
      let error = null;
      try { error = JSON.parse(rest.join('\r\n\r\n')).error; } catch (e) { error = null; }
      resolve({status: Number(headText.split(' ')[1]) || 0, error, sent: sentAtAnswer ?? sent});
    });
    const frame = chunked ? Buffer.concat([Buffer.from(`${piece.length.toString(16)}\r\n`), piece, Buffer.from('\r\n')])
                          : piece;
    const pump = () => {
      while (!answered && !socket.destroyed && sent < limit) {
        sent += piece.length;
        if (!socket.write(frame)) return socket.once('drain', pump);
      }
      if (!answered && !socket.destroyed && chunked) socket.write('0\r\n\r\n');
    };
    socket.write(head, pump);
  });
}

test('a body larger than 512 KiB is refused as soon as it passes the limit, chunked or not', async () => {
  await postJson(server.url, '/api/plan?example=EINN-BIKF-oceanic.PLN', '', {raw: true});
  const before = await snapshot();
  const HUGE = 100 * 1024 * 1024;
  // A plan's text, so that nothing but its size is wrong.
  const piece = Buffer.from(`${PLAN.toString('latin1')}\r\n`.repeat(Math.ceil(65536 / PLAN.length)).slice(0, 65536),
                            'latin1');
  const head = (framing) => `POST /api/plan?name=huge.PLN HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nX-INS-Panel: 1\r\n` +
                            `Content-Type: application/octet-stream\r\n${framing}\r\n\r\n`;
  // [what, head, chunked]
  const CASES = [
    ['chunked', head('Transfer-Encoding: chunked'), true],
    ['chunked, named in capitals', head('Transfer-Encoding: CHUNKED'), true],
    ['with its length declared', head(`Content-Length: ${HUGE}`), false],
  ];
  for (const [what, text, chunked] of CASES) {
    const reply = await sendUntilAnswered(text, piece, HUGE, {chunked});
    assert.equal(reply.status, 413, what);
    assert.match(reply.error, /larger than 512 KiB/, what);
    // Refused on the way, not after the whole body. How much the client got out before the
    // answer reached it depends on the machine's pace (the server drains a refused body for a
    // moment before it closes, so that the client reads the refusal), so the check is only that
    // the answer came before the body's end.
    assert.ok(reply.sent < HUGE, `${what}: ${reply.sent} bytes sent before the answer`);
    await assertUnchanged(before, `a ${what} body of 100 MB`);
  }
});

test('a plan sent chunked within the limit is read whole, in pieces and with an extension', async () => {
  const chunks = [PLAN.subarray(0, 1), PLAN.subarray(1, 700), PLAN.subarray(700)];
  const body = Buffer.concat([
    ...chunks.flatMap((c, i) => [Buffer.from(`${c.length.toString(16)}${i === 1 ? ';note=x' : ''}\r\n`), c,
                                 Buffer.from('\r\n')]),
    Buffer.from('0\r\n\r\n')]);
  const reply = await rawRequest(Buffer.concat([
    Buffer.from(`POST /api/plan?name=chunked.PLN HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nX-INS-Panel: 1\r\n` +
                'Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n'), body]));
  assert.equal(reply.status, 200, reply.body);
  assert.deepEqual(readFileSync(join(server.workdir, 'PLAN.PLN')), PLAN);
  assert.equal((await getJson(server.url, '/api/plan')).body.plan.name, 'chunked.PLN');
});

test('a refused request\'s body is never read as a request of its own', async () => {
  const smuggled = `POST /api/set HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nX-INS-Panel: 1\r\n` +
                   `Content-Type: application/json\r\nContent-Length: ${SET_BATTERY.length}\r\n\r\n${SET_BATTERY}`;
  const chunk = (text) => `${Buffer.byteLength(text).toString(16)}\r\n${text}\r\n0\r\n\r\n`;
  const refused = (line, framing, body) =>
    `${line}\r\nHost: 127.0.0.1:${port}\r\nContent-Type: text/plain\r\n${framing}\r\n\r\n${body}`;
  // [what, request]: each is refused before its body is read, and the body is a request that
  // would turn the battery off.
  const CASES = [
    ['a POST without the panel\'s header', refused('POST /api/sim HTTP/1.1', `Content-Length: ${smuggled.length}`, smuggled)],
    ['a cross-site POST, chunked', refused('POST /api/sim HTTP/1.1', 'Origin: http://evil.example\r\nTransfer-Encoding: chunked',
                                           chunk(smuggled))],
    ['a rebound Host with a body', `POST /api/sim HTTP/1.1\r\nHost: evil.example:${port}\r\nX-INS-Panel: 1\r\n` +
                                   `Content-Length: ${smuggled.length}\r\n\r\n${smuggled}`],
    ['a stream for another site with a body', refused('GET /api/stream HTTP/1.1',
                                                      `Origin: http://evil.example\r\nContent-Length: ${smuggled.length}`, smuggled)],
  ];
  await postJson(server.url, '/api/set', {name: 'battery', value: 0});
  const off = await snapshot();
  for (const [what, text] of CASES) {
    const socket = net.connect(port, '127.0.0.1');
    const replies = await new Promise((resolve) => {
      let reply = '';
      socket.on('data', (d) => { reply += d.toString('latin1'); });
      socket.on('error', () => {});
      socket.on('close', () => resolve(reply.match(/^HTTP\/1\.1 \d+/gm) || []));
      socket.write(text);
    });
    // The refusal arrived, alone: the connection ended with it.
    assert.equal(replies.length, 1, `${what}: ${replies.join(', ')}`);
    assert.match(replies[0], / 4\d\d$/, what);
    await assertUnchanged(off, what);
  }
});
