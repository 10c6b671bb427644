#!/usr/bin/env python3
"""Writes the SVG source of every panel bitmap of the INS gauges.

    make_art.py OUTPUT_FOLDER     one <id>.svg per bitmap (and <id>.cover.svg where the
                                  bitmap has a transparent surround), then bitmaps.txt
    make_art.py --list            prints "<id> <width> <height> cover|opaque" for every bitmap

The CDU face (4096) and the mode-selector face (4185) are each drawn once, from one table of
colours and one definition of every part (key cap, lamp lens, knob, screw). Every lit, pressed,
knob and switch image is the same face drawing in another state, cut out at the element's box
(the SVG's viewBox), so it lines up with the face pixel for pixel wherever the element chain
places it. The images with a transparent surround (the knobs, the AUTO/MAN switch, the icons)
come with a second drawing, the part alone, whose coverage says which pixels are drawn: the
renderer makes every other pixel pure black, which the simulator does not draw on elements with
the transparency flag. Nothing else in any bitmap is pure black (the display glass is 8, 8, 8).

Text is set in DejaVu Sans Condensed Bold at the final pixel size; rsvg-convert renders every
drawing at 1:1, so nothing is resampled. Standard library only.
"""

import math
import os
import sys

# ------------------------------------------------------------------------------------------------
# One table of colours.
# ------------------------------------------------------------------------------------------------
PALETTE = {
    # The panel: matte dark grey, a faint vertical gradient, bevelled edge, screws.
    "panel_top": "#3d4044",
    "panel_bottom": "#2e3034",
    "bevel_light": "#5a5e63",
    "bevel_dark": "#1c1d1f",
    "screw": "#8a8d90",
    "screw_rim": "#55585c",
    "screw_slot": "#26272a",
    # Engraved legends on the panel: light paint with a dark lower edge.
    "legend": "#e8e6dc",
    "legend_shadow": "#1a1b1d",
    # The wells keys and lamps sit in: recessed, shadow top-left, light bottom-right.
    "well": "#1f2023",
    "well_shadow": "#121315",
    "well_light": "#4d5156",
    # Key caps: warm off-white with dark legends.
    "cap_top": "#e3e0d6",
    "cap_bottom": "#c9c5b9",
    "cap_pressed_top": "#cbc7bb",
    "cap_pressed_bottom": "#b9b5a9",
    "cap_edge_light": "#f8f6ef",
    "cap_edge_dark": "#8c887d",
    "cap_legend": "#1d1d1d",
    "cap_shadow": "#0e0f11",
    # Display glass behind the amber text: near-black, never pure black.
    "glass": "#080808",
    "glass_frame": "#16171a",
    # Lamp and lit-key colours: the glowing core and its edge.
    "amber_core": "#ffb83c",
    "amber_edge": "#c07a10",
    "amber_legend": "#3a2204",
    "red_core": "#ff3b2f",
    "red_edge": "#b01c12",
    "green_core": "#4cff6a",
    "green_edge": "#1f9a35",
    # Knobs: a dark knurled skirt and a lighter pointer bar with a white index line.
    "knob_skirt_light": "#3a3c40",
    "knob_skirt_dark": "#17181a",
    "knob_knurl": "#0f1012",
    "knob_bar_light": "#6a6e74",
    "knob_bar_dark": "#3b3e42",
    "knob_index": "#f2f0e8",
    # Thumbwheel drum: white digits on a dark drum.
    "drum_light": "#34363a",
    "drum_dark": "#0c0d0e",
    "drum_digit": "#f2f0e8",
    # Pure black: the colour the simulator does not draw.
    "transparent": "#000000",
}

FONT = 'font-family="DejaVu Sans Condensed" font-weight="bold"'

# How much of the lit colour an unlit lens shows.
UNLIT_LENS = 0.15
UNLIT_LEGEND = 0.38


def colour(name):
    return PALETTE[name]


def scaled(hex_colour, factor):
    """The colour at `factor` of its brightness."""
    r, g, b = (int(hex_colour[i : i + 2], 16) for i in (1, 3, 5))
    return "#%02x%02x%02x" % tuple(max(8, min(255, round(c * factor))) for c in (r, g, b))


# ------------------------------------------------------------------------------------------------
# Layout: element boxes (x, y, width, height) in gauge pixels, as the element chains place them.
# ------------------------------------------------------------------------------------------------
CDU_SIZE = (400, 308)
MSU_SIZE = (400, 102)

