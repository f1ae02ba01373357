#!/usr/bin/env python3
"""Draws the program icons, the floating toolbar's button images, the
overlay cursors and the shutter sound of Snapwell.exe, and the picture on
the installer's first and last pages.

The outputs are committed under resources/; run this again only to change
them. Cursors are 32x32 monochrome: black lines with a white rim, so they
stay visible on any frozen desktop. The toolbar images are strips of six
32-bit buttons (full screen, window, rectangle, resize, options, about) at
24 and 48 pixels, each in a normal and a brighter "hot" look.
"""
import colorsys
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


SUPERSAMPLING = 4


def supersampled(size, colour_at):
    """Pixels of a glyph drawn at 4x4 supersampling, so that its edges are
    smooth at every size: colour_at(px, py, n) gives the colour of a sample
    point in an n x n grid, or None where the glyph is not; a colour with a
    fourth component in 0..1 covers its sample only that much."""
    ss = SUPERSAMPLING
    n = size * ss
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0]
            for sy in range(ss):
                for sx in range(ss):
                    colour = colour_at(x * ss + sx + 0.5, y * ss + sy + 0.5, n)
                    if colour:
                        # A fourth component is the sample's opacity.
                        weight = colour[3] if len(colour) > 3 else 1
                        acc[0] += colour[0] * weight
                        acc[1] += colour[1] * weight
                        acc[2] += colour[2] * weight
                        acc[3] += weight
            a = acc[3] / (ss * ss)
            row.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], a) if acc[3] else (0, 0, 0, 0))
        out.append(row)
    return out


def camera_pixels(size, flat):
    """A camera glyph: rounded body, viewfinder hump, lens with a glint."""
    def colour_at(px, py, n):
        body_top, body_bottom = 0.30 * n, 0.86 * n
        left, right = 0.06 * n, 0.94 * n
        radius = 0.12 * n
        cx, cy, lens = 0.5 * n, 0.58 * n, 0.22 * n
        hump = (0.30 * n, 0.18 * n, 0.62 * n, body_top + 1)
        colour = None
        inside_body = left <= px <= right and body_top <= py <= body_bottom
        if inside_body:
            # Rounded corners.
            for qx, qy in ((left + radius, body_top + radius), (right - radius, body_top + radius),
                           (left + radius, body_bottom - radius), (right - radius, body_bottom - radius)):
                if (abs(px - qx) > 0 and ((px < left + radius and qx == left + radius) or
                                          (px > right - radius and qx == right - radius)) and
                        ((py < body_top + radius and qy == body_top + radius) or
                         (py > body_bottom - radius and qy == body_bottom - radius))):
                    if (px - qx) ** 2 + (py - qy) ** 2 > radius ** 2:
                        inside_body = False
        if inside_body or (hump[0] <= px <= hump[2] and hump[1] <= py <= hump[3]):
            colour = (44, 62, 80) if not flat else (20, 28, 36)
            d = math.hypot(px - cx, py - cy)
            if d <= lens:
                colour = (236, 240, 241)
            if d <= lens * 0.72:
                colour = (52, 152, 219) if not flat else (0, 120, 215)
            if d <= lens * 0.30:
                colour = (20, 40, 70)
            if math.hypot(px - (cx - lens * 0.28), py - (cy - lens * 0.28)) <= lens * 0.14:
                colour = (255, 255, 255)
            if not flat and 0.78 * n <= px <= 0.88 * n and 0.36 * n <= py <= 0.44 * n:
                colour = (231, 76, 60)
        return colour
    return supersampled(size, colour_at)


def open_with_pixels(size):
    """A picture sheet with a folded corner and a blue arrow leaving it: a
    capture handed to another program."""
    def colour_at(px, py, n):
        l, t, r, b = 0.12 * n, 0.06 * n, 0.72 * n, 0.90 * n
        fold = 0.16 * n
        colour = None
        if l <= px <= r and t <= py <= b and not (px > r - fold and py < t + fold and (px - (r - fold)) > (py - t)):
            edge = min(px - l, r - px, py - t, b - py) < 0.05 * n
            colour = (120, 130, 140) if edge else (250, 250, 250)
            # The picture on the sheet: sky, sun and a hill.
            if l + 0.08 * n <= px <= r - 0.08 * n and t + 0.26 * n <= py <= b - 0.14 * n:
                colour = (120, 180, 230)
                if math.hypot(px - (l + 0.20 * n), py - (t + 0.38 * n)) <= 0.06 * n:
                    colour = (250, 200, 60)
                if py > b - 0.14 * n - 0.22 * n + 0.10 * n * math.sin((px - l) / n * 6.0):
                    colour = (70, 150, 80)
        # The arrow: a shaft and a head pointing right and down.
        ax, ay = 0.62 * n, 0.62 * n
        u = (px - ax + py - ay) / math.sqrt(2)
        v = (px - ax - (py - ay)) / math.sqrt(2)
        if (-0.05 * n <= u <= 0.20 * n and abs(v) <= 0.07 * n) or \
                (0.16 * n <= u <= 0.38 * n and abs(v) <= (0.38 * n - u) * 0.9):
            colour = (0, 102, 204)
        return colour
    return supersampled(size, colour_at)


