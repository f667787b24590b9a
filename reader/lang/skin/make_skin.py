#!/usr/bin/env python3
"""Draws the reader's skin images and icon for one language module.

    make_skin.py --badge EN --out DIR

writes the PNG images (ids 607..738) and main.ico into DIR. Only the Python
standard library is used (zlib + struct PNG writer), so the images can be
remade on any build machine. Shapes are anti-aliased by 4 x 4 supersampling.

Sizes and layouts are the ones the main dialog's drawing code expects:
  611/612/607  left edge, middle, right edge of the body, H = 34 pixels high
  609          separator, T = 2 pixels wide
  613/617      volume and speed icons, 16 x 16
  608          button sprite sheet, 226 x 92; every button's rows are its looks
               from top to bottom: normal, pressed, hot (and disabled for stop)
  616          slider parts: channel caps and middle at x 2..6 (plain row y 3,
               filled row y 6, 3 high), thumb at (13, 1), 8 x 8
  618          busy animation, 12 frames of 22 x 22 side by side
  721/738      voice-type icon cells, 24 x 24 each, 5 cells side by side
"""
import argparse
import math
import os
import struct
import zlib

SS = 4  # supersampling per axis
BODY_H = 34


class Canvas:
    """RGBA canvas with straight (non-premultiplied) 8-bit output."""

    def __init__(self, w, h, fill=(0, 0, 0, 0)):
        self.w, self.h = w, h
        r, g, b, a = fill
        a = a / 255.0
        # premultiplied floats internally, so 'over' composes simply
        self.px = [[r / 255.0 * a, g / 255.0 * a, b / 255.0 * a, a] for _ in range(w * h)]

    def blend(self, x, y, color, coverage):
        if coverage <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        r, g, b, a = color
        a = a / 255.0 * min(coverage, 1.0)
        p = self.px[y * self.w + x]
        k = 1.0 - a
        p[0] = r / 255.0 * a + p[0] * k
        p[1] = g / 255.0 * a + p[1] * k
        p[2] = b / 255.0 * a + p[2] * k
        p[3] = a + p[3] * k

    def shape(self, inside, color, box=None):
        """Fills every pixel by the share of its subsamples for which inside(x, y) holds.
        color may be a function of (x, y) giving an RGBA tuple."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                            hits += 1
                if hits:
                    c = color(x + 0.5, y + 0.5) if callable(color) else color
                    self.blend(x, y, c, hits / (SS * SS))

    def rect(self, x0, y0, x1, y1, color):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, color, (x0, y0, x1, y1))

    def round_rect(self, x0, y0, x1, y1, r, color):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        self.shape(inside, color, (x0, y0, x1, y1))

    def circle(self, cx, cy, r, color):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color,
                   (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))

    def ring(self, cx, cy, r_out, r_in, color, a_from=None, a_to=None):
        def inside(x, y):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if not (r_in * r_in <= d <= r_out * r_out):
                return False
            if a_from is None:
                return True
            ang = math.degrees(math.atan2(-(y - cy), x - cx)) % 360
            return a_from <= ang <= a_to
        self.shape(inside, color, (cx - r_out - 1, cy - r_out - 1, cx + r_out + 1, cy + r_out + 1))

    def polygon(self, pts, color):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]

        def inside(x, y):
            c = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    c = not c
                j = i
            return c
        self.shape(inside, color, (min(xs), min(ys), max(xs) + 1, max(ys) + 1))

    def line(self, x0, y0, x1, y1, width, color):
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy) or 1.0
        hw = width / 2.0

        def inside(x, y):
            t = ((x - x0) * dx + (y - y0) * dy) / (length * length)
            t = min(max(t, 0.0), 1.0)
            px, py = x0 + t * dx, y0 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= hw * hw
        self.shape(inside, color, (min(x0, x1) - width, min(y0, y1) - width,
                                   max(x0, x1) + width, max(y0, y1) + width))

    def paste(self, other, dx, dy):
        for y in range(other.h):
            for x in range(other.w):
                tx, ty = dx + x, dy + y
                if 0 <= tx < self.w and 0 <= ty < self.h:
                    self.px[ty * self.w + tx] = list(other.px[y * other.w + x])

    def rgba_rows(self):
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a > 0:
                    r, g, b = r / a, g / a, b / a
                row += bytes(max(0, min(255, int(round(v * 255)))) for v in (r, g, b, a))
            rows.append(bytes(row))
        return rows


def write_png(canvas, path):
    raw = b"".join(b"\x00" + row for row in canvas.rgba_rows())

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    ihdr = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
                + chunk(b"IEND", b""))


def write_ico(canvases, path):
    """An icon file of 32-bit DIB images (BGRA with an AND mask), which every
    icon loader understands."""
    images = []
    for c in canvases:
        rows = c.rgba_rows()
        xor = bytearray()
        for row in reversed(rows):  # bottom-up
            for i in range(0, len(row), 4):
                r, g, b, a = row[i:i + 4]
                xor += bytes((b, g, r, a))
        mask_stride = ((c.w + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x in range(c.w):
                if row[x * 4 + 3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append(header + bytes(xor) + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


# ---------------------------------------------------------------- palette
OUTLINE = (16, 22, 32, 255)
TOP = (84, 118, 160)
BOTTOM = (30, 46, 70)
GLYPH = (236, 242, 250, 255)
GLYPH_PRESSED = (170, 196, 226, 255)
GLYPH_HOT = (255, 214, 102, 255)
GLYPH_DISABLED = (120, 132, 150, 255)
LOOKS = [GLYPH, GLYPH_PRESSED, GLYPH_HOT, GLYPH_DISABLED]


def body_color(y):
    """The body's vertical gradient with a soft gloss in the upper half."""
    t = min(max((y - 1) / (BODY_H - 2), 0.0), 1.0)
    r, g, b = (TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3))
    if y < BODY_H * 0.45:
        k = 0.18 * (1 - y / (BODY_H * 0.45))
        r, g, b = r + (255 - r) * k, g + (255 - g) * k, b + (255 - b) * k
    return (int(r), int(g), int(b), 255)


