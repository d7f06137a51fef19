#!/usr/bin/env python3
# Draws the page's pictures into web/img/ as small SVG files: the tree and list-row icons
# (19x19), the gauge type pictures (48x48), the 35 level steps and the missing-reading step
# (24x60), and the two capability marks (16x16). Every picture is built from plain shapes
# here; run this after changing one and commit what it writes.
#   python3 tools/make_pictures.py [OUTPUT_DIR]
import os
import sys

ICON = 19
GAUGE = 48
LEVEL_W, LEVEL_H = 24, 60
LEVEL_STEPS = 35

GREEN = "#2e9d3a"
GREY = "#8c8c8c"
YELLOW = "#e6b800"
RED = "#d22b2b"
DARK_RED = "#8b0a3c"
BLUE = "#2f64c0"
INK = "#303030"


def svg(width, height, body, view=None):
    view = view or (width, height)
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %g %g">'
            '%s</svg>\n' % (width, height, view[0], view[1], "".join(body)))


def rect(x, y, w, h, fill, stroke=None, rx=0, width=1):
    s = ' stroke="%s" stroke-width="%g"' % (stroke, width) if stroke else ""
    r = ' rx="%g"' % rx if rx else ""
    return '<rect x="%g" y="%g" width="%g" height="%g"%s fill="%s"%s/>' % (x, y, w, h, r, fill, s)


def circle(cx, cy, r, fill, stroke=None, width=1):
    s = ' stroke="%s" stroke-width="%g"' % (stroke, width) if stroke else ""
    return '<circle cx="%g" cy="%g" r="%g" fill="%s"%s/>' % (cx, cy, r, fill, s)


def path(d, fill="none", stroke=None, width=1, cap="round"):
    s = ' stroke="%s" stroke-width="%g" stroke-linecap="%s" stroke-linejoin="round"' % (
        stroke, width, cap) if stroke else ""
    return '<path d="%s" fill="%s"%s/>' % (d, fill, s)


def polygon(points, fill, stroke=None, width=1):
    s = ' stroke="%s" stroke-width="%g" stroke-linejoin="round"' % (stroke, width) if stroke else ""
    pts = " ".join("%g,%g" % p for p in points)
    return '<polygon points="%s" fill="%s"%s/>' % (pts, fill, s)


# Shapes drawn on a 19-unit grid; the gauge pictures scale the same shapes.

def globe():
    return [circle(9.5, 9.5, 7.5, "#5aa0e6", "#1f5fa8"),
            path("M2 9.5h15M9.5 2v15", stroke="#1f5fa8"),
            path("M9.5 2c-3.5 3-3.5 12 0 15M9.5 2c3.5 3 3.5 12 0 15", stroke="#1f5fa8"),
            path("M4 5.5h11M4 13.5h11", stroke="#1f5fa8", width=0.8)]


def tower(state):
    body = "#c8ccd4" if state != "disconnected" else "#d8d8d8"
    edge = "#4a5060" if state != "disconnected" else GREY
    lamp = {"connected": GREEN, "disconnected": "#b0b0b0", "non-critical": YELLOW,
            "critical": RED, "non-recoverable": DARK_RED}[state]
    parts = [rect(4.5, 1.5, 10, 16, body, edge, rx=1),
             path("M6.5 4.5h6M6.5 6.5h6M6.5 8.5h6", stroke=edge, width=1, cap="butt"),
             circle(9.5, 13.5, 2.2, lamp, edge, 0.8)]
    if state == "non-recoverable":
        parts.append(path("M8.3 12.3l2.4 2.4M10.7 12.3l-2.4 2.4", stroke="#fff", width=0.9))
    return parts


def desktop(connected):
    edge = "#4a5060" if connected else GREY
    screen = "#5aa0e6" if connected else "#d0d0d0"
    return [rect(1.5, 2.5, 16, 11, "#e0e0e0", edge, rx=1),
            rect(3, 4, 13, 8, screen),
            path("M7 16.5h5M9.5 13.5v3", stroke=edge, width=1.5),
            circle(15, 15.5, 2, GREEN if connected else "#b0b0b0", edge, 0.8)]


