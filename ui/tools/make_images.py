#!/usr/bin/env python3
"""Draws the program's small images as XPM files into res/images.

The title-row bitmaps are 16 x 16: white glyphs on the key grey 0x808080
(the grey is left out when drawn, so the control's face colour shows), and
the title icon of concentric one-pixel squares. The two icons are 32 x 32
with a transparent surround. Run it again after changing a picture; the
output is committed.
"""
import os
import sys

GREY, WHITE, PURPLE = "#808080", "#FFFFFF", "#800080"


def grid(w, h, fill):
    return [[fill] * w for _ in range(h)]


def write_xpm(path, name, px):
    h, w = len(px), len(px[0])
    colours = sorted({c for row in px for c in row})
    codes = "abcdefghijklmnopqrstuvwxyz"
    key = {c: codes[i] for i, c in enumerate(colours)}
    lines = [f'"{w} {h} {len(colours)} 1",']
    lines += [f'"{key[c]} c {c}",' for c in colours]
    lines += ['"' + "".join(key[c] for c in row) + '",' for row in px]
    lines[-1] = lines[-1].rstrip(",")
    with open(path, "w") as f:
        f.write(f"/* XPM */\nstatic const char *{name}[] = {{\n")
        f.write("\n".join(lines) + "\n};\n")


def plot(px, x, y, c):
    if 0 <= y < len(px) and 0 <= x < len(px[0]):
        px[y][x] = c


def line(px, x0, y0, x1, y1, c, thick=1):
    n = max(abs(x1 - x0), abs(y1 - y0))
    for i in range(n + 1):
        x = x0 + (x1 - x0) * i / n if n else x0
        y = y0 + (y1 - y0) * i / n if n else y0
        for dx in range(thick):
            plot(px, round(x) + dx, round(y), c)


def rect(px, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            plot(px, x, y, c)


def bmp_close():
    px = grid(16, 16, GREY)
    line(px, 3, 3, 11, 11, WHITE, 2)
    line(px, 11, 3, 3, 11, WHITE, 2)
    return px


def bmp_title():
    px = grid(16, 16, WHITE)
    for ring in range(8):
        c = PURPLE if ring % 2 == 0 else WHITE
        lo, hi = ring, 15 - ring
        for i in range(lo, hi + 1):
            px[lo][i] = px[hi][i] = px[i][lo] = px[i][hi] = c
    return px


def bmp_min():
    px = grid(16, 16, GREY)
    rect(px, 3, 14, 12, 15, WHITE)
    return px


def bmp_help():
    px = grid(16, 16, GREY)
    rect(px, 4, 3, 5, 12, WHITE)
    rect(px, 10, 3, 11, 12, WHITE)
    rect(px, 6, 7, 9, 8, WHITE)
    return px


def bmp_about():
    px = grid(16, 16, GREY)
    line(px, 7, 2, 3, 13, WHITE, 2)
    line(px, 7, 2, 11, 13, WHITE, 2)
    rect(px, 5, 9, 10, 10, WHITE)
    return px


def icon_program():
    # A film strip frame in blue with a white cut mark across it.
    px = grid(32, 32, "None")
    blue, dark = "#2050C0", "#102060"
    rect(px, 3, 5, 28, 26, dark)
    rect(px, 4, 6, 27, 25, blue)
    for x in range(6, 27, 5):
        rect(px, x, 7, x + 2, 8, WHITE)
        rect(px, x, 23, x + 2, 24, WHITE)
    rect(px, 6, 11, 25, 20, "#80C0FF")
    line(px, 9, 12, 15, 19, WHITE, 2)
    line(px, 15, 19, 22, 12, WHITE, 2)
    line(px, 1, 29, 30, 2, "#FF4040", 2)
    return px


def icon_ok():
    # A green disc with a white tick.
    px = grid(32, 32, "None")
    green, edge = "#20A040", "#106020"
    for y in range(32):
        for x in range(32):
            d = (x - 15.5) ** 2 + (y - 15.5) ** 2
            if d <= 14.5 ** 2:
                px[y][x] = green if d <= 13.5 ** 2 else edge
    line(px, 8, 16, 13, 22, WHITE, 3)
    line(px, 13, 22, 23, 9, WHITE, 3)
    return px


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "..", "res", "images")
    os.makedirs(out, exist_ok=True)
    for name, px in [("bmp134", bmp_close()), ("bmp135", bmp_title()), ("bmp136", bmp_min()),
                     ("bmp138", bmp_help()), ("bmp139", bmp_about()),
                     ("icon128", icon_program()), ("icon41001", icon_ok())]:
        write_xpm(os.path.join(out, name + ".xpm"), name, px)


if __name__ == "__main__":
    main()