def body_piece(w, left_edge=False, right_edge=False):
    c = Canvas(w, BODY_H)
    for y in range(BODY_H):
        for x in range(w):
            c.blend(x, y, body_color(y + 0.5), 1.0)
    c.rect(0, 0, w, 1, OUTLINE)  # top outline; the bottom line is the dialog's unpainted last row
    if left_edge:
        c.rect(0, 0, 1, BODY_H, OUTLINE)
        c.rect(1, 1, 2, BODY_H, (255, 255, 255, 40))
    if right_edge:
        c.rect(w - 1, 0, w, BODY_H, (0, 0, 0, 90))
    if not left_edge and not right_edge:
        c.rect(0, 1, w, 2, (255, 255, 255, 50))
    return c


def separator():
    c = Canvas(2, BODY_H)
    for y in range(BODY_H):
        edge = min(y, BODY_H - 1 - y)
        fade = min(1.0, edge / 8.0)
        c.blend(0, y, (10, 16, 26, int(170 * fade)), 1.0)
        c.blend(1, y, (200, 220, 245, int(110 * fade)), 1.0)
    return c


# ---------------------------------------------------------------- tiny pixel font for badges
FONT = {
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10101", "10011", "10001", "10001"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
}


def draw_text(c, x, y, text, color, scale=1):
    for ch in text:
        glyph = FONT[ch]
        for gy, row in enumerate(glyph):
            for gx, bit in enumerate(row):
                if bit == "1":
                    c.rect(x + gx * scale, y + gy * scale, x + (gx + 1) * scale, y + (gy + 1) * scale, color)
        x += 6 * scale


# ---------------------------------------------------------------- glyphs (one look each)
def g_play(c, ox, oy, col):
    c.polygon([(ox + 7, oy + 5), (ox + 17, oy + 11.5), (ox + 7, oy + 18)], col)


def g_pause(c, ox, oy, col):
    c.round_rect(ox + 6, oy + 5, ox + 10, oy + 18, 1, col)
    c.round_rect(ox + 12, oy + 5, ox + 16, oy + 18, 1, col)


