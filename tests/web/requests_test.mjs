// Requests a newcomer (or a script) gets slightly wrong, written byte for byte on raw sockets:
// each answer says what is wrong in the request's own terms (its head, its body's type, its
// body), a head that cannot be read gets one answer and the connection ends, and nothing of a
// wrong request is taken as another.
//   node --test tests/web/requests_test.mjs        (with INS_HOST=<build>/ins-host)
import {test, before, after} from 'node:test';
import assert from 'node:assert/strict';
import net from 'node:net';
import {readFileSync} from 'node:fs';
import {startServer, getJson, postJson, until} from './harness.mjs';

let server, port;
before(async () => {
  server = await startServer();
  port = Number(new URL(server.url).port);
  await postJson(server.url, '/api/sim', {paused: true});
});
after(async () => { await server.stop(); });

// Writes `bytes` on a fresh connection and reads until the server closes it, or `timeoutMs`
// passes: {answers: [{status, body}] in order, closed}.
function exchange(bytes, {timeoutMs = 15000} = {}) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    const chunks = [];
    let closed = false;
    const finish = () => {
      const text = Buffer.concat(chunks).toString('latin1');
      const answers = [];
      const statusLine = /HTTP\/1\.1 (\d{3}) [^\r]*\r\n/g;
      const starts = [...text.matchAll(statusLine)];
      starts.forEach((m, i) => {
        const end = i + 1 < starts.length ? starts[i + 1].index : text.length;
        const answer = text.slice(m.index, end);
        answers.push({status: Number(m[1]), body: answer.slice(answer.indexOf('\r\n\r\n') + 4)});
      });
      resolve({answers, closed});
    };
    const timer = setTimeout(() => { socket.destroy(); finish(); }, timeoutMs);
    socket.on('data', (d) => chunks.push(d));
    socket.on('error', () => {});
    socket.on('end', () => { closed = true; });
    socket.on('close', () => { clearTimeout(timer); finish(); });
    socket.write(Buffer.isBuffer(bytes) ? bytes : Buffer.from(bytes, 'latin1'));
  });
}

const head = (requestLine, lines = []) =>
  [requestLine, `Host: 127.0.0.1:${port}`, 'X-INS-Panel: 1', ...lines].join('\r\n') + '\r\n\r\n';
const NEXT = () => head('GET /api/layout HTTP/1.1');  // a valid request sent after a wrong one
const SET = '{"name": "battery", "value": 1}';

// [what, bytes, status, message]: the one answer each gets, after which the connection ends and
// the valid request sent behind it on the same connection is never answered.
const WRONG_HEADS = () => [
  ['a malformed request line', 'GARBAGE\r\nHost: x\r\nFoo: y\r\n\r\n' + NEXT(), 400, /could not be read/],
  ['a Content-Length with letters after its digits',
   head('POST /api/set HTTP/1.1', ['Content-Type: application/json', 'Content-Length: 25abc']) + SET + NEXT(),
   400, /Content-Length "25abc" is not a length/],
  ['a Content-Length with a sign',
   head('POST /api/set HTTP/1.1', ['Content-Type: application/json', 'Content-Length: +31']) + SET + NEXT(),
   400, /Content-Length "\+31" is not a length/],
  ['two different Content-Lengths',
   head('POST /api/set HTTP/1.1', ['Content-Type: application/json', 'Content-Length: 31', 'Content-Length: 5']) +
   SET + NEXT(), 400, /gives Content-Length 2 times/],
  ['two lengths in one Content-Length',
   head('POST /api/set HTTP/1.1', ['Content-Type: application/json', 'Content-Length: 31, 31']) + SET + NEXT(),
   400, /Content-Length "31, 31" is not a length/],
];

test('a head that cannot be taken as it stands gets exactly one answer, and its connection ends', async (t) => {
  for (const [what, bytes, status, message] of WRONG_HEADS()) {
    await t.test(what, async () => {
      const {answers, closed} = await exchange(bytes);
      assert.equal(answers.length, 1, `${answers.length} answers ${JSON.stringify(answers)}`);
      assert.equal(answers[0].status, status, answers[0].body);
      assert.match(JSON.parse(answers[0].body).error, message);
      assert.ok(closed, 'the connection stayed open');
    });
  }
  assert.equal((await getJson(server.url, '/api/layout')).status, 200, 'the server afterwards');
});