# Keys: box, legend lines, small letter above a digit. Boxes are those of the pressed images.
CDU_KEYS = {
    "HOLD": ((38, 72, 39, 39), ["HOLD"], None),
    "SET": ((84, 71, 38, 40), ["SET"], None),
    "INSERT": ((148, 72, 55, 39), ["INSERT"], None),
    "LAST WPT": ((227, 71, 38, 40), ["LAST", "WPT"], None),
    "WYPT CHG": ((174, 175, 39, 39), ["WYPT", "CHG"], None),
    "CLEAR": ((285, 266, 55, 39), ["CLEAR"], None),
    "0": ((225, 266, 39, 39), ["0"], None),
}
DIGIT_LETTERS = {2: "N", 4: "W", 6: "E", 8: "S"}
for _d in range(1, 10):
    _column, _row = (_d - 1) % 3, (_d - 1) // 3
    CDU_KEYS[str(_d)] = ((225 + 49 * _column, 125 + 47 * _row, 39, 39), [str(_d)],
                         DIGIT_LETTERS.get(_d))

# Lamps: box, legend lines, colour.
CDU_LAMPS = {
    "BAT": ((275, 71, 38, 40), ["BAT"], "red"),
    "ALERT": ((324, 71, 38, 40), ["ALERT"], "amber"),
}
MSU_LAMPS = {
    "READY NAV": ((206, 31, 39, 39), ["READY", "NAV"], "green"),
    "BAT": ((293, 31, 39, 39), ["BAT"], "red"),
}

# Text windows (boxes the host fills with amber text) and the glass drawn around them.
CDU_GLASSES = [(35, 17, 153, 47), (201, 17, 162, 47), (148, 121, 61, 44)]

# Data selector: knob box, legends clockwise from lower left, 30 degrees apart.
SELECTOR_BOX = (35, 178, 97, 97)
SELECTOR_LEGENDS = ["TK/GS", "HDG/DA", "XTK/TKE", "POS", "WAY PT", "DIS/TIME", "WIND", "DSRTK/STS"]
SELECTOR_FIRST_DEG = -120.0
SELECTOR_STEP_DEG = 30.0
SELECTOR_KNOB_R = 27.0
SELECTOR_LEGEND_R = 39.0

# Thumbwheel windows (the host draws the drum through them) and the strip.
WHEEL_WINDOWS = [(56, 120, 30, 30), (82, 120, 30, 30)]
STRIP_SIZE = (30, 300)
STRIP_CELL = 30

# AUTO/MAN switch: the image box and its pointer angles.
SWITCH_BOX = (142, 255, 46, 53)
SWITCH_CENTRE = (165.0, 281.5)
SWITCH_ANGLES_DEG = {"AUTO": -40.0, "MAN": 40.0}
SWITCH_KNOB_R = 16.0

# Mode selector knob.
MODE_BOX = (63, 12, 77, 77)
MODE_LEGENDS = ["OFF", "STBY", "ALIGN", "NAV"]
MODE_ANGLES_DEG = [-66.0, -22.0, 22.0, 66.0]
MODE_KNOB_R = 22.0
MODE_LEGEND_R = 31.0


def centre_of(box):
    x, y, w, h = box
    return (x + w / 2.0, y + h / 2.0)


# ------------------------------------------------------------------------------------------------
# Parts.
# ------------------------------------------------------------------------------------------------
class Drawing:
    """SVG fragments and the gradients they use, collected in drawing order."""

    def __init__(self):
        self.defs = []
        self.body = []
        self._ids = set()

    def define(self, ident, text):
        if ident not in self._ids:
            self._ids.add(ident)
            self.defs.append(text)
        return "url(#%s)" % ident

    def add(self, text):
        self.body.append(text)

    def vertical_gradient(self, ident, top, bottom, y1="0", y2="1"):
        return self.define(ident, (
            '<linearGradient id="%s" x1="0" y1="%s" x2="0" y2="%s">'
            '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/>'
            "</linearGradient>") % (ident, y1, y2, top, bottom))

    def radial_gradient(self, ident, core, edge, fx="0.5", fy="0.5"):
        return self.define(ident, (
            '<radialGradient id="%s" cx="0.5" cy="0.5" r="0.6" fx="%s" fy="%s">'
            '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/>'
            "</radialGradient>") % (ident, fx, fy, core, edge))

    def svg(self, width, height, view=None):
        vx, vy, vw, vh = view if view else (0, 0, width, height)
        return "\n".join([
            '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
            'viewBox="%d %d %d %d" shape-rendering="geometricPrecision">' % (
                width, height, vx, vy, vw, vh),
            "<defs>", *self.defs, "</defs>", *self.body, "</svg>", ""])


