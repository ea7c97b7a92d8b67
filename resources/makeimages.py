#!/usr/bin/env python3
"""Draws the program's own pictures (icons, cursors, style-sheet images, the
splash picture, the start window's banner and the logo) as PNG files beside
this script.

The pictures are committed; run this again only after changing a drawing.
Icons are 32 x 32 RGB: their transparency comes from icons/Transparency.png at
run time. Cursors and style-sheet images carry their own alpha channel."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def writepng(path, width, height, pixels, alpha):
    """pixels: rows of (r, g, b, a) tuples."""
    rows = bytearray()
    for row in pixels:
        rows.append(0)
        for r, g, b, a in row:
            rows += bytes((r, g, b, a) if alpha else (r, g, b))
    colourtype = 6 if alpha else 2

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    data = (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colourtype, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
            + chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


class Canvas:
    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.w, self.h = width, height
        self.p = [[fill for _ in range(width)] for _ in range(height)]

    def put(self, x, y, c, cover=1.0):
        if 0 <= x < self.w and 0 <= y < self.h and cover > 0:
            r, g, b, a = self.p[y][x]
            cr, cg, cb, ca = c
            k = cover * ca / 255.0
            na = min(255, int(round(a + (255 - a) * k)))
            self.p[y][x] = (int(round(r + (cr - r) * k)), int(round(g + (cg - g) * k)),
                            int(round(b + (cb - b) * k)), na)

    def shape(self, inside, c, box=None):
        """inside(x, y) -> bool, sampled 4 x 4 per pixel for smooth edges."""
        x0, y0, x1, y1 = box or (0, 0, self.w, self.h)
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)) + 1)):
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)) + 1)):
                n = sum(inside(x + (i + 0.5) / 4, y + (j + 0.5) / 4) for i in range(4) for j in range(4))
                self.put(x, y, c, n / 16.0)

    def rect(self, x0, y0, x1, y1, c):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, c, (x0, y0, x1, y1))

    def circle(self, cx, cy, r, c, width=None):
        if width is None:
            self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, c,
                       (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))
        else:
            self.shape(lambda x, y: abs(math.hypot(x - cx, y - cy) - r) <= width / 2, c,
                       (cx - r - width, cy - r - width, cx + r + width, cy + r + width))

    def line(self, xa, ya, xb, yb, width, c):
        dx, dy = xb - xa, yb - ya
        ll = dx * dx + dy * dy or 1.0

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / ll))
            return math.hypot(x - xa - t * dx, y - ya - t * dy) <= width / 2

        self.shape(inside, c, (min(xa, xb) - width, min(ya, yb) - width,
                               max(xa, xb) + width, max(ya, yb) + width))

    def polygon(self, pts, c):
        def inside(x, y):
            n, res = len(pts), False
            for i in range(n):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % n]
                if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                    res = not res
            return res

        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        self.shape(inside, c, (min(xs), min(ys), max(xs), max(ys)))

    def save(self, name, alpha):
        writepng(os.path.join(HERE, name), self.w, self.h, self.p, alpha)


WHITE = (255, 255, 255, 255)
DARK = (40, 40, 40, 255)
RED = (220, 50, 40, 255)


def background(top, bottom):
    cv = Canvas(32, 32)
    for y in range(32):
        t = y / 31.0
        col = tuple(int(round(top[i] + (bottom[i] - top[i]) * t)) for i in range(3)) + (255,)
        for x in range(32):
            cv.p[y][x] = col
    return cv


def arrow(cv, xa, ya, xb, yb, c, width=3, head=6):
    cv.line(xa, ya, xb, yb, width, c)
    ang = math.atan2(yb - ya, xb - xa)
    for s in (-1, 1):
        cv.line(xb, yb, xb - head * math.cos(ang + s * 0.6), yb - head * math.sin(ang + s * 0.6), width, c)


def page(cv, c=WHITE):
    cv.polygon([(9, 5), (19, 5), (24, 10), (24, 27), (9, 27)], c)
    cv.polygon([(19, 5), (24, 10), (19, 10)], (180, 180, 180, 255))


def bars(cv, c=WHITE):
    for i, h in enumerate((6, 12, 9, 15, 7)):
        cv.rect(7 + i * 4, 24 - h, 9.5 + i * 4, 24, c)


def selectframe(cv, t, f):
    x0, x1 = (6, 26) if t and not f else (9, 23)
    y0, y1 = (6, 26) if f and not t else (9, 23)
    if t and f:
        x0, x1, y0, y1 = 7, 25, 7, 25
    if t and not f:
        y0, y1 = 5, 27
    if f and not t:
        x0, x1 = 5, 27
    for xa, ya, xb, yb in ((x0, y0, x1, y0), (x1, y0, x1, y1), (x1, y1, x0, y1), (x0, y1, x0, y0)):
        cv.line(xa, ya, xb, yb, 2, WHITE)


def axes(cv, t, f, draw):
    """draw(cv, dx, dy) draws one arrow pair pointing along the free axes."""
    if t:
        draw(cv, 1, 0)
    if f:
        draw(cv, 0, 1)


def movearrows(cv, dx, dy):
    arrow(cv, 16 - 10 * dx, 16 - 10 * dy, 16 + 11 * dx + 0.01, 16 + 11 * dy + 0.01, WHITE, 2.5, 5)
    arrow(cv, 16 + 10 * dx, 16 + 10 * dy, 16 - 11 * dx - 0.01, 16 - 11 * dy - 0.01, WHITE, 2.5, 5)


def scalearrows(cv, dx, dy):
    cv.rect(12, 12, 20, 20, WHITE)
    arrow(cv, 16 + 5 * dx, 16 + 5 * dy, 16 + 12 * dx + 0.01, 16 + 12 * dy + 0.01, WHITE, 2, 4)
    arrow(cv, 16 - 5 * dx, 16 - 5 * dy, 16 - 12 * dx - 0.01, 16 - 12 * dy - 0.01, WHITE, 2, 4)


def hand(cv, c=WHITE):
    cv.rect(10, 14, 22, 26, c)
    for i in range(4):
        cv.rect(10 + i * 3, 6 + (i % 2) * 2, 12.2 + i * 3, 16, c)
    cv.line(10, 18, 6, 13, 2.5, c)


def magnifier(cv, c=WHITE):
    cv.circle(13, 13, 7, c, 2.5)
    cv.line(18, 18, 26, 26, 4, c)


def zoomglyph(cv, dx, dy):
    magnifier(cv)
    if dx:
        cv.line(9, 13, 17, 13, 2, WHITE)
    if dy:
        cv.line(13, 9, 13, 17, 2, WHITE)


ICONS = {}


def icon(name, top, bottom):
    def deco(fn):
        ICONS[name] = (top, bottom, fn)
        return fn
    return deco


BLUE = ((90, 130, 200), (40, 70, 140))
GREEN = ((90, 170, 100), (40, 110, 50))
ORANGE = ((230, 150, 60), (170, 90, 20))
GREY = ((150, 150, 150), (90, 90, 90))
PURPLE = ((150, 100, 190), (90, 50, 130))
TEAL = ((70, 170, 170), (30, 110, 110))
REDBG = ((210, 80, 70), (150, 30, 30))


@icon("New", *BLUE)
def _new(cv):
    page(cv)


@icon("Open", *BLUE)
def _open(cv):
    cv.polygon([(5, 10), (13, 10), (15, 12), (27, 12), (27, 26), (5, 26)], (250, 210, 90, 255))
    cv.polygon([(8, 16), (30, 16), (26, 26), (5, 26)], (255, 235, 150, 255))


@icon("Import", *GREEN)
def _import(cv):
    bars(cv)
    arrow(cv, 16, 3, 16, 14, DARK, 3, 5)


@icon("Export", *GREEN)
def _export(cv):
    bars(cv)
    arrow(cv, 16, 14, 16, 3, DARK, 3, 5)


@icon("ExportMix", *GREEN)
def _exportmix(cv):
    bars(cv, (255, 230, 120, 255))
    arrow(cv, 16, 14, 16, 3, DARK, 3, 5)


@icon("Save", *BLUE)
def _save(cv):
    cv.rect(7, 7, 25, 25, WHITE)
    cv.rect(10, 7, 22, 14, (60, 60, 60, 255))
    cv.rect(10, 18, 22, 25, (200, 200, 200, 255))


def arc(cv, cx, cy, r, a0, a1, width, c):
    steps = 16
    for i in range(steps):
        ta = math.radians(a0 + (a1 - a0) * i / steps)
        tb = math.radians(a0 + (a1 - a0) * (i + 1) / steps)
        cv.line(cx + r * math.cos(ta), cy + r * math.sin(ta),
                cx + r * math.cos(tb), cy + r * math.sin(tb), width, c)


@icon("Undo", *GREY)
def _undo(cv):
    arc(cv, 16, 17, 8, -90, 140, 3, WHITE)
    arrow(cv, 17, 9, 9, 9, WHITE, 3, 5)


@icon("Redo", *GREY)
def _redo(cv):
    arc(cv, 16, 17, 8, 270, 40, 3, WHITE)
    arrow(cv, 15, 9, 23, 9, WHITE, 3, 5)


@icon("Snap", *PURPLE)
def _snap(cv):
    for i in (8, 16, 24):
        cv.line(i, 5, i, 27, 1, (220, 220, 255, 255))
        cv.line(5, i, 27, i, 1, (220, 220, 255, 255))
    cv.circle(16, 16, 3.5, WHITE)


for _name, _t, _f in (("Select", 1, 1), ("SelectTime", 1, 0), ("SelectFreq", 0, 1)):
    icon(_name, *TEAL)(lambda cv, t=_t, f=_f: selectframe(cv, t, f))
for _name, _t, _f in (("Move", 1, 1), ("MoveTime", 1, 0), ("MoveFreq", 0, 1)):
    icon(_name, *ORANGE)(lambda cv, t=_t, f=_f: axes(cv, t, f, movearrows))
for _name, _t, _f in (("Scale", 1, 1), ("ScaleTime", 1, 0), ("ScaleFreq", 0, 1)):
    icon(_name, *ORANGE)(lambda cv, t=_t, f=_f: axes(cv, t, f, scalearrows))
for _name, _t, _f in (("Pan", 1, 1), ("PanTime", 1, 0), ("PanFreq", 0, 1)):
    def _pan(cv, t=_t, f=_f):
        hand(cv)
        if t and not f:
            cv.line(3, 29, 29, 29, 2, WHITE)
        if f and not t:
            cv.line(29, 3, 29, 29, 2, WHITE)
    icon(_name, *BLUE)(_pan)
for _name, _t, _f in (("Zoom", 1, 1), ("ZoomTime", 1, 0), ("ZoomFreq", 0, 1)):
    icon(_name, *BLUE)(lambda cv, t=_t, f=_f: zoomglyph(cv, t, f))


@icon("TimeCursor", *PURPLE)
def _timecursor(cv):
    cv.line(16, 4, 16, 28, 2.5, (255, 240, 120, 255))
    cv.polygon([(11, 4), (21, 4), (16, 10)], (255, 240, 120, 255))


@icon("Displace", *PURPLE)
def _displace(cv):
    for i in range(4):
        cv.line(6 + i * 3, 24 - i * 5, 22 + i * 3, 24 - i * 5, 2, WHITE)


@icon("Delete", *REDBG)
def _delete(cv):
    cv.line(9, 9, 23, 23, 4, WHITE)
    cv.line(23, 9, 9, 23, 4, WHITE)


@icon("Cut", *GREY)
def _cut(cv):
    cv.circle(10, 23, 4, WHITE, 2)
    cv.circle(22, 23, 4, WHITE, 2)
    cv.line(12, 20, 22, 5, 2.5, WHITE)
    cv.line(20, 20, 10, 5, 2.5, WHITE)


@icon("Copy", *GREY)
def _copy(cv):
    cv.rect(6, 6, 18, 20, (200, 200, 200, 255))
    cv.rect(13, 12, 26, 27, WHITE)


@icon("Paste", *GREY)
def _paste(cv):
    cv.rect(7, 7, 25, 27, (200, 160, 100, 255))
    cv.rect(12, 5, 20, 9, (80, 80, 80, 255))
    cv.rect(14, 13, 27, 28, WHITE)


@icon("NewLayer", *GREEN)
def _newlayer(cv):
    for i, y in enumerate((20, 14, 8)):
        cv.polygon([(5, y + 4), (16, y), (27, y + 4), (16, y + 8)], (255, 255, 255, 150 + 50 * i))
    cv.line(24, 20, 24, 29, 2.5, (255, 240, 120, 255))
    cv.line(19.5, 24.5, 28.5, 24.5, 2.5, (255, 240, 120, 255))


@icon("Trash", *REDBG)
def _trash(cv):
    cv.rect(9, 10, 23, 27, WHITE)
    cv.rect(7, 7, 25, 9.5, WHITE)
    cv.rect(13, 5, 19, 7, WHITE)
    for x in (12.5, 16, 19.5):
        cv.line(x, 13, x, 24, 1.5, (150, 30, 30, 255))


@icon("Help", *BLUE)
def _help(cv):
    cv.circle(16, 12, 6, WHITE, 3)
    cv.rect(8, 4, 16, 13, BLUE[0] + (255,))
    cv.line(16, 18, 16, 21, 3, WHITE)
    cv.circle(16, 26, 2, WHITE)


@icon("Rewind", *GREY)
def _rewind(cv):
    cv.rect(7, 9, 10, 23, WHITE)
    cv.polygon([(25, 9), (25, 23), (11, 16)], WHITE)


@icon("Play", *GREEN)
def _play(cv):
    cv.polygon([(10, 7), (10, 25), (25, 16)], WHITE)


@icon("PlayAll", *GREEN)
def _playall(cv):
    cv.rect(6, 8, 9, 24, WHITE)
    cv.polygon([(11, 7), (11, 25), (26, 16)], WHITE)


@icon("PlayRepeat", *GREEN)
def _playrepeat(cv):
    cv.polygon([(12, 10), (12, 22), (22, 16)], WHITE)
    cv.circle(16, 16, 11, WHITE, 2)


@icon("PlayClipboard", *TEAL)
def _playclipboard(cv):
    cv.rect(6, 6, 26, 26, (255, 255, 255, 90))
    cv.polygon([(11, 8), (11, 24), (24, 16)], WHITE)


@icon("Pause", *GREEN)
def _pause(cv):
    cv.rect(9, 8, 14, 24, WHITE)
    cv.rect(18, 8, 23, 24, WHITE)


@icon("Stop", *GREY)
def _stop(cv):
    cv.rect(9, 9, 23, 23, WHITE)


def panes(cv, sidebyside):
    """Two channel views side by side (a horizontal splitter) or one above the
    other (a vertical one): the layout that the orientation button gives."""
    if sidebyside:
        for x in (5, 17):
            cv.rect(x, 6, x + 10, 26, WHITE)
            bars = [(x + 2 + 2 * i, 26 - h) for i, h in enumerate((5, 9, 6, 11))]
            for bx, top in bars:
                cv.rect(bx, top, bx + 1.2, 24, BLUE[1] + (255,))
    else:
        for y in (5, 17):
            cv.rect(5, y, 27, y + 10, WHITE)
            for i, h in enumerate((4, 7, 5, 8, 3, 6, 7, 4, 6)):
                cv.rect(7 + 2 * i, y + 9 - h, 8.2 + 2 * i, y + 9, BLUE[1] + (255,))


@icon("LayoutHorizontal", *GREY)
def _layouthorizontal(cv):
    panes(cv, True)


@icon("LayoutVertical", *GREY)
def _layoutvertical(cv):
    panes(cv, False)


@icon("Record", *GREY)
def _record(cv):
    cv.circle(16, 16, 8, RED)


@icon("Warning", (240, 200, 60), (200, 150, 20))
def _warning(cv):
    cv.polygon([(16, 4), (29, 27), (3, 27)], DARK)
    cv.line(16, 11, 16, 19, 3, (240, 200, 60, 255))
    cv.circle(16, 23.5, 1.8, (240, 200, 60, 255))


@icon("Menu", *GREY)
def _menu(cv):
    for y in (9, 15, 21):
        cv.rect(7, y, 25, y + 3, WHITE)


@icon("History", *GREY)
def _history(cv):
    cv.circle(16, 16, 10, WHITE, 2.5)
    cv.line(16, 16, 16, 9, 2.5, WHITE)
    cv.line(16, 16, 21, 19, 2.5, WHITE)


@icon("Speaker", *GREEN)
def _speaker(cv):
    cv.polygon([(5, 12), (10, 12), (17, 6), (17, 26), (10, 20), (5, 20)], WHITE)
    arc(cv, 17, 16, 6, -45, 45, 2, WHITE)
    arc(cv, 17, 16, 10, -45, 45, 2, WHITE)


@icon("Solo", *ORANGE)
def _solo(cv):
    arc(cv, 16, 17, 9, 180, 360, 2.5, WHITE)
    cv.rect(5, 17, 10, 26, WHITE)
    cv.rect(22, 17, 27, 26, WHITE)


@icon("Number", *BLUE)
def _number(cv):
    for x in (12, 20):
        cv.line(x + 1.5, 6, x - 1.5, 26, 2.5, WHITE)
    for y in (12, 20):
        cv.line(6, y, 26, y, 2.5, WHITE)


@icon("Add", *GREEN)
def _add(cv):
    cv.rect(7, 14, 25, 18, WHITE)
    cv.rect(14, 7, 18, 25, WHITE)


@icon("Sub", *REDBG)
def _sub(cv):
    cv.rect(7, 14, 25, 18, WHITE)


@icon("AddSub", *GREY)
def _addsub(cv):
    cv.rect(4, 9, 16, 12, WHITE)
    cv.rect(8.5, 4.5, 11.5, 16.5, WHITE)
    cv.rect(16, 20, 28, 23, WHITE)
    cv.line(26, 5, 6, 27, 1.5, (220, 220, 220, 255))


def cursors():
    """32 x 32 cursors with a dark outline; the programs' hot spots are the centres."""
    def outlined(draw):
        cv = Canvas(32, 32)
        draw(cv, (0, 0, 0, 255), 2.0)
        draw(cv, WHITE, 0.0)
        return cv

    def select(cv, c, grow):
        for xa, ya, xb, yb in ((16, 4, 16, 28), (4, 16, 28, 16)):
            cv.line(xa, ya, xb, yb, 1.5 + grow, c)
        cv.rect(20 - grow / 2, 20 - grow / 2, 27 + grow / 2, 27 + grow / 2, c)

    def handc(cv, c, grow):
        cv.rect(10 - grow / 2, 14 - grow / 2, 22 + grow / 2, 26 + grow / 2, c)
        for i in range(4):
            cv.rect(10 + i * 3 - grow / 2, 6 - grow / 2, 12.2 + i * 3 + grow / 2, 16, c)

    def zoomc(cv, c, grow):
        cv.circle(13, 13, 7, c, 2 + grow)
        cv.line(18, 18, 26, 26, 3.5 + grow, c)

    def displacec(cv, c, grow):
        for i in range(3):
            cv.line(6 + i * 4, 22 - i * 6, 22 + i * 4, 22 - i * 6, 2 + grow, c)

    def timec(cv, c, grow):
        cv.line(16, 2, 16, 30, 2 + grow, c)
        cv.polygon([(11 - grow, 2 - grow), (21 + grow, 2 - grow), (16, 9 + grow)], c)

    def movec(cv, c, grow):
        for dx, dy in ((1, 0), (0, 1)):
            arrow(cv, 16 - 12 * dx, 16 - 12 * dy, 16 + 12 * dx + 0.01, 16 + 12 * dy + 0.01, c, 2 + grow, 5)
            arrow(cv, 16 + 12 * dx, 16 + 12 * dy, 16 - 12 * dx - 0.01, 16 - 12 * dy - 0.01, c, 2 + grow, 5)

    def scalec(cv, c, grow):
        cv.rect(11 - grow / 2, 11 - grow / 2, 21 + grow / 2, 21 + grow / 2, c)
        arrow(cv, 21, 21, 29, 29, c, 2 + grow, 5)
        arrow(cv, 11, 11, 3, 3, c, 2 + grow, 5)

    for name, fn in (("select", select), ("hand", handc), ("zoom", zoomc), ("displace", displacec),
                     ("time", timec), ("move", movec), ("scale", scalec)):
        outlined(fn).save("cursors/%s.png" % name, True)


