#!/usr/bin/env python3
"""Draws the program's own simple artwork: the application and tray icons and the About
bitmap. The outputs are committed; run this only to change them."""
import math
import struct
import sys
import zlib
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "src" / "resources" / "art"


def draw(size, linked, app=False):
    """A round badge with three sound arcs; blue when linked, grey when not."""
    px = []
    c = (size - 1) / 2.0
    r = size * 0.46
    base = (40, 110, 200) if (linked or app) else (120, 120, 120)
    for y in range(size):
        row = []
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d > r:
                row.append((0, 0, 0, 0))
                continue
            col = base
            # white speaker dot and arcs on the left-centre
            sx, sy = c - size * 0.18, c
            ds = math.hypot(x - sx, y - sy)
            if ds < size * 0.09:
                col = (255, 255, 255)
            elif x > sx:
                for k in (0.22, 0.32, 0.42):
                    if abs(ds - size * k) < max(0.6, size * 0.035) and abs(y - sy) < (x - sx) * 1.1:
                        col = (255, 255, 255)
            if app and d > r - max(1.0, size * 0.06):
                col = (20, 60, 130)
            row.append((*col, 255))
        px.append(row)
    return px


def bmp_payload(px):
    """BITMAPINFOHEADER + 32-bit BGRA bottom-up pixels + AND mask, as an icon image."""
    size = len(px)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(px):
        for (r, g, b, a) in row:
            pixels += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png_payload(px):
    """The image as a PNG (8-bit RGBA, no interlace): how an icon stores its 256-pixel image,
    which as a bitmap would take 256 KiB."""
    size = len(px)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in px)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_ico(path, images):
    entries = b""
    data = b""
    offset = 6 + 16 * len(images)
    for px in images:
        size = len(px)
        payload = png_payload(px) if size >= 256 else bmp_payload(px)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(payload), offset)
        data += payload
        offset += len(payload)
    path.write_bytes(struct.pack("<HHH", 0, 1, len(images)) + entries + data)


def write_bmp(path, w, h):
    row = (w * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(h)):
        line = bytearray()
        for x in range(w):
            t = x / max(1, w - 1)
            r, g, b = int(30 + 40 * t), int(90 + 60 * t), int(170 + 60 * t)
            cx, cy = w * 0.5, h * 0.5
            if math.hypot(x - cx, y - cy) < h * 0.3:
                r, g, b = 255, 255, 255
            line += bytes((b, g, r))
        line += bytes(row - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    filehdr = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    path.write_bytes(filehdr + info + bytes(pixels))


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    # Every size Windows asks for is drawn, none is scaled from another. The notification area
    # shows the small-icon size of the monitor's DPI: 16 pixels at 100 %, 20 at 125 %, 24 at
    # 150 %, 32 at 200 %, 48 at 300 %. Window captions and the taskbar take 16 to 32, the Start
    # menu, the Apps list, Explorer and the installer 48 and 256.
    sizes = (16, 20, 24, 32, 48, 256)
    write_ico(OUT / "app.ico", [draw(n, True, app=True) for n in sizes])
    write_ico(OUT / "tray_notlinked.ico", [draw(n, False) for n in sizes])
    write_ico(OUT / "tray_linked.ico", [draw(n, True) for n in sizes])
    write_bmp(OUT / "about.bmp", 48, 48)
    return 0


if __name__ == "__main__":
    sys.exit(main())
