#!/usr/bin/env python3
"""Draws the tool's icon, app/win32/qrv-idset.ico: the port lamp lit red
beside "ID" on a blue tile, at 16, 24, 32, 48 and 256 pixels. Run by hand
when the drawing changes; the icon itself is kept in the repository. With
--hicolor FOLDER SIZE... it draws the Linux menu's PNGs into a hicolor tree
instead, as the Debian package is built."""
import os
import struct
import sys
import zlib

TILE, LAMP, RING, INK = (0x1F, 0x4E, 0x79), (0xE0, 0x20, 0x20), (0, 0, 0), (0xFF, 0xFF, 0xFF)


def inside_tile(x, y):
    r = 0.18  # rounded corners
    cx, cy = min(max(x, 0.03 + r), 0.97 - r), min(max(y, 0.03 + r), 0.97 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour(x, y):
    """The colour at (x, y) in the unit square, or None outside the tile."""
    if not inside_tile(x, y):
        return None
    lamp = ((x - 0.31) ** 2 + (y - 0.31) ** 2) ** 0.5
    if lamp <= 0.15:
        return LAMP
    if lamp <= 0.19:
        return RING
    d = ((x - 0.66) ** 2 + (y - 0.70) ** 2) ** 0.5
    letter_i = 0.40 <= x <= 0.49 and 0.50 <= y <= 0.90
    letter_d = (0.56 <= x <= 0.65 and 0.50 <= y <= 0.90) or (x >= 0.65 and 0.11 <= d <= 0.20)
    return INK if letter_i or letter_d else TILE


def pixels(size, samples=4):
    """BGRA rows, top first, each pixel the mean of samples x samples points."""
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            got = [colour((px + (i + 0.5) / samples) / size, (py + (j + 0.5) / samples) / size)
                   for i in range(samples) for j in range(samples)]
            hits = [c for c in got if c]
            rgb = [sum(c[k] for c in hits) // len(hits) if hits else 0 for k in range(3)]
            row += bytes((rgb[2], rgb[1], rgb[0], 255 * len(hits) // len(got)))
        rows.append(bytes(row))
    return rows


def bmp_entry(size):
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask = bytes(((size + 31) // 32) * 4 * size)  # all shown: alpha decides
    return header + b"".join(reversed(rows)) + mask


def png_entry(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(row[i + k] for i in range(0, len(row), 4) for k in (2, 1, 0, 3))
                   for row in pixels(size, 2))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    images = [(s, bmp_entry(s)) for s in (16, 24, 32, 48)] + [(256, png_entry(256))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(data for _, data in images))


def write_pngs(folder, sizes):
    """The Linux menu's icons: folder/NxN/apps/qrv-idset.png for each size."""
    for size in sizes:
        apps = os.path.join(folder, f"{size}x{size}", "apps")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "qrv-idset.png"), "wb") as f:
            f.write(png_entry(size))


if __name__ == "__main__":
    if sys.argv[1:2] == ["--hicolor"]:
        write_pngs(sys.argv[2], [int(s) for s in sys.argv[3:]])
    else:
        main(sys.argv[1] if len(sys.argv) > 1 else "app/win32/qrv-idset.ico")
