// The INS live panel: draws the gauges from the module's element chains as the host reports them,
// sends the pilot's clicks and keys to the host as gauge pixels (the host hit-tests them against
// the module's mouse lists), plays the sounds the module asks for, and keeps the aircraft
// controls and the moving map in step with the live state stream.
'use strict';

const insPanel = {
  layout: null,
  state: null,
  gauges: {},        // name -> {layout, canvas, ctx, windows}
  bitmaps: new Map(),  // "id" or "id/keyed" -> canvas, or null when the bitmap is missing
  soundsHeard: [],   // sound requests seen by this page: {seq, path, played}
  lastSoundSeq: -1,
  scale: 1,
  heldControl: null,
};
window.insPanel = insPanel;

// ---------------------------------------------------------------------------------------------
// Talking to the host. Requests go one after the other, in the order the pilot made them. Every
// request that changes something carries the header X-INS-Panel: the host refuses those without
// it, since a page of another site can send a plain form or text POST but not this header.

let requestChain = Promise.resolve();

function api(method, path, body, contentType = 'application/json') {
  const run = async () => {
    const init = {method, headers: method === 'GET' ? {} : {'X-INS-Panel': '1'}};
    if (body !== undefined) {
      init.body = typeof body === 'string' || body instanceof ArrayBuffer ? body : JSON.stringify(body);
      init.headers['Content-Type'] = contentType;
    }
    const response = await fetch(path, init);
    let data = null;
    try { data = await response.json(); } catch (e) { data = null; }
    if (!response.ok) {
      const error = new Error((data && data.error) || `${response.status} ${response.statusText}`);
      error.status = response.status;
      throw error;
    }
    return data;
  };
  const result = requestChain.then(run, run);
  requestChain = result.catch(() => {});
  return result;
}

// Resolves once every request made so far has been answered (for tools and tests).
insPanel.settled = () => requestChain;

function mouse(gauge, x, y, action) {
  return api('POST', '/api/mouse', {gauge, x: Math.round(x), y: Math.round(y), action});
}

function setCondition(name, value) {
  return api('POST', '/api/set', {name, value});
}

// ---------------------------------------------------------------------------------------------
// Bitmaps: <id>.png beside the module. Elements with the transparency flag do not draw pure
// black, as the simulator does; a bitmap that is not there is drawn as a plain box.

// The pixels exactly as the file holds them: the bitmaps carry gamma and chromaticity chunks,
// and a browser's colour conversion would shift the dark colours away from what the simulator
// (and `ins-host run`'s pictures) draw.
async function loadImage(url) {
  try {
    const response = await fetch(url);
    if (!response.ok) return null;
    return await createImageBitmap(await response.blob(),
                                   {colorSpaceConversion: 'none', premultiplyAlpha: 'none'});
  } catch (e) {
    return null;
  }
}

async function bitmap(id, keyed) {
  const key = keyed ? `${id}/keyed` : `${id}`;
  if (insPanel.bitmaps.has(key)) return insPanel.bitmaps.get(key);
  const image = await loadImage(`bitmaps/${id}.png`);
  let canvas = null;
  if (image) {
    canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const ctx = canvas.getContext('2d', {willReadFrequently: keyed});
    ctx.drawImage(image, 0, 0);
    if (keyed) {
      const pixels = ctx.getImageData(0, 0, canvas.width, canvas.height);
      const d = pixels.data;
      for (let i = 0; i < d.length; i += 4) {
        if (d[i] === 0 && d[i + 1] === 0 && d[i + 2] === 0) d[i + 3] = 0;
      }
      ctx.putImageData(pixels, 0, 0);
    }
  }
  insPanel.bitmaps.set(key, canvas);
  return canvas;
}

