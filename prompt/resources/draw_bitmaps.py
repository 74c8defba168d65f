#!/usr/bin/env python3
"""Draws the fifteen bitmaps of GlanceUIApp.rc into this folder.

  python3 draw_bitmaps.py           writes the .bmp files beside this script
  python3 draw_bitmaps.py --check   exits 1 when a committed .bmp differs from what it draws

The function pictures are white line drawings on a black rounded square, 75 x 70 pixels,
16 bits per pixel (5-5-5); the top (on-state) picture shows the symbol, the bottom (off-state)
picture the same symbol struck through. The example is a blue desktop with a dark taskbar and,
just above the taskbar, the indicator of a muted microphone: 347 x 195 pixels, 32 bits per pixel.
All are uncompressed bottom-up DIBs. Only the standard library is used, and the output is
deterministic, so the committed files can be checked against this script.
"""
import math
import os
import struct
import sys

SUPERSAMPLE = 4
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
STROKE = 3.0


class Canvas:
    """An RGB picture drawn at SUPERSAMPLE x SUPERSAMPLE samples per pixel."""

    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.samples = [[colour] * (width * SUPERSAMPLE) for _ in range(height * SUPERSAMPLE)]

    def paint(self, box, inside, colour):
        """Sets every sample in box (x0, y0, x1, y1, pixels) whose centre satisfies inside(x, y)."""
        s = SUPERSAMPLE
        x0, y0, x1, y1 = box
        for sy in range(max(0, int(y0 * s) - 1), min(self.height * s, int(y1 * s) + 2)):
            y = (sy + 0.5) / s
            row = self.samples[sy]
            for sx in range(max(0, int(x0 * s) - 1), min(self.width * s, int(x1 * s) + 2)):
                if inside((sx + 0.5) / s, y):
                    row[sx] = colour

    def pixels(self):
        """Rows of (r, g, b), top row first, each pixel the mean of its samples."""
        s, n = SUPERSAMPLE, SUPERSAMPLE * SUPERSAMPLE
        rows = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                r = g = b = 0
                for sy in range(y * s, y * s + s):
                    for c in self.samples[sy][x * s:x * s + s]:
                        r, g, b = r + c[0], g + c[1], b + c[2]
                row.append(((r + n // 2) // n, (g + n // 2) // n, (b + n // 2) // n))
            rows.append(row)
        return rows


def rounded_box_distance(x, y, box, radius):
    """Signed distance from (x, y) to the outline of a rounded rectangle (negative inside)."""
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


class Pen:
    """Draws on a canvas in a local frame: local (x, y) lands on (ox + scale*x, oy + scale*y)."""

    def __init__(self, canvas, ox=0.0, oy=0.0, scale=1.0):
        self.canvas, self.ox, self.oy, self.scale = canvas, ox, oy, scale

    def _pt(self, x, y):
        return self.ox + self.scale * x, self.oy + self.scale * y

    def fill_rounded_box(self, box, radius, colour):
        x0, y0 = self._pt(box[0], box[1])
        x1, y1 = self._pt(box[2], box[3])
        r = radius * self.scale
        self.canvas.paint((x0, y0, x1, y1),
                          lambda x, y: rounded_box_distance(x, y, (x0, y0, x1, y1), r) <= 0, colour)

    def rounded_box(self, box, radius, colour=WHITE, width=STROKE):
        x0, y0 = self._pt(box[0], box[1])
        x1, y1 = self._pt(box[2], box[3])
        r, w = radius * self.scale, width * self.scale / 2
        self.canvas.paint((x0 - w, y0 - w, x1 + w, y1 + w),
                          lambda x, y: abs(rounded_box_distance(x, y, (x0, y0, x1, y1), r)) <= w, colour)

    def line(self, a, b, colour=WHITE, width=STROKE):
        (ax, ay), (bx, by) = self._pt(*a), self._pt(*b)
        w = width * self.scale / 2
        dx, dy = bx - ax, by - ay
        length2 = dx * dx + dy * dy or 1e-9

        def inside(x, y):
            t = min(1.0, max(0.0, ((x - ax) * dx + (y - ay) * dy) / length2))
            return math.hypot(x - ax - t * dx, y - ay - t * dy) <= w

        self.canvas.paint((min(ax, bx) - w, min(ay, by) - w, max(ax, bx) + w, max(ay, by) + w), inside, colour)

    def polyline(self, points, colour=WHITE, width=STROKE):
        for a, b in zip(points, points[1:]):
            self.line(a, b, colour, width)

    def ellipse(self, centre, rx, ry, colour=WHITE, width=STROKE, lower_half_only=False):
        cx, cy = self._pt(*centre)
        rx, ry, w = rx * self.scale, ry * self.scale, width * self.scale / 2

        def inside(x, y):
            if lower_half_only and y < cy:
                return False
            dx, dy = x - cx, y - cy
            k = math.hypot(dx / rx, dy / ry)
            # Distance to the outline along the ray from the centre: exact for circles, close
            # enough for the flat ellipses drawn here.
            return abs(math.hypot(dx, dy) * (1 - 1 / k)) <= w if k > 0 else False

        self.canvas.paint((cx - rx - w, cy - ry - w, cx + rx + w, cy + ry + w), inside, colour)

    def text(self, string, left, top, height, letter_width, gap, width=STROKE):
        for index, char in enumerate(string):
            x = left + index * (letter_width + gap)
            for stroke in GLYPHS[char]:
                self.polyline([(x + u * letter_width, top + v * height) for u, v in stroke], WHITE, width)


# Stroke glyphs in a unit box (u to the right, v downwards).
GLYPHS = {
    'F': [[(0, 1), (0, 0), (1, 0)], [(0, 0.48), (0.8, 0.48)]],
    'n': [[(0, 0.35), (0, 1)], [(0, 0.55), (0.25, 0.38), (0.7, 0.36), (1, 0.55), (1, 1)]],
    'L': [[(0, 0), (0, 1), (1, 1)]],
    'k': [[(0, 0), (0, 1)], [(1, 0.35), (0, 0.75)], [(0.4, 0.6), (1, 1)]],
    'A': [[(0, 1), (0.5, 0), (1, 1)], [(0.22, 0.62), (0.78, 0.62)]],
    '1': [[(0.15, 0.25), (0.6, 0), (0.6, 1)], [(0.15, 1), (1, 1)]],
    'R': [[(0, 1), (0, 0), (0.7, 0), (1, 0.14), (1, 0.36), (0.7, 0.5), (0, 0.5)], [(0.45, 0.5), (1, 1)]],
    'V': [[(0, 0), (0.5, 1), (1, 0)]],
}


# Symbols, drawn in a 70 x 70 frame whose black rounded square they sit on.
def draw_fnlock(pen):
    pen.text('FnLk', 9, 25, 20, 11, 4)


def draw_arrow(pen):
    pen.polyline([(35, 9), (58, 33), (46, 33), (46, 60), (24, 60), (24, 33), (12, 33), (35, 9)])


def draw_capslock(pen):
    draw_arrow(pen)
    pen.text('A', 28.5, 37, 17, 13, 0, 2.5)


def draw_numlock(pen):
    draw_arrow(pen)
    pen.text('1', 29.5, 37, 17, 11, 0, 2.5)


def draw_microphone(pen):
    pen.rounded_box((26.5, 9, 43.5, 41), 8.5)
    pen.ellipse((35, 31), 15, 15, lower_half_only=True)
    pen.line((35, 46), (35, 56))
    pen.line((25, 57), (45, 57))


def draw_camera(pen):
    pen.rounded_box((10, 23, 60, 57), 5)
    pen.ellipse((35, 40), 10, 10)
    pen.polyline([(24, 23), (28, 15), (42, 15), (46, 23)])
    pen.fill_rounded_box((50, 28, 55, 32), 1, WHITE)


def draw_touchpad(pen):
    pen.rounded_box((12, 10, 58, 44), 4)
    pen.rounded_box((12, 49, 33, 60), 2)
    pen.rounded_box((37, 49, 58, 60), 2)


def draw_rvl(pen):
    pen.ellipse((35, 16), 22, 6)
    pen.line((13, 16), (13, 54))
    pen.line((57, 16), (57, 54))
    pen.ellipse((35, 54), 22, 6, lower_half_only=True)
    pen.text('RVL', 18, 29, 16, 9, 3, 2.5)


def strike(pen):
    # A black margin keeps the stroke apart from the drawing it crosses.
    pen.line((10, 8), (60, 62), BLACK, 9)
    pen.line((10, 8), (60, 62), WHITE, 3.5)


def function_picture(symbol, struck):
    canvas = Canvas(75, 70, WHITE)
    pen = Pen(canvas, ox=2.5)
    pen.fill_rounded_box((0, 0, 70, 70), 10, BLACK)
    symbol(pen)
    if struck:
        strike(pen)
    return canvas


def example_desktop():
    width, height, taskbar = 347, 195, 24
    canvas = Canvas(width, height, BLACK)
    s = SUPERSAMPLE
    for sy in range(height * s):
        t = sy / (height * s)
        colour = (int(40 - 15 * t), int(105 - 35 * t), int(205 - 30 * t))
        canvas.samples[sy] = [colour] * (width * s)
    pen = Pen(canvas)
    pen.fill_rounded_box((0, height - taskbar, width, height), 0, (28, 30, 38))
    pen.fill_rounded_box((6, height - taskbar + 5, 20, height - 5), 1, (70, 130, 220))
    # The indicator: the struck microphone on its black square, centred just above the taskbar.
    size = 64
    indicator = Pen(canvas, ox=(width - size) / 2, oy=height - taskbar - 8 - size, scale=size / 70)
    indicator.fill_rounded_box((0, 0, 70, 70), 10, BLACK)
    draw_microphone(indicator)
    strike(indicator)
    return canvas


def bmp_bytes(canvas, bits):
    """An uncompressed bottom-up DIB file: 16 bpp 5-5-5 or 32 bpp, BI_RGB."""
    stride = (canvas.width * bits // 8 + 3) & ~3
    data = bytearray()
    for row in reversed(canvas.pixels()):
        line = bytearray()
        for r, g, b in row:
            if bits == 16:
                line += struct.pack('<H', ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
            else:
                line += bytes((b, g, r, 0))
        data += line + bytes(stride - len(line))
    header = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, bits, 0, len(data), 3780, 3780, 0, 0)
    file_header = struct.pack('<2sIHHI', b'BM', 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + bytes(data)


def pictures():
    symbols = [('fnlock', draw_fnlock), ('capslock', draw_capslock), ('numlock', draw_numlock),
               ('microphone', draw_microphone), ('camera', draw_camera), ('touchpad', draw_touchpad),
               ('rvl', draw_rvl)]
    for name, symbol in symbols:
        yield name + '_on.bmp', bmp_bytes(function_picture(symbol, False), 16)
        yield name + '_off.bmp', bmp_bytes(function_picture(symbol, True), 16)
    yield 'example_desktop.bmp', bmp_bytes(example_desktop(), 32)


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    check = sys.argv[1:] == ['--check']
    stale = []
    for name, data in pictures():
        path = os.path.join(folder, name)
        if check:
            try:
                with open(path, 'rb') as f:
                    if f.read() != data:
                        stale.append(name)
            except FileNotFoundError:
                stale.append(name)
        else:
            with open(path, 'wb') as f:
                f.write(data)
    if stale:
        print('differs from what draw_bitmaps.py draws: ' + ', '.join(stale))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
