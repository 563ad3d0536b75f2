#!/usr/bin/env python3
# Draws the application icon, a globe with a downward arrow, as a 16 x 16 and a
# 32 x 32 image of 16 colours, and writes them to Kalvanta.ico beside this script.
import math
import pathlib
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255),
    (255, 255, 255),
]
NAVY, GREEN, TEAL, GREY, LIME, YELLOW, BLUE, AQUA, WHITE, OLIVE = 4, 2, 6, 8, 10, 11, 12, 14, 15, 3
TRANSPARENT = None


def draw(size):
    """One colour index per pixel, top row first; None where the icon is transparent."""
    pixels = [[TRANSPARENT] * size for _ in range(size)]
    centre = (size - 1) / 2 - size / 16
    radius = size * 0.40
    for y in range(size):
        for x in range(size):
            dx, dy = x - centre, y - centre
            distance = math.hypot(dx, dy)
            if distance > radius + 0.5:
                continue
            if distance > radius - 0.6:
                pixels[y][x] = NAVY
                continue
            longitude = math.asin(max(-1.0, min(1.0, dx / math.sqrt(max(radius * radius - dy * dy, 0.01)))))
            land = math.sin(3 * longitude + 1.2) + math.cos(dy / radius * 4) > 0.9
            colour = GREEN if land else BLUE
            if abs(dy) < 0.5 or abs(abs(longitude) - 0.9) < 0.45 / (size / 16):
                colour = AQUA
            pixels[y][x] = colour
    # The arrow at the bottom right: a yellow shaft and head with an olive edge.
    shaft = max(1, size // 10)
    head = size // 4
    tip_x, tip_y = size - 1 - head, size - 1
    for y in range(size // 2 - 1, tip_y - head + 1):
        for x in range(tip_x - shaft, tip_x + shaft + 1):
            pixels[y][x] = OLIVE if abs(x - tip_x) == shaft else YELLOW
    for row in range(head + 1):
        y = tip_y - row
        for x in range(tip_x - row, tip_x + row + 1):
            pixels[y][x] = OLIVE if abs(x - tip_x) == row or row == head else YELLOW
    return pixels


def image(size):
    pixels = draw(size)
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        packed = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, index in enumerate(row):
            packed[x // 2] |= (index or 0) << (0 if x % 2 else 4)
            if index is TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += packed
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colours) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colours) + bytes(mask)


def main():
    images = [image(16), image(32)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in zip((16, 32), images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(body), offset)
        offset += len(body)
    data += b"".join(images)
    pathlib.Path(__file__).with_name("Kalvanta.ico").write_bytes(data)


if __name__ == "__main__":
    main()
