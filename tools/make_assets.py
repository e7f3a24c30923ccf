#!/usr/bin/env python3
"""Draws Tessary's application icons and its hand pointer into assets/.

    python3 tools/make_assets.py           write the files
    python3 tools/make_assets.py --check   exit 1 if a committed file differs

Standard library only, and byte-for-byte repeatable, so the committed files
can always be regenerated and compared.
"""

import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ASSETS = os.path.join(ROOT, "assets")

# --- PNG ----------------------------------------------------------------------


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(width, height, rows, alpha):
    """rows: lists of (r, g, b, a) byte tuples; alpha False drops the a."""
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a)) if alpha else bytes((r, g, b))
    colour_type = 6 if alpha else 2
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


# --- a small anti-aliased painter ---------------------------------------------


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (1, 3, 5))


class Canvas:
    """Premultiplied RGBA floats, painted with coverage functions."""

    def __init__(self, size, background=None):
        self.size = size
        fill = (0.0, 0.0, 0.0, 0.0) if background is None else hex_colour(background) + (1.0,)
        self.px = [list(fill) for _ in range(size * size)]

    def paint(self, coverage, colour, opacity=1.0):
        r, g, b = hex_colour(colour)
        for y in range(self.size):
            for x in range(self.size):
                a = coverage(x + 0.5, y + 0.5) * opacity
                if a <= 0.0:
                    continue
                p = self.px[y * self.size + x]
                keep = 1.0 - a
                p[0] = r * a + p[0] * keep
                p[1] = g * a + p[1] * keep
                p[2] = b * a + p[2] * keep
                p[3] = a + p[3] * keep

    def rows(self):
        out = []
        for y in range(self.size):
            row = []
            for x in range(self.size):
                r, g, b, a = self.px[y * self.size + x]
                if a <= 0.0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append(tuple(max(0, min(255, round(v * 255))) for v in (r / a, g / a, b / a, a)))
            out.append(row)
        return out


