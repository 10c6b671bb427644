// The hints under the panel: why the INS stays silent where it does so by design (an alignment
// at status 0, a HOLD press refused, AUTO or MAN without HOLD). The host works them out from the
// panel, the aircraft and the waypoint file, and sends them with every state as `hints`; this
// only lists them, each tagged with the control it concerns.
'use strict';

const insHints = {
  shown: '',

  update(state) {
    const hints = state.hints || [];
    const text = JSON.stringify(hints);
    if (text === insHints.shown) return;  // the list is redrawn only when it changes
    insHints.shown = text;
    const list = document.getElementById('hints');
    list.replaceChildren(...hints.map((hint) => {
      const item = document.createElement('li');
      item.dataset.hint = hint.id;
      const control = document.createElement('span');
      control.className = 'hint-control';
      control.textContent = hint.control.replace('_', '/');
      item.append(control, ' ', hint.text);
      return item;
    }));
    list.hidden = hints.length === 0;
  },
};
window.insHints = insHints;
