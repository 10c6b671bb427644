// Shared by the web panel's tests and benchmarks: starts `ins-host serve` on a free loopback
// port in a fresh working folder and stops it again, and launches Debian's chromium headless
// through playwright-core (no browser of its own is downloaded).
import {spawn} from 'node:child_process';
import {mkdtempSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {createRequire} from 'node:module';

// playwright-core is installed with the page's libraries, in host/web/node_modules.
const require = createRequire(new URL('../../host/web/package.json', import.meta.url));

export const CHROMIUM_FLAGS = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--autoplay-policy=no-user-gesture-required',
];

// The ins-host program: the first argument or $INS_HOST.
export function hostProgram() {
  const program = process.env.INS_HOST || process.argv[2];
  if (!program) throw new Error('give the ins-host program as the first argument or $INS_HOST');
  return program;
}

// Starts the server; resolves to {url, process, workdir, output(), stop()} once it printed its URL.
export async function startServer(extraArgs = [], {keepWorkdir = false} = {}) {
  const workdir = mkdtempSync(join(tmpdir(), 'ins-web-test-'));
  const child = spawn(hostProgram(), ['serve', '--port', '0', '--workdir', workdir, ...extraArgs],
                      {stdio: ['ignore', 'pipe', 'pipe'], env: {...process.env, SDL_AUDIODRIVER: 'dummy'}});
  let out = '';
  let err = '';
  child.stderr.on('data', (d) => { err += d; });
  const url = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no URL from ins-host serve:\n${out}\n${err}`)), 15000);
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/INS panel at (http:\/\/\S+)/);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    });
    child.on('exit', (code) => { clearTimeout(timer); reject(new Error(`ins-host serve exited ${code}:\n${out}\n${err}`)); });
  });
  return {
    url, process: child, workdir,
    output: () => ({stdout: out, stderr: err}),
    async stop() {
      if (child.exitCode === null) {
        const exited = new Promise((resolve) => child.on('exit', resolve));
        child.kill('SIGTERM');
        await exited;
      }
      if (!keepWorkdir) rmSync(workdir, {recursive: true, force: true});
    },
  };
}

export async function launchBrowser() {
  const {chromium} = require('playwright-core');
  return chromium.launch({executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
                          headless: true, args: CHROMIUM_FLAGS});
}

// A page of the panel opened at `url` in `browser` (or a browser context), ready to use: the
// page's set-up done. A script error on the page fails the test.
export async function openPanelPage(browser, url, viewport = {width: 1400, height: 1000}) {
  const page = await browser.newPage({viewport});
  page.on('pageerror', (error) => { throw error; });
  await page.goto(url);
  await page.waitForSelector('body[data-ready=true]');
  return page;
}

// JSON API helpers.
export async function getJson(base, path) {
  const response = await fetch(new URL(path, base));
  return {status: response.status, body: await response.json()};
}

// A POST as the panel's page sends it: with the header X-INS-Panel, which the host requires of
// every request that changes something (`headers` adds to or, with a null, takes from them).
export async function postJson(base, path, body,
                               {raw = false, contentType = 'application/json', headers = {}} = {}) {
  const sent = {'Content-Type': contentType, 'X-INS-Panel': '1', ...headers};
  for (const name of Object.keys(sent)) if (sent[name] === null) delete sent[name];
  const response = await fetch(new URL(path, base), {
    method: 'POST', headers: sent, body: raw ? body : JSON.stringify(body),
  });
  let parsed = null;
  try { parsed = await response.json(); } catch (e) { parsed = null; }
  return {status: response.status, body: parsed};
}

// Polls `probe` until it returns a truthy value or `timeoutMs` passes.
export async function until(probe, timeoutMs, what) {
  const end = Date.now() + timeoutMs;
  let last;
  while (Date.now() < end) {
    last = await probe();
    if (last) return last;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`timed out after ${timeoutMs} ms waiting for ${what} (last: ${JSON.stringify(last)})`);
}

// The centre of a named control's mouse box, in gauge pixels, from `GET /api/layout`.
export function controlCentre(layout, gauge, control) {
  const box = layout.gauges.find((g) => g.name === gauge).mouse.find((b) => b.control === control);
  if (!box) throw new Error(`no control ${control} on gauge ${gauge}`);
  return {x: box.x + Math.floor(box.width / 2), y: box.y + Math.floor(box.height / 2)};
}

// A click on a control through the API (a press and its release), for a test's set-up.
export async function clickThroughApi(base, layout, gauge, control) {
  const {x, y} = controlCentre(layout, gauge, control);
  for (const action of ['down', 'up']) {
    const reply = await postJson(base, '/api/mouse', {gauge, x, y, action});
    if (reply.status !== 200) throw new Error(`${control} ${action}: ${JSON.stringify(reply.body)}`);
  }
}

// Starts `command` (the link, a recorded FlightGear) and resolves `found` with the first group
// of `pattern` its output matches.
export function startAndRead(command, args, pattern, what) {
  const child = spawn(command, args, {stdio: ['ignore', 'pipe', 'pipe'],
                                      env: {...process.env, SDL_AUDIODRIVER: 'dummy'}});
  let out = '';
  const found = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no ${what}:\n${out}`)), 15000);
    const look = (d) => {
      out += d;
      const m = out.match(pattern);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    };
    child.stdout.on('data', look);
    child.stderr.on('data', look);
    child.on('exit', (code) => { clearTimeout(timer); reject(new Error(`${what}: exited ${code}\n${out}`)); });
  });
  return {child, found};
}

// Stops a program started so, by SIGTERM, and resolves once it has ended.
export function stopChild(child) {
  if (!child || child.exitCode !== null) return Promise.resolve();
  const exited = new Promise((resolve) => child.on('exit', resolve));
  child.kill('SIGTERM');
  return exited;
}
