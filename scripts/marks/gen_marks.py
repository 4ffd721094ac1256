#!/usr/bin/env python3
"""Draws the marks of "Add Mark" into data/marker/ as 24-bit BMP files.

Every mark stands on exactly RGB(0, 128, 128), the key colour that transparent image
elements leave out, and uses no colour near it, so only the background disappears.
Run from anywhere: python3 scripts/marks/gen_marks.py
"""
import math
import os
import struct

KEY = (0, 128, 128)
SIZE = 40
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.normpath(os.path.join(HERE, "..", "..", "data", "marker"))


class Canvas:
    def __init__(self, w=SIZE, h=SIZE):
        self.w, self.h = w, h
        self.px = [[KEY] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def fill(self, inside, c):
        for y in range(self.h):
            for x in range(self.w):
                if inside(x + 0.5, y + 0.5):
                    self.px[y][x] = c

    def outline(self, inside, c):
        """Colours the pixels just outside a shape (4-neighbours of it)."""
        mask = [[inside(x + 0.5, y + 0.5) for x in range(self.w)] for y in range(self.h)]
        for y in range(self.h):
            for x in range(self.w):
                if mask[y][x]:
                    continue
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < self.w and 0 <= ny < self.h and mask[ny][nx]:
                        self.px[y][x] = c
                        break

    def save(self, name):
        row = (self.w * 3 + 3) & ~3
        bits = bytearray()
        for y in range(self.h - 1, -1, -1):  # bottom-up
            line = bytearray()
            for r, g, b in self.px[y]:
                line += bytes((b, g, r))
            line += bytes(row - len(line))
            bits += line
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(bits), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(header + info + bits)


def in_polygon(pts):
    def inside(x, y):
        hit = False
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def rotated(pts, angle, cx=SIZE / 2, cy=SIZE / 2):
    c, s = math.cos(angle), math.sin(angle)
    return [(cx + (x - cx) * c - (y - cy) * s, cy + (x - cx) * s + (y - cy) * c) for x, y in pts]


RED = (220, 0, 0)
DARK = (60, 0, 0)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREEN = (0, 170, 0)
YELLOW = (255, 220, 0)

# An arrow pointing right, centred in the square.
ARROW = [(4, 16), (22, 16), (22, 7), (36, 20), (22, 33), (22, 24), (4, 24)]
DIRECTIONS = [("right", 0), ("down-right", 45), ("down", 90), ("down-left", 135), ("left", 180),
              ("up-left", 225), ("up", 270), ("up-right", 315)]

# 5 x 7 digits, one string per row.
DIGITS = {
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": [".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."],
}

# A pointing hand, 20 x 20 cells drawn at twice the size: '#' outline, 'o' skin.
HAND = [
    "......##............",
    ".....#oo#...........",
    ".....#oo#...........",
    ".....#oo#...........",
    ".....#oo#...........",
    ".....#oo###.........",
    ".....#oo#oo###......",
    ".....#oo#oo#oo##....",
    "..##.#oo#oo#oo#o#...",
    ".#oo##oooooooooo#...",
    ".#ooo#oooooooooo#...",
    "..#oooooooooooooo#..",
    "...#ooooooooooooo#..",
    "...#ooooooooooooo#..",
    "....#ooooooooooo#...",
    "....#ooooooooooo#...",
    ".....#ooooooooo#....",
    ".....#ooooooooo#....",
    ".....###########....",
    "....................",
]


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, degrees in DIRECTIONS:
        c = Canvas()
        shape = in_polygon(rotated(ARROW, math.radians(degrees)))
        c.fill(shape, RED)
        c.outline(shape, DARK)
        c.save("arrow-%s.bmp" % name)
    for digit, rows in DIGITS.items():
        c = Canvas()
        disc = lambda x, y: (x - 20) ** 2 + (y - 20) ** 2 <= 17 ** 2
        c.fill(disc, RED)
        c.outline(disc, DARK)
        for j, line in enumerate(rows):
            for i, ch in enumerate(line):
                if ch == "#":
                    for dy in range(3):
                        for dx in range(3):
                            c.set(13 + 3 * i - 1 + dx, 9 + 3 * j + dy, WHITE)
        c.save("number-%s.bmp" % digit)
    tick = Canvas()
    stroke = lambda ax, ay, bx, by, w: (lambda x, y: seg_dist(x, y, ax, ay, bx, by) <= w)
    t = lambda x, y: stroke(6, 21, 16, 31, 3.5)(x, y) or stroke(16, 31, 34, 9, 3.5)(x, y)
    tick.fill(t, GREEN)
    tick.outline(t, BLACK)
    tick.save("tick.bmp")
    cross = Canvas()
    x_ = lambda x, y: stroke(8, 8, 32, 32, 3.5)(x, y) or stroke(32, 8, 8, 32, 3.5)(x, y)
    cross.fill(x_, RED)
    cross.outline(x_, BLACK)
    cross.save("cross.bmp")
    hand = Canvas()
    for j, line in enumerate(HAND):
        for i, ch in enumerate(line):
            colour = {"#": BLACK, "o": (255, 224, 189)}.get(ch)
            if colour:
                for dy in range(2):
                    for dx in range(2):
                        hand.set(2 * i + dx, 2 * j + dy, colour)
    hand.save("hand.bmp")
    star = Canvas()
    pts = []
    for k in range(10):
        r = 17 if k % 2 == 0 else 7
        a = math.radians(-90 + 36 * k)
        pts.append((20 + r * math.cos(a), 20 + r * math.sin(a)))
    s = in_polygon(pts)
    star.fill(s, YELLOW)
    star.outline(s, BLACK)
    star.save("star.bmp")


def seg_dist(x, y, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
    return math.hypot(x - (ax + t * vx), y - (ay + t * vy))


if __name__ == "__main__":
    main()