def folder(mark=None):
    parts = [path("M1.5 4.5h6l1.5 1.5h8.5v10h-16z", fill="#f2cc55", stroke="#a07a10"),
             path("M1.5 7.5h16", stroke="#a07a10", width=0.8)]
    return parts + (mark or [])


def badge(shapes):
    # a white plate at the lower right of a folder carrying the section's sign
    return [rect(9, 9, 9.5, 9.5, "#ffffff", "#505050", rx=1.5)] + shapes


def sdr_sign():
    return badge([path("M10.8 11.5h6M10.8 13.75h6M10.8 16h6", stroke=BLUE, width=1.1)])


def compact_sign():
    return badge([rect(10.7, 10.7, 2.6, 2.6, BLUE), rect(14.2, 10.7, 2.6, 2.6, BLUE),
                  rect(10.7, 14.2, 2.6, 2.6, BLUE), rect(14.2, 14.2, 2.6, 2.6, BLUE)])


def fru_sign():
    return badge([rect(11.2, 11.2, 5, 5, "#3a3a3a"),
                  path("M12.2 10v1.2M13.7 10v1.2M15.2 10v1.2M12.2 16.2v1.2M13.7 16.2v1.2M15.2 16.2v1.2",
                       stroke="#3a3a3a", width=0.8)])


def sel_sign():
    return badge([path("M10.8 11.3h1.2M13 11.3h3.8M10.8 13.75h1.2M13 13.75h3.8M10.8 16.2h1.2M13 16.2h3.8",
                       stroke="#7a3a10", width=1.1, cap="butt")])


def console_sign():
    return [rect(8.5, 8.5, 10, 10, "#1a1a1a", "#505050", rx=1),
            path("M10.3 11l2 2-2 2M13.3 16h3", stroke="#46e04a", width=1.1)]


def dial_sign():
    return badge([path("M10.5 16.5a3.3 3.3 0 0 1 6.6 0", stroke="#505050", width=1),
                  path("M13.8 16.5l2-3", stroke=RED, width=1.2),
                  circle(13.8, 16.5, 0.9, "#505050")])


def thermometer():
    return [rect(7.5, 1.5, 4, 11, "#ffffff", INK, rx=2),
            circle(9.5, 14.5, 3.2, RED, INK),
            rect(8.6, 6, 1.8, 8, RED)]


def bolt():
    return [polygon([(11, 1), (4.5, 10.5), (9, 10.5), (7.5, 18), (14.5, 7.5), (10, 7.5)],
                    "#f5c400", "#8a6a00")]


def fan():
    blades = []
    for angle in (0, 90, 180, 270):
        blades.append('<path d="M9.5 9.5C8 5 9 2 11.5 2.2C13.5 2.5 12.5 6.5 9.5 9.5z" '
                      'fill="#4aa0d8" stroke="#1f5f8a" stroke-width="0.7" '
                      'transform="rotate(%d 9.5 9.5)"/>' % angle)
    return [circle(9.5, 9.5, 8, "#eef5fb", "#1f5f8a", 0.8)] + blades + [circle(9.5, 9.5, 1.6, "#1f5f8a")]


def door():
    return [rect(3.5, 1.5, 12, 16, "#e8e0d0", "#6b5230"),
            polygon([(3.5, 1.5), (10, 3.5), (10, 19), (3.5, 17.5)], "#b88a4a", "#6b5230"),
            circle(8.5, 10, 0.9, "#3a2a10"),
            path("M13 6.5v6", stroke=RED, width=1.6)]


def oem(colour, mark):
    hexagon = [(9.5, 1.5), (16.5, 5.5), (16.5, 13.5), (9.5, 17.5), (2.5, 13.5), (2.5, 5.5)]
    return [polygon(hexagon, colour, INK)] + mark