async function preloadBitmaps(layout) {
  const wanted = [];
  for (const gauge of layout.gauges) {
    for (const e of gauge.elements) {
      if (e.kind === 'text') continue;
      for (let k = 0; k < e.images; ++k) wanted.push(bitmap(e.bitmap + k, e.transparent));
      if (e.kind === 'moving' && e.mask) wanted.push(bitmap(e.mask, true));
    }
  }
  await Promise.all(wanted);
}

function missingBox(ctx, e, width, height, label) {
  ctx.fillStyle = 'rgba(90, 96, 104, 0.85)';
  ctx.fillRect(e.x, e.y, width, height);
  ctx.strokeStyle = '#8a8d90';
  ctx.strokeRect(e.x + 0.5, e.y + 0.5, width - 1, height - 1);
  if (width > 24 && height > 12) {
    ctx.fillStyle = '#d9d6cc';
    ctx.font = '9px sans-serif';
    ctx.fillText(label, e.x + 3, e.y + 11);
  }
}

// A moving image: the strip slides behind a window of the mask's size; value v of the range
// moves it by v / range x travel pixels, and only the mask's lit pixels show.
function drawMoving(ctx, e, item) {
  const strip = insPanel.bitmaps.get(e.transparent ? `${e.bitmap}/keyed` : `${e.bitmap}`);
  const mask = e.mask ? insPanel.bitmaps.get(`${e.mask}/keyed`) : null;
  const windowW = mask ? mask.width : e.width - e.x_travel;
  const windowH = mask ? mask.height : e.height - e.y_travel;
  const along = (value, range, travel) =>
    range[1] === range[0] ? 0 : ((value - range[0]) / (range[1] - range[0])) * travel;
  const dx = along(item.value, e.x_range, e.x_travel);
  const dy = along(item.value_y ?? 0, e.y_range, e.y_travel);
  if (!strip) {
    missingBox(ctx, e, windowW, windowH, `${e.bitmap}`);
    ctx.fillStyle = '#fff';
    ctx.font = '16px sans-serif';
    ctx.fillText(String(Math.round(item.value_y ?? 0)), e.x + windowW / 2 - 5, e.y + windowH / 2 + 6);
    return;
  }
  const window = document.createElement('canvas');
  window.width = windowW;
  window.height = windowH;
  const w = window.getContext('2d');
  w.drawImage(strip, -dx, -dy);
  if (mask) {
    w.globalCompositeOperation = 'destination-in';
    w.drawImage(mask, 0, 0);
  }
  ctx.drawImage(window, e.x, e.y);
}

function drawGauge(name) {
  const g = insPanel.gauges[name];
  const items = insPanel.state && insPanel.state.elements[name];
  if (!g || !items) return;
  const ctx = g.ctx;
  ctx.clearRect(0, 0, g.layout.width, g.layout.height);
  g.layout.elements.forEach((e, i) => {
    const item = items[i];
    if (!item || !item.shown || e.kind === 'text') return;
    if (e.kind === 'moving') return drawMoving(ctx, e, item);
    const k = e.kind === 'icon' && e.images > 1
      ? Math.min(e.images - 1, Math.max(0, Math.trunc(item.value))) : 0;
    const image = insPanel.bitmaps.get(e.transparent ? `${e.bitmap + k}/keyed` : `${e.bitmap + k}`);
    if (image) {
      ctx.drawImage(image, e.x, e.y);
    } else {
      missingBox(ctx, e, e.width, e.height, `${e.bitmap + k} ${e.name}`);
    }
  });
}

// ---------------------------------------------------------------------------------------------
// Text windows in the segment font. A blank cell is "!" in this font (a space is narrow), the
// decimal point and the colon take no cell of their own, and "~" lights every segment, drawn
// faintly underneath as the unlit glass.

let segmentAdvance = 0.9;  // width of one cell, in em; measured once the font is there

function segmentText(text) {
  return text.replace(/ /g, '!');
}

function cellCount(text) {
  return text.replace(/[.:]/g, '').length;
}

