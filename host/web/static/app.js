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
  scale: 1,          // the panel's size on the screen: the Scale chosen, or less to fit the window
  chosenScale: 1,
  pixelRatio: 1,     // device pixels to a gauge pixel: the screen's ratio times the scale
  artScale: 1,       // the bitmaps drawn: 1 (bitmaps/) or 2 (bitmaps-2x/, drawn at twice the size)
  heldPress: null,         // the mouse's press on the panel, queued or sent (key-queue.js)
  planName: null,         // the plan the card and the map show
  client: randomId('t'),  // this tab: the presses it makes are its own
  stream: null,           // the id of the event stream serving this tab, once known
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

// Resolves once every press made so far has reached the host and every request has been answered
// (for tools and tests).
insPanel.settled = () => insKeys.settled().then(() => requestChain);

function mouseBody(gauge, x, y, action) {
  const body = {gauge, x: Math.round(x), y: Math.round(y), action, client: insPanel.client};
  if (insPanel.stream) body.stream = insPanel.stream;
  return body;
}

// A press, a release, or (every quarter second while a button or key is down) word that this
// tab still holds its press: the host releases a press whose tab falls silent, so a tab that is
// closed or reloaded with a button down does not leave it repeating.
const HOLDING_EVERY_MS = 250;
let holdingTimer = null;

function mouse(gauge, x, y, action) {
  clearInterval(holdingTimer);
  holdingTimer = null;
  if (action === 'down') {
    holdingTimer = setInterval(
      () => api('POST', '/api/mouse', mouseBody(gauge, 0, 0, 'hold')).catch(() => {}), HOLDING_EVERY_MS);
  }
  return api('POST', '/api/mouse', mouseBody(gauge, x, y, action));
}

// A tab going away with a button down lets it go at once (the host would after a moment anyway).
window.addEventListener('pagehide', () => {
  const held = insKeys.held();
  if (!held) return;
  fetch('/api/mouse', {method: 'POST', keepalive: true,
                       headers: {'X-INS-Panel': '1', 'Content-Type': 'application/json'},
                       body: JSON.stringify(mouseBody(held.gauge, 0, 0, 'up'))}).catch(() => {});
});

// What the key queue hands on (key-queue.js): the host's reply, or null when it refused.
function sendPress(gauge, x, y, action) {
  return mouse(gauge, x, y, action).catch((error) => {
    showSetError(error);
    return null;
  });
}

function setCondition(name, value) {
  return api('POST', '/api/set', {name, value});
}

// ---------------------------------------------------------------------------------------------
// Bitmaps: <id>.png beside the module. Elements with the transparency flag do not draw pure
// black, as the simulator does; a bitmap that is not there is drawn as a plain box. The art is
// drawn from vectors, and the build renders it twice: at the gauge's own size (bitmaps/) and at
// twice it (bitmaps-2x/). The gauges' canvases hold a pixel for each device pixel, and a screen
// that shows a gauge pixel larger than one device pixel (a sharp screen, a browser zoom, the
// Scale) gets the larger rendering, so the art is as sharp as the display's text.

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

function bitmapKey(id, keyed, art = insPanel.artScale) {
  return `${art}/${id}${keyed ? '/keyed' : ''}`;
}

// A bitmap as drawn (null when it is missing), once loaded.
function loadedBitmap(id, keyed) {
  return insPanel.bitmaps.get(bitmapKey(id, keyed));
}