def text(d, x, y, lines, size, fill, anchor="middle", line_gap=None, shadow=None):
    """Lines of text centred on (x, y) as a block; `shadow` draws a 1 px lower copy first."""
    gap = line_gap if line_gap is not None else size * 1.0
    first = y - gap * (len(lines) - 1) / 2.0 + size * 0.36
    for i, line in enumerate(lines):
        baseline = first + i * gap
        if shadow:
            d.add('<text x="%.2f" y="%.2f" %s font-size="%.2f" fill="%s" text-anchor="%s">%s</text>'
                  % (x, baseline + 1, FONT, size, shadow, anchor, line))
        d.add('<text x="%.2f" y="%.2f" %s font-size="%.2f" fill="%s" text-anchor="%s">%s</text>'
              % (x, baseline, FONT, size, fill, anchor, line))


def panel(d, width, height, ident):
    """The matte panel with its bevelled edge."""
    fill = d.vertical_gradient(ident + "-panel", colour("panel_top"), colour("panel_bottom"))
    d.add('<rect x="0" y="0" width="%d" height="%d" fill="%s"/>' % (width, height, colour("bevel_dark")))
    d.add('<rect x="0" y="0" width="%d" height="%d" fill="%s"/>' % (
        width - 2, height - 2, colour("bevel_light")))
    d.add('<rect x="2" y="2" width="%d" height="%d" fill="%s"/>' % (width - 4, height - 4, fill))


def screw(d, cx, cy, slot_deg):
    head = d.radial_gradient("screw-head", "#b4b7ba", colour("screw"), fx="0.35", fy="0.3")
    d.add('<circle cx="%.1f" cy="%.1f" r="5.5" fill="%s"/>' % (cx + 0.5, cy + 0.8, colour("well_shadow")))
    d.add('<circle cx="%.1f" cy="%.1f" r="5" fill="%s"/>' % (cx, cy, colour("screw_rim")))
    d.add('<circle cx="%.1f" cy="%.1f" r="4.3" fill="%s"/>' % (cx, cy, head))
    d.add('<rect x="%.1f" y="%.1f" width="8" height="1.6" fill="%s" '
          'transform="rotate(%.1f %.1f %.1f)"/>' % (
              cx - 4, cy - 0.8, colour("screw_slot"), slot_deg, cx, cy))


def corner_screws(d, width, height):
    for cx, cy, slot in ((13, 13, 30), (width - 13, 13, -20), (13, height - 13, 70),
                         (width - 13, height - 13, 10)):
        screw(d, cx, cy, slot)


def well(d, box):
    """The recess a key or lamp sits in: fills its whole box, the same in every state. Its outer
    frame is square and flat, so the box's edge is the same pixels wherever it is drawn."""
    x, y, w, h = box
    d.add('<rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (
        x, y, w, h, colour("well_light")))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (
        x, y, w - 1, h - 1, colour("well_shadow")))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="2.5" fill="%s"/>' % (
        x + 1, y + 1, w - 2, h - 2, colour("well")))


