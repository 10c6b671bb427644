// The Lessons card: walks the pilot through a lesson (docs/lessons/*.lesson, served by
// /api/lessons) one step at a time. Each step's instruction shows with its control outlined on
// the panel; the step is done when the panel's published state shows what its `done`
// expectations say (never on a button), and its explanation shows then. While a step is not
// done, a state matching one of its wrong moves says what the panel shows and why.
'use strict';

const insLessons = {
  lessons: [],
  lesson: null,      // the lesson being followed
  step: 0,           // its current step's index (steps.length: finished)
  explained: null,   // the explanation of the step done last
  linked: false,     // under `ins-host link`: lessons needing the host's own aircraft are hidden
  shown: '',         // what the card shows, to redraw only on a change

  // The panel works without its lessons: a server that cannot list them leaves the card saying so.
  async start() {
    const body = await api('GET', '/api/lessons').catch((error) => {
      document.getElementById('lesson-errors').textContent = `No lessons: ${error.message}`;
      return {lessons: [], errors: []};
    });
    insLessons.lessons = body.lessons || [];
    if ((body.errors || []).length) {
      document.getElementById('lesson-errors').textContent =
        `Not offered: ${body.errors.join('; ')}`;
    }
    insLessons.fillPicker();
    document.getElementById('lesson-start').addEventListener('click', () => {
      insLessons.begin(document.getElementById('lesson-pick').value).catch(insLessons.showError);
    });
    document.getElementById('lesson-stop').addEventListener('click', () => insLessons.stop());
    document.getElementById('lesson-rate').addEventListener('click', (event) => {
      insLessons.post('/api/sim', {rate: Number(event.target.dataset.rate)}).catch(insLessons.showError);
    });
  },

  offered() {
    return insLessons.lessons.filter((lesson) => !(insLessons.linked && lesson.aircraft));
  },

  fillPicker() {
    const select = document.getElementById('lesson-pick');
    select.replaceChildren(...insLessons.offered().map((lesson) => {
      const option = document.createElement('option');
      option.value = lesson.name;
      option.textContent = lesson.title;
      return option;
    }));
  },

  // Through the page's own request chain (app.js), in order with the panel's presses.
  post(path, body) {
    return api('POST', path, body);
  },

  // A lesson that needs the host's aircraft puts it where it starts (its `set` lines) first.
  async begin(name) {
    const lesson = insLessons.lessons.find((l) => l.name === name);
    if (!lesson) return;
    if (lesson.aircraft && !insLessons.linked) {
      for (const condition of lesson.conditions) await insLessons.post('/api/set', condition);
    }
    Object.assign(insLessons, {lesson, step: 0, explained: null, shown: ''});
    document.getElementById('lesson-message').textContent = '';
    if (window.insPanel.state) insLessons.update(window.insPanel.state);
  },

  stop() {
    Object.assign(insLessons, {lesson: null, step: 0, explained: null, shown: ''});
    insLessons.show(null);
  },

  showError(error) {
    document.getElementById('lesson-message').textContent = `Cannot start the lesson: ${error.message}`;
  },

  holds(e, state) {
    if (e.kind === 'text') return state.windows[e.name] === e.value;
    if (e.kind === 'visible') return (state.visible[e.gauge] || {})[e.name] === e.value;
    if (e.kind === 'image') return (state.images[e.gauge] || {})[e.name] === e.value;
    return false;
  },

  update(state) {
    const linked = !!state.link;
    if (linked !== insLessons.linked) {
      insLessons.linked = linked;
      insLessons.fillPicker();
    }
    const lesson = insLessons.lesson;
    if (!lesson) return;
    while (insLessons.step < lesson.steps.length &&
           lesson.steps[insLessons.step].done.every((e) => insLessons.holds(e, state))) {
      insLessons.explained = {number: insLessons.step + 1, text: lesson.steps[insLessons.step].explain};
      insLessons.step += 1;
    }
    const step = lesson.steps[insLessons.step];
    const wrong = step && step.wrong.find((w) => w.when.every((e) => insLessons.holds(e, state)));
    insLessons.show({lesson, step, wrong});
  },

  show(view) {
    const key = view ? JSON.stringify([view.lesson.name, insLessons.step, view.wrong?.tell,
                                       insLessons.explained?.number]) : '';
    if (key === insLessons.shown) return;
    insLessons.shown = key;
    const card = document.getElementById('lessons');
    document.getElementById('lesson-body').hidden = !view;
    card.dataset.step = view ? String(insLessons.step + 1) : '';
    insLessons.outline(view && view.step ? view.step.outline : []);
    if (!view) return;
    const {lesson, step, wrong} = view;
    const total = lesson.steps.length;
    document.getElementById('lesson-title').textContent = lesson.title;
    document.getElementById('lesson-about').textContent = lesson.about;
    document.getElementById('lesson-progress').textContent =
      step ? `Step ${insLessons.step + 1} of ${total}` : `All ${total} steps done`;
    document.getElementById('lesson-instruction').textContent =
      step ? step.instruction : 'Lesson complete. Pick another one above.';
    const rate = document.getElementById('lesson-rate');
    rate.hidden = !step || !step.offer_rate || insLessons.linked;
    if (step && step.offer_rate) {
      rate.dataset.rate = step.offer_rate;
      rate.textContent = `Run the clock at ${step.offer_rate}x`;
    }
    const told = document.getElementById('lesson-wrong');
    told.hidden = !wrong;
    told.textContent = wrong ? wrong.tell : '';
    const explained = document.getElementById('lesson-explained');
    explained.hidden = !insLessons.explained;
    if (insLessons.explained) {
      explained.dataset.step = insLessons.explained.number;
      explained.textContent = `Step ${insLessons.explained.number} done: ${insLessons.explained.text}`;
    }
  },

  // The step's controls, outlined over their click areas on the panel.
  outline(controls) {
    document.querySelectorAll('.lesson-outline').forEach((box) => box.remove());
    for (const {gauge, control} of controls) {
      const layout = window.insPanel.layout?.gauges.find((g) => g.name === gauge);
      const area = layout && layout.mouse.find((m) => m.control === control);
      const container = document.getElementById(`gauge-${gauge}`);
      if (!area || !container) continue;
      const box = document.createElement('div');
      box.className = 'lesson-outline';
      box.dataset.control = `${gauge} ${control}`;
      Object.assign(box.style, {left: `${area.x - 3}px`, top: `${area.y - 3}px`,
                                width: `${area.width + 6}px`, height: `${area.height + 6}px`});
      container.appendChild(box);
    }
  },
};
window.insLessons = insLessons;