def g_stop(c, ox, oy, col):
    c.round_rect(ox + 6, oy + 6, ox + 16, oy + 17, 1.5, col)


def round_button(c, ox, oy, w, h, look):
    """The round plate behind the read and stop glyphs."""
    shade = [(255, 255, 255, 34), (0, 0, 0, 60), (255, 255, 255, 60), (255, 255, 255, 16)][look]
    c.circle(ox + w / 2, oy + h / 2, min(w, h) / 2 - 0.5, shade)
    c.ring(ox + w / 2, oy + h / 2, min(w, h) / 2 - 0.5, min(w, h) / 2 - 1.5, (255, 255, 255, 70))


def g_fold_arrow(c, ox, oy, col, pointing_left):
    # a chevron in an 11 x 20 cell
    if pointing_left:
        pts = [(ox + 8, oy + 4), (ox + 3, oy + 10), (ox + 8, oy + 16)]
    else:
        pts = [(ox + 3, oy + 4), (ox + 8, oy + 10), (ox + 3, oy + 16)]
    c.line(pts[0][0], pts[0][1], pts[1][0], pts[1][1], 2.2, col)
    c.line(pts[1][0], pts[1][1], pts[2][0], pts[2][1], 2.2, col)


def g_close(c, ox, oy, col):
    c.line(ox + 1.5, oy + 0.5, ox + 7.5, oy + 6.5, 1.6, col)
    c.line(ox + 7.5, oy + 0.5, ox + 1.5, oy + 6.5, 1.6, col)


def g_minimise(c, ox, oy, col):
    c.rect(ox + 1, oy + 4, ox + 9, oy + 6, col)


def g_lexicon(c, ox, oy, col):
    # an open book
    c.polygon([(ox + 3, oy + 6), (ox + 10.5, oy + 7.5), (ox + 10.5, oy + 18), (ox + 3, oy + 16.5)], col)
    c.polygon([(ox + 11.5, oy + 7.5), (ox + 19, oy + 6), (ox + 19, oy + 16.5), (ox + 11.5, oy + 18)], col)
    line = (40, 60, 90, 200)
    for k in range(3):
        c.line(ox + 5, oy + 10 + 2.5 * k, ox + 9, oy + 10.7 + 2.5 * k, 0.8, line)
        c.line(ox + 13, oy + 10.7 + 2.5 * k, ox + 17, oy + 10 + 2.5 * k, 0.8, line)


def g_launch(c, ox, oy, col):
    # an application window with an arrow leaving it
    c.round_rect(ox + 3, oy + 5, ox + 17, oy + 18, 1.5, col)
    c.rect(ox + 4.5, oy + 8.5, ox + 15.5, oy + 16.5, (40, 60, 90, 220))
    c.line(ox + 10, oy + 13, ox + 20, oy + 4, 2.0, col)
    c.polygon([(ox + 15, oy + 3), (ox + 21.5, oy + 2.5), (ox + 21, oy + 9)], col)


def language_badge(c, ox, oy, badge, look):
    plate = [(20, 34, 54, 200), (10, 20, 34, 220), (36, 56, 86, 220), (60, 70, 84, 160)][look]
    c.round_rect(ox + 0.5, oy + 0.5, ox + 52.5, oy + 21.5, 5, (255, 255, 255, 60))
    c.round_rect(ox + 1.5, oy + 1.5, ox + 51.5, oy + 20.5, 4, plate)
    # speaker with sound waves, then the language code
    col = LOOKS[look]
    c.polygon([(ox + 7, oy + 9), (ox + 10, oy + 9), (ox + 14, oy + 5.5), (ox + 14, oy + 16.5),
               (ox + 10, oy + 13), (ox + 7, oy + 13)], col)
    c.ring(ox + 14, oy + 11, 5.2, 4.0, col, 0, 50)
    c.ring(ox + 14, oy + 11, 5.2, 4.0, col, 310, 360)
    c.ring(ox + 14, oy + 11, 8.4, 7.2, col, 0, 45)
    c.ring(ox + 14, oy + 11, 8.4, 7.2, col, 315, 360)
    draw_text(c, ox + 28, oy + 4, badge, col, scale=2 if len(badge) <= 2 else 1)


