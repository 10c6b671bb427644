// The panel's presses, handed to the host in the order the pilot made them and no faster than the
// CDU takes them. The CDU's sixteen keys each have a latch: a key acts only while its latch is
// free, and every press of it (and every repeat of a held key) latches it for 5 ticks of the
// simulation, 18 ticks to a simulated second. A key pressed again sooner is lost, so typing
// `2530000` at a person's pace would store one 0 where four were keyed. Here a key waits until
// the live state shows its latch let go, and in a frame after the last key; other controls go at
// once, behind it. The simulation's rate does not matter (the wait is counted in ticks), and
// while it is paused no tick passes, so a repeated key holds the queue until it runs again.
'use strict';

const insKeys = (() => {
  const LATCHED = new Set(['HOLD', 'SET', 'INSERT', 'LAST_WPT', 'WYPT_CHG', 'CLEAR',
                           '0', '1', '2', '3', '4', '5', '6', '7', '8', '9']);
  const KEY_LATCH_TICKS = 5;
  // The latch lets go in the first frame whose tick is 5 past the press; one tick more, and a
  // frame run after the press, makes sure the state read is from after that frame.
  const WAIT_TICKS = KEY_LATCH_TICKS + 1;
  const WAIT_FRAMES = 2;
  const SLOW_AFTER_MS = 3000;  // a key waiting longer than this is worth telling the pilot
  const MOST_WAITING = 200;    // past this a key is refused (and the pilot told) rather than kept

  const waiting = [];     // presses not sent yet: {gauge, x, y, control, label, released, queuedAt}
  let current = null;     // the press sent down whose release is not sent yet
  let sending = false;    // a request of this queue is on its way
  const latchedAt = new Map();  // control -> {tick, frame} its latch counts from
  let lastKey = null;     // {frame} of the last CDU key the host took
  let live = null;        // {tick, frame, paused} of the latest state
  let send = null;        // (gauge, x, y, action) -> Promise of the host's reply
  let line = null;        // the element that lists the presses waiting
  let idle = [];          // resolvers of settled(), called once the queue is empty
  let refused = 0;        // presses refused since the queue was last empty
  let ticker = null;      // refreshes the line while presses wait (no state comes while paused)

  // One CDU key a frame: the CDU draws what a key did at the next frame, and some of it only
  // then (SET reads the stored waypoint there; the left display shows the whole latitude only if
  // a frame drew it before the longitude's first key), as a pilot's finger never outruns it.
  // The wheels and knobs act at once and draw nothing of their own, so they go while paused.
  function frameSinceLastKey(control) {
    if (!LATCHED.has(control) || !lastKey) return true;
    return live !== null && live.frame > lastKey.frame;
  }

  function latchFree(control) {
    if (!LATCHED.has(control)) return true;
    const from = latchedAt.get(control);
    if (!from) return true;
    if (!live || live.frame < from.frame + WAIT_FRAMES) return false;
    // A tick set back (the `tick` condition) ends every latch at the next frame.
    return live.tick >= from.tick + WAIT_TICKS || live.tick < from.tick;
  }

  function remember(entry, action, reply) {
    if (!LATCHED.has(entry.control) || !reply || !Number.isFinite(reply.tick)) return;
    latchedAt.set(entry.control, {tick: reply.tick, frame: reply.frame});
    if (action === 'down') lastKey = {frame: reply.frame};
  }

  async function transmit(entry, action) {
    sending = true;
    try {
      remember(entry, action, await send(entry.gauge, entry.x, entry.y, action));
    } catch (e) {
      // The host said why (shown by the sender); the queue goes on with the next press.
    } finally {
      sending = false;
    }
  }

  // Sends what may go now; called again whenever a state, a release or a reply arrives.
  async function pump() {
    while (!sending) {
      if (current) {
        if (!current.released) break;
        const done = current;
        current = null;
        await transmit(done, 'up');
        continue;
      }
      const next = waiting[0];
      if (!next || !frameSinceLastKey(next.control) || !latchFree(next.control)) break;
      waiting.shift();
      current = next;
      await transmit(next, 'down');
    }
    if (!current && waiting.length === 0 && !sending) {
      idle.forEach((resolve) => resolve());
      idle = [];
    }
    show();
  }

  function status() {
    const oldest = waiting.length ? Date.now() - waiting[0].queuedAt : 0;
    return {labels: waiting.map((e) => e.label), slow: oldest > SLOW_AFTER_MS,
            paused: !!(live && live.paused), refused};
  }

  function show() {
    if (!line) return;
    const {labels, slow, paused, refused: lost} = status();
    line.hidden = labels.length === 0 && lost === 0;
    line.classList.toggle('slow', slow || lost > 0);
    line.dataset.waiting = String(labels.length);
    let text = labels.length ? `Keys waiting for the CDU: ${labels.join(' ')}` : '';
    if (slow) {
      text += paused
        ? ' (the simulation is paused: they go when it runs)'
        : ` (a key pressed again waits ${KEY_LATCH_TICKS} ticks, ` +
          `${(KEY_LATCH_TICKS / 18).toFixed(2)} s at 1x, for the CDU to take it)`;
    }
    if (lost) text += `${text ? '. ' : ''}${lost} later keys were refused: ${MOST_WAITING} were waiting.`;
    line.textContent = text;
    if (labels.length && !ticker) {
      ticker = setInterval(show, 500);
    } else if (!labels.length && ticker) {
      clearInterval(ticker);
      ticker = null;
      refused = 0;
    }
  }

  return {
    // `sender(gauge, x, y, action)` sends a mouse request; `element` lists the presses waiting.
    start(sender, element) {
      send = sender;
      line = element;
      show();
    },

    // A press of `control` (null where the point is on no named control) at a gauge pixel; the
    // returned handle is given to release() when the button or key goes up. Null if refused.
    press(gauge, x, y, control, label) {
      if (waiting.length >= MOST_WAITING) {
        ++refused;
        show();
        return null;
      }
      const entry = {gauge, x, y, control, label: label || (control || gauge).replace('_', ' '), released: false,
                     queuedAt: Date.now()};
      waiting.push(entry);
      pump();
      return entry;
    },

    release(entry) {
      if (!entry || entry.released) return;
      entry.released = true;
      pump();
    },

    // Every press let go: the window lost the focus, so the key-ups will not come.
    releaseAll() {
      for (const entry of waiting) entry.released = true;
      if (current) current.released = true;
      pump();
    },

    // The press the host holds for this tab now, if any.
    held() { return current && !current.released ? current : null; },

    observe(state) {
      live = {tick: state.tick, frame: state.frame, paused: state.paused};
      if (waiting.length || current) pump();
    },

    // The presses still to go, and whether the oldest has waited long.
    status,

    // Resolves once every press made so far has been handed to the host.
    settled() {
      if (!current && waiting.length === 0 && !sending) return Promise.resolve();
      return new Promise((resolve) => idle.push(resolve));
    },
  };
})();
window.insKeys = insKeys;
