#!/usr/bin/env python3
"""Draws the program's icon: a drop over a wave, 16 colours, 32x32 and 16x16 images.

Run once; its output, resources/tidewell.ico, is kept in the repository."""
import struct
import sys

# The standard 16-colour palette (BGR0 in the file).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
DARK_TEAL, BLUE, CYAN, WHITE, NAVY = 6, 12, 14, 15, 4


def draw(size):
    """Returns rows of (colour, opaque) from top to bottom."""
    s = size / 32.0
    pixels = [[(0, False) for _ in range(size)] for _ in range(size)]
    for y in range(size):
        for x in range(size):
            px, py = (x + 0.5) / s, (y + 0.5) / s
            # The drop: a circle with a point on top.
            cx, cy, r = 16.0, 17.0, 8.5
            in_circle = (px - cx) ** 2 + (py - cy) ** 2 <= r * r
            in_point = 3.0 <= py <= cy and abs(px - cx) <= (py - 3.0) * (r / (cy - 3.0)) * 0.95
            # The wave along the bottom.
            wave_top = 26.0 + 1.6 * (1 if int(px // 4) % 2 else -1) * ((px % 4) / 4.0 - 0.5)
            if in_circle or in_point:
                colour = BLUE
                if (px - 13.0) ** 2 + (py - 15.0) ** 2 <= 5.0:
                    colour = WHITE
                elif px > cx + 3.5:
                    colour = NAVY
                pixels[y][x] = (colour, True)
            if wave_top <= py <= 31.0 and 1.0 <= px <= 31.0:
                pixels[y][x] = (DARK_TEAL if py > 28.5 else CYAN, True)
    return pixels


def bitmap(size):
    pixels = draw(size)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bottom-up
        xor = bytearray()
        for i in range(0, size, 2):
            a, b = row[i][0], row[i + 1][0]
            xor.append((a << 4) | b)
        xor += b"\0" * ((-len(xor)) % 4)
        mask = bytearray()
        for i in range(0, size, 8):
            byte = 0
            for bit in range(8):
                if not row[i + bit][1]:
                    byte |= 0x80 >> bit
            mask.append(byte)
        mask += b"\0" * ((-len(mask)) % 4)
        xor_rows.append(bytes(xor))
        and_rows.append(bytes(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def main(path):
    images = [bitmap(32), bitmap(16)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/tidewell.ico")