def sprite_sheet(badge):
    c = Canvas(226, 92)
    for look in range(3):
        col = LOOKS[look]
        # pause glyph (x 0) and read glyph (x 22), rows of 23
        round_button(c, 0, 23 * look, 22, 23, look)
        g_pause(c, 0, 23 * look, col)
        round_button(c, 22, 23 * look, 22, 23, look)
        g_play(c, 22, 23 * look, col)
        # fold: x 66 while folded (points right, to unfold), x 77 unfolded (points left)
        g_fold_arrow(c, 66, 20 * look, col, pointing_left=False)
        g_fold_arrow(c, 77, 20 * look, col, pointing_left=True)
        g_close(c, 108, 7 * look, col)
        g_lexicon(c, 117, 22 * look, col)
        g_minimise(c, 192, 7 * look, col)
        g_launch(c, 202, 22 * look, col)
    for look in range(4):  # the stop button also has a disabled look
        round_button(c, 44, 23 * look, 22, 23, look)
        g_stop(c, 44, 23 * look, LOOKS[look])
    language_badge(c, 139, 0, badge, 0)
    return c


def slider_parts():
    c = Canvas(22, 10)
    plain_dark, plain_light = (12, 20, 32, 230), (120, 140, 170, 230)
    fill_dark, fill_light = (160, 110, 10, 255), (255, 210, 90, 255)
    for top, dark, light in ((3, plain_dark, plain_light), (6, fill_dark, fill_light)):
        # left cap x 2..3, middle x 4, right cap x 5..6 (its first column repeats the middle)
        for x in range(2, 7):
            c.rect(x, top, x + 1, top + 1, dark)
            c.rect(x, top + 1, x + 1, top + 2, light if top == 6 else (60, 78, 104, 230))
            c.rect(x, top + 2, x + 1, top + 3, light)
        c.px[(top + 0) * 22 + 2] = [0, 0, 0, 0]
        c.px[(top + 2) * 22 + 2] = [0, 0, 0, 0]
        c.px[(top + 0) * 22 + 6] = [0, 0, 0, 0]
        c.px[(top + 2) * 22 + 6] = [0, 0, 0, 0]
    # thumb: a lit knob at (13, 1), 8 x 8
    c.circle(17, 5, 4, (20, 30, 44, 255))
    c.circle(17, 5, 3.2, (250, 250, 252, 255))
    c.circle(16.4, 4.3, 1.4, (255, 255, 255, 255))
    c.circle(17, 5, 1.2, (255, 196, 60, 255))
    return c


def volume_icon():
    c = Canvas(16, 16)
    col = (226, 236, 248, 255)
    c.polygon([(1.5, 6), (4.5, 6), (8.5, 2.5), (8.5, 13.5), (4.5, 10), (1.5, 10)], col)
    c.ring(8.5, 8, 3.8, 2.6, col, 0, 55)
    c.ring(8.5, 8, 3.8, 2.6, col, 305, 360)
    c.ring(8.5, 8, 6.6, 5.4, col, 0, 50)
    c.ring(8.5, 8, 6.6, 5.4, col, 310, 360)
    return c


def speed_icon():
    c = Canvas(16, 16)
    col = (226, 236, 248, 255)
    # a speedometer: an arc, tick marks and a needle
    c.ring(8, 10, 7, 5.6, col, 0, 180)
    for ang in (20, 60, 100, 140):
        a = math.radians(ang)
        c.line(8 + 4.2 * math.cos(a), 10 - 4.2 * math.sin(a), 8 + 5.2 * math.cos(a), 10 - 5.2 * math.sin(a),
               1.0, col)
    c.line(8, 10, 12, 5, 1.6, (255, 200, 80, 255))
    c.circle(8, 10, 1.6, col)
    return c