def stylesheetimages():
    light = (230, 230, 230, 255)
    cv = Canvas(10, 10)
    cv.line(2, 5, 4.5, 8, 1.6, DARK)
    cv.line(4.5, 8, 8.5, 2, 1.6, DARK)
    cv.save("stylesheets/check.png", True)
    cv = Canvas(7, 4)
    cv.polygon([(0, 4), (7, 4), (3.5, 0)], light)
    cv.save("stylesheets/uparrow.png", True)
    cv = Canvas(7, 4)
    cv.polygon([(0, 0), (7, 0), (3.5, 4)], light)
    cv.save("stylesheets/downarrow.png", True)
    cv = Canvas(10, 10)
    cv.line(2, 2, 8, 8, 1.8, light)
    cv.line(8, 2, 2, 8, 1.8, light)
    cv.save("stylesheets/close.png", True)
    cv = Canvas(13, 13)
    for i in range(3):
        o = 4 * i
        cv.line(12, 1 + o, 1 + o, 12, 1.2, (255, 255, 255, 120))
    cv.save("stylesheets/sizegrip.png", True)
    cv = Canvas(16, 5)
    for x in range(0, 16, 4):
        cv.line(x, 5, x + 3, 0, 1.2, (255, 255, 255, 140))
    cv.save("stylesheets/whitestripes.png", True)
    for name, sign in (("rightarrows", 1), ("leftarrows", -1)):
        cv = Canvas(12, 10)
        for ox in (1, 6):
            if sign > 0:
                cv.polygon([(ox, 1), (ox + 4, 5), (ox, 9)], light)
            else:
                cv.polygon([(ox + 4, 1), (ox, 5), (ox + 4, 9)], light)
        cv.save("stylesheets/%s.png" % name, True)
    # Window icon: a small spectrogram in the rounded square.
    cv = Canvas(32, 32)
    cv.shape(lambda x, y: max(abs(x - 16) - 10, 0) ** 2 + max(abs(y - 16) - 10, 0) ** 2 <= 36,
             (30, 30, 50, 255))
    for i in range(5):
        cv.line(7, 24 - i * 4, 25, 22 - i * 3.5, 2, (80 + 35 * i, 255 - 40 * i, 90, 255))
    cv.save("stylesheets/icon.png", True)


