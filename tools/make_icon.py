#!/usr/bin/python3
"""Draws the Windows program's icon and writes it as an ICO file.

The picture is a dark rounded terminal screen with a green prompt and a white hiragana "a"
(あ), drawn from a few shapes in a 256 x 256 design grid at 16, 32, 48 and 256 pixels. The
small sizes are 32-bit bitmaps with an AND mask; the 256-pixel image is stored as PNG, as the
window system expects for that size. Standard library only, so that anyone can re-create the
committed file:

    /usr/bin/python3 tools/make_icon.py [output.ico]

The default output is src/frontends/win32/resources/velmora.ico.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
GRID = 256.0

# Colours (red, green, blue, alpha), 0..1.
BEZEL = (0.33, 0.37, 0.44, 1.0)
SCREEN_TOP = (0.13, 0.16, 0.21, 1.0)
SCREEN_BOTTOM = (0.06, 0.08, 0.11, 1.0)
PROMPT = (0.30, 0.90, 0.45, 1.0)
GLYPH = (1.0, 1.0, 1.0, 1.0)

# The screen: a rounded rectangle with a bezel around it.
SCREEN_OUTER = (10.0, 26.0, 246.0, 230.0, 34.0)  # left, top, right, bottom, corner radius
BEZEL_WIDTH = 10.0


def cubic(p0, p1, p2, p3, steps=24):
    """Points along a cubic Bezier curve."""
    out = []
    for i in range(steps + 1):
        t = i / steps
        u = 1.0 - t
        x = u * u * u * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t * t * t * p3[0]
        y = u * u * u * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t * t * t * p3[1]
        out.append((x, y))
    return out


def glyph_strokes():
    """The three strokes of あ in a unit box (y down), as polylines."""
    loop = []
    for segment in (
        ((0.66, 0.36), (0.60, 0.62), (0.42, 0.86), (0.22, 0.84)),
        ((0.22, 0.84), (0.06, 0.82), (0.10, 0.56), (0.42, 0.47)),
        ((0.42, 0.47), (0.78, 0.38), (1.00, 0.58), (0.88, 0.79)),
        ((0.88, 0.79), (0.82, 0.89), (0.70, 0.94), (0.58, 0.96)),
    ):
        points = cubic(*segment)
        loop.extend(points if not loop else points[1:])
    return [
        [(0.16, 0.24), (0.80, 0.19)],
        cubic((0.43, 0.03), (0.38, 0.40), (0.42, 0.72), (0.56, 0.93)),
        loop,
    ]


def place(strokes, left, top, size):
    return [[(left + x * size, top + y * size) for x, y in stroke] for stroke in strokes]


def segments_of(polylines):
    segs = []
    for line in polylines:
        for a, b in zip(line, line[1:]):
            segs.append((a[0], a[1], b[0], b[1]))
    return segs


def segment_distance(px, py, seg):
    ax, ay, bx, by = seg
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(qx * qx + qy * qy)


def rounded_rect_distance(px, py, rect):
    """Signed distance to a rounded rectangle (negative inside)."""
    left, top, right, bottom, radius = rect
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


class Stroke:
    """Polylines drawn with a round pen of the given width, in grid units."""

    def __init__(self, polylines, width, colour):
        self.segments = segments_of(polylines)
        self.half = width / 2
        self.colour = colour
        xs = [c for s in self.segments for c in (s[0], s[2])]
        ys = [c for s in self.segments for c in (s[1], s[3])]
        self.box = (min(xs) - self.half, min(ys) - self.half, max(xs) + self.half, max(ys) + self.half)

    def distance(self, x, y):
        left, top, right, bottom = self.box
        margin = 4.0
        if x < left - margin or x > right + margin or y < top - margin or y > bottom + margin:
            return 1e9
        return min(segment_distance(x, y, s) for s in self.segments) - self.half


def layers(size):
    """The shapes, back to front. Small sizes get heavier strokes so that they stay legible."""
    small = size <= 16
    medium = size <= 48
    prompt_width = 30.0 if small else 24.0 if medium else 20.0
    glyph_width = 17.0 if small else 19.0 if medium else 15.0
    glyph_box = (106.0, 64.0, 124.0) if not small else (100.0, 50.0, 144.0)
    return prompt_width, glyph_width, glyph_box


def render(size):
    """RGBA rows (top first) of the icon at `size` pixels, each value 0..255."""
    scale = GRID / size
    prompt_width, glyph_width, (gl, gt, gs) = layers(size)
    prompt = Stroke([[(42.0, 86.0), (88.0, 128.0), (42.0, 170.0)]], prompt_width, PROMPT)
    glyph = Stroke(place(glyph_strokes(), gl, gt, gs), glyph_width, GLYPH)
    inner = (SCREEN_OUTER[0] + BEZEL_WIDTH, SCREEN_OUTER[1] + BEZEL_WIDTH, SCREEN_OUTER[2] - BEZEL_WIDTH,
             SCREEN_OUTER[3] - BEZEL_WIDTH, SCREEN_OUTER[4] - BEZEL_WIDTH)
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) * scale, (j + 0.5) * scale
            colour = [0.0, 0.0, 0.0, 0.0]

            def over(rgba, coverage):
                a = rgba[3] * coverage
                if a <= 0:
                    return
                out_a = a + colour[3] * (1 - a)
                for k in range(3):
                    colour[k] = (rgba[k] * a + colour[k] * colour[3] * (1 - a)) / out_a
                colour[3] = out_a

            def cover(distance):
                return max(0.0, min(1.0, 0.5 - distance / scale))

            over(BEZEL, cover(rounded_rect_distance(x, y, SCREEN_OUTER)))
            t = (y - inner[1]) / (inner[3] - inner[1])
            screen = tuple(SCREEN_TOP[k] * (1 - t) + SCREEN_BOTTOM[k] * t for k in range(3)) + (1.0,)
            over(screen, cover(rounded_rect_distance(x, y, inner)))
            for stroke in (prompt, glyph):
                over(stroke.colour, cover(stroke.distance(x, y)))
            row.append(tuple(int(round(max(0.0, min(1.0, c)) * 255)) for c in colour))
        rows.append(row)
    return rows


def bitmap_image(rows):
    """A 32-bit DIB with its AND mask, as an icon directory stores it."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[i // 8] |= 0x80 >> (i % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def png_image(rows):
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = bytearray()
    for row in rows:
        raw.append(0)
        for pixel in row:
            raw += bytes(pixel)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def write_ico(path):
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_image(rows) if size >= 256 else bitmap_image(rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(directory)
        for _, data in images:
            f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "src", "frontends", "win32", "resources", "velmora.ico")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    write_ico(os.path.normpath(path))


if __name__ == "__main__":
    main()