def busy_strip():
    frames = 12
    c = Canvas(22 * frames, 22)
    for f in range(frames):
        ox = 22 * f
        for k in range(8):
            age = (k - f) % 8  # 0 = the leading dot
            a = math.radians(90 - 45 * k)
            alpha = int(255 * (1.0 - age / 9.0))
            rad = 2.2 - age * 0.12
            c.circle(ox + 11 + 7 * math.cos(a), 11 - 7 * math.sin(a), rad, (255, 214, 102, max(alpha, 30)))
        # a slow pulse in the middle makes the twelve frames differ after the dots repeat
        c.circle(ox + 11, 11, 1.2 + 0.8 * math.sin(math.pi * f / frames), (236, 242, 250, 200))
    return c


def voice_type_icons(second_generation):
    """Five 24 x 24 cells: 0 maker voice (type 2), 1 high-rate edition (type 4),
    2 premium (type 3), 3 spare, 4 voice of another vendor."""
    c = Canvas(120, 24)
    ring_col = (255, 214, 102, 255) if second_generation else (190, 205, 225, 255)
    fills = [(58, 132, 206, 255), (140, 80, 190, 255), (212, 150, 30, 255),
             (90, 150, 110, 255), (120, 128, 140, 255)]
    for n, fill in enumerate(fills):
        ox = 24 * n
        c.circle(ox + 12, 12, 10.5, (0, 0, 0, 90))
        c.circle(ox + 12, 12, 10, fill)
        c.ring(ox + 12, 12, 10, 8.8, ring_col if n != 4 else (200, 205, 212, 255))
        # a head in profile with sound waves
        white = (250, 250, 252, 255)
        c.circle(ox + 10, 10, 3.6, white)
        c.polygon([(ox + 5, 18), (ox + 6.5, 14), (ox + 13.5, 14), (ox + 15, 18)], white)
        if n != 4:
            c.ring(ox + 13, 10, 5.2, 4.2, white, 320, 360)
            c.ring(ox + 13, 10, 5.2, 4.2, white, 0, 40)
        if n in (1, 2):  # the richer editions carry a star
            cx, cy = ox + 18, 6
            pts = []
            for i in range(10):
                r = 3.2 if i % 2 == 0 else 1.4
                a = math.radians(90 + 36 * i)
                pts.append((cx + r * math.cos(a), cy - r * math.sin(a)))
            c.polygon(pts, (255, 236, 140, 255))
    return c


def app_icon(size):
    c = Canvas(size, size)
    s = size / 32.0
    c.round_rect(1 * s, 1 * s, 31 * s, 31 * s, 6 * s, (30, 46, 70, 255))
    c.round_rect(2 * s, 2 * s, 30 * s, 30 * s, 5 * s, (70, 104, 146, 255))
    # speech bubble with a sound wave inside
    c.round_rect(5 * s, 6 * s, 27 * s, 22 * s, 5 * s, (250, 250, 252, 255))
    c.polygon([(9 * s, 21 * s), (16 * s, 21 * s), (8 * s, 28 * s)], (250, 250, 252, 255))
    bars = [4, 8, 12, 8, 5]
    for i, h in enumerate(bars):
        x = (9 + 3.2 * i) * s
        c.round_rect(x, (14 - h / 2) * s, x + 2 * s, (14 + h / 2) * s, 1 * s, (212, 150, 30, 255))
    return c


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--badge", required=True, help="language code shown on the language button")
    ap.add_argument("--out", required=True, help="output folder")
    args = ap.parse_args()
    badge = args.badge.upper()
    if any(ch not in FONT for ch in badge):
        ap.error("badge letters must be among " + "".join(sorted(FONT)))
    os.makedirs(args.out, exist_ok=True)

    def out(name):
        return os.path.join(args.out, name)
    write_png(body_piece(6, left_edge=True), out("611.png"))
    write_png(body_piece(4), out("612.png"))
    write_png(body_piece(6, right_edge=True), out("607.png"))
    write_png(separator(), out("609.png"))
    write_png(volume_icon(), out("613.png"))
    write_png(speed_icon(), out("617.png"))
    write_png(sprite_sheet(badge), out("608.png"))
    write_png(slider_parts(), out("616.png"))
    write_png(busy_strip(), out("618.png"))
    write_png(voice_type_icons(False), out("721.png"))
    write_png(voice_type_icons(True), out("738.png"))
    write_ico([app_icon(32), app_icon(16)], out("main.ico"))


if __name__ == "__main__":
    main()
