#!/usr/bin/env python3
"""Draws the program icon for the desktop: dist/icons/vantorel.svg and the
48, 128 and 256 pixel PNGs beside it.

The picture is the window's own program icon (res/images/icon128.xpm, drawn
by ui/tools/make_images.py) as vector shapes on a 32-unit grid: a blue film
frame with sprocket holes, a light screen with a white tick, and a red cut
line across it. Run it again after changing a shape; the output is committed.
Only the standard library is used (the PNGs are rasterised with 4 x 4
supersampling and written with zlib).
"""
import math
import os
import struct
import sys
import zlib

DARK, BLUE, SCREEN, WHITE, RED = "#102060", "#2050C0", "#80C0FF", "#FFFFFF", "#FF4040"


def shapes():
    """Bottom to top: ("rect", x0, y0, x1, y1, radius, colour) and
    ("line", [(x, y), ...], width, colour) with round caps and joins."""
    s = [("rect", 3, 5, 29, 27, 1.6, DARK), ("rect", 4, 6, 28, 26, 1.0, BLUE)]
    hole, gap = 2.8, (24 - 5 * 2.8) / 6
    for i in range(5):
        x = 4 + gap + i * (hole + gap)
        s.append(("rect", x, 7, x + hole, 9, 0.4, WHITE))
        s.append(("rect", x, 23, x + hole, 25, 0.4, WHITE))
    s.append(("rect", 6, 11, 26, 21, 0.6, SCREEN))
    s.append(("line", [(10, 13.5), (16, 19.2), (22, 13.5)], 2.2, WHITE))
    s.append(("line", [(2.2, 29.8), (29.8, 2.2)], 2.2, RED))
    return s


def svg():
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32">']
    for sh in shapes():
        if sh[0] == "rect":
            _, x0, y0, x1, y1, r, c = sh
            out.append(f'  <rect x="{x0:g}" y="{y0:g}" width="{x1 - x0:g}" height="{y1 - y0:g}" '
                       f'rx="{r:g}" fill="{c}"/>')
        else:
            _, pts, w, c = sh
            p = " ".join(f"{x:g},{y:g}" for x, y in pts)
            out.append(f'  <polyline points="{p}" fill="none" stroke="{c}" stroke-width="{w:g}" '
                       'stroke-linecap="round" stroke-linejoin="round"/>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def inside(sh, x, y):
    if sh[0] == "rect":
        _, x0, y0, x1, y1, r, _c = sh
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    _, pts, w, _c = sh
    half2 = (w / 2) ** 2
    for (ax, ay), (bx, by) in zip(pts, pts[1:]):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half2:
            return True
    return False


def rgb(c):
    return tuple(int(c[i:i + 2], 16) for i in (1, 3, 5))


def raster(size, ss=4):
    top_down = list(reversed(shapes()))
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            r = g = b = n = 0
            for sy in range(ss):
                y = (py + (sy + 0.5) / ss) * scale
                for sx in range(ss):
                    x = (px + (sx + 0.5) / ss) * scale
                    for sh in top_down:
                        if inside(sh, x, y):
                            cr, cg, cb = rgb(sh[-1])
                            r, g, b, n = r + cr, g + cg, b + cb, n + 1
                            break
            if n:
                row += bytes((round(r / n), round(g / n), round(b / n), round(255 * n / (ss * ss))))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "icons")
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "vantorel.svg"), "w") as f:
        f.write(svg())
    for size in (48, 128, 256):
        write_png(os.path.join(out, f"vantorel-{size}.png"), size, raster(size))


if __name__ == "__main__":
    main()