def rounded_rect_distance(px, py, x0, y0, x1, y1, radius):
    """Signed distance from a point to a rounded rectangle (negative inside)."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def rounded_rect(x0, y0, x1, y1, radius, soft=0.5):
    """Coverage of a rounded rectangle; a larger soft blurs the edge (shadows)."""
    def coverage(px, py):
        d = rounded_rect_distance(px, py, x0, y0, x1, y1, radius)
        return max(0.0, min(1.0, 0.5 - d / (2 * soft)))
    return coverage


def circle(cx, cy, radius):
    def coverage(px, py):
        return max(0.0, min(1.0, 0.5 - (math.hypot(px - cx, py - cy) - radius)))
    return coverage


def both(a, b):
    return lambda px, py: min(a(px, py), b(px, py))


# --- the application icon ------------------------------------------------------

CARD = "#FFFFFF"
CARD_EDGE = "#7D8793"
BAND = "#2F6DB5"
LOGO = "#E8833A"
NAME_LINE = "#505A66"
TEXT_LINE = "#A3ABB5"
SHADOW = "#1B2430"
# The 32 px icon is plain 24-bit colour, so it stands on a solid tile.
TILE = "#D5DEE8"


def draw_icon(size, opaque):
    """A white business card with a blue band, an orange logo and text lines.

    Geometry is laid out on a 256 grid and snapped to whole pixels at each
    size, so the small icons keep crisp edges instead of blurred ones.
    """
    canvas = Canvas(size, TILE if opaque else None)
    s = size / 256.0

    def snap(v):
        return float(math.floor(v * s + 0.5))

    def span(v0, v1, minimum=1.0):
        a = snap(v0)
        return a, max(a + minimum, snap(v1))

    x0, x1 = snap(12), snap(244)
    y0, y1 = snap(58), snap(198)
    radius = max(1.0, 14 * s)
    edge = max(1.0, round(3 * s))

    if not opaque:
        blur = max(1.0, 6 * s)
        drop = max(1.0, round(5 * s))
        canvas.paint(rounded_rect(x0, y0 + drop, x1, y1 + drop, radius, blur), SHADOW, 0.35)
    canvas.paint(rounded_rect(x0, y0, x1, y1, radius), CARD_EDGE)
    inner = rounded_rect(x0 + edge, y0 + edge, x1 - edge, y1 - edge, max(0.5, radius - edge))
    canvas.paint(inner, CARD)

    band_y0, band_y1 = y0 + edge, max(y0 + edge + 2, snap(96))
    canvas.paint(both(inner, rounded_rect(x0, band_y0, x1, band_y1, 0)), BAND)

    canvas.paint(circle(snap(64), snap(148), max(2.5, 24 * s)), LOGO)

    # (top, bottom, right end, colour): a dark name line over grey details.
    lines = [(118, 128, 212, NAME_LINE), (140, 148, 190, TEXT_LINE),
             (156, 164, 212, TEXT_LINE), (172, 180, 170, TEXT_LINE)]
    if size <= 32:
        # Four lines do not fit in 16 pixels of card: keep the name and two.
        lines = [(116, 128, 212, NAME_LINE), (140, 148, 196, TEXT_LINE),
                 (164, 172, 180, TEXT_LINE)]
    left = snap(106)
    for top, bottom, right, colour in lines:
        ly0, ly1 = span(top, bottom)
        canvas.paint(rounded_rect(left, ly0, snap(right), ly1, min(2 * s, (ly1 - ly0) / 2)), colour)
    return canvas


# --- the hand pointer ----------------------------------------------------------

# X black outline, o white fill, . transparent; rows are padded to 32 on the
# right and at the bottom. The hot spot is the tip of the index finger.
HAND = """
......XXX
.....XoooX
.....XoooX
.....XoooX
.....XoooX
.....XoooX
.....XoooXXXX
.....XoooXoooX
.....XoooXoooXXXX
.....XoooXoooXoooX
.....XoooXoooXoooXXX
..XX.XoooXoooXoooXooX
.XooXXoooXoooXoooXooX
.XoooXooooooooooooooX
.XooooXoooooooooooooX
.XooooooooooooooooooX
..XoooooooooooooooooX
...XooooooooooooooooX
....XoooooooooooooooX
.....XooooooooooooooX
......XooooooooooooX
......XooooooooooooX
......XooooooooooooX
......XXXXXXXXXXXXXX
"""
HAND_HOTSPOT = (7, 0)
CURSOR_SIZE = 32


def hand_pixels():
    art = HAND.strip("\n").split("\n")
    rows = []
    for y in range(CURSOR_SIZE):
        line = art[y] if y < len(art) else ""
        line = line.ljust(CURSOR_SIZE, ".")
        assert len(line) == CURSOR_SIZE, "hand art row %d is too wide" % y
        rows.append(line)
    return rows


def encode_cur(rows, hotspot):
    """One 32x32 entry: 32-bit BGRA colour bitmap plus the 1-bit AND mask."""
    size = CURSOR_SIZE
    colour = {"X": (0, 0, 0, 255), "o": (255, 255, 255, 255), ".": (0, 0, 0, 0)}
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for line in reversed(rows):  # DIBs are stored bottom row first
        bits = 0
        for x, ch in enumerate(line):
            b, g, r, a = (colour[ch][2], colour[ch][1], colour[ch][0], colour[ch][3])
            xor += bytes((b, g, r, a))
            if ch == ".":
                bits |= 1 << (mask_stride * 8 - 1 - x)
        mask += bits.to_bytes(mask_stride, "big")
    # The header's height counts the colour bitmap and the mask together.
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, hotspot[0], hotspot[1],
                        len(image), 6 + 16)
    return directory + entry + image


def parse_cur(data):
    """Reads back what encode_cur wrote; raises ValueError on a malformed file."""
    if len(data) < 22:
        raise ValueError("too short for a directory")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 2 or count < 1:
        raise ValueError("not a cursor directory")
    w, h, _, _, hx, hy, length, offset = struct.unpack_from("<BBBBHHII", data, 6)
    if offset + length > len(data):
        raise ValueError("entry runs past the end of the file")
    (hsize, bw, bh, planes, bpp, compression, _, _, _, _, _) = struct.unpack_from(
        "<IiiHHIIiiII", data, offset)
    width, height = w or 256, h or 256
    if hsize != 40 or bw != width or bh != 2 * height or planes != 1 or bpp != 32 or compression != 0:
        raise ValueError("unexpected bitmap header")
    stride = ((width + 31) // 32) * 4
    if length != 40 + width * height * 4 + stride * height:
        raise ValueError("entry size does not match its bitmaps")
    xor_at = offset + 40
    mask_at = xor_at + width * height * 4
    pixels = []
    for y in range(height):
        src_row = height - 1 - y
        row = []
        for x in range(width):
            b, g, r, a = data[xor_at + (src_row * width + x) * 4:][:4]
            masked = data[mask_at + src_row * stride + x // 8] >> (7 - x % 8) & 1
            row.append((r, g, b, a, masked))
        pixels.append(row)
    return {"size": (width, height), "hotspot": (hx, hy), "pixels": pixels}


# --- output --------------------------------------------------------------------


def outputs():
    files = {}
    for size in (32, 48, 128, 256):
        opaque = size == 32
        canvas = draw_icon(size, opaque)
        files["icons/tessary-%d.png" % size] = encode_png(size, size, canvas.rows(), not opaque)
    files["HAND-M.CUR"] = encode_cur(hand_pixels(), HAND_HOTSPOT)
    return files


def self_check(files):
    cursor = parse_cur(files["HAND-M.CUR"])
    hx, hy = cursor["hotspot"]
    tip = cursor["pixels"][hy][hx]
    assert tip[:4] == (0, 0, 0, 255) and tip[4] == 0, "the hot spot is not on the fingertip outline"
    for row in cursor["pixels"]:
        for r, g, b, a, masked in row:
            assert (a == 0) == bool(masked), "mask and alpha disagree"


def png_content(data):
    """The chunks of a PNG with its image data inflated, so files compare by
    what they show and not by how a particular zlib packed them."""
    chunks, at = [], 8
    while at < len(data):
        (length,) = struct.unpack_from(">I", data, at)
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + length]
        chunks.append((kind, zlib.decompress(body) if kind == b"IDAT" else body))
        at += 12 + length
    return chunks


def same_file(name, old, new):
    if name.endswith(".png"):
        try:
            return png_content(old) == png_content(new)
        except (zlib.error, struct.error):
            return False
    return old == new


def main(argv):
    check = "--check" in argv[1:]
    files = outputs()
    self_check(files)
    stale = []
    for name, data in sorted(files.items()):
        path = os.path.join(ASSETS, name)
        if check:
            try:
                with open(path, "rb") as f:
                    if not same_file(name, f.read(), data):
                        stale.append(name)
            except FileNotFoundError:
                stale.append(name)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print("wrote assets/%s (%d bytes)" % (name, len(data)))
    if stale:
        print("out of date: " + ", ".join("assets/" + n for n in stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