function fitWindow(w) {
  const {element, lit, unlit} = w;
  const text = w.text;
  const cells = Math.max(element.chars, cellCount(text));
  const byHeight = element.height * (element.chars === 1 ? 0.72 : 0.58);
  const byWidth = (element.width - 4) / (cells * segmentAdvance);
  const size = Math.max(6, Math.min(byHeight, byWidth));
  lit.style.fontSize = unlit.style.fontSize = `${size.toFixed(1)}px`;
  unlit.textContent = '~'.repeat(cellCount(text) || element.chars);
}

function showWindow(w, text) {
  if (w.text === text) return;
  w.text = text;
  w.reader.textContent = text;
  w.lit.textContent = segmentText(text);
  fitWindow(w);
}

// ---------------------------------------------------------------------------------------------
// Building the gauges from the layout.

const CURSORS = {1: 'n-resize', 3: 'w-resize', 4: 'e-resize', 5: 'pointer'};

function gaugePoint(gaugeElement, event) {
  const rect = gaugeElement.getBoundingClientRect();
  const scale = rect.width / gaugeElement.offsetWidth || 1;
  return {x: (event.clientX - rect.left) / scale, y: (event.clientY - rect.top) / scale};
}

function boxAt(layout, point) {
  return layout.mouse.find((b) => point.x >= b.x && point.x < b.x + b.width &&
                                  point.y >= b.y && point.y < b.y + b.height);
}

function buildGauge(layout, container) {
  container.style.width = `${layout.width}px`;
  container.style.height = `${layout.height}px`;
  container.textContent = '';
  const canvas = document.createElement('canvas');
  canvas.width = layout.width;
  canvas.height = layout.height;
  canvas.style.width = `${layout.width}px`;
  canvas.style.height = `${layout.height}px`;
  container.appendChild(canvas);
  const windows = {};
  layout.elements.forEach((e) => {
    if (e.kind !== 'text') return;
    const box = document.createElement('div');
    box.className = 'window';
    Object.assign(box.style, {left: `${e.x}px`, top: `${e.y}px`, width: `${e.width}px`,
                              height: `${e.height}px`, background: e.background_colour,
                              color: e.text_colour});
    const unlit = document.createElement('span');
    unlit.className = 'unlit';
    unlit.setAttribute('aria-hidden', 'true');
    const lit = document.createElement('span');
    lit.className = 'lit';
    lit.setAttribute('aria-hidden', 'true');
    const reader = document.createElement('span');
    reader.className = 'sr-text';
    if (layout.name === 'INS') reader.dataset.window = e.name;
    reader.setAttribute('aria-label', `${e.name} window`);
    box.append(unlit, lit, reader);
    container.appendChild(box);
    windows[e.name] = {element: e, box, lit, unlit, reader, text: null};
    showWindow(windows[e.name], '');
  });
  const boxes = document.createElement('div');
  boxes.className = 'boxes';
  for (const b of layout.mouse) {
    const d = document.createElement('div');
    Object.assign(d.style, {left: `${b.x}px`, top: `${b.y}px`, width: `${b.width}px`,
                            height: `${b.height}px`});
    d.title = b.control || '';
    boxes.appendChild(d);
  }
  container.appendChild(boxes);

  container.addEventListener('mousemove', (event) => {
    const box = boxAt(layout, gaugePoint(container, event));
    container.style.cursor = box ? (CURSORS[box.cursor] || 'pointer') : 'default';
    container.title = box && box.control ? box.control.replace('_', ' ') : '';
  });
  container.addEventListener('mousedown', (event) => {
    if (event.button !== 0) return;
    event.preventDefault();
    unlockSound();
    const p = gaugePoint(container, event);
    const x = Math.min(layout.width - 1, Math.max(0, Math.floor(p.x)));
    const y = Math.min(layout.height - 1, Math.max(0, Math.floor(p.y)));
    insPanel.heldControl = layout.name;
    mouse(layout.name, x, y, 'down').catch(showSetError);
  });
  insPanel.gauges[layout.name] = {layout, canvas, ctx: canvas.getContext('2d'), windows};
}