OEM = {
    "c0": ("#7fc8a9", [circle(9.5, 9.5, 3, "#ffffff", INK)]),
    "c1": ("#9ab8e8", [rect(6.5, 6.5, 6, 6, "#ffffff", INK)]),
    "d0": ("#e8b0d0", [polygon([(9.5, 5.5), (13.5, 12.5), (5.5, 12.5)], "#ffffff", INK)]),
    "d3": ("#e8cf90", [path("M6 9.5h7M9.5 6v7", stroke=INK, width=1.8)]),
}


def default_sensor():
    return [circle(9.5, 9.5, 7.5, "#e8eef8", "#40608a"), circle(9.5, 9.5, 3, "#40608a")]


def warning_triangle():
    return [polygon([(9.5, 1.5), (18, 17), (1, 17)], YELLOW, "#7a5a00"),
            path("M9.5 6.5v5.5", stroke=INK, width=2), circle(9.5, 14.5, 1.1, INK)]


def critical_circle():
    return [circle(9.5, 9.5, 8, RED, "#6a0000"),
            path("M9.5 4.5v6.5", stroke="#ffffff", width=2.2), circle(9.5, 14, 1.3, "#ffffff")]


def octagon_cross():
    pts = [(6, 1.5), (13, 1.5), (17.5, 6), (17.5, 13), (13, 17.5), (6, 17.5), (1.5, 13), (1.5, 6)]
    return [polygon(pts, DARK_RED, "#3a0010"),
            path("M6 6l7 7M13 6l-7 7", stroke="#ffffff", width=2.2)]


def board():
    return [rect(1.5, 3.5, 16, 12, "#3f8f4f", "#1e4f28", rx=1),
            rect(4, 6, 4, 4, "#2a2a2a"), rect(10, 6, 5, 2, "#d0d0d0"), rect(10, 9.5, 5, 2, "#d0d0d0"),
            path("M3 17.5h2M7 17.5h2M11 17.5h2M15 17.5h2", stroke="#c8a040", width=2, cap="butt")]


def power():
    return [rect(3.5, 5.5, 12, 11, "#d8d8d8", INK, rx=1.5),
            path("M7 5.5v-3.5M12 5.5v-3.5", stroke=INK, width=1.8, cap="butt"),
            polygon([(10.5, 7.5), (7, 11.5), (9.5, 11.5), (8.5, 15), (12, 10.5), (9.5, 10.5)], "#f5c400", "#8a6a00", 0.6)]


def chip():
    legs = "".join("M%g 1.5v2.5M%g 15v2.5M1.5 %gh2.5M15 %gh2.5" % (p, p, p, p) for p in (6, 9.5, 13))
    return [path(legs, stroke=GREY, width=1.2, cap="butt"),
            rect(4, 4, 11, 11, "#2a2a2a", "#000000", rx=1), circle(6.5, 6.5, 1, "#909090")]


def page():
    return [path("M4.5 1.5h7l3.5 3.5v12.5h-10.5z", fill="#ffffff", stroke=INK),
            path("M11.5 1.5v3.5h3.5", stroke=INK),
            path("M6.5 8.5h6.5M6.5 11h6.5M6.5 13.5h6.5", stroke=BLUE, width=1, cap="butt")]


def icon(shapes):
    return svg(ICON, ICON, shapes)


def gauge(shapes):
    # the sensor's picture on a round plate, scaled from the 19-unit grid
    return svg(GAUGE, GAUGE, [circle(9.5, 9.5, 9.3, "#f4f4f0", "#a0a0a0", 0.3),
                              '<g transform="translate(2.85 2.85) scale(0.7)">'] + shapes + ["</g>"],
               view=(ICON, ICON))


def common_gauge():
    return [path("M3 13.5a6.5 6.5 0 0 1 13 0", stroke="#505050", width=1.6),
            path("M3 13.5a6.5 6.5 0 0 1 2.2 -4.9", stroke=RED, width=1.6, cap="butt"),
            path("M13.8 8.6a6.5 6.5 0 0 1 2.2 4.9", stroke=RED, width=1.6, cap="butt"),
            path("M9.5 13.5l3-4.5", stroke=INK, width=1.4), circle(9.5, 13.5, 1.3, INK)]