def key(d, box, lines, letter, state):
    """A key cap in its well: state "up", "pressed" or "lit" (one definition, three states)."""
    well(d, box)
    x, y, w, h = box
    cx, cy, cw, ch = x + 3, y + 3, w - 7, h - 7
    if state == "pressed":
        cx, cy = cx + 1, cy + 1  # the cap and its legend go in and down-right
    if state == "up" or state == "lit":
        d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="2.5" fill="%s" opacity="0.8"/>' % (
            cx + 1, cy + 1, cw + 1, ch + 1, colour("cap_shadow")))
    if state == "lit":
        edge_light, edge_dark = "#ffe3a6", scaled(colour("amber_edge"), 0.7)
        face = d.define("cap-lit", (
            '<radialGradient id="cap-lit" cx="0.5" cy="0.45" r="0.7">'
            '<stop offset="0" stop-color="#ffe9b0"/><stop offset="0.5" stop-color="%s"/>'
            '<stop offset="1" stop-color="%s"/></radialGradient>') % (
                colour("amber_core"), colour("amber_edge")))
        legend = colour("amber_legend")
    elif state == "pressed":
        edge_light, edge_dark = colour("cap_edge_dark"), colour("cap_edge_dark")
        face = d.vertical_gradient("cap-pressed", colour("cap_pressed_top"),
                                   colour("cap_pressed_bottom"))
        legend = colour("cap_legend")
    else:
        edge_light, edge_dark = colour("cap_edge_light"), colour("cap_edge_dark")
        face = d.vertical_gradient("cap-up", colour("cap_top"), colour("cap_bottom"))
        legend = colour("cap_legend")
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="2.5" fill="%s"/>' % (
        cx, cy, cw, ch, edge_dark))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="2.5" fill="%s"/>' % (
        cx, cy, cw - 1, ch - 1, edge_light))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="2" fill="%s"/>' % (
        cx + 1, cy + 1, cw - 2, ch - 2, face))
    if state == "pressed":  # an inner shadow under the top edge of the well
        shade = d.define("cap-inner-fade", (
            '<linearGradient id="cap-inner-fade" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="#000" stop-opacity="0.45"/>'
            '<stop offset="1" stop-color="#000" stop-opacity="0"/></linearGradient>'))
        d.add('<rect x="%d" y="%d" width="%d" height="5" fill="%s"/>' % (cx + 1, cy + 1, cw - 2, shade))
    mx, my = cx + cw / 2.0 - 0.5, cy + ch / 2.0 - 0.5
    if letter:
        text(d, mx, my - 7, [letter], 8, legend)
        text(d, mx, my + 4, lines, 14, legend)
    elif len(lines) == 1 and len(lines[0]) == 1:
        text(d, mx, my, lines, 15, legend)
    elif len(lines) == 1:
        text(d, mx, my, lines, 9.5, legend)
    else:
        text(d, mx, my, lines, 8.5, legend, line_gap=9.5)


LAMP_COLOURS = {
    "amber": ("amber_core", "amber_edge"),
    "red": ("red_core", "red_edge"),
    "green": ("green_core", "green_edge"),
}


def lamp(d, box, lines, hue, lit):
    """A square lamp lens in its well: dark and glassy when unlit, glowing when lit."""
    well(d, box)
    x, y, w, h = box
    core, edge = (colour(n) for n in LAMP_COLOURS[hue])
    lx, ly, lw, lh = x + 3, y + 3, w - 6, h - 6
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="2" fill="%s"/>' % (
        lx, ly, lw, lh, "#2a2b2e"))  # the lens's metal rim
    if lit:
        fill = d.define("lamp-%s-lit-body" % hue, (
            '<radialGradient id="lamp-%s-lit-body" cx="0.5" cy="0.5" r="0.75">'
            '<stop offset="0" stop-color="%s"/><stop offset="0.55" stop-color="%s"/>'
            '<stop offset="1" stop-color="%s"/></radialGradient>') % (
                hue, scaled(core, 1.0), core, edge))
        legend = scaled(edge, 0.22)
    else:
        fill = d.vertical_gradient("lamp-%s-unlit" % hue, scaled(core, UNLIT_LENS + 0.05),
                                   scaled(core, UNLIT_LENS - 0.03))
        legend = scaled(core, UNLIT_LEGEND)
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="1.5" fill="%s"/>' % (
        lx + 1, ly + 1, lw - 2, lh - 2, fill))
    size = 8.5 if len(lines) > 1 or len(lines[0]) > 3 else 10
    text(d, lx + lw / 2.0, ly + lh / 2.0, lines, size, legend, line_gap=9.5)
    # The glassy highlight over the upper part of the lens.
    sheen = d.define("lens-sheen", (
        '<linearGradient id="lens-sheen" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#fff" stop-opacity="0.28"/>'
        '<stop offset="1" stop-color="#fff" stop-opacity="0"/></linearGradient>'))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="1.5" fill="%s"/>' % (
        lx + 2, ly + 2, lw - 4, (lh - 4) // 2, sheen))