window.addEventListener('mouseup', () => {
  if (insPanel.heldControl === null) return;
  const gauge = insPanel.heldControl;
  insPanel.heldControl = null;
  mouse(gauge, 0, 0, 'up').catch(showSetError);
});

// A button let go outside the window, or a key up that never comes (the window lost the focus),
// must not leave a box held and repeating.
window.addEventListener('blur', () => {
  const held = insPanel.heldControl ?? (keysDown.size ? [...keysDown.values()][0] : null);
  insPanel.heldControl = null;
  keysDown.clear();
  if (held !== null) mouse(held, 0, 0, 'up').catch(showSetError);
});

function buildIcons(layout) {
  const row = document.getElementById('icons');
  row.textContent = '';
  layout.gauges.filter((g) => g.name.startsWith('INSicon')).forEach((g, i) => {
    const cell = document.createElement('div');
    cell.className = 'icon-cell';
    const gauge = document.createElement('div');
    gauge.className = 'gauge';
    gauge.id = `gauge-${g.name}`;
    gauge.dataset.gauge = g.name;
    const state = document.createElement('span');
    state.className = 'state';
    state.id = `panel-window-${i + 1}`;
    cell.append(gauge, state);
    row.appendChild(cell);
    buildGauge(g, gauge);
    gauge.title = `Panel window ${i + 1}`;
  });
}

// ---------------------------------------------------------------------------------------------
// The keyboard: each key presses the control's box at its centre, through the same mouse path.

const KEY_CONTROLS = {
  Enter: ['INS', 'INSERT'], Backspace: ['INS', 'CLEAR'],
  s: ['INS', 'SET'], h: ['INS', 'HOLD'], w: ['INS', 'WYPT_CHG'], l: ['INS', 'LAST_WPT'],
  ']': ['INS', 'SEL_CW'], '[': ['INS', 'SEL_CCW'],
  '.': ['ALIGN', 'CW'], ',': ['ALIGN', 'CCW'],
  a: ['INS', 'AUTO'], m: ['INS', 'MAN'], t: ['INS', 'TEST'],
  ArrowUp: ['INS', 'UNITS_UP'], ArrowDown: ['INS', 'UNITS_DOWN'],
  'Shift+ArrowUp': ['INS', 'TENS_UP'], 'Shift+ArrowDown': ['INS', 'TENS_DOWN'],
};
for (let d = 0; d <= 9; ++d) KEY_CONTROLS[String(d)] = ['INS', String(d)];

function controlCentre(gaugeName, control) {
  const g = insPanel.gauges[gaugeName];
  const box = g && g.layout.mouse.find((b) => b.control === control);
  return box ? {x: box.x + Math.floor(box.width / 2), y: box.y + Math.floor(box.height / 2)} : null;
}

const keysDown = new Map();  // key -> gauge name, while a control is held from the keyboard

function keyName(event) {
  const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
  return event.shiftKey && key.startsWith('Arrow') ? `Shift+${key}` : key;
}

document.addEventListener('keydown', (event) => {
  // Typing into a field is typing, not the panel; a focused switch or button leaves the keys to it.
  const target = event.target;
  const typing = target && (target.tagName === 'SELECT' || target.tagName === 'TEXTAREA' ||
    (target.tagName === 'INPUT' && !['checkbox', 'radio', 'button'].includes(target.type)));
  if (typing) return;
  if (event.ctrlKey || event.metaKey || event.altKey) return;
  if (event.key === '?') return toggleHelp();
  if (event.key === 'Escape') return toggleHelp(false);
  if (event.key.toLowerCase() === 'p' && !event.repeat) return togglePause();
  const name = keyName(event);
  const control = KEY_CONTROLS[name];
  if (!control) return;
  event.preventDefault();
  unlockSound();
  if (event.repeat || keysDown.has(event.code)) return;
  const point = controlCentre(control[0], control[1]);
  if (!point) return;
  keysDown.set(event.code, control[0]);
  mouse(control[0], point.x, point.y, 'down').catch(showSetError);
});