# The floating toolbar's buttons. Each glyph is laid out on a 24 x 24 grid
# of units, so that at 24 pixels its key edges fall on whole pixels and at
# 48 pixels on pairs of them.
GRID = 24

SLATE = (44, 62, 80)
STEEL = (93, 109, 126)
BLUE = (52, 152, 219)
BLUE_LIGHT = (133, 193, 233)
BLUE_DEEP = (0, 120, 215)
BLUE_DARK = (31, 97, 141)
WHITE = (250, 250, 250)
PAPER = (236, 240, 241)
GREY = (189, 195, 199)
ACCENT = (231, 76, 60)


def mix(c0, c1, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def vivid(colour, cache={}):
    """The hot look of a colour: more saturated and a little brighter;
    whites and greys stay as they are."""
    key = tuple(colour[:3])
    if key not in cache:
        h, s, v = colorsys.rgb_to_hsv(*(c / 255 for c in key))
        if s > 0.1:
            s += (1 - s) * 0.4
        v += (1 - v) * 0.25
        cache[key] = tuple(round(c * 255) for c in colorsys.hsv_to_rgb(h, s, v))
    return cache[key] + tuple(colour[3:])


def in_rect(x, y, l, t, r, b):
    return l <= x <= r and t <= y <= b


def in_round_rect(x, y, l, t, r, b, radius):
    if not (l <= x <= r and t <= y <= b):
        return False
    cx = min(max(x, l + radius), r - radius)
    cy = min(max(y, t + radius), b - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def glyph(size, hot, paint):
    """Pixels of a toolbar glyph: paint(x, y) gives the colour at a point of
    the 24-unit grid, or None."""
    def colour_at(px, py, n):
        colour = paint(px * GRID / n, py * GRID / n)
        if colour is None:
            return None
        return vivid(colour) if hot else colour
    return supersampled(size, colour_at)


def full_screen_pixels(size, hot):
    """The full-screen button: a monitor on its stand whose whole screen is
    lit, with white corner marks at the screen's edges."""
    def paint(x, y):
        if in_round_rect(x, y, 1, 3, 23, 18, 1.5):
            if in_rect(x, y, 2, 4, 22, 16):
                colour = mix(BLUE_LIGHT, BLUE_DEEP, (y - 4) / 12)
                # A soft sheen across the upper left of the glass.
                if x + y < 15:
                    colour = mix(colour, WHITE, 0.18)
                # Corner marks: the capture takes everything up to the edges.
                for cx, cy, sx, sy in ((3, 5, 1, 1), (21, 5, -1, 1), (3, 15, 1, -1), (21, 15, -1, -1)):
                    u, v = (x - cx) * sx, (y - cy) * sy
                    if (0 <= u <= 4 and 0 <= v <= 1) or (0 <= u <= 1 and 0 <= v <= 3):
                        colour = WHITE
                return colour
            return SLATE
        if in_rect(x, y, 10, 18, 14, 20.5):
            return STEEL
        if in_round_rect(x, y, 6, 20, 18, 22, 1):
            return SLATE
        return None
    return glyph(size, hot, paint)


def window_frame(x, y, l, t, r, b, lines=True):
    """A program window: slate frame, blue title bar with a red close box,
    white client area with a few lines of text; None outside it."""
    if not in_round_rect(x, y, l, t, r, b, 1):
        return None
    if not in_rect(x, y, l + 1, t + 1, r - 1, b - 1):
        return SLATE
    if y <= t + 5:
        if x >= r - 5:
            return ACCENT
        return mix(BLUE, BLUE_DEEP, (y - t - 1) / 4)
    if lines:
        for row, length in ((t + 8, 10), (t + 11, 13), (t + 14, 7)):
            if row <= y <= row + 1 and l + 3 <= x <= l + 3 + length:
                return GREY
    return WHITE


def window_pixels(size, hot):
    """The window button: one program's window, a frame with a coloured
    title bar over a page of text."""
    return glyph(size, hot, lambda x, y: window_frame(x, y, 2, 3, 22, 21))


def region_pixels(size, hot):
    """The rectangle button: a marching-ants selection over a pale blue
    wash, and the crosshair that drags it out just past its corner."""
    l, t, r, b = 2, 2, 16, 16
    cx, cy, arm = 18.5, 18.5, 5

    def paint(x, y):
        # The crosshair, with a white rim so it stands clear of anything.
        if (abs(x - cx) <= 0.5 and abs(y - cy) <= arm) or (abs(y - cy) <= 0.5 and abs(x - cx) <= arm):
            return SLATE
        if (abs(x - cx) <= 1.5 and abs(y - cy) <= arm + 1) or (abs(y - cy) <= 1.5 and abs(x - cx) <= arm + 1):
            return WHITE
        if in_rect(x, y, l, t, r, b):
            if in_rect(x, y, l + 1, t + 1, r - 1, b - 1):
                return BLUE + (0.35,)
            # Dashes two units long, so that every corner is a dark one.
            along = x - l if y < t + 1 or y > b - 1 else y - t
            return SLATE if int(along // 2) % 2 == 0 else WHITE
        return None
    return glyph(size, hot, paint)


def resize_pixels(size, hot):
    """The resize button: a window with a double-headed arrow across it from
    corner to corner, to set its size exactly."""
    def arrow(x, y):
        # Along the diagonal u and across it v, from the window's middle.
        # The middle lies on a diagonal of pixel centres, so that at 24
        # pixels the shaft is one clean staircase.
        u = ((x - 12.5) - (y - 14.5)) / math.sqrt(2)
        v = ((x - 12.5) + (y - 14.5)) / math.sqrt(2)
        reach, head = 6.8, 3.5
        du = reach - abs(u)
        if du < 0:
            return False
        if du <= head:
            return abs(v) <= du
        return abs(v) <= 1.1

    def paint(x, y):
        colour = window_frame(x, y, 2, 3, 22, 21, lines=False)
        if colour is None:
            return None
        if arrow(x, y):
            return SLATE
        return colour
    return glyph(size, hot, paint)


def options_pixels(size, hot):
    """The options button: a steel-blue cog with eight teeth."""
    cx = cy = 12
    teeth, outer, root, hole = 8, 11, 8, 3.2

    def radius(angle):
        period = 2 * math.pi / teeth
        d = abs((angle % period) - period / 2) / (period / 2)  # 1 at a tooth's middle
        if d > 0.62:
            return outer
        if d < 0.32:
            return root
        return root + (outer - root) * (d - 0.32) / 0.30

    def inside(x, y):
        r = math.hypot(x - cx, y - cy)
        return hole <= r <= radius(math.atan2(y - cy, x - cx) + math.pi / teeth)

    def paint(x, y):
        if not inside(x, y):
            return None
        r = math.hypot(x - cx, y - cy)
        # The rim: anything less than a unit from the cog's edge.
        for step in range(16):
            a = step * math.pi / 8
            if not inside(x + math.cos(a), y + math.sin(a)):
                return SLATE
        if r <= hole + 2:
            return PAPER
        return mix(BLUE_LIGHT, STEEL, (y - 2) / 20)
    return glyph(size, hot, paint)


def about_pixels(size, hot):
    """The about button: a round blue badge with a white "i"."""
    cx, cy, radius = 12, 12, 10.5

    def paint(x, y):
        d = math.hypot(x - cx, y - cy)
        if d > radius:
            return None
        if d > radius - 1:
            return BLUE_DARK
        # The dot, and a stem two units wide with a serif and a foot.
        if math.hypot(x - 12, y - 7) <= 1.5 or in_rect(x, y, 11, 10, 13, 17) or in_rect(x, y, 10, 10, 13, 11) \
                or in_rect(x, y, 10, 16, 14, 17):
            return WHITE
        # Lit from the upper left.
        return mix(BLUE_LIGHT, BLUE_DEEP, math.hypot(x - 8, y - 6) / 16)
    return glyph(size, hot, paint)


TOOLBAR_GLYPHS = (full_screen_pixels, window_pixels, region_pixels, resize_pixels, options_pixels, about_pixels)


def strip_bitmap(images):
    """A 32-bit bottom-up BMP holding the images side by side. The colour is
    not premultiplied; wholly clear pixels are all zero, and no pixel that
    shows is pure black, the colour the toolbar keeps transparent."""
    size = len(images[0])
    width = size * len(images)
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for image in images:
            for (r, g, b, a) in image[y]:
                alpha = int(round(a * 255))
                if alpha == 0:
                    row += b"\0\0\0\0"
                else:
                    row += bytes([max(16, int(round(b))), max(16, int(round(g))), max(16, int(round(r))), alpha])
        rows.append(bytes(row))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, size, 1, 32, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    return header + info + bits


def wizard_bitmap():
    """The installer's welcome and finish pages' picture, 164 x 314 as the
    Modern UI wants it: the camera, framed by a dashed capture rectangle, on
    a pale blue gradient. A 24-bit bottom-up BMP."""
    width, height = 164, 314
    camera_size, camera_left, camera_top = 112, 26, 70
    camera = camera_pixels(camera_size, False)
    frame = (camera_left - 12, camera_top - 14, camera_left + camera_size + 11, camera_top + camera_size + 5)
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            colour = mix((250, 252, 253), (200, 224, 242), y / (height - 1))
            l, t, r, b = frame
            on_edge = ((x in (l, r) and t <= y <= b) or (y in (t, b) and l <= x <= r))
            if on_edge and ((x + y) // 4) % 2 == 0:
                colour = (52, 152, 219)
            cx, cy = x - camera_left, y - camera_top
            if 0 <= cx < camera_size and 0 <= cy < camera_size:
                r_, g_, b_, a = camera[cy][cx]
                colour = mix(colour, (r_, g_, b_), a)
            row += bytes([int(round(colour[2])), int(round(colour[1])), int(round(colour[0]))])
        row += b"\0" * ((4 - len(row) % 4) % 4)
        rows.append(bytes(row))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    return header + info + bits


def icon_file(draw):
    images = []
    for size in (16, 32, 48):
        pixels = draw(size)
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = b"".join(struct.pack("<BBBB", int(b), int(g), int(r), int(round(a * 255)))
                       for row in reversed(pixels) for (r, g, b, a) in row)
        mask_stride = ((size + 31) // 32) * 4
        mask = b""
        for row in reversed(pixels):
            bits = 0
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits |= 1 << (mask_stride * 8 - 1 - x)
            mask += bits.to_bytes(mask_stride, "big")
        images.append((size, header + xor + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    for name, draw in (("region_wait", region_wait), ("region_drag", region_drag),
                       ("window_pick", window_pick), ("resize_pick", resize_pick)):
        with open(os.path.join(ROOT, "cursors", name + ".cur"), "wb") as f:
            f.write(draw())
    shutter(os.path.join(ROOT, "sounds", "shutter.wav"))
    os.makedirs(os.path.join(ROOT, "icons"), exist_ok=True)
    # The program's icon, and the flatter one the notification area shows.
    with open(os.path.join(ROOT, "icons", "snapwell.ico"), "wb") as f:
        f.write(icon_file(lambda size: camera_pixels(size, False)))
    with open(os.path.join(ROOT, "icons", "tray.ico"), "wb") as f:
        f.write(icon_file(lambda size: camera_pixels(size, True)))
    # The "Open With" dialog's icon.
    with open(os.path.join(ROOT, "icons", "openwith.ico"), "wb") as f:
        f.write(icon_file(open_with_pixels))
    # The floating toolbar's six buttons, normal and hot, at both sizes and
    # at the sizes they take on screens of 150 % and 200 %.
    os.makedirs(os.path.join(ROOT, "toolbar"), exist_ok=True)
    for size in (24, 36, 48, 72, 96):
        for hot, suffix in ((False, ""), (True, "_hot")):
            with open(os.path.join(ROOT, "toolbar", "toolbar%d%s.bmp" % (size, suffix)), "wb") as f:
                f.write(strip_bitmap([draw(size, hot) for draw in TOOLBAR_GLYPHS]))
    os.makedirs(os.path.join(ROOT, "installer"), exist_ok=True)
    with open(os.path.join(ROOT, "installer", "wizard.bmp"), "wb") as f:
        f.write(wizard_bitmap())


if __name__ == "__main__":
    main()