def glass(d, box):
    """A display window: near-black glass in a recessed frame."""
    x, y, w, h = box
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="3" fill="%s"/>' % (
        x - 2, y - 2, w + 4, h + 4, colour("well_light")))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="3" fill="%s"/>' % (
        x - 2, y - 2, w + 3, h + 3, colour("well_shadow")))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="2" fill="%s"/>' % (
        x - 1, y - 1, w + 2, h + 2, colour("glass_frame")))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" rx="1.5" fill="%s"/>' % (
        x, y, w, h, colour("glass")))


def polar(centre, radius, deg):
    """The point `radius` from `centre` at `deg` clockwise from straight up."""
    cx, cy = centre
    a = math.radians(deg)
    return cx + radius * math.sin(a), cy - radius * math.cos(a)


def dial_ticks(d, centre, r_in, r_out, angles):
    for deg in angles:
        x1, y1 = polar(centre, r_in, deg)
        x2, y2 = polar(centre, r_out, deg)
        d.add('<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" stroke-width="1.6" '
              'stroke-linecap="round"/>' % (x1, y1, x2, y2, colour("legend")))


def dial_legends(d, centre, radius, legends, angles, size):
    for legend, deg in zip(legends, angles):
        x, y = polar(centre, radius, deg)
        anchor = "middle" if abs(deg) < 10 else ("end" if deg < 0 else "start")
        text(d, x, y, [legend], size, colour("legend"), anchor=anchor,
             shadow=colour("legend_shadow"))


def knob(d, centre, radius, deg, ident):
    """A bar knob seen from the front: knurled dark skirt, lighter pointer bar, white index."""
    cx, cy = centre
    skirt = d.radial_gradient(ident + "-skirt", colour("knob_skirt_light"),
                              colour("knob_skirt_dark"), fx="0.35", fy="0.3")
    bar = d.vertical_gradient(ident + "-bar", colour("knob_bar_light"), colour("knob_bar_dark"))
    # Shadow on the panel, then the skirt with its knurled rim.
    d.add('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="%s" opacity="0.75"/>' % (
        cx + 1.5, cy + 2, radius + 0.5, colour("well_shadow")))
    d.add('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="%s"/>' % (cx, cy, radius, colour("knob_knurl")))
    notches = 40
    for i in range(notches):
        a0 = 360.0 * i / notches
        x1, y1 = polar(centre, radius - 0.2, a0)
        x2, y2 = polar(centre, radius - 2.6, a0)
        d.add('<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" stroke-width="1.1"/>' % (
            x1, y1, x2, y2, colour("knob_skirt_light")))
    d.add('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="%s"/>' % (cx, cy, radius - 2.8, skirt))
    # The light catches the upper-left rim.
    d.add('<path d="M %.2f %.2f A %.2f %.2f 0 0 1 %.2f %.2f" fill="none" stroke="#8a8e94" '
          'stroke-width="1" stroke-opacity="0.8"/>' % (
              *polar(centre, radius - 3.3, -100), radius - 3.3, radius - 3.3,
              *polar(centre, radius - 3.3, 10)))
    # The pointer bar across the knob, drawn upright and turned to its legend.
    bw = radius * 0.52
    bl = radius * 2.0 - 3.0
    group = '<g transform="rotate(%.3f %.3f %.3f)">' % (deg, cx, cy)
    group += '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="%s" opacity="0.8"/>' % (
        cx - bw / 2 + 1, cy - bl / 2 + 1.5, bw, bl, bw / 2.5, colour("knob_knurl"))
    group += '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="%s"/>' % (
        cx - bw / 2, cy - bl / 2, bw, bl, bw / 2.5, bar)
    group += '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="none" stroke="#8d9197" stroke-width="0.8" stroke-opacity="0.7"/>' % (
        cx - bw / 2 + 0.5, cy - bl / 2 + 0.5, bw - 1, bl - 1, bw / 2.5)
    group += '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="0.8" fill="%s"/>' % (
        cx - 1.1, cy - bl / 2 + 2, 2.2, bl * 0.36, colour("knob_index"))
    group += "</g>"
    d.add(group)


def knob_cover(d, centre, radius):
    """Which pixels a knob image draws: the knob and its shadow."""
    cx, cy = centre
    d.add('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="#fff"/>' % (cx, cy, radius + 0.5))
    d.add('<circle cx="%.2f" cy="%.2f" r="%.2f" fill="#fff"/>' % (cx + 1.5, cy + 2, radius + 0.5))


