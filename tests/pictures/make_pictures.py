#!/usr/bin/env python3
"""Writes the small pictures the loader's tests read, into this folder.

    python3 tests/pictures/make_pictures.py

Every picture shows the same 48 x 32 pattern when shown upright: red at the
top left, green at the top right, blue at the bottom left and yellow at the
bottom right (a grey or black-and-white picture has its own four tones, and
a picture with transparency leaves its top-left quarter clear), so a test
can tell a picture turned, mirrored or decoded wrongly by sampling the middle
of each quarter. The one exception, scans-99.jpg, is a flat grey picture
sent in far more scans than any photo uses. BMP, PNG and the hand-made
JPEGs are drawn here with the standard library; the other JPEGs and the GIF
are converted with ImageMagick's `convert`.
"""

import os
import struct
import subprocess
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
WIDTH, HEIGHT = 48, 32
COLOURS = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)]
GREYS = [(0, 0, 0), (255, 255, 255), (96, 96, 96), (192, 192, 192)]
MONO = [(0, 0, 0), (255, 255, 255), (255, 255, 255), (0, 0, 0)]


def quarter(x, y):
    return (x >= WIDTH // 2) + 2 * (y >= HEIGHT // 2)


def pixels(colours, clear_top_left=False):
    """Rows top to bottom of (r, g, b, a)."""
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            q = quarter(x, y)
            alpha = 0 if clear_top_left and q == 0 else 255
            row.append(colours[q] + (alpha,))
        rows.append(row)
    return rows


# ---------------------------------------------------------------- PNG

def png(rows, alpha):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + b"".join(bytes(p[:4] if alpha else p[:3]) for p in row) for row in rows)
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


# ---------------------------------------------------------------- BMP

def bmp(info_fields, pixel_data, palette=b"", extra_masks=b"", info_size=40, v4_masks=None,
        os2=False):
    """info_fields: (width, height, bits, compression)."""
    width, height, bits, compression = info_fields
    if os2:
        info = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bits, compression,
                           len(pixel_data), 2835, 2835, len(palette) // 4, 0)
        if info_size >= 108:
            info += struct.pack("<IIII", *(v4_masks or (0, 0, 0, 0)))
            info += b"sRGB" + b"\0" * 36 + b"\0" * 12
            if info_size == 124:
                info += struct.pack("<IIII", 4, 0, 0, 0)
    offset = 14 + len(info) + len(extra_masks) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixel_data), 0, 0, offset)
    return header + info + extra_masks + palette + pixel_data


def padded(row):
    return row + b"\0" * (-len(row) % 4)


def rows_24(rows):
    return [padded(b"".join(bytes((b, g, r)) for r, g, b, a in row)) for row in rows]


def rows_32(rows, alpha=True):
    return [b"".join(bytes((b, g, r, a if alpha else 0)) for r, g, b, a in row) for row in rows]


def rows_565(rows):
    def pack(r, g, b):
        return struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
    return [padded(b"".join(pack(r, g, b) for r, g, b, a in row)) for row in rows]


def bottom_up(rows):
    return b"".join(reversed(rows))


def palette_of(colours, entry=4):
    return b"".join(bytes((b, g, r)) + b"\0" * (entry - 3) for r, g, b in colours)


