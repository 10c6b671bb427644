// Plans loaded into `ins-host serve` through its API, against the real server, module and
// processes: a plan the INS would store differently from the host's reading is refused with the
// words `fly` uses, and a plan that cannot be written under a file-size limit is answered with
// the write error while the server runs on.
//   node --test tests/web/plan_load_test.mjs        (with INS_HOST=<build>/ins-host)
import {test} from 'node:test';
import assert from 'node:assert/strict';
import {chmodSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {spawnSync} from 'node:child_process';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {startServer, getJson, postJson, hostProgram} from './harness.mjs';

const EXAMPLE = new URL('../../examples/EINN-BIKF-oceanic.PLN', import.meta.url);
const PLAN_BODY = {raw: true, contentType: 'application/octet-stream'};

// The example plan with a second <WorldPosition> in its third waypoint: one waypoint to the
// host, two to the INS, which then numbers every later waypoint one higher.
function planWithTwoPositions() {
  const third = '<WorldPosition>N58° 0\' 0.00",W20° 0\' 0.00",+035000.00</WorldPosition>';
  const text = readFileSync(EXAMPLE, 'utf8');
  assert.ok(text.includes(third), 'the example plan changed');
  return text.replace(third, `${third}\n            ` +
                      '<WorldPosition>N59° 0\' 0.00",W21° 0\' 0.00",+035000.00</WorldPosition>');
}

function temporaryFolder() {
  return mkdtempSync(join(tmpdir(), 'ins-plan-load-test-'));
}

// `ins-host serve` started through `prlimit --fsize`, as under `ulimit -f`.
async function startServerWithFileSizeLimit(folder, bytes) {
  const wrapper = join(folder, 'ins-host-limited');
  writeFileSync(wrapper, `#!/bin/sh\nexec prlimit --fsize=${bytes} -- '${hostProgram()}' "$@"\n`);
  chmodSync(wrapper, 0o755);
  const saved = process.env.INS_HOST;
  process.env.INS_HOST = wrapper;
  try {
    return await startServer();
  } finally {
    process.env.INS_HOST = saved;
  }
}

test('a plan the INS would store differently is refused with fly\'s words; nothing changes', async () => {
  const folder = temporaryFolder();
  const server = await startServer();
  try {
    writeFileSync(join(folder, 'TWO.PLN'), planWithTwoPositions());
    const fly = spawnSync(hostProgram(), ['fly', 'TWO.PLN', '--output', 'out'],
                          {cwd: folder, encoding: 'utf8',
                           env: {...process.env, SDL_AUDIODRIVER: 'dummy'}});
    const flown = 'plan refused, nothing flown: ';
    assert.equal(fly.status, 2, fly.stderr);
    assert.ok(fly.stderr.startsWith(`${flown}TWO.PLN:39: the INS imported waypoint 04, 6122N`),
              fly.stderr);

    const reply = await postJson(server.url, '/api/plan?name=TWO.PLN', planWithTwoPositions(),
                                 PLAN_BODY);
    assert.equal(reply.status, 422);
    assert.equal(`${reply.body.error}\n`,
                 `plan refused, nothing changed: ${fly.stderr.slice(flown.length)}`);
    assert.equal(existsSync(join(server.workdir, 'PLAN.PLN')), false);
    assert.equal((await getJson(server.url, '/api/plan')).body.plan, null);
  } finally {
    await server.stop();
    rmSync(folder, {recursive: true, force: true});
  }
});

test('under a file-size limit a plan too large to write gets the write error; serve runs on',
     async () => {
  const folder = temporaryFolder();
  const server = await startServerWithFileSizeLimit(folder, 64 * 1024);
  try {
    // A plan of 200 KiB (a long description), well within what a plan may be.
    const large = readFileSync(EXAMPLE, 'utf8')
        .replace('<Descr>AceXML Document</Descr>', `<Descr>${'x'.repeat(200 * 1024)}</Descr>`);
    const reply = await postJson(server.url, '/api/plan?name=LARGE.PLN', large, PLAN_BODY);
    assert.equal(reply.status, 503);
    assert.match(reply.body.error, /^plan not loaded, nothing changed: cannot write .*File too large$/);
    assert.equal(server.process.exitCode, null);
    assert.equal(server.process.signalCode, null);
    assert.equal(existsSync(join(server.workdir, 'PLAN.PLN')), false);

    // Still serving: a plan that fits loads.
    const small = await postJson(server.url, '/api/plan?example=EINN-BIKF-oceanic.PLN', '',
                                 {raw: true});
    assert.equal(small.status, 200);
    assert.deepEqual(readFileSync(join(server.workdir, 'PLAN.PLN')), readFileSync(EXAMPLE));
  } finally {
    await server.stop();
    rmSync(folder, {recursive: true, force: true});
  }
});
