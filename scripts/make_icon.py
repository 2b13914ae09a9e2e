#!/usr/bin/env python3
"""Draws the icon of Setup, res/setup.ico: a parcel with an arrow going in.

Two 32x32 images, 16 colours (4 bpp, the standard VGA palette) and 256 colours
(8 bpp, the design's own palette), each with its transparency mask.
With --check it writes nothing and fails when res/setup.ico is out of date;
with --preview FILE.ppm it also writes an 8x enlarged picture of both images.
"""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "res", "setup.ico")
SIZE = 32

VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
         (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
         (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
         (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

# Colours of the design: (256-colour image, 16-colour image).
OUTLINE = ((32, 24, 16), (0, 0, 0))
BOX_DARK = ((110, 70, 30), (128, 0, 0))     # the open top: inside of the parcel
TAPE = ((236, 224, 170), (255, 255, 255))
SHADOW = ((96, 96, 96), (128, 128, 128))
ARROW_EDGE = ((0, 70, 0), (0, 128, 0))


def box_front(y, vga):
    if vga:
        return (255, 255, 0) if y < 19 else (128, 128, 0)
    t = (y - 15) / 14.0  # lighter towards the lid
    return (int(214 - 70 * t), int(160 - 60 * t), int(80 - 40 * t))


def arrow_fill(y, vga):
    if vga:
        return (0, 255, 0)
    t = y / 17.0
    return (int(120 - 80 * t), int(230 - 70 * t), int(90 - 70 * t))


def draw(vga):
    """Returns 32 rows (top first) of colours; None is transparent."""
    pick = 1 if vga else 0
    px = [[None] * SIZE for _ in range(SIZE)]

    # Parcel: front face with a tape stripe, the open top above it.
    for y in range(12, 30):
        for x in range(4, 28):
            if x in (4, 27) or y in (12, 15, 29):
                c = OUTLINE[pick]
            elif y < 15:
                c = BOX_DARK[pick]
            elif 15 <= x <= 16:
                c = TAPE[pick]
            else:
                c = box_front(y, vga)
            px[y][x] = c
    # Shadow to the right and below.
    for x in range(6, 29):
        px[30][x] = SHADOW[pick]
    for y in range(14, 30):
        px[y][28] = SHADOW[pick]

    # Arrow pointing down into the open top: shaft x 13..18, head to y 17.
    def in_arrow(x, y):
        if 1 <= y <= 8 and 13 <= x <= 18:
            return True
        if 9 <= y <= 17:
            half = 17 - y          # 8 at y 9, 0 at the tip
            return 15 - half <= x <= 16 + half
        return False

    for y in range(SIZE):
        for x in range(SIZE):
            if not in_arrow(x, y):
                continue
            edge = any(not in_arrow(x + dx, y + dy)
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            px[y][x] = ARROW_EDGE[pick] if edge else arrow_fill(y, vga)
    return px


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(colour, palette[i])))


def image(px, bits):
    if bits == 4:
        palette = list(VGA16)
    else:
        used = sorted({c for row in px for c in row if c is not None})
        palette = [(0, 0, 0)] + [c for c in used if c != (0, 0, 0)]
        assert len(palette) <= 256
        palette += [(0, 0, 0)] * (256 - len(palette))
    lookup = {}
    index = []
    for row in px:
        index.append([0 if c is None else lookup.setdefault(c, nearest(c, palette))
                      for c in row])

    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bits, 0, 0, 0, 0,
                         1 << bits, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = index[y]
        if bits == 4:
            xor += bytes((row[x] << 4) | row[x + 1] for x in range(0, SIZE, 2))
        else:
            xor += bytes(row)
        bitsrow = 0
        for x in range(SIZE):
            bitsrow = (bitsrow << 1) | (1 if px[y][x] is None else 0)
        mask += struct.pack(">I", bitsrow)
    return header + pal + bytes(xor) + bytes(mask), palette, index


def build():
    images = [image(draw(True), 4), image(draw(False), 8)]
    count = len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, count))
    offset = 6 + 16 * count
    for (data, _, _), bits in zip(images, (4, 8)):
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", SIZE, SIZE, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for data, _, _ in images:
        out += data
    return bytes(out), images


def preview(path, images):
    scale = 8
    width = (SIZE + 4) * len(images) * scale
    height = SIZE * scale
    rows = []
    for y in range(SIZE):
        line = []
        for data, palette, index in images:
            mask = data[-SIZE * 4:]
            for x in range(SIZE):
                bit = mask[(SIZE - 1 - y) * 4 + x // 8] >> (7 - x % 8) & 1
                line.append((224, 224, 255) if bit else palette[index[y][x]])
            line += [(255, 255, 255)] * 4
        rows.append(line)
    with open(path, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (width, height))
        for line in rows:
            data = b"".join(bytes(c) * scale for c in line)
            f.write(data * scale)


def main():
    args = sys.argv[1:]
    data, images = build()
    if args[:1] == ["--preview"] and len(args) == 2:
        preview(args[1], images)
        args = []
    if args == ["--check"]:
        try:
            with open(OUT, "rb") as f:
                current = f.read()
        except OSError:
            current = None
        if current != data:
            sys.exit("make_icon: res/setup.ico is out of date, run scripts/make_icon.py")
        return
    if args:
        sys.exit("usage: make_icon.py [--check | --preview FILE.ppm]")
    with open(OUT, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