def spectrogram(w, h, title_band):
    """A made-up spectrogram picture: harmonics over a dark ground."""
    cv = Canvas(w, h, (18, 20, 30, 255))
    for y in range(h):
        for x in range(w):
            f = 1.0 - y / float(h)
            v = 0.0
            for k in range(1, 7):
                centre = 0.08 * k + 0.03 * math.sin(x / 37.0 + k)
                v += math.exp(-((f - centre) * 90) ** 2) / k
            sweep = 0.1 + 0.7 * (x / float(w))
            v += 0.8 * math.exp(-((f - sweep) * 120) ** 2)
            v = min(1.0, v)
            if y < title_band:
                v *= 0.25
            cv.p[y][x] = (int(18 + 60 * v), int(20 + 230 * v), int(30 + 90 * v), 255)
    return cv


def splash():
    cv = spectrogram(400, 220, 0)
    cv.rect(0, 170, 400, 220, (20, 20, 20, 220))
    # The name in blocky capitals, drawn from line strokes.
    letters = {
        "K": [(0, 0, 0, 1), (0, 0.5, 0.6, 0), (0, 0.5, 0.6, 1)],
        "O": [(0, 0, 0.6, 0), (0.6, 0, 0.6, 1), (0.6, 1, 0, 1), (0, 1, 0, 0)],
        "R": [(0, 1, 0, 0), (0, 0, 0.6, 0), (0.6, 0, 0.6, 0.5), (0.6, 0.5, 0, 0.5), (0.2, 0.5, 0.6, 1)],
        "V": [(0, 0, 0.3, 1), (0.3, 1, 0.6, 0)],
        "A": [(0, 1, 0.3, 0), (0.3, 0, 0.6, 1), (0.12, 0.6, 0.48, 0.6)],
        "N": [(0, 1, 0, 0), (0, 0, 0.6, 1), (0.6, 1, 0.6, 0)],
        "E": [(0.6, 0, 0, 0), (0, 0, 0, 1), (0, 1, 0.6, 1), (0, 0.5, 0.45, 0.5)],
    }
    x, size = 24, 36
    for ch in "KORVANE":
        for xa, ya, xb, yb in letters[ch]:
            cv.line(x + xa * size, 40 + ya * size, x + xb * size, 40 + yb * size, 5, WHITE)
        x += size * 0.6 + 16
    cv.save("splash.png", False)
    logo = spectrogram(96, 96, 0)
    logo.save("logo.png", False)


def banner():
    """The start window's banner: a strip of spectrogram that fades out towards
    the right, where the window's two links stand."""
    cv = spectrogram(280, 40, 0)
    for y in range(cv.h):
        for x in range(cv.w):
            r, g, b, _ = cv.p[y][x]
            cv.p[y][x] = (r, g, b, int(round(200 * max(0.0, 1.0 - x / 180.0))))
    cv.save("stylesheets/banner.png", True)


def main():
    for name, (top, bottom, fn) in ICONS.items():
        cv = background(top, bottom)
        fn(cv)
        cv.save("icons/%s.png" % name, False)
    cursors()
    stylesheetimages()
    splash()
    banner()


if __name__ == "__main__":
    main()