# ------------------------------------------------------------------------------------------------
# The CDU face in a given state.
# ------------------------------------------------------------------------------------------------
def selector_angle(k):
    return SELECTOR_FIRST_DEG + SELECTOR_STEP_DEG * k


def cdu_face(keys=None, lamps=None, selector=None, switch="AUTO", switch_knob=True):
    """The whole CDU: `keys` maps a key name to "pressed" or "lit", `lamps` the lamps lit,
    `selector` turns the data-selector knob to legend k (None: the dial without its knob)."""
    keys = keys or {}
    lamps = lamps or set()
    d = Drawing()
    width, height = CDU_SIZE
    panel(d, width, height, "cdu")
    corner_screws(d, width, height)

    for box in CDU_GLASSES:
        glass(d, box)
    legend = colour("legend")
    shadow = colour("legend_shadow")
    text(d, 165, 116.5, ["FROM"], 7.5, legend, shadow=shadow)
    text(d, 192, 116.5, ["TO"], 7.5, legend, shadow=shadow)

    # The thumbwheel recess; the host shows the drum through the two windows.
    x0, y0 = WHEEL_WINDOWS[0][0], WHEEL_WINDOWS[0][1]
    x1 = WHEEL_WINDOWS[1][0] + WHEEL_WINDOWS[1][2]
    glass(d, (x0, y0, x1 - x0, WHEEL_WINDOWS[0][3]))
    d.add('<rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (
        x0, y0, x1 - x0, WHEEL_WINDOWS[0][3], colour("drum_dark")))
    for up in (True, False):  # the up and down halves of the wheels' click boxes
        ax, ay = 43, (126 if up else 144)
        tip = -4 if up else 4
        d.add('<path d="M %.1f %.1f L %.1f %.1f L %.1f %.1f Z" fill="%s"/>' % (
            ax - 4, ay, ax + 4, ay, ax, ay + tip, legend))
    text(d, 84, 163, ["WAYPOINT"], 7.5, legend, shadow=shadow)

    # The data selector's dial: a tick and a legend for every position.
    centre = centre_of(SELECTOR_BOX)
    angles = [selector_angle(k) for k in range(len(SELECTOR_LEGENDS))]
    dial_ticks(d, centre, SELECTOR_KNOB_R + 3, SELECTOR_KNOB_R + 7, angles)
    dial_legends(d, centre, SELECTOR_LEGEND_R + 1.5, SELECTOR_LEGENDS, angles, 7.5)

    # The AUTO/MAN switch: legends outside the image box, the knob inside it.
    text(d, 141, 258, ["AUTO"], 7.5, legend, anchor="end", shadow=shadow)
    text(d, 189, 258, ["MAN"], 7.5, legend, anchor="start", shadow=shadow)
    dial_ticks(d, SWITCH_CENTRE, SWITCH_KNOB_R + 2.5, SWITCH_KNOB_R + 6,
               SWITCH_ANGLES_DEG.values())
    if switch_knob:
        knob(d, SWITCH_CENTRE, SWITCH_KNOB_R, SWITCH_ANGLES_DEG[switch], "switch")

    for name, (box, lines, letter) in CDU_KEYS.items():
        key(d, box, lines, letter, keys.get(name, "up"))
    for name, (box, lines, hue) in CDU_LAMPS.items():
        lamp(d, box, lines, hue, name in lamps)

    if selector is not None:
        knob(d, centre, SELECTOR_KNOB_R, selector_angle(selector), "selector")
    return d


def msu_face(lamps=None, mode=None):
    lamps = lamps or set()
    d = Drawing()
    width, height = MSU_SIZE
    panel(d, width, height, "msu")
    corner_screws(d, width, height)
    centre = centre_of(MODE_BOX)
    dial_ticks(d, centre, MODE_KNOB_R + 2.5, MODE_KNOB_R + 6, MODE_ANGLES_DEG)
    dial_legends(d, centre, MODE_LEGEND_R + 2, MODE_LEGENDS, MODE_ANGLES_DEG, 7.5)
    text(d, centre[0], 93, ["INS MODE SELECT"], 7.5, colour("legend"),
         shadow=colour("legend_shadow"))
    for name, (box, lines, hue) in MSU_LAMPS.items():
        lamp(d, box, lines, hue, name in lamps)
    if mode is not None:
        knob(d, centre, MODE_KNOB_R, MODE_ANGLES_DEG[mode], "mode")
    return d