document.addEventListener('keyup', (event) => {
  const gauge = keysDown.get(event.code);
  if (gauge === undefined) return;
  keysDown.delete(event.code);
  mouse(gauge, 0, 0, 'up').catch(showSetError);
});

function toggleHelp(show) {
  const help = document.getElementById('help');
  help.hidden = show === undefined ? !help.hidden : !show;
}

// ---------------------------------------------------------------------------------------------
// Sounds: fetched and decoded once, played when the module asks (after the first gesture, as
// browsers require).

let audio = null;
const soundBuffers = new Map();

function unlockSound() {
  if (audio) return;
  try {
    audio = new AudioContext();
    document.getElementById('sound-hint').textContent = 'Sound on.';
  } catch (e) {
    audio = null;
  }
}

async function playSound(request) {
  if (!audio || !request.url) return false;
  try {
    if (!soundBuffers.has(request.url)) {
      const data = await (await fetch(request.url)).arrayBuffer();
      soundBuffers.set(request.url, await audio.decodeAudioData(data));
    }
    if (audio.state === 'suspended') await audio.resume();
    const source = audio.createBufferSource();
    source.buffer = soundBuffers.get(request.url);
    source.connect(audio.destination);
    source.start();
    return true;
  } catch (e) {
    return false;
  }
}

function takeSounds(state) {
  const sounds = state.sounds || [];
  const newest = sounds.length ? sounds[sounds.length - 1].seq : 0;
  if (insPanel.lastSoundSeq < 0) {  // the first state: what was asked before the page came
    insPanel.lastSoundSeq = newest;
    return;
  }
  for (const s of sounds) {
    if (s.seq <= insPanel.lastSoundSeq) continue;
    insPanel.lastSoundSeq = s.seq;
    const heard = {seq: s.seq, path: s.path, played: false};
    insPanel.soundsHeard.push(heard);
    if (insPanel.soundsHeard.length > 50) insPanel.soundsHeard.shift();
    const line = document.getElementById('last-sound');
    line.dataset.count = String(Number(line.dataset.count) + 1);
    line.dataset.path = s.path;
    line.textContent = `\u266A ${s.path.split('\\').pop()}`;
    playSound(s).then((played) => { heard.played = played; });
  }
}

// ---------------------------------------------------------------------------------------------
// Aircraft and simulation controls.

function showSetError(error) {
  const line = document.getElementById('set-message');
  line.textContent = error.message;
  line.className = 'message bad';
}

function showSetOk() {
  const line = document.getElementById('set-message');
  line.textContent = '';
  line.className = 'message';
}