async function bitmap(id, keyed, art) {
  const key = bitmapKey(id, keyed, art);
  if (insPanel.bitmaps.has(key)) return insPanel.bitmaps.get(key);
  const image = await loadImage(`${art === 2 ? 'bitmaps-2x' : 'bitmaps'}/${id}.png`);
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

async function preloadBitmaps(layout, art) {
  const wanted = [];
  for (const gauge of layout.gauges) {
    for (const e of gauge.elements) {
      if (e.kind === 'text') continue;
      for (let k = 0; k < e.images; ++k) wanted.push(bitmap(e.bitmap + k, e.transparent, art));
      if (e.kind === 'moving' && e.mask) wanted.push(bitmap(e.mask, true, art));
    }
  }
  await Promise.all(wanted);
}

// Draws a bitmap at its place in gauge pixels, whichever rendering it is.
function drawBitmap(ctx, image, x, y) {
  ctx.drawImage(image, x, y, image.width / insPanel.artScale, image.height / insPanel.artScale);
}

// Sizes the gauges' canvases to the device pixels they cover and draws them with the rendering
// that suits: again whenever the Scale, the browser's zoom or the screen changes.
async function matchResolution() {
  const ratio = (window.devicePixelRatio || 1) * insPanel.scale;
  const art = ratio > 1 ? 2 : 1;
  if (art !== insPanel.artScale) {
    await preloadBitmaps(insPanel.layout, art);  // the rendering in use stays until this is in
    insPanel.artScale = art;
  }
  insPanel.pixelRatio = ratio;
  for (const [name, g] of Object.entries(insPanel.gauges)) {
    g.canvas.width = Math.max(1, Math.round(g.layout.width * ratio));
    g.canvas.height = Math.max(1, Math.round(g.layout.height * ratio));
    drawGauge(name);
  }
  document.body.dataset.art = String(art);
}

// The device-pixel ratio changes with the browser's zoom and when the window moves to another
// screen; a media query on the present ratio says when it does.
function watchDeviceRatio() {
  const query = matchMedia(`(resolution: ${window.devicePixelRatio || 1}dppx)`);
  query.addEventListener('change', () => {
    watchDeviceRatio();
    matchResolution();
  }, {once: true});
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
  const strip = loadedBitmap(e.bitmap, e.transparent);
  const mask = e.mask ? loadedBitmap(e.mask, true) : null;
  const art = insPanel.artScale;
  const windowW = mask ? mask.width / art : e.width - e.x_travel;
  const windowH = mask ? mask.height / art : e.height - e.y_travel;
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
  const ratio = insPanel.pixelRatio;
  const window = document.createElement('canvas');
  window.width = Math.max(1, Math.round(windowW * ratio));
  window.height = Math.max(1, Math.round(windowH * ratio));
  const w = window.getContext('2d');
  w.setTransform(ratio, 0, 0, ratio, 0, 0);
  drawBitmap(w, strip, -dx, -dy);
  if (mask) {
    w.globalCompositeOperation = 'destination-in';
    drawBitmap(w, mask, 0, 0);
  }
  ctx.drawImage(window, e.x, e.y, windowW, windowH);
}

function drawGauge(name) {
  const g = insPanel.gauges[name];
  const items = insPanel.state && insPanel.state.elements[name];
  if (!g || !items) return;
  const ctx = g.ctx;
  ctx.setTransform(insPanel.pixelRatio, 0, 0, insPanel.pixelRatio, 0, 0);
  ctx.clearRect(0, 0, g.layout.width, g.layout.height);
  g.layout.elements.forEach((e, i) => {
    const item = items[i];
    if (!item || !item.shown || e.kind === 'text') return;
    if (e.kind === 'moving') return drawMoving(ctx, e, item);
    const k = e.kind === 'icon' && e.images > 1
      ? Math.min(e.images - 1, Math.max(0, Math.trunc(item.value))) : 0;
    const image = loadedBitmap(e.bitmap + k, e.transparent);
    if (image) {
      drawBitmap(ctx, image, e.x, e.y);
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
  canvas.width = Math.max(1, Math.round(layout.width * insPanel.pixelRatio));
  canvas.height = Math.max(1, Math.round(layout.height * insPanel.pixelRatio));
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
    const box = boxAt(layout, {x, y});
    insKeys.release(insPanel.heldPress);
    insPanel.heldPress = insKeys.press(layout.name, x, y, box ? box.control : null);
  });
  insPanel.gauges[layout.name] = {layout, canvas, ctx: canvas.getContext('2d'), windows};
}

window.addEventListener('mouseup', () => {
  insKeys.release(insPanel.heldPress);
  insPanel.heldPress = null;
});

// A button let go outside the window, or a key up that never comes (the window lost the focus),
// must not leave a box held and repeating.
window.addEventListener('blur', () => {
  insPanel.heldPress = null;
  keysDown.clear();
  insKeys.releaseAll();
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

const keysDown = new Map();  // key -> its press (key-queue.js), while the key is down

function keyName(event) {
  const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
  return event.shiftKey && key.startsWith('Arrow') ? `Shift+${key}` : key;
}

// Fields that take typed text; every other element (a drop-down, a switch, a button) leaves the
// panel's keys to the panel, so that after using the map's range the arrows still turn the wheel.
const NOT_TYPED = ['checkbox', 'radio', 'button', 'submit', 'reset', 'file', 'range', 'color'];

function typingInto(target) {
  if (!target || !target.tagName) return false;
  if (target.isContentEditable || target.tagName === 'TEXTAREA') return true;
  return target.tagName === 'INPUT' && !NOT_TYPED.includes(target.type);
}

document.addEventListener('keydown', (event) => {
  if (typingInto(event.target)) return;
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
  keysDown.set(event.code, insKeys.press(control[0], point.x, point.y, control[1]));
});

document.addEventListener('keyup', (event) => {
  if (!keysDown.has(event.code)) return;
  insKeys.release(keysDown.get(event.code));
  keysDown.delete(event.code);
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
  document.getElementById('zoom').addEventListener('change', (event) => {
    insPanel.chosenScale = Number(event.target.value);
    fitPanel();
  });
  window.addEventListener('resize', fitPanel);
  document.getElementById('show-boxes').addEventListener('change', (event) =>
    document.body.classList.toggle('show-boxes', event.target.checked));
  document.getElementById('help-button').addEventListener('click', () => toggleHelp());
  document.getElementById('help-close').addEventListener('click', () => toggleHelp(false));
  document.getElementById('help').addEventListener('click', (event) => {
    if (event.target.id === 'help') toggleHelp(false);
  });
  document.getElementById('load-example').addEventListener('click', () => {
    const name = document.getElementById('examples').value;
    if (name) loadPlan(`/api/plan?example=${encodeURIComponent(name)}`, undefined, name);
  });
  document.getElementById('plan-file').addEventListener('change', async (event) => {
    const file = event.target.files[0];
    if (!file) return;
    loadPlan(`/api/plan?name=${encodeURIComponent(file.name)}`, await file.arrayBuffer(), file.name);
    event.target.value = '';
  });
  document.getElementById('takeoff').addEventListener('click', () => {
    api('POST', '/api/takeoff', {alt_ft: Number(document.getElementById('cruise-alt').value),
                                 tas_kt: Number(document.getElementById('cruise-tas').value)})
      .then(showSetOk, showSetError);
  });
  document.getElementById('prepare').addEventListener('click', () => {
    api('POST', '/api/prepare', {}).then(showSetOk, showSetError);
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

// The panel at the Scale chosen, or smaller when the window is too narrow for it (a phone), so
// that the page never scrolls sideways.
function fitPanel() {
  const holder = document.getElementById('panel-scale');
  const main = holder.parentElement.parentElement;
  const padding = parseFloat(getComputedStyle(main).paddingLeft) +
                  parseFloat(getComputedStyle(main).paddingRight);
  const room = main.clientWidth - padding;
  const scale = Math.min(insPanel.chosenScale, room / holder.offsetWidth);
  if (scale === insPanel.scale) return;
  insPanel.scale = scale;
  // A transform leaves the panel's box as it was: the margins make it take the room it shows in.
  holder.style.transform = scale === 1 ? '' : `scale(${scale})`;
  holder.style.marginRight = `${(scale - 1) * holder.offsetWidth}px`;
  holder.style.marginBottom = `${(scale - 1) * holder.offsetHeight}px`;
  matchResolution();
}

// Loading a plan puts the aircraft on the ground at the plan's departure, standing still; in
// flight (or on its take-off roll) the pilot is asked first.
function flying(state) {
  const a = state && state.aircraft;
  return !!a && (a.alt_ft > 50 || ['take-off roll', 'climb', 'cruise'].includes(a.phase));
}

function planMayLoad(name) {
  const a = insPanel.state && insPanel.state.aircraft;
  if (!flying(insPanel.state)) return true;
  const where = a.alt_ft > 50 ? `in the air at ${Math.round(a.alt_ft)} ft` : 'on its take-off roll';
  return window.confirm(`The aircraft is ${where}. Loading ${name} ends the flight: the ` +
                        'aircraft is put on the ground at the plan\'s departure, standing still. ' +
                        'Load the plan?');
}

async function loadPlan(url, body, name) {
  const line = document.getElementById('plan-message');
  if (!planMayLoad(name)) {
    line.className = 'message';
    line.textContent = `${name} not loaded: the aircraft flies on.`;
    return;
  }
  line.className = 'message';
  line.textContent = 'reading the plan...';
  try {
    const plan = await api('POST', url, body, 'application/octet-stream');
    insPanel.planName = plan.name;
    showPlan(plan, 'The aircraft stands at the departure; the PLAN spot imports it.');
  } catch (error) {
    line.className = 'message bad';
    line.textContent = error.message;
  }
}

// The plan card and the map show the loaded plan: the one given with --plan, one loaded here, or
// one loaded in another tab (the state names the plan loaded last).
function showPlan(plan, note) {
  const line = document.getElementById('plan-message');
  line.className = 'message good';
  line.textContent = `${plan.name}: ${plan.waypoints.length} waypoints, ` +
    `${plan.waypoints[0].ident} to ${plan.waypoints[plan.waypoints.length - 1].ident}. ${note}`;
  if (plan.cruise_alt_ft >= 1000) document.getElementById('cruise-alt').value = plan.cruise_alt_ft;
  insMap.showPlan(plan);
}

async function showLoadedPlan() {
  const loaded = (await api('GET', '/api/plan')).plan;
  insPanel.planName = loaded ? loaded.name : null;
  if (loaded) showPlan(loaded, 'Loaded; the PLAN spot imports it.');
}

function two(n) { return String(Math.floor(n)).padStart(2, '0'); }

function showState(state) {
  const previous = insPanel.state;
  insPanel.state = state;
  insKeys.observe(state);
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
  showTimeState(state);
  document.getElementById('pause').textContent = state.paused ? 'Run' : 'Pause';
  document.getElementById('pause').classList.toggle('active', state.paused);
  // (Under `ins-host link` FlightGear sets the pace: no rate of the host's is in force.)
  document.querySelectorAll('[data-rate]').forEach((b) =>
    b.classList.toggle('active', !state.link && Number(b.dataset.rate) === state.rate));
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
    (state.link ? linkedAutopilot(state.link) : a.phase);
  state.panel_windows.forEach((open, i) => {
    const s = document.getElementById(`panel-window-${i + 1}`);
    if (s) {
      s.textContent = `${i + 1} ${open ? 'open' : '-'}`;
      s.classList.toggle('open', open);
    }
  });
  showLink(state.link);
  takeSounds(state);
  insMap.update(state);
  insHints.update(state);
  insLessons.update(state);
  if (state.plan !== insPanel.planName) {
    insPanel.planName = state.plan;
    showLoadedPlan().catch(showSetError);
  }
}

// The time's state beside the clock: the rate it runs at, or paused. Under `ins-host link`
// FlightGear keeps the time: its pause is the INS's, and so is a link without data.
function showTimeState(state) {
  const shown = document.getElementById('sim-state');
  const link = state.link;
  if (!link) {
    shown.textContent = state.paused ? 'PAUSED' : `${state.rate}x`;
    shown.title = '';
    return;
  }
  shown.textContent = {live: 'FG TIME', paused: 'PAUSED'}[link.state] || 'STOPPED';
  shown.title = link.state === 'live' ? 'The time runs with FlightGear\'s'
    : link.state === 'paused' ? 'FlightGear is paused, and so is the INS'
      : 'No data from FlightGear: the INS\'s time stands';
}

// What steers the aircraft under `ins-host link`, from FlightGear's KAP140 locks (the host's
// own flight phases mean nothing while FlightGear flies).
function linkedAutopilot(link) {
  const ap = link.autopilot || {};
  let text = 'KAP140 not reported';
  if (ap.engaged === false) text = 'autopilot off';
  else if (ap.engaged && ap.heading_mode === true) text = 'KAP140 heading mode';
  else if (ap.engaged && ap.heading_mode === false) text = 'KAP140 roll hold';
  else if (ap.engaged) text = 'KAP140 engaged';
  const fresh = link.state === 'live' || link.state === 'paused';
  return fresh || ap.engaged === null || ap.engaged === undefined ? text : `${text} (last seen)`;
}

// `ins-host link`: one line under the header saying what the link to FlightGear is doing (live,
// paused, no data, not connected); absent under `ins-host serve`.
// While linked, FlightGear flies the aircraft and keeps the time: the page's own controls of
// the simulation and of the aircraft would be overwritten by the next sample, so they are off
// (they still show FlightGear's values).
const LINKED_OFF = '#pause, .rates button, [data-set], #motion, #cruise-alt, #cruise-tas';
let linkedControlsOff = false;

function showLink(link) {
  const line = document.getElementById('link-status');
  line.hidden = !link;
  if (!link) return;
  if (!linkedControlsOff) {
    linkedControlsOff = true;
    for (const control of document.querySelectorAll(LINKED_OFF)) {
      control.disabled = true;
      control.title = 'FlightGear flies the aircraft and keeps the time';
    }
    // Take off and Prepare ask FlightGear (its c172p at 3000 ft and 100 kt, 1 NM ahead).
    document.getElementById('prepare').hidden = false;
    document.getElementById('takeoff').title =
      'FlightGear: into the air 1 NM ahead at 3000 ft and 100 kt, engine running, set for cruise';
  }
  line.dataset.state = link.state;
  line.textContent = link.text;  // names FlightGear's address itself
}

// The connection, in the header, and in a banner across the page when the host will not serve
// this browser (its limit of open panels reached, or another refusal).
function showConnection({state, message}) {
  const status = document.getElementById('connection');
  const banner = document.getElementById('stream-refused');
  const label = {live: 'live', connecting: 'connecting', lost: 'connection lost, retrying',
                 full: 'too many panels open', refused: 'refused'}[state] || state;
  status.textContent = label;
  status.className = `connection ${state === 'live' ? 'live' : state === 'connecting' ? '' : 'lost'}`;
  status.dataset.state = state;
  const refused = state === 'full' || state === 'refused';
  banner.hidden = !refused;
  if (refused) {
    banner.textContent = state === 'full'
      ? `The host will not show this panel live: ${message}. Close the panel in another ` +
        'browser or program; this page tries again by itself.'
      : `The host refused the live panel: ${message}. This page tries again by itself.`;
  }
}

// The live state: one stream for all the tabs of this browser, through a shared worker; where
// the browser has none, a stream of this tab's own.
function connect() {
  const handle = (message) => {
    if (message.kind === 'hello') insPanel.stream = message.stream;
    else if (message.kind === 'status') showConnection(message);
    else if (message.kind === 'state') showState(JSON.parse(message.json));
  };
  if (typeof SharedWorker !== 'function') {
    insPanel.stream = randomId('s');
    openStateStream(insPanel.stream, (json) => handle({kind: 'state', json}),
                    (status) => handle({kind: 'status', ...status}));
    return;
  }
  const worker = new SharedWorker('state-worker.js', {name: 'ins-panel-state'});
  worker.port.onmessage = (event) => handle(event.data);
  window.addEventListener('pagehide', () => worker.port.postMessage('closing'));
  worker.port.start();
}

async function start() {
  bindControls();
  insKeys.start(sendPress, document.getElementById('key-queue'));
  await document.fonts.load('20px "DSEG14 Classic"').catch(() => {});
  const probe = document.createElement('canvas').getContext('2d');
  probe.font = '100px "DSEG14 Classic"';
  const measured = probe.measureText('~~~~~~~~~~').width / 1000;
  if (measured > 0.3 && measured < 2) segmentAdvance = measured;

  const layout = await api('GET', '/api/layout');
  insPanel.layout = layout;
  insPanel.pixelRatio = window.devicePixelRatio || 1;
  insPanel.artScale = insPanel.pixelRatio > 1 ? 2 : 1;
  await preloadBitmaps(layout, insPanel.artScale);
  for (const g of layout.gauges) {
    const container = document.getElementById(`gauge-${g.name}`);
    if (container) buildGauge(g, container);
  }
  buildIcons(layout);
  fitPanel();
  await matchResolution();
  watchDeviceRatio();
  const examples = await api('GET', '/api/examples');
  const select = document.getElementById('examples');
  for (const name of examples.examples) {
    const option = document.createElement('option');
    option.value = option.textContent = name;
    select.appendChild(option);
  }
  insMap.start(document.getElementById('map'));
  await showLoadedPlan();
  await insLessons.start();
  connect();
  document.body.dataset.ready = 'true';
}

start().catch((error) => {
  document.getElementById('connection').textContent = `cannot start: ${error.message}`;
  document.getElementById('connection').className = 'connection lost';
});