def cover_of(centre, radius, size, view):
    d = Drawing()
    knob_cover(d, centre, radius)
    return d.svg(size[0], size[1], view)


# ------------------------------------------------------------------------------------------------
# The other bitmaps.
# ------------------------------------------------------------------------------------------------
def digit_strip():
    d = Drawing()
    w, h = STRIP_SIZE
    drum = d.define("drum", (
        '<linearGradient id="drum" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="%s"/><stop offset="0.5" stop-color="%s"/>'
        '<stop offset="1" stop-color="%s"/></linearGradient>') % (
            colour("drum_dark"), colour("drum_light"), colour("drum_dark")))
    sides = d.define("drum-sides", (
        '<linearGradient id="drum-sides" x1="0" y1="0" x2="1" y2="0">'
        '<stop offset="0" stop-color="#000" stop-opacity="0.45"/>'
        '<stop offset="0.2" stop-color="#000" stop-opacity="0"/>'
        '<stop offset="0.8" stop-color="#000" stop-opacity="0"/>'
        '<stop offset="1" stop-color="#000" stop-opacity="0.45"/></linearGradient>'))
    for digit in range(10):
        top = digit * STRIP_CELL
        d.add('<rect x="0" y="%d" width="%d" height="%d" fill="%s"/>' % (top, w, STRIP_CELL, drum))
        text(d, w / 2.0, top + STRIP_CELL / 2.0, [str(digit)], 19, colour("drum_digit"))
    d.add('<rect x="0" y="0" width="%d" height="%d" fill="%s"/>' % (w, h, sides))
    return d.svg(w, h)


def window_mask():
    d = Drawing()
    d.add('<rect x="0" y="0" width="30" height="30" fill="#ffffff"/>')
    return d.svg(30, 30)


def update_image():
    d = Drawing()
    d.add('<rect x="0" y="0" width="10" height="10" fill="%s"/>' % colour("panel_bottom"))
    d.add('<circle cx="5" cy="5" r="2.5" fill="%s"/>' % colour("amber_core"))
    return d.svg(10, 10)


def icon(size):
    """The panel-window icon: a small CDU, dark case, amber display line, a grid of keys."""
    d = Drawing()
    # Whole pixels throughout: at this size every edge must be crisp. The case's corners are
    # notched by one pixel, left pure black (not drawn).
    n = size - 1
    d.add('<path d="M 1 0 H %d V 1 H %d V %d H %d V %d H 1 V %d H 0 V 1 H 1 Z" fill="%s"/>' % (
        n, size, n, n, size, n, colour("bevel_light")))
    d.add('<rect x="1" y="1" width="%d" height="%d" fill="%s"/>' % (
        size - 2, size - 2, colour("panel_bottom")))
    if size >= 19:
        d.add('<rect x="3" y="3" width="13" height="5" fill="%s"/>' % colour("glass"))
        d.add('<rect x="4" y="5" width="11" height="2" fill="%s"/>' % colour("amber_core"))
        for row in range(2):
            for column in range(3):
                d.add('<rect x="%d" y="%d" width="3" height="3" fill="%s"/>' % (
                    4 + 4 * column, 10 + 4 * row, colour("cap_top")))
    else:
        d.add('<rect x="2" y="2" width="8" height="3" fill="%s"/>' % colour("glass"))
        d.add('<rect x="3" y="3" width="6" height="1" fill="%s"/>' % colour("amber_core"))
        for column in range(3):
            d.add('<rect x="%d" y="7" width="2" height="2" fill="%s"/>' % (
                3 + 3 * column, colour("cap_top")))
    return d.svg(size, size)


# ------------------------------------------------------------------------------------------------
# Every bitmap: id -> (width, height, SVG, cover SVG or None).
# ------------------------------------------------------------------------------------------------
def crop(drawing, box):
    """The part of a face drawing under an element's box, at 1:1."""
    x, y, w, h = box
    return drawing.svg(w, h, view=(x, y, w, h))