function bindControls() {
  document.querySelectorAll('input[type=checkbox][data-set]').forEach((box) => {
    box.addEventListener('change', () => {
      holdUntilConfirmed(box);
      setCondition(box.dataset.set, box.checked ? 1 : 0).then(showSetOk, showSetError);
    });
  });
  document.querySelectorAll('input[type=number][data-set]').forEach((input) => {
    const send = () => {
      if (input.value === '') return;
      setCondition(input.dataset.set, Number(input.value)).then(showSetOk, showSetError);
    };
    input.addEventListener('change', send);
    input.addEventListener('keydown', (event) => { if (event.key === 'Enter') input.blur(); });
  });
  document.getElementById('motion').addEventListener('change', (event) => {
    holdUntilConfirmed(event.target);
    api('POST', '/api/sim', {motion: event.target.checked}).then(showSetOk, showSetError);
  });
  document.getElementById('pause').addEventListener('click', togglePause);
  document.querySelectorAll('[data-rate]').forEach((button) => {
    button.addEventListener('click', () =>
      api('POST', '/api/sim', {rate: Number(button.dataset.rate)}).catch(showSetError));
  });
  document.getElementById('zoom').addEventListener('change', (event) => setScale(Number(event.target.value)));
  document.getElementById('show-boxes').addEventListener('change', (event) =>
    document.body.classList.toggle('show-boxes', event.target.checked));
  document.getElementById('help-button').addEventListener('click', () => toggleHelp());
  document.getElementById('help-close').addEventListener('click', () => toggleHelp(false));
  document.getElementById('help').addEventListener('click', (event) => {
    if (event.target.id === 'help') toggleHelp(false);
  });
  document.getElementById('load-example').addEventListener('click', () => {
    const name = document.getElementById('examples').value;
    if (name) loadPlan(`/api/plan?example=${encodeURIComponent(name)}`, undefined);
  });
  document.getElementById('plan-file').addEventListener('change', async (event) => {
    const file = event.target.files[0];
    if (!file) return;
    loadPlan(`/api/plan?name=${encodeURIComponent(file.name)}`, await file.arrayBuffer());
    event.target.value = '';
  });
  document.getElementById('takeoff').addEventListener('click', () => {
    api('POST', '/api/takeoff', {alt_ft: Number(document.getElementById('cruise-alt').value),
                                 tas_kt: Number(document.getElementById('cruise-tas').value)})
      .then(showSetOk, showSetError);
  });
}

// A switch the pilot just flipped keeps its new position until the host's state shows it (or a
// moment passes), so a state already on its way does not flip it back.
function holdUntilConfirmed(box) {
  box.dataset.pendingUntil = String(Date.now() + 1500);
}

function showSwitch(box, on) {
  if (Number(box.dataset.pendingUntil || 0) > Date.now() && box.checked !== on) return;
  delete box.dataset.pendingUntil;
  box.checked = on;
}

function togglePause() {
  const paused = insPanel.state ? !insPanel.state.paused : true;
  api('POST', '/api/sim', {paused}).catch(showSetError);
}

function setScale(scale) {
  insPanel.scale = scale;
  const holder = document.getElementById('panel-scale');
  holder.style.transform = scale === 1 ? '' : `scale(${scale})`;
  const column = holder.parentElement;
  column.style.width = scale === 1 ? '' : `${holder.offsetWidth * scale}px`;
  column.style.height = scale === 1 ? '' : `${holder.offsetHeight * scale + 40}px`;
}

async function loadPlan(url, body) {
  const line = document.getElementById('plan-message');
  line.className = 'message';
  line.textContent = 'reading the plan...';
  try {
    const plan = await api('POST', url, body, 'application/octet-stream');
    line.className = 'message good';
    line.textContent = `${plan.name}: ${plan.waypoints.length} waypoints, ` +
      `${plan.waypoints[0].ident} to ${plan.waypoints[plan.waypoints.length - 1].ident}. ` +
      'The aircraft stands at the departure; the PLAN spot imports it.';
    if (plan.cruise_alt_ft >= 1000) document.getElementById('cruise-alt').value = plan.cruise_alt_ft;
    insMap.showPlan(plan);
  } catch (error) {
    line.className = 'message bad';
    line.textContent = error.message;
  }
}

function two(n) { return String(Math.floor(n)).padStart(2, '0'); }

