// Shared by the web panel's benchmarks: the latency from a click on the CDU in the page to the
// changed text of its left window, measured inside the page (mousedown dispatched on the
// gauge's pixel, the change seen by a MutationObserver). The data selector is clicked clockwise
// and back; with the mode knob at STBY or beyond and different positions in POS and WAY PT, each
// click changes the left window.

// {median, p90, max} in ms of `count` clicks, 150 ms apart.
export async function clickLatencies(page, layout, count) {
  const centre = (control) => {
    const b = layout.gauges.find((g) => g.name === 'INS').mouse.find((m) => m.control === control);
    return {x: b.x + b.width / 2, y: b.y + b.height / 2};
  };
  const latencies = [];
  for (let i = 0; i < count; ++i) {
    const control = i % 2 === 0 ? 'SEL_CW' : 'SEL_CCW';
    const ms = await page.evaluate(({x, y}) => new Promise((resolve) => {
      const gauge = document.getElementById('gauge-INS');
      const target = document.querySelector('[data-window="left"]');
      const rect = gauge.getBoundingClientRect();
      const before = target.textContent;
      const t0 = performance.now();
      setTimeout(() => resolve(NaN), 5000);
      const observer = new MutationObserver(() => {
        if (target.textContent !== before) {
          observer.disconnect();
          resolve(performance.now() - t0);
        }
      });
      observer.observe(target, {childList: true, characterData: true, subtree: true});
      const at = {clientX: rect.left + x, clientY: rect.top + y, bubbles: true, button: 0};
      gauge.dispatchEvent(new MouseEvent('mousedown', at));
      window.dispatchEvent(new MouseEvent('mouseup', at));
    }), centre(control));
    if (Number.isNaN(ms)) throw new Error(`no change of the left window after ${control}`);
    latencies.push(ms);
    if (process.env.BENCH_VERBOSE) console.log(control, ms);
    await page.waitForTimeout(150);
  }
  latencies.sort((a, b) => a - b);
  const at = (q) => latencies[Math.min(latencies.length - 1, Math.floor(q * latencies.length))];
  return {median: at(0.5), p90: at(0.9), max: latencies[latencies.length - 1]};
}

// "median 42.3 ms, 90th percentile 76.5 ms, max 110.4 ms (20 clicks at 1x)"
export function clickFigures({median, p90, max}, count) {
  return `median ${median.toFixed(1)} ms, 90th percentile ${p90.toFixed(1)} ms, ` +
         `max ${max.toFixed(1)} ms (${count} clicks at 1x)`;
}