def band_colour(step):
    if step <= 6:
        return "#e04040"  # low, below the lower critical threshold
    if step <= 13:
        return "#f0d000"
    if step <= 20:
        return "#30c040"
    if step <= 27:
        return "#f0d000"
    return "#e020c0"  # high, past the upper critical threshold


def level(step):
    inner_h = LEVEL_H - 6
    filled = inner_h * step / (LEVEL_STEPS - 1)
    parts = [rect(0.5, 0.5, LEVEL_W - 1, LEVEL_H - 1, "#f0f0f0", "#404040", rx=2),
             rect(3, 3, LEVEL_W - 6, inner_h, "#d8d8d8")]
    # the five bands as a faint scale on the left edge
    for first, last in ((0, 6), (7, 13), (14, 20), (21, 27), (28, 34)):
        y0 = 3 + inner_h * (1 - (last + 1) / LEVEL_STEPS)
        h = inner_h * (last - first + 1) / LEVEL_STEPS
        parts.append(rect(3, y0, 3, h, band_colour(first)))
    if filled > 0:
        parts.append(rect(7, 3 + inner_h - filled, LEVEL_W - 10, filled, band_colour(step)))
    return svg(LEVEL_W, LEVEL_H, parts)


def level_none():
    return svg(LEVEL_W, LEVEL_H, [rect(0.5, 0.5, LEVEL_W - 1, LEVEL_H - 1, "#e0e0e0", "#808080", rx=2),
                                  path("M5 8L19 52M19 8L5 52", stroke="#808080", width=2)])


def mark(on):
    if on:
        return svg(16, 16, [rect(1.5, 1.5, 13, 13, "#ffffff", "#2e6d2e", rx=2),
                            path("M4 8.5l3 3 5-7", stroke=GREEN, width=2)])
    return svg(16, 16, [rect(1.5, 1.5, 13, 13, "#ffffff", GREY, rx=2)])


def pictures():
    out = {
        "root": icon(globe()),
        "asf-connected": icon(desktop(True)),
        "asf-disconnected": icon(desktop(False)),
        "section": icon(folder()),
        "section-sdr": icon(folder(sdr_sign())),
        "section-compact-sdr": icon(folder(compact_sign())),
        "section-fru": icon(folder(fru_sign())),
        "section-sel": icon(folder(sel_sign())),
        "section-console": icon(folder(console_sign())),
        "section-all-sensors": icon(folder(dial_sign())),
        "sensor-default": icon(default_sensor()),
        "sensor-non-critical": icon(warning_triangle()),
        "sensor-critical": icon(critical_circle()),
        "sensor-non-recoverable": icon(octagon_cross()),
        "fru-backplane": icon(board()),
        "fru-power": icon(power()),
        "fru-device": icon(chip()),
        "fru-area": icon(page()),
        "gauge-common": gauge(common_gauge()),
        "level-none": level_none(),
        "set": mark(True),
        "clear": mark(False),
    }
    for state in ("connected", "disconnected", "non-critical", "critical", "non-recoverable"):
        out["ipmi-" + state] = icon(tower(state))
    kinds = {"temperature": thermometer(), "voltage": bolt(), "fan": fan(), "intrusion": door()}
    for key, (colour, sign) in OEM.items():
        kinds["oem-" + key] = oem(colour, sign)
    for kind, shapes in kinds.items():
        out["sensor-" + kind] = icon(shapes)
        out["gauge-" + kind] = gauge(shapes)
    for step in range(LEVEL_STEPS):
        out["level-%02d" % step] = level(step)
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "web", "img")
    os.makedirs(target, exist_ok=True)
    for name, text in sorted(pictures().items()):
        with open(os.path.join(target, name + ".svg"), "w") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
