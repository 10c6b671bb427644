// The moving map: Natural Earth coastlines (bundled at build time), the plan last loaded (thin,
// amber, before and after the INS imports it), the waypoints the INS holds in WAYPOINTS.DAT
// with their numbers, the FROM-TO leg as the great circle the INS flies, and
// the aircraft with its track and its trail. North up, in an azimuthal equidistant projection
// around the map's centre, so distances from the centre are true.
'use strict';

const NM_PER_RADIAN = 3437.7467707849396;
const SVG_NS = 'http://www.w3.org/2000/svg';
const TRAIL_POINTS = 1500;  // the trail keeps at most this many points, thinning the oldest
// Where a label may go round its point, as the top left corner of a label of width w and height
// h: right of the point above and below it, left of it, above, below, then further out.
const LABEL_PLACES = [
  [() => 7, (h) => -h + 2], [() => 7, () => 2], [(w) => -7 - w, (h) => -h + 2],
  [(w) => -7 - w, () => 2], [(w) => -w / 2, (h) => -7 - h], [(w) => -w / 2, () => 7],
  [() => 9, (h) => -h / 2], [(w) => -9 - w, (h) => -h / 2],
  [() => 7, (h) => -2 * h - 2], [() => 7, (h) => h + 4], [(w) => -7 - w, (h) => -2 * h - 2],
  [(w) => -7 - w, (h) => h + 4],
];

function svg(tag, attributes = {}, parent = null) {
  const node = document.createElementNS(SVG_NS, tag);
  for (const [k, v] of Object.entries(attributes)) node.setAttribute(k, v);
  if (parent) parent.appendChild(node);
  return node;
}

// The point `distance_nm` from (lat, lon) along the initial course `course_deg`, on the sphere.
function destination(lat_deg, lon_deg, course_deg, distance_nm) {
  const r = Math.PI / 180;
  const d = distance_nm / NM_PER_RADIAN;
  const lat1 = lat_deg * r, lon1 = lon_deg * r, c = course_deg * r;
  const lat2 = Math.asin(Math.sin(lat1) * Math.cos(d) + Math.cos(lat1) * Math.sin(d) * Math.cos(c));
  const lon2 = lon1 + Math.atan2(Math.sin(c) * Math.sin(d) * Math.cos(lat1),
                                 Math.cos(d) - Math.sin(lat1) * Math.sin(lat2));
  return [((lon2 / r + 540) % 360) - 180, lat2 / r];
}

// A "nice" length for the scale bar: 1, 2 or 5 times a power of ten, at most `max_nm`.
function niceLength(max_nm) {
  const power = Math.pow(10, Math.floor(Math.log10(max_nm)));
  for (const m of [5, 2, 1]) if (m * power <= max_nm) return m * power;
  return power;
}

