#!/usr/bin/env python3
"""Draws the overlay cursors and the shutter sound of Snapwell.exe.

The outputs are committed under resources/; run this again only to change
them. Cursors are 32x32 monochrome: black lines with a white rim, so they
stay visible on any frozen desktop.
"""
import math
import os
import random
import struct
import wave

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
SIZE = 32

ARROW = [
    "X",
    "XX",
    "X.X",
    "X..X",
    "X...X",
    "X....X",
    "X.....X",
    "X......X",
    "X.......X",
    "X........X",
    "X.....XXXXX",
    "X..X..X",
    "X.X X..X",
    "XX  X..X",
    "X    X..X",
    "     X..X",
    "      XX",
]


class Canvas:
    def __init__(self):
        self.black = set()
        self.white = set()

    def line(self, x0, y0, x1, y1):
        steps = max(abs(x1 - x0), abs(y1 - y0))
        for i in range(steps + 1):
            self.black.add((round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps)))

    def frame(self, left, top, right, bottom, dashed=False):
        for x in range(left, right + 1):
            for y in (top, bottom):
                if not dashed or (x // 2) % 2 == 0:
                    self.black.add((x, y))
        for y in range(top, bottom + 1):
            for x in (left, right):
                if not dashed or (y // 2) % 2 == 0:
                    self.black.add((x, y))

    def art(self, rows, ox=0, oy=0):
        for y, row in enumerate(rows):
            for x, ch in enumerate(row):
                if ch == "X":
                    self.black.add((ox + x, oy + y))
                elif ch == ".":
                    self.white.add((ox + x, oy + y))

    def rim(self):
        """A one-pixel white rim round every black pixel that has none."""
        for (x, y) in list(self.black):
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    p = (x + dx, y + dy)
                    if p not in self.black and 0 <= p[0] < SIZE and 0 <= p[1] < SIZE:
                        self.white.add(p)

    def cur(self, hotspot):
        # XOR plane: 1 = white; AND plane: 1 = transparent.
        xor_rows, and_rows = [], []
        for y in range(SIZE - 1, -1, -1):
            xor_bits = and_bits = 0
            for x in range(SIZE):
                bit = 1 << (SIZE - 1 - x)
                if (x, y) in self.black:
                    pass
                elif (x, y) in self.white:
                    xor_bits |= bit
                else:
                    and_bits |= bit
            xor_rows.append(struct.pack(">I", xor_bits))
            and_rows.append(struct.pack(">I", and_bits))
        image = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, SIZE * SIZE // 4, 0, 0, 2, 0)
        image += bytes([0, 0, 0, 0, 255, 255, 255, 0]) + b"".join(xor_rows) + b"".join(and_rows)
        header = struct.pack("<HHH", 0, 2, 1)
        entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
        return header + entry + image


def crosshair(c):
    c.line(15, 1, 15, 11)
    c.line(15, 19, 15, 29)
    c.line(1, 15, 11, 15)
    c.line(19, 15, 29, 15)
    c.black.add((15, 15))


def region_wait():
    c = Canvas()
    crosshair(c)
    c.rim()
    return c.cur((15, 15))


def region_drag():
    c = Canvas()
    crosshair(c)
    c.frame(20, 20, 30, 30, dashed=True)
    c.rim()
    return c.cur((15, 15))


def window_pick():
    c = Canvas()
    c.frame(15, 17, 30, 30)
    c.line(15, 20, 30, 20)
    for x in range(16, 30):
        c.black.add((x, 18))
        c.black.add((x, 19))
    c.rim()
    c.art(ARROW)
    return c.cur((0, 0))


def resize_pick():
    c = Canvas()
    c.line(17, 17, 29, 29)
    for i in range(4):
        c.line(17, 17 + i, 17 + 3 - i + 1, 17)
        c.line(29, 29 - i, 29 - 3 + i - 1, 29)
    c.line(17, 17, 22, 17)
    c.line(17, 17, 17, 22)
    c.line(29, 29, 24, 29)
    c.line(29, 29, 29, 24)
    c.rim()
    c.art(ARROW)
    return c.cur((0, 0))


def shutter(path):
    """Two short clicks of a focal-plane shutter: a sharp opening snap and
    a softer closing one, band-limited noise with a fast decay."""
    rate = 22050
    rng = random.Random(1989)
    samples = [0.0] * int(rate * 0.22)

    def burst(start, length, level, decay, tone):
        low = 0.0
        for i in range(int(rate * length)):
            n = rng.uniform(-1.0, 1.0)
            low += 0.35 * (n - low)
            t = i / rate
            body = math.sin(2 * math.pi * tone * t)
            v = (0.75 * low + 0.25 * body) * level * math.exp(-t / decay)
            samples[int(rate * start) + i] += v

    burst(0.000, 0.060, 0.85, 0.008, 1900)
    burst(0.085, 0.090, 0.55, 0.012, 1300)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        peak = max(abs(s) for s in samples) or 1.0
        w.writeframes(b"".join(struct.pack("<h", int(28000 * s / peak)) for s in samples))


def main():
    for name, draw in (("region_wait", region_wait), ("region_drag", region_drag),
                       ("window_pick", window_pick), ("resize_pick", resize_pick)):
        with open(os.path.join(ROOT, "cursors", name + ".cur"), "wb") as f:
            f.write(draw())
    shutter(os.path.join(ROOT, "sounds", "shutter.wav"))


if __name__ == "__main__":
    main()
