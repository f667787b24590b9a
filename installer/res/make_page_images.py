#!/usr/bin/env python3
"""Draws the images of the installer plug-in's pages and of the example installer.

    make_page_images.py --out DIR

writes into DIR:
  flag_<id>.png   the language flags page's flags, 24 x 16 pixels each, by the PNG
                  resource id the page loads them from (2001 English US, 2002 English UK,
                  2003 Polish, 2004 Romanian, 2005 Spanish, 2016 Spanish US, 2017 German,
                  2018 French, 2014 the spare globe)
  banner.png      the example installer's progress banner: three frames of 396 x 120
                  pixels side by side (sound waves leaving a speaking head)
  components.bmp  the components page's strip of 24 pictures of 20 x 15 pixels on cyan
                  (the mask colour): the group flags by the page's index, 4 an installed
                  product, 5 a product downloaded from the maker's site

Only the Python standard library is used, so the images can be remade on any build
machine; edges are smoothed by supersampling (4 x 4 for the flags, 2 x 2 for the banner).
"""
import argparse
import math
import os
import struct
import zlib

SUB = 4  # subsamples per axis


def write_png(path, width, height, rows):
    """rows: height lists of width (r, g, b, a) tuples."""
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


def render(width, height, paint, sub=SUB):
    """Each pixel is the average of paint(x, y) over sub x sub points inside it; paint gives
    (r, g, b, a) for a point in pixel coordinates."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(sub):
                for sx in range(sub):
                    r, g, b, a = paint(px + (sx + 0.5) / sub, py + (sy + 0.5) / sub)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = sub * sub
            alpha = acc[3] / n
            if alpha > 0:
                color = tuple(int(round(acc[i] / acc[3])) for i in range(3))
            else:
                color = (0, 0, 0)
            row.append(color + (int(round(alpha)),))
        rows.append(row)
    return rows


def hexcolor(text, alpha=255):
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


W, H = 24, 16
CLEAR = (0, 0, 0, 0)


def framed(inner):
    """A flag with a one-pixel grey outline, so white parts stand out on the page."""
    def paint(x, y):
        if x < 1 or y < 1 or x > W - 1 or y > H - 1:
            return hexcolor("7A7A7A")
        return inner(x, y)
    return paint


def band_index(position, inner, parts):
    """Which of `parts` equal bands a point lies in; the bands end on whole pixels, so no
    row or column is a blend of two colours."""
    pixel = int(position) - 1
    for i in range(parts):
        if pixel < round((i + 1) * inner / parts):
            return i
    return parts - 1


def bands(colors, vertical):
    def paint(x, y):
        if vertical:
            return hexcolor(colors[band_index(x, W - 2, len(colors))])
        return hexcolor(colors[band_index(y, H - 2, len(colors))])
    return paint


def spain(x, y):
    # 1 : 2 : 1
    return hexcolor("F1BF00") if band_index(y, H - 2, 4) in (1, 2) else hexcolor("AA151B")


def united_states(x, y):
    # seven stripes: thirteen do not fit into fourteen rows of pixels
    stripe = band_index(y, H - 2, 7)
    if int(x) - 1 < 10 and stripe < 4:
        # the canton with a few stars
        px, py = int(x) - 1, int(y) - 1
        if px % 3 == 1 and py % 3 == 1:
            return hexcolor("FFFFFF")
        return hexcolor("3C3B6E")
    return hexcolor("B22234") if stripe % 2 == 0 else hexcolor("FFFFFF")


def united_kingdom(x, y):
    fx, fy = (x - 1) / (W - 2), (y - 1) / (H - 2)
    u, v = fx * 2 - 1, fy * 2 - 1  # -1..1
    # distance to the two diagonals, in flag heights
    d1 = abs(fy - fx) * (H - 2) / 2
    d2 = abs(fy - (1 - fx)) * (H - 2) / 2
    cross_h = abs(v) * (H - 2) / 2
    cross_v = abs(u) * (W - 2) / 2
    if cross_h < 1.0 or cross_v < 1.0:
        return hexcolor("C8102E")
    if cross_h < 2.2 or cross_v < 2.2:
        return hexcolor("FFFFFF")
    diag = min(d1, d2)
    if diag < 0.55:
        # the red saltire is offset: on one side of each diagonal only
        return hexcolor("C8102E")
    if diag < 1.6:
        return hexcolor("FFFFFF")
    return hexcolor("012169")


def spanish_us(x, y):
    # the United States flag above the diagonal, Spain's below: Spanish as spoken in the US
    fx, fy = (x - 1) / (W - 2), (y - 1) / (H - 2)
    if abs(fy - (1 - fx)) * (H - 2) < 0.6:
        return hexcolor("FFFFFF")
    return united_states(x, y) if fy < 1 - fx else spain(x, y)


def globe(x, y):
    cx, cy, r = W / 2, H / 2, 7.2
    dx, dy = x - cx, y - cy
    d = math.hypot(dx, dy)
    if d > r:
        return CLEAR
    if d > r - 0.9:
        return hexcolor("1F5F99")
    # meridians and parallels over the sea
    lon = math.asin(max(-1.0, min(1.0, dx / max(0.001, math.sqrt(max(0.001, r * r - dy * dy))))))
    if min(abs(lon), abs(abs(lon) - 0.9)) < 0.09 or abs(dy) < 0.35 or abs(abs(dy) - 3.6) < 0.3:
        return hexcolor("E8F1FA")
    return hexcolor("3A8DDE")


FLAGS = {
    2001: framed(united_states),
    2002: framed(united_kingdom),
    2003: framed(bands(["FFFFFF", "DC143C"], vertical=False)),
    2004: framed(bands(["002B7F", "FCD116", "CE1126"], vertical=True)),
    2005: framed(spain),
    2016: framed(spanish_us),
    2017: framed(bands(["000000", "DD0000", "FFCE00"], vertical=False)),
    2018: framed(bands(["0055A4", "FFFFFF", "EF4135"], vertical=True)),
    2014: globe,
}

def write_bmp(path, width, height, rows):
    """An 8-bit bottom-up BMP (a third of the 24-bit file's size in the plug-in): the 255 most
    used colours and cyan, the mask colour, which stays exact; every other colour becomes the
    nearest of them."""
    counts = {}
    for row in rows:
        for r, g, b, _ in row:
            counts[(r, g, b)] = counts.get((r, g, b), 0) + 1
    cyan = CYAN[:3]
    palette = [cyan] + [c for c, _ in sorted(counts.items(), key=lambda kv: -kv[1]) if c != cyan][:255]
    index = {c: i for i, c in enumerate(palette)}

    def nearest(colour):
        if colour not in index:
            index[colour] = min(range(1, len(palette)),
                                key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))
        return index[colour]

    stride = (width + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(nearest((r, g, b)) for r, g, b, _ in row)
        line += bytes(stride - len(line))
        pixels += line
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, len(palette), 0)
    with open(path, "wb") as out:
        out.write(header + info + table + pixels)


def nordic(field, cross, inner=None):
    """A Nordic cross flag: the upright left of the middle."""
    def paint(x, y):
        cx, cy = (x - 1) / (W - 2) * 28, (y - 1) / (H - 2) * 18
        for colour, half in ((inner, 1.0), (cross, 2.0)) if inner else ((cross, 2.0),):
            if abs(cx - 10) < half or abs(cy - 9) < half:
                return hexcolor(colour)
        return hexcolor(field)
    return paint


def disc(field, colour, radius=4.2, centre=None):
    def paint(x, y):
        cx, cy = centre if centre else (W / 2, H / 2)
        return hexcolor(colour) if math.hypot(x - cx, y - cy) < radius else hexcolor(field)
    return paint


def korea(x, y):
    dx, dy = x - W / 2, y - H / 2
    if math.hypot(dx, dy) < 4.4:
        return hexcolor("CD2E3A") if dy < math.sin(dx * 0.7) * 1.2 else hexcolor("0047A0")
    return hexcolor("FFFFFF")


def brazil(x, y):
    dx, dy = abs(x - W / 2), abs(y - H / 2)
    if math.hypot(x - W / 2, y - H / 2) < 3.6:
        return hexcolor("002776")
    if dx / (W / 2 - 2) + dy / (H / 2 - 2) < 1:
        return hexcolor("FEDF00")
    return hexcolor("009C3B")


def portugal(x, y):
    if math.hypot(x - 10, y - H / 2) < 3.0:
        return hexcolor("FFE900")
    return hexcolor("006600") if x < 10 else hexcolor("FF0000")


def australia(x, y):
    if x < W / 2 and y < H / 2:
        return united_kingdom(x * 2 - 1, y * 2 - 1)
    for sx, sy, r in ((6, 12, 1.6), (18, 4, 0.9), (21, 8, 0.9), (17, 11, 0.9), (19, 13, 0.8)):
        if math.hypot(x - sx, y - sy) < r:
            return hexcolor("FFFFFF")
    return hexcolor("012169")


def wales(x, y):
    # white over green with the red dragon reduced to its body
    if math.hypot((x - W / 2) / 6.5, (y - H / 2) / 3.6) < 1.0:
        return hexcolor("D30731")
    return hexcolor("FFFFFF") if y < H / 2 else hexcolor("00B140")


def canada(x, y):
    if x < 7 or x > W - 7:
        return hexcolor("D80621")
    dx, dy = x - W / 2, y - H / 2 - 0.5
    leaf = abs(dx) < 3.8 - abs(dy) * 0.45 and -4.5 < dy < 3.2 or (abs(dx) < 0.5 and dy < 5.5)
    return hexcolor("D80621") if leaf else hexcolor("FFFFFF")


def installed(x, y):
    # a green disc with a white tick: the product is on the machine
    d = math.hypot(x - 12, y - 8)
    if d > 7.2:
        return CLEAR
    tx, ty = x - 12, y - 8
    on_short = abs(ty - tx - 1.0) < 1.3 and -4.2 < tx < -0.4
    on_long = abs(ty + 0.9 * tx - 1.0) < 1.3 and -1.0 < tx < 4.6
    if on_short or on_long:
        return hexcolor("FFFFFF")
    return hexcolor("1E8E3E") if d < 6.3 else hexcolor("13652B")


def download(x, y):
    # a blue arrow into a tray: the product comes from the maker's site
    tx = x - 12
    if 12.5 < y < 15 and abs(tx) < 7:
        return hexcolor("1F5F99")
    if 10 < y <= 12.5 and 4.8 < abs(tx) < 7:
        return hexcolor("1F5F99")
    if 1 < y < 7 and abs(tx) < 2:
        return hexcolor("2F80D0")
    if 6.5 <= y < 11.5 and abs(tx) < (11.5 - y) * 1.1:
        return hexcolor("2F80D0")
    return CLEAR


# The components page's pictures by index (None: not drawn; the page never shows it).
STRIP = [
    FLAGS[2003], FLAGS[2002], FLAGS[2001], FLAGS[2004], installed, download,
    FLAGS[2005], FLAGS[2016], FLAGS[2017], FLAGS[2018],
    framed(united_kingdom), framed(wales), framed(australia),
    framed(bands(["009246", "FFFFFF", "CE2B37"], vertical=True)), framed(brazil),
    framed(bands(["AE1C28", "FFFFFF", "21468B"], vertical=False)), framed(nordic("C8102E", "FFFFFF")),
    framed(nordic("02529C", "FFFFFF", "DC1E35")), framed(nordic("006AA7", "FECC02")),
    framed(bands(["FFFFFF", "0039A6", "D52B1E"], vertical=False)), framed(portugal), framed(korea),
    framed(disc("FFFFFF", "BC002D")), framed(canada),
]
PIC_W, PIC_H = 20, 15
CYAN = (0, 255, 255, 255)


def strip():
    """Each picture is drawn at 18 x 12 (three quarters of a flag) in its 20 x 15 cell, over
    the mask colour; partly covered pixels are blended towards white, not cyan, so no cyan
    fringe shows on the page."""
    rows = [[CYAN] * (PIC_W * len(STRIP)) for _ in range(PIC_H)]
    for index, paint in enumerate(STRIP):
        scale = W / 18.0
        art = render(18, 12, lambda x, y, p=paint: p(x * scale, y * scale))
        for y in range(12):
            for x in range(18):
                r, g, b, a = art[y][x]
                if a < 24:
                    continue
                k = a / 255.0
                pixel = tuple(int(round(c * k + 255 * (1 - k))) for c in (r, g, b)) + (255,)
                rows[y + 2][index * PIC_W + x + 1] = pixel
    return rows


FRAME_W, FRAME_H, FRAMES = 396, 120, 3


def banner(x, y):
    frame = int(x // FRAME_W)
    fx = x - frame * FRAME_W
    # background: a soft vertical gradient in the maker's blue
    t = y / FRAME_H
    base = (int(24 + 20 * t), int(70 + 40 * t), int(140 + 50 * t), 255)
    # a speaking head in profile on the left
    hx, hy = 72.0, 54.0
    head = math.hypot((fx - hx) / 26.0, (y - hy) / 31.0) < 1.0
    nose = 94 <= fx <= 103 and 50 <= y <= 62 and (fx - 94) < 1.2 * (62 - y)
    neck = 60 <= fx <= 82 and 76 <= y <= 100
    shoulders = math.hypot((fx - 68) / 58.0, (y - 128) / 30.0) < 1.0
    if head or nose or neck or shoulders:
        return (240, 244, 250, 255)
    # sound waves: arcs around the mouth, the wave front moving outwards frame by frame
    mx, my = 100.0, 66.0
    d = math.hypot(fx - mx, y - my)
    ang = math.atan2(y - my, fx - mx)
    if fx > mx and abs(ang) < 0.75:
        for k in range(6):
            radius = 26 + k * 40 + frame * 13
            if abs(d - radius) < 3.2:
                fade = 1.0 - k / 7.0
                return (int(base[0] + (255 - base[0]) * fade), int(base[1] + (214 - base[1]) * fade),
                        int(base[2] + (90 - base[2]) * fade), 255)
    return base


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for resource, paint in FLAGS.items():
        write_png(os.path.join(args.out, "flag_%d.png" % resource), W, H, render(W, H, paint))
    write_bmp(os.path.join(args.out, "components.bmp"), PIC_W * len(STRIP), PIC_H, strip())
    write_png(os.path.join(args.out, "banner.png"), FRAME_W * FRAMES, FRAME_H,
              render(FRAME_W * FRAMES, FRAME_H, banner, sub=2))


if __name__ == "__main__":
    main()