def indexes(colours):
    return [[quarter(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]


def rows_indexed(bits):
    out = []
    for row in indexes(COLOURS):
        value, count, packed = 0, 0, bytearray()
        for index in row:
            value = value << bits | index
            count += bits
            if count == 8:
                packed.append(value)
                value, count = 0, 0
        if count:
            packed.append(value << (8 - count))
        out.append(padded(bytes(packed)))
    return out


def rle8(skip_bottom_right=False):
    """Each row as two runs, bottom row first; the bottom-right quarter can
    be jumped over, leaving it unset."""
    data = bytearray()
    rows = list(reversed(indexes(COLOURS)))
    for y, row in enumerate(rows):
        half = WIDTH // 2
        data += bytes((half, row[0]))
        if skip_bottom_right and y < HEIGHT // 2:
            # The row ends early: the rest of it stays unset.
            data += b"\0\0"
            continue
        data += bytes((half, row[half])) + b"\0\0"
    return bytes(data[:-2]) + b"\0\1"


def rle4():
    data = bytearray()
    for row in reversed(indexes(COLOURS)):
        half = WIDTH // 2
        # A literal run for the left half (absolute mode), a repeat for the right.
        data += bytes((0, half)) + bytes((row[0] << 4 | row[0],)) * (half // 2)
        if (half // 2) % 2:
            data += b"\0"
        data += bytes((half, row[half] << 4 | row[half])) + b"\0\0"
    return bytes(data) + b"\0\1"


# ---------------------------------------------------------------- JPEG

def segment(marker, body):
    return b"\xFF" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body


def exif(orientation, thumbnail=None):
    """An APP1 segment: big-endian TIFF, IFD0 holding the orientation and,
    with a thumbnail, IFD1 pointing at it."""
    entries = [struct.pack(">HHIHH", 0x0112, 3, 1, orientation, 0)]
    ifd0 = struct.pack(">H", 1) + b"".join(entries)
    ifd0_at = 8
    ifd1_at = ifd0_at + len(ifd0) + 4
    if thumbnail is None:
        tiff = b"MM\0*" + struct.pack(">I", ifd0_at) + ifd0 + struct.pack(">I", 0)
    else:
        thumb_at = ifd1_at + 2 + 2 * 12 + 4
        ifd1 = struct.pack(">H", 2) + struct.pack(">HHII", 0x0201, 4, 1, thumb_at) \
            + struct.pack(">HHII", 0x0202, 4, 1, len(thumbnail)) + struct.pack(">I", 0)
        tiff = b"MM\0*" + struct.pack(">I", ifd0_at) + ifd0 + struct.pack(">I", ifd1_at) + ifd1 + thumbnail
    return segment(0xE1, b"Exif\0\0" + tiff)


def with_segment(jpeg, extra):
    assert jpeg[:2] == b"\xFF\xD8"
    return jpeg[:2] + extra + jpeg[2:]


def grey_blocks(width, restart_interval):
    """A grey picture 8 rows high, every coefficient zero: one Huffman code
    each for DC difference 0 and end of block, and a restart marker after
    every `restart_interval` blocks."""
    quant = segment(0xDB, b"\x00" + b"\x01" * 64)
    frame = segment(0xC0, struct.pack(">BHHB", 8, 8, width, 1) + b"\x01\x11\x00")
    counts = b"\x01" + b"\x00" * 15
    huffman = segment(0xC4, b"\x00" + counts + b"\x00" + b"\x10" + counts + b"\x00")
    restart = segment(0xDD, struct.pack(">H", restart_interval))
    scan = segment(0xDA, b"\x01\x01\x00\x00\x3F\x00")
    blocks = width // 8
    data = bytearray()
    for n in range(blocks):
        data.append(0x3F)  # bits "00", padded with ones
        if (n + 1) % restart_interval == 0 and n + 1 < blocks:
            data += bytes((0xFF, 0xD0 + (n // restart_interval) % 8))
    return b"\xFF\xD8" + quant + frame + huffman + restart + scan + bytes(data) + b"\xFF\xD9"


class Bits:
    """Entropy-coded data: bits packed from the most significant end, each
    0xFF byte followed by a stuffed zero, the last byte padded with ones."""

    def __init__(self):
        self.data, self.value, self.count = bytearray(), 0, 0

    def put(self, value, length):
        for shift in range(length - 1, -1, -1):
            self.value = self.value << 1 | (value >> shift & 1)
            self.count += 1
            if self.count == 8:
                self.data.append(self.value)
                if self.value == 0xFF:
                    self.data.append(0)
                self.value, self.count = 0, 0

    def finish(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.data)


def many_scans(side, scans):
    """A flat grey progressive picture `side` pixels square, every
    coefficient zero, sent in `scans` scans: the DC scan, then single
    coefficients, the first of them in two halves (a first scan and a
    refinement). Its few kilobytes of data cost a decoder `scans` passes
    over the whole picture."""
    blocks = (side // 8) ** 2
    split = scans - 1 - 63
    assert 0 <= split <= 63
    quant = segment(0xDB, b"\x00" + b"\x01" * 64)
    frame = segment(0xC2, struct.pack(">BHHB", 8, side, side, 1) + b"\x01\x11\x00")
    # DC: one code, "0", for a difference of zero. AC: "0" for a run of
    # 2^14 + 14 bits of ends of block, "10" for a run of 2^5 + 5 bits.
    dc_table = segment(0xC4, b"\x00" + b"\x01" + b"\x00" * 15 + b"\x00")
    ac_table = segment(0xC4, b"\x10" + b"\x01\x01" + b"\x00" * 14 + b"\xE0\x50")

    def scan(start, end, approximation, body):
        return segment(0xDA, bytes((1, 1, 0x00, start, end, approximation))) + body

    dc_data = bytes(blocks // 8)  # one "0" bit a block

    ends = Bits()
    left = blocks
    while left >= 32767:
        ends.put(0, 1)
        ends.put(32767 - (1 << 14), 14)
        left -= 32767
    while left > 0:
        run = min(left, 63)
        assert run >= 32, "the picture's block count must leave runs of 32 to 63"
        ends.put(0b10, 2)
        ends.put(run - 32, 5)
        left -= run
    no_coefficients = ends.finish()

    out = b"\xFF\xD8" + quant + frame + dc_table + ac_table + scan(0, 0, 0x00, dc_data)
    for k in range(1, 64):
        if k <= split:
            out += scan(k, k, 0x01, no_coefficients) + scan(k, k, 0x10, no_coefficients)
        else:
            out += scan(k, k, 0x00, no_coefficients)
    return out + b"\xFF\xD9"


def convert(source, *args, kind="jpeg"):
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "out")
        subprocess.run(["convert", source, *args, "-strip", f"{kind}:{out}"], check=True, timeout=60)
        with open(out, "rb") as f:
            return f.read()


# Undoes what each EXIF orientation asks a viewer to do, so the file shows
# the pattern upright.
STORED_AS = {1: [], 2: ["-flop"], 3: ["-rotate", "180"], 4: ["-flip"], 5: ["-transpose"],
             6: ["-rotate", "-90"], 7: ["-transverse"], 8: ["-rotate", "90"]}


def outputs(work):
    colour_png = os.path.join(work, "colour.png")
    grey_png = os.path.join(work, "grey.png")
    with open(colour_png, "wb") as f:
        f.write(png(pixels(COLOURS), False))
    with open(grey_png, "wb") as f:
        f.write(png(pixels(GREYS), False))
    jpeg = ["-quality", "95", "-sampling-factor", "1x1"]

    files = {}
    files["plain.jpg"] = convert(colour_png, *jpeg)
    files["progressive.jpg"] = convert(colour_png, "-interlace", "JPEG", *jpeg)
    files["cmyk.jpg"] = convert(colour_png, "-colorspace", "CMYK", *jpeg)
    files["grayscale.jpg"] = convert(grey_png, "-colorspace", "Gray", *jpeg)
    for orientation, undo in STORED_AS.items():
        stored = convert(colour_png, *undo, *jpeg)
        files[f"orientation-{orientation}.jpg"] = with_segment(stored, exif(orientation))
    thumbnail = convert(colour_png, "-resize", "8x8!", *jpeg)
    files["exif-thumbnail.jpg"] = with_segment(files["plain.jpg"], exif(1, thumbnail))
    files["restart-markers.jpg"] = grey_blocks(32, 1)
    files["scans-99.jpg"] = many_scans(8192, 99)

    colour_rows = pixels(COLOURS)
    clear_rows = pixels(COLOURS, clear_top_left=True)
    files["topdown-24.bmp"] = bmp((WIDTH, -HEIGHT, 24, 0), b"".join(rows_24(colour_rows)))
    files["bottomup-24.bmp"] = bmp((WIDTH, HEIGHT, 24, 0), bottom_up(rows_24(colour_rows)))
    mono = bytearray()
    for row in reversed(pixels(MONO)):
        bits = "".join("1" if p[0] else "0" for p in row)
        mono += padded(int(bits, 2).to_bytes(WIDTH // 8, "big"))
    files["mono-1.bmp"] = bmp((WIDTH, HEIGHT, 1, 0), bytes(mono),
                              palette=palette_of([(0, 0, 0), (255, 255, 255)]))
    files["indexed-4.bmp"] = bmp((WIDTH, HEIGHT, 4, 0), bottom_up(rows_indexed(4)), palette=palette_of(COLOURS))
    files["indexed-8.bmp"] = bmp((WIDTH, HEIGHT, 8, 0), bottom_up(rows_indexed(8)), palette=palette_of(COLOURS))
    files["rle8.bmp"] = bmp((WIDTH, HEIGHT, 8, 1), rle8(), palette=palette_of(COLOURS))
    files["rle8-skipped.bmp"] = bmp((WIDTH, HEIGHT, 8, 1), rle8(skip_bottom_right=True),
                                    palette=palette_of(COLOURS))
    files["rle4.bmp"] = bmp((WIDTH, HEIGHT, 4, 2), rle4(), palette=palette_of(COLOURS))
    files["rgb32-empty-fourth-byte.bmp"] = bmp((WIDTH, HEIGHT, 32, 0), bottom_up(rows_32(colour_rows, alpha=False)))
    argb_masks = (0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    files["argb32-v5.bmp"] = bmp((WIDTH, HEIGHT, 32, 3), bottom_up(rows_32(clear_rows)), info_size=124,
                                 v4_masks=argb_masks)
    files["argb32-v5-alpha-all-zero.bmp"] = bmp((WIDTH, HEIGHT, 32, 3), bottom_up(rows_32(colour_rows, alpha=False)),
                                                info_size=124, v4_masks=argb_masks)
    files["argb32-alphabitfields.bmp"] = bmp((WIDTH, HEIGHT, 32, 6), bottom_up(rows_32(clear_rows)),
                                             extra_masks=struct.pack("<IIII", *argb_masks))
    files["rgb565-bitfields.bmp"] = bmp((WIDTH, HEIGHT, 16, 3), bottom_up(rows_565(colour_rows)),
                                        extra_masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F))
    files["os2-8.bmp"] = bmp((WIDTH, HEIGHT, 8, 0), bottom_up(rows_indexed(8)), palette=palette_of(COLOURS + [(0, 0, 0)] * 252, 3), os2=True)

    clear_png = png(clear_rows, True)
    files["transparent.png"] = clear_png
    clear_path = os.path.join(work, "clear.png")
    with open(clear_path, "wb") as f:
        f.write(clear_png)
    files["transparent.gif"] = convert(clear_path, kind="gif")
    return files


def main():
    with tempfile.TemporaryDirectory() as work:
        for name, data in sorted(outputs(work).items()):
            with open(os.path.join(HERE, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
