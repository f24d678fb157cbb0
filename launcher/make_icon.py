#!/usr/bin/env python3
"""Generates launcher.ico: two images (16x16 and 32x32, 32-bit colour), a box
with a downward arrow. Run it from this folder; the output is committed."""
import struct


def pixel(x, y, n):
    # Box outline, a light body and a dark arrow in the middle.
    edge = x in (0, n - 1) or y in (0, n - 1)
    mid = n // 2
    shaft = abs(x - mid + 0.5) < n / 10 and n * 0.2 <= y < n * 0.6
    head = y >= n * 0.55 and y < n * 0.8 and abs(x - mid + 0.5) <= (n * 0.8 - y)
    if edge:
        return (0x40, 0x40, 0x40, 0xFF)
    if shaft or head:
        return (0x20, 0x60, 0xC0, 0xFF)
    return (0xF0, 0xE8, 0xD8, 0xFF)


def image(n):
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, n * n * 4, 0, 0, 0, 0)
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", b, g, r, a) for (r, g, b, a) in (pixel(x, y, n) for x in range(n))))
    mask_row = b"\0" * (((n + 31) // 32) * 4)
    return header + b"".join(rows) + mask_row * n


def main():
    images = [image(16), image(32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open("launcher.ico", "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