const PLAN = readFileSync(new URL('../../examples/EINN-BIKF-oceanic.PLN', import.meta.url), 'latin1');
const FORM = 'Content-Type: application/x-www-form-urlencoded';
const MOUSE = (x) => `{"gauge": "INS", "x": ${x}, "y": 10, "action": "down"}`;
const post = (path, lines, body) =>
  head(`POST ${path} HTTP/1.1`, [...lines, `Content-Length: ${Buffer.byteLength(body, 'latin1')}`,
                                 'Connection: close']) + body;

// [what, bytes, status, message]: requests a server can read, whose fault is in what they say.
const WRONG_BODIES = () => [
  ['a plan over 8 KiB sent as a form (curl --data-binary without a type)',
   post('/api/plan?name=big.PLN', [FORM], PLAN + ' '.repeat(9 * 1024)), 415,
   /the plan came as a form \(Content-Type: application\/x-www-form-urlencoded.*--data-binary @FILE\.PLN/],
  ['a small plan sent as a form', post('/api/plan?name=small.PLN', [FORM], PLAN), 415, /the plan came as a form/],
  ['a JSON request over 8 KiB sent as a form',
   post('/api/set', [FORM], `{"name": "battery", "value": 1${' '.repeat(9 * 1024)}}`), 415,
   /the body came as a form .*send JSON, with Content-Type: application\/json/],
  ['a plan upload without a body', post('/api/plan?name=empty.PLN', ['Content-Type: application/octet-stream'], ''),
   400, /the request has no body: send the plan file's bytes/],
  ['a POST without a body or its length',
   head('POST /api/set HTTP/1.1', ['Content-Type: application/json', 'Connection: close']), 400,
   /the request has no body: send a JSON object/],
  ['a POST with a body of length 0', post('/api/set', ['Content-Type: application/json'], ''), 400,
   /the request has no body/],
  ['a field given twice', post('/api/set', ['Content-Type: application/json'],
                              '{"name": "battery", "value": 1, "value": 0}'), 400, /the field "value" is given twice/],
  ['a field given twice, the name', post('/api/set', ['Content-Type: application/json'],
                                         '{"name": "x", "value": 1, "name": "battery"}'), 400,
   /the field "name" is given twice/],
  ['x past every whole number JSON keeps as signed',
   post('/api/mouse', ['Content-Type: application/json'], MOUSE('18446744073709551615')), 400,
   /"x" 18446744073709551615 is outside the INS gauge/],
  ['x one past the largest signed one', post('/api/mouse', ['Content-Type: application/json'],
                                             MOUSE('9223372036854775808')), 400,
   /"x" 9223372036854775808 is outside the INS gauge/],
];

test('each wrong body is told what is wrong with it, and nothing changes', async (t) => {
  const panelText = async () => (await fetch(new URL('/api/panel', server.url))).text();
  // The paused panel stands still once the pause has been published.
  const panel = await until(async () => {
    const a = await panelText();
    await new Promise((r) => setTimeout(r, 80));
    return a === await panelText() && JSON.parse(a).paused ? a : null;
  }, 5000, 'the paused panel');
  const plan = (await getJson(server.url, '/api/plan')).body.plan;
  for (const [what, bytes, status, message] of WRONG_BODIES()) {
    await t.test(what, async () => {
      const {answers} = await exchange(bytes);
      assert.equal(answers.length, 1, `${answers.length} answers`);
      assert.equal(answers[0].status, status, answers[0].body);
      assert.match(JSON.parse(answers[0].body).error, message);
    });
  }
  assert.equal(await panelText(), panel, 'the panel');
  assert.deepEqual((await getJson(server.url, '/api/plan')).body.plan, plan, 'the plan');
});
