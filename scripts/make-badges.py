#!/usr/bin/env python3
"""Draws the browser's badge pictures (resources/badges/*.png) with nothing but the standard
library: shapes are given as coverage functions and sampled 4x4 per pixel for smooth edges."""
import math
import os
import struct
import sys
import zlib

SIZE = 40  # drawn at twice the 20-point badge size, for sharp high-density screens


def png(path, pixels, w, h):
    raw = b"".join(b"\x00" + bytes(pixels[y * w * 4:(y + 1) * w * 4]) for y in range(h))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def render(layers, w=SIZE, h=SIZE):
    """layers: list of (colour RGBA tuple, inside(x, y) -> bool) painted in order."""
    out = [0] * (w * h * 4)
    n = 4
    for y in range(h):
        for x in range(w):
            r = g = b = a = 0.0
            for colour, inside in layers:
                cover = sum(inside((x + (i + 0.5) / n) / w, (y + (j + 0.5) / n) / h)
                            for i in range(n) for j in range(n)) / (n * n)
                ca = colour[3] / 255.0 * cover
                if ca <= 0:
                    continue
                # source-over compositing
                na = ca + a * (1 - ca)
                r = (colour[0] * ca + r * a * (1 - ca)) / na
                g = (colour[1] * ca + g * a * (1 - ca)) / na
                b = (colour[2] * ca + b * a * (1 - ca)) / na
                a = na
            o = (y * w + x) * 4
            out[o:o + 4] = [int(r + 0.5), int(g + 0.5), int(b + 0.5), int(a * 255 + 0.5)]
    return out


def disc(radius=0.46):
    return lambda x, y: math.hypot(x - 0.5, y - 0.5) <= radius


def ring(radius=0.46, width=0.06):
    return lambda x, y: radius - width <= math.hypot(x - 0.5, y - 0.5) <= radius


def stroke(points, width):
    def inside(x, y):
        return any(seg_dist(x, y, *points[i], *points[i + 1]) <= width / 2
                   for i in range(len(points) - 1))
    return inside


WHITE = (255, 255, 255, 255)


def main(folder):
    os.makedirs(folder, exist_ok=True)
    badges = {
        "PlusInCircle.png": [((40, 150, 60, 255), disc()), (WHITE, ring()),
                              (WHITE, stroke([(0.5, 0.25), (0.5, 0.75)], 0.14)),
                              (WHITE, stroke([(0.25, 0.5), (0.75, 0.5)], 0.14))],
        "MinusInCircle.png": [((120, 120, 120, 255), disc()), (WHITE, ring()),
                               (WHITE, stroke([(0.25, 0.5), (0.75, 0.5)], 0.14))],
        "exclude.png": [((200, 40, 40, 255), disc()), (WHITE, ring()),
                         (WHITE, stroke([(0.3, 0.3), (0.7, 0.7)], 0.13)),
                         (WHITE, stroke([(0.7, 0.3), (0.3, 0.7)], 0.13))],
        "checkmark.png": [((30, 110, 220, 255), disc()), (WHITE, ring()),
                           (WHITE, stroke([(0.27, 0.52), (0.44, 0.69), (0.74, 0.32)], 0.13))],
        "InfoInCircle2.png": [((60, 60, 60, 210), disc()), (WHITE, ring()),
                               (WHITE, lambda x, y: math.hypot(x - 0.5, y - 0.29) <= 0.075),
                               (WHITE, stroke([(0.5, 0.45), (0.5, 0.76)], 0.13))],
    }
    for name, layers in badges.items():
        png(os.path.join(folder, name), render(layers), SIZE, SIZE)

    # The gloss: a soft white sheen over the upper part of the picture container.
    gw, gh = 64, 64
    pixels = []
    for y in range(gh):
        for x in range(gw):
            t = y / (gh - 1)
            alpha = int(70 * max(0.0, 1 - t / 0.45)) if t < 0.45 else 0
            pixels += [255, 255, 255, alpha]
    png(os.path.join(folder, "glossy.png"), pixels, gw, gh)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else
         os.path.join(os.path.dirname(__file__), "..", "resources", "badges"))