const insMap = {
  root: null, canvas: null, overlay: null, width: 0, height: 0,
  land50: null, land110: null,
  centre: [0, 0], range_nm: 200, follow: false,
  waypoints: [], waypointsStamp: null, plan: null,
  trail: [], lastState: null, landKey: '',

  async start(root) {
    this.root = root;
    this.canvas = document.createElement('canvas');
    this.overlay = svg('svg', {id: 'map-overlay', 'aria-label': 'Map'});
    root.append(this.canvas, this.overlay);
    this.resize();
    window.addEventListener('resize', () => { this.resize(); this.draw(true); });
    document.getElementById('map-range').addEventListener('change', (event) => {
      this.range_nm = Number(event.target.value);
      this.draw(true);
    });
    document.getElementById('map-follow').addEventListener('change', (event) => {
      this.follow = event.target.checked;
      this.draw(true);
    });
    document.getElementById('map-fit').addEventListener('click', () => this.fit());
    const [l50, l110] = await Promise.all(
      ['maps/land-50m.json', 'maps/land-110m.json'].map((u) => fetch(u).then((r) => r.json())));
    this.land50 = topojson.feature(l50, l50.objects.land);
    this.land110 = topojson.feature(l110, l110.objects.land);
    this.draw(true);
  },

  // The land is drawn on a canvas larger than the map by a margin all round, for a centre of its
  // own; while the map's centre stays near it the canvas is only shifted, and redrawn (a tenth
  // of a second for the detailed coastlines) once the map has moved a good way.
  resize() {
    this.width = this.root.clientWidth;
    this.height = this.root.clientHeight;
    this.margin = Math.round(Math.min(this.width, this.height) * 0.35);
    const ratio = window.devicePixelRatio || 1;
    const w = this.width + 2 * this.margin, h = this.height + 2 * this.margin;
    this.canvas.width = w * ratio;
    this.canvas.height = h * ratio;
    this.canvas.style.width = `${w}px`;
    this.canvas.style.height = `${h}px`;
    this.landKey = '';
    this.overlay.setAttribute('width', this.width);
    this.overlay.setAttribute('height', this.height);
  },

  projection() {
    const radius_px = Math.min(this.width, this.height) / 2;
    return d3.geoAzimuthalEquidistant()
      .rotate([-this.centre[0], -this.centre[1]])
      .scale(radius_px / (this.range_nm / NM_PER_RADIAN))
      .translate([this.width / 2, this.height / 2])
      .clipAngle(170)
      .precision(0.3);
  },

  showPlan(plan) {
    this.plan = plan;
    this.trail = [];
    this.fit(plan.waypoints.map((w) => [w.lon_east_deg, w.lat_deg]));
  },

  // Centres the map on the waypoints (or the points given) and picks the range that holds them.
  fit(points) {
    let pts = points;
    if (!pts) {
      pts = this.shownWaypoints().map((w) => [w.lon_east_deg, w.lat_deg]);
      if (this.lastState) pts.push([this.lastState.aircraft.lon_east_deg, this.lastState.aircraft.lat_deg]);
    }
    if (!pts.length) return;
    const centre = d3.geoCentroid({type: 'MultiPoint', coordinates: pts});
    this.centre = pts.length === 1 ? pts[0] : centre;
    const far_nm = Math.max(...pts.map((p) => d3.geoDistance(p, this.centre) * NM_PER_RADIAN));
    const select = document.getElementById('map-range');
    const ranges = [...select.options].map((o) => Number(o.value));
    this.range_nm = ranges.find((r) => r >= far_nm * 1.15) || ranges[ranges.length - 1];
    select.value = String(this.range_nm);
    this.draw(true);
  },

  // Waypoints worth showing: every one but the empty lines an import leaves (0, 0), unless it is
  // the FROM or TO waypoint.
  shownWaypoints() {
    const leg = this.leg();
    return this.waypoints.filter((w) => w.lat_deg !== 0 || w.lon_east_deg !== 0 ||
                                         (leg && (w.number === leg.from || w.number === leg.to)));
  },

  leg() {
    const s = this.lastState;
    if (!s) return null;
    const from = parseInt(s.windows.from, 10), to = parseInt(s.windows.to, 10);
    return Number.isNaN(from) || Number.isNaN(to) ? null : {from, to};
  },

  async update(state) {
    this.lastState = state;
    if (state.waypoints_stamp !== this.waypointsStamp) {
      this.waypointsStamp = state.waypoints_stamp;
      try {
        const data = await (await fetch('/api/waypoints')).json();
        this.waypoints = data.waypoints;
      } catch (e) {
        this.waypoints = [];
      }
      this.draw(true);
    }
    const a = state.aircraft;
    const here = [a.lon_east_deg, a.lat_deg];
    let last = this.trail[this.trail.length - 1];
    // A jump (a position set by hand, a plan loaded) starts a new trail rather than a long line.
    if (last && d3.geoDistance(last, here) * NM_PER_RADIAN > 30) {
      this.trail = [];
      last = undefined;
    }
    if (!last || d3.geoDistance(last, here) * NM_PER_RADIAN > this.range_nm / 400) {
      this.trail.push(here);
      if (this.trail.length > TRAIL_POINTS) this.trail = this.trail.filter((p, i) => i % 2 === 0 || i > TRAIL_POINTS / 2);
    }
    if (this.follow) {
      this.centre = here;
    } else {
      const p = this.projection()(here);
      const margin = 0.08;
      if (!p || p[0] < this.width * margin || p[0] > this.width * (1 - margin) ||
          p[1] < this.height * margin || p[1] > this.height * (1 - margin)) {
        // The aircraft is leaving the map: move the map so it comes in from the edge behind it.
        const ahead = destination(a.lat_deg, a.lon_east_deg, a.track_true_deg, this.range_nm * 0.6);
        this.centre = a.gs_kt > 30 ? ahead : here;
      }
    }
    this.draw(false);
  },

  draw(landToo) {
    if (!this.width) return;
    const projection = this.projection();
    const key = `${this.range_nm}|${this.width}x${this.height}|${!!this.land50}`;
    const drift_nm = this.landCentre ? d3.geoDistance(this.landCentre, this.centre) * NM_PER_RADIAN : Infinity;
    if ((landToo && drift_nm > 0) || key !== this.landKey || drift_nm > this.range_nm * 0.3) {
      this.drawLand(key);
    }
    // Shift the land canvas so its centre's point sits where the map now shows it.
    const p = this.landProjection(this.width / 2 + this.margin, this.height / 2 + this.margin)(this.centre);
    const dx = p ? p[0] - this.width / 2 - this.margin : 0, dy = p ? p[1] - this.height / 2 - this.margin : 0;
    this.canvas.style.transform = `translate(${(-this.margin - dx).toFixed(1)}px, ${(-this.margin - dy).toFixed(1)}px)`;
    this.drawOverlay(projection);
  },

  // The projection the land canvas was drawn in, centred at (cx, cy) of that canvas.
  landProjection(cx, cy) {
    const c = this.landCentre || this.centre;
    const radius_px = Math.min(this.width, this.height) / 2;
    const reach_deg = Math.min(170, (this.range_nm / 60) * 4);
    return d3.geoAzimuthalEquidistant()
      .rotate([-c[0], -c[1]])
      .scale(radius_px / (this.range_nm / NM_PER_RADIAN))
      .translate([cx, cy])
      .clipAngle(reach_deg)
      .clipExtent([[0, 0], [this.width + 2 * this.margin, this.height + 2 * this.margin]])
      .precision(0);
  },

  drawLand(key) {
    this.landKey = key;
    this.landCentre = this.centre;
    const w = this.width + 2 * this.margin, h = this.height + 2 * this.margin;
    const projection = this.landProjection(w / 2, h / 2);
    const ratio = window.devicePixelRatio || 1;
    const ctx = this.canvas.getContext('2d');
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    ctx.fillStyle = '#0e1a24';
    ctx.fillRect(0, 0, w, h);
    const path = d3.geoPath(projection, ctx);
    ctx.beginPath();
    path(d3.geoGraticule().step(this.range_nm > 800 ? [10, 10] : [2, 2])());
    ctx.strokeStyle = '#1b2d3b';
    ctx.lineWidth = 1;
    ctx.stroke();
    const land = this.range_nm >= 800 ? this.land110 : this.land50;
    if (land) {
      ctx.beginPath();
      path(land);
      ctx.fillStyle = '#23302a';
      ctx.fill();
      ctx.strokeStyle = '#5d7f66';
      ctx.lineWidth = 1;
      ctx.stroke();
    }
  },

  // The loaded plan, thin and amber under all else, a small square at each of its waypoints;
  // returns the labels it asks for (its first and last waypoints' names: one where a plan ends
  // where it began).
  drawPlan(path, projection, symbols) {
    const root = this.overlay;
    const waypoints = this.plan.waypoints;
    svg('path', {id: 'map-plan', d: path({type: 'LineString', coordinates:
      waypoints.map((w) => [w.lon_east_deg, w.lat_deg])}) || '', fill: 'none', stroke: '#c8a050',
      'stroke-width': 1, opacity: 0.85, 'data-waypoints': waypoints.length}, root);
    const labels = [];
    waypoints.forEach((w, i) => {
      const p = projection([w.lon_east_deg, w.lat_deg]);
      if (!p) return;
      const mark = svg('rect', {x: (p[0] - 2.5).toFixed(1), y: (p[1] - 2.5).toFixed(1), width: 5, height: 5,
                                fill: 'none', stroke: '#c8a050', 'data-plan-waypoint': w.ident}, root);
      svg('title', {}, mark).textContent = w.ident;
      symbols.push({x: p[0] - 3, y: p[1] - 3, w: 6, h: 6});
      if (i !== 0 && i !== waypoints.length - 1) return;
      const first = waypoints[0];
      const again = i > 0 && w.ident === first.ident && w.lat_deg === first.lat_deg &&
        w.lon_east_deg === first.lon_east_deg;
      if (!again) labels.push({p, text: w.ident, attributes: {fill: '#e0c080', 'data-plan-label': w.ident}});
    });
    return labels;
  },

  drawOverlay(projection) {
    const root = this.overlay;
    root.textContent = '';
    const path = d3.geoPath(projection);
    const symbols = [];  // boxes no label may cover: the waypoints, the aircraft, the scale
    const planLabels = this.plan ? this.drawPlan(path, projection, symbols) : [];
    this.drawLegs(path);
    const plane = this.drawTrack(path, projection);
    // (The aircraft's symbol, turned any way, and a little room round it.)
    if (plane) symbols.push({x: plane[0] - 16, y: plane[1] - 16, w: 32, h: 32});
    const waypointLabels = this.drawWaypoints(projection, symbols);
    symbols.push(...this.drawScale(projection));
    // The FROM and TO waypoints' numbers first, so they are the last to be crowded out.
    const byImportance = [...waypointLabels.filter((l) => l.active), ...planLabels,
                          ...waypointLabels.filter((l) => !l.active)];
    this.placeLabels(byImportance, symbols);
    if (plane) this.drawAircraft(plane);
  },

  // The plan's legs faintly, the INS's FROM-TO leg in magenta over them.
  drawLegs(path) {
    const root = this.overlay;
    const route = this.shownWaypoints().filter((w) => w.number > 0).map((w) => [w.lon_east_deg, w.lat_deg]);
    if (route.length > 1) {
      svg('path', {d: path({type: 'LineString', coordinates: route}), fill: 'none',
                   stroke: '#5c7288', 'stroke-width': 1.2, 'stroke-dasharray': '6 4'}, root);
    }
    const leg = this.leg();
    const byNumber = new Map(this.waypoints.map((w) => [w.number, w]));
    if (leg && byNumber.has(leg.from) && byNumber.has(leg.to) && leg.from !== leg.to) {
      const f = byNumber.get(leg.from), t = byNumber.get(leg.to);
      svg('path', {id: 'map-leg', d: path({type: 'LineString', coordinates:
        [[f.lon_east_deg, f.lat_deg], [t.lon_east_deg, t.lat_deg]]}) || '',
        fill: 'none', stroke: '#e040e0', 'stroke-width': 2.5, 'data-from': leg.from, 'data-to': leg.to}, root);
    }
  },

  // The trail and the aircraft's track ahead (ten minutes at its ground speed); returns where
  // the aircraft is on the map, if it is.
  drawTrack(path, projection) {
    const root = this.overlay;
    if (this.trail.length > 1) {
      svg('path', {d: path({type: 'LineString', coordinates: this.trail}) || '', fill: 'none',
                   stroke: '#f0d060', 'stroke-width': 1.2, opacity: 0.7}, root);
    }
    const s = this.lastState;
    if (!s) return null;
    const a = s.aircraft;
    const here = [a.lon_east_deg, a.lat_deg];
    if (a.gs_kt > 5) {
      const ahead = destination(a.lat_deg, a.lon_east_deg, a.track_true_deg, a.gs_kt / 6);
      svg('path', {d: path({type: 'LineString', coordinates: [here, ahead]}) || '', fill: 'none',
                   stroke: '#ffffff', 'stroke-width': 1.5, 'stroke-dasharray': '3 3'}, root);
    }
    return projection(here);
  },

  // The waypoints the INS holds, as circles (the TO waypoint filled); returns the labels they
  // ask for, their numbers.
  drawWaypoints(projection, symbols) {
    const leg = this.leg();
    const labels = [];
    for (const w of this.shownWaypoints()) {
      const p = projection([w.lon_east_deg, w.lat_deg]);
      if (!p || p[0] < -10 || p[1] < -10 || p[0] > this.width + 10 || p[1] > this.height + 10) continue;
      const active = !!leg && (w.number === leg.to || w.number === leg.from);
      svg('circle', {cx: p[0].toFixed(1), cy: p[1].toFixed(1), r: active ? 5 : 4,
                     fill: w.number === (leg && leg.to) ? '#e040e0' : '#0e1a24',
                     stroke: '#6fd0f0', 'stroke-width': 2, 'data-waypoint': w.number}, this.overlay);
      symbols.push({x: p[0] - 6, y: p[1] - 6, w: 12, h: 12});
      labels.push({p, active, text: String(w.number).padStart(2, '0'), attributes: {
        fill: active ? '#ffffff' : '#9fdcf0', 'font-weight': active ? 'bold' : 'normal',
        'data-label': w.number}});
    }
    return labels;
  },

  // Each label goes beside its point where it covers no symbol and no label placed before it,
  // measured as the browser draws it, trying the places round the point nearest first; where
  // every place is taken it is left out rather than drawn over another.
  placeLabels(labels, symbols) {
    const taken = [...symbols];
    const overlaps = (a, b) => a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
    const fits = (box) => box.x >= 0 && box.y >= 0 && box.x + box.w <= this.width &&
      box.y + box.h <= this.height && !taken.some((t) => overlaps(box, t));
    for (const {p, text, attributes} of labels) {
      const node = svg('text', {...attributes, x: 0, y: 0}, this.overlay);
      node.textContent = text;
      const size = node.getBBox();
      const w = size.width || 7 * text.length, h = size.height || 13;
      const box = LABEL_PLACES.map(([fx, fy]) => ({x: p[0] + fx(w), y: p[1] + fy(h), w, h}))
        .find(fits);
      if (!box) {
        node.remove();
        continue;
      }
      taken.push(box);
      // The text's box starts `size.y` above its baseline (negative: the ascent).
      node.setAttribute('x', (box.x - (size.x || 0)).toFixed(1));
      node.setAttribute('y', (box.y - (size.y || -10)).toFixed(1));
    }
  },

  drawAircraft(plane) {
    const a = this.lastState.aircraft;
    const g = svg('g', {id: 'map-aircraft', transform:
      `translate(${plane[0].toFixed(1)},${plane[1].toFixed(1)}) rotate(${a.heading_true_deg.toFixed(1)})`,
      'data-lat': a.lat_deg.toFixed(6), 'data-lon': a.lon_east_deg.toFixed(6),
      'data-x': plane[0].toFixed(1), 'data-y': plane[1].toFixed(1)}, this.overlay);
    svg('path', {d: 'M0,-11 L2,-4 L10,2 L10,4 L2,1 L1.5,7 L4,9.5 L4,11 L0,10 L-4,11 L-4,9.5 L-1.5,7 L-2,1 L-10,4 L-10,2 L-2,-4 Z',
                 fill: '#ffd24a', stroke: '#1a1a1a', 'stroke-width': 1}, g);
  },

  // The scale bar, bottom left, and the credit, top right; returns the boxes they cover.
  drawScale(projection) {
    const root = this.overlay;
    const px_per_nm = projection.scale() / NM_PER_RADIAN;
    const bar_nm = niceLength((this.width * 0.25) / px_per_nm);
    const bar_px = bar_nm * px_per_nm;
    const y = this.height - 14;
    const scale = svg('g', {id: 'map-scale'}, root);
    svg('path', {d: `M12,${y - 5} V${y} H${12 + bar_px} V${y - 5}`, fill: 'none', stroke: '#e8e6dc',
                 'stroke-width': 1.5}, scale);
    svg('text', {x: 16 + bar_px, y: y + 1, fill: '#e8e6dc'}, scale).textContent = `${bar_nm} NM`;
    const credit = svg('text', {x: this.width - 12, y: 18, fill: '#8c8f93', 'text-anchor': 'end'}, root);
    // Natural Earth's 1:50m coastlines stray by up to a mile or so: at the small ranges a c172p's
    // legs are flown at, the map says so rather than let a runway seem to lie in the sea.
    const coarse = this.range_nm < 25 ? ' (approximate at this range)' : '';
    credit.textContent = `N \u2191  coastlines: Natural Earth${coarse}`;
    return [scale, credit].map((node) => {
      const b = node.getBBox();
      return {x: b.x - 2, y: b.y - 2, w: b.width + 4, h: b.height + 4};
    });
  },
};
window.insMap = insMap;