def bitmaps():
    out = {}
    cdu = CDU_SIZE

    def put(ident, size, svg, cover=None):
        out[ident] = (size[0], size[1], svg, cover)

    put(4096, cdu, cdu_face().svg(*cdu))

    def cdu_image(ident, box, **state):
        put(ident, box[2:], crop(cdu_face(**state), box))

    cdu_image(4099, CDU_KEYS["HOLD"][0], keys={"HOLD": "lit"})
    cdu_image(4102, CDU_LAMPS["BAT"][0], lamps={"BAT"})
    cdu_image(4105, CDU_LAMPS["ALERT"][0], lamps={"ALERT"})
    cdu_image(4108, CDU_KEYS["HOLD"][0], keys={"HOLD": "pressed"})
    cdu_image(4111, CDU_KEYS["SET"][0], keys={"SET": "pressed"})
    cdu_image(4114, CDU_KEYS["SET"][0], keys={"SET": "lit"})
    cdu_image(4117, CDU_KEYS["INSERT"][0], keys={"INSERT": "pressed"})
    cdu_image(4120, CDU_KEYS["LAST WPT"][0], keys={"LAST WPT": "pressed"})
    cdu_image(4123, CDU_KEYS["LAST WPT"][0], keys={"LAST WPT": "lit"})
    cdu_image(4126, CDU_KEYS["WYPT CHG"][0], keys={"WYPT CHG": "pressed"})
    cdu_image(4129, CDU_KEYS["CLEAR"][0], keys={"CLEAR": "pressed"})
    cdu_image(4132, CDU_KEYS["0"][0], keys={"0": "pressed"})
    for digit in range(1, 10):
        cdu_image(4135 + 3 * (digit - 1), CDU_KEYS[str(digit)][0], keys={str(digit): "pressed"})

    x, y, w, h = SELECTOR_BOX
    for k in range(len(SELECTOR_LEGENDS)):
        put(4162 + k, (w, h), crop(cdu_face(selector=k), SELECTOR_BOX),
            cover_of(centre_of(SELECTOR_BOX), SELECTOR_KNOB_R, (w, h), SELECTOR_BOX))

    for ident, position in ((4172, "AUTO"), (4175, "MAN")):
        put(ident, SWITCH_BOX[2:], crop(cdu_face(switch=position), SWITCH_BOX),
            cover_of(SWITCH_CENTRE, SWITCH_KNOB_R, SWITCH_BOX[2:], SWITCH_BOX))

    put(4178, (10, 10), update_image())
    put(4181, STRIP_SIZE, digit_strip())
    put(4182, (30, 30), window_mask())

    msu = MSU_SIZE
    put(4185, msu, msu_face().svg(*msu))
    put(4188, MSU_LAMPS["BAT"][0][2:], crop(msu_face(lamps={"BAT"}), MSU_LAMPS["BAT"][0]))
    put(4191, MSU_LAMPS["READY NAV"][0][2:],
        crop(msu_face(lamps={"READY NAV"}), MSU_LAMPS["READY NAV"][0]))
    for mode in range(len(MODE_LEGENDS)):
        put(4194 + mode, MODE_BOX[2:], crop(msu_face(mode=mode), MODE_BOX),
            cover_of(centre_of(MODE_BOX), MODE_KNOB_R, MODE_BOX[2:], MODE_BOX))

    put(4200, (19, 19), icon(19))
    put(4203, (12, 12), icon(12))
    return out


def main(argv):
    if len(argv) == 2 and argv[1] == "--list":
        for ident, (w, h, _, cover) in sorted(bitmaps().items()):
            print(ident, w, h, "cover" if cover else "opaque")
        return 0
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    folder = argv[1]
    os.makedirs(folder, exist_ok=True)
    listing = []
    for ident, (w, h, svg, cover) in sorted(bitmaps().items()):
        write_if_changed(os.path.join(folder, "%d.svg" % ident), svg)
        if cover is not None:
            write_if_changed(os.path.join(folder, "%d.cover.svg" % ident), cover)
        listing.append("%d %d %d %s\n" % (ident, w, h, "cover" if cover else "opaque"))
    write_if_changed(os.path.join(folder, "bitmaps.txt"), "".join(listing))
    return 0


def write_if_changed(path, content):
    """Leaves an unchanged file alone, so a rebuild renders only the drawings that changed."""
    try:
        with open(path, encoding="utf-8") as existing:
            if existing.read() == content:
                return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8") as out:
        out.write(content)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