function showState(state) {
  const previous = insPanel.state;
  insPanel.state = state;
  for (const name of Object.keys(insPanel.gauges)) {
    const g = insPanel.gauges[name];
    if (!previous || JSON.stringify(previous.elements[name]) !== JSON.stringify(state.elements[name])) {
      drawGauge(name);
    }
    state.elements[name].forEach((item, i) => {
      const e = g.layout.elements[i];
      if (e.kind === 'text') showWindow(g.windows[e.name], item.shown ? item.text : '');
    });
  }
  const t = state.time_s;
  document.getElementById('sim-time').textContent =
    `${two(t / 3600)}:${two((t / 60) % 60)}:${two(t % 60)}`;
  document.getElementById('sim-state').textContent = state.paused ? 'PAUSED' : `${state.rate}x`;
  document.getElementById('pause').textContent = state.paused ? 'Run' : 'Pause';
  document.getElementById('pause').classList.toggle('active', state.paused);
  document.querySelectorAll('[data-rate]').forEach((b) =>
    b.classList.toggle('active', Number(b.dataset.rate) === state.rate));
  const a = state.aircraft;
  document.querySelectorAll('input[type=checkbox][data-set]').forEach((box) => {
    showSwitch(box, !!a[box.dataset.set]);
  });
  showSwitch(document.getElementById('motion'), a.motion);
  document.querySelectorAll('input[type=number][data-show]').forEach((input) => {
    if (document.activeElement === input) return;
    input.value = Number(a[input.dataset.show]).toFixed(Number(input.dataset.digits));
  });
  document.getElementById('readout').textContent =
    `GS ${a.gs_kt.toFixed(0)} kt  TRK ${a.track_true_deg.toFixed(0)}\u00B0T  ` +
    `HDG bug ${a.heading_bug_mag_deg.toFixed(0)}\u00B0M  Mach ${a.mach.toFixed(2)}  ` +
    `${a.phase}`;
  state.panel_windows.forEach((open, i) => {
    const s = document.getElementById(`panel-window-${i + 1}`);
    if (s) {
      s.textContent = `${i + 1} ${open ? 'open' : '-'}`;
      s.classList.toggle('open', open);
    }
  });
  takeSounds(state);
  insMap.update(state);
}

// The live state. The browser reconnects a dropped stream by itself, but gives up on a refusal
// (all the host's streams taken: 503); the page then tries again after a pause that doubles up to
// 16 s, so that many pages at once do not keep the host busy.
const STREAM_RETRY_FIRST_MS = 1000;
const STREAM_RETRY_MAX_MS = 16000;

function connect(retryMs = STREAM_RETRY_FIRST_MS) {
  const status = document.getElementById('connection');
  const stream = new EventSource('/api/stream');
  stream.onopen = () => {
    retryMs = STREAM_RETRY_FIRST_MS;
    status.textContent = 'live';
    status.className = 'connection live';
  };
  stream.onmessage = (event) => showState(JSON.parse(event.data));
  stream.onerror = () => {
    status.textContent = 'connection lost, retrying';
    status.className = 'connection lost';
    if (stream.readyState === EventSource.CLOSED) {
      setTimeout(() => connect(Math.min(retryMs * 2, STREAM_RETRY_MAX_MS)), retryMs);
    }
  };
}

async function start() {
  bindControls();
  await document.fonts.load('20px "DSEG14 Classic"').catch(() => {});
  const probe = document.createElement('canvas').getContext('2d');
  probe.font = '100px "DSEG14 Classic"';
  const measured = probe.measureText('~~~~~~~~~~').width / 1000;
  if (measured > 0.3 && measured < 2) segmentAdvance = measured;

  const layout = await api('GET', '/api/layout');
  insPanel.layout = layout;
  await preloadBitmaps(layout);
  for (const g of layout.gauges) {
    const container = document.getElementById(`gauge-${g.name}`);
    if (container) buildGauge(g, container);
  }
  buildIcons(layout);
  const examples = await api('GET', '/api/examples');
  const select = document.getElementById('examples');
  for (const name of examples.examples) {
    const option = document.createElement('option');
    option.value = option.textContent = name;
    select.appendChild(option);
  }
  insMap.start(document.getElementById('map'));
  const plan = await api('GET', '/api/plan');
  if (plan.plan) insMap.showPlan(plan.plan);
  connect();
  document.body.dataset.ready = 'true';
}

start().catch((error) => {
  document.getElementById('connection').textContent = `cannot start: ${error.message}`;
  document.getElementById('connection').className = 'connection lost';
});
