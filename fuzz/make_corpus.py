#!/usr/bin/env python3
"""Writes the fuzzers' seed inputs into fuzz/corpus/.

    python3 fuzz/make_corpus.py

Standard library only and repeatable: a tiny BMP, JPEG and PNG drawn here,
the program's own hand pointer, every picture of tests/pictures (each kind
of JPEG and BMP the loader reads, once as a file and once as the logo boxes
load it), gradient parameter records laid out the way fuzz_gradient.cpp
reads them, and contact files of each kind of export fuzz_vcard reads. Inputs a fuzzer once failed on are kept beside these
(bmp-rows-overflow, for one) and left alone.
"""

import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")

# The first byte of a picture input picks the suffix (see fuzz_picture.cpp);
# adding FOR_BOXES loads it as the logo boxes do.
SUFFIX = {"jpg": 0, "bmp": 1, "cur": 2, "": 3, "png": 4, "gif": 5}
FOR_BOXES = len(SUFFIX)
PICTURES = os.path.join(ROOT, "tests", "pictures")


def bmp_24(width, height, pixel):
    stride = (width * 3 + 3) // 4 * 4
    row = bytes(pixel) * width + b"\0" * (stride - width * 3)
    pixels = row * height
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def jpeg_grey_8x8():
    """One 8 x 8 grey block: every coefficient zero, one Huffman code each
    for DC category 0 and end of block."""
    def segment(marker, body):
        return b"\xFF" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body

    quant = segment(0xDB, b"\x00" + b"\x01" * 64)
    frame = segment(0xC0, struct.pack(">BHHB", 8, 8, 8, 1) + b"\x01\x11\x00")
    counts = b"\x01" + b"\x00" * 15
    huffman = segment(0xC4, b"\x00" + counts + b"\x00" + b"\x10" + counts + b"\x00")
    scan = segment(0xDA, b"\x01\x01\x00\x00\x3F\x00")
    # Bits "0" (DC, no difference) and "0" (end of block), padded with ones.
    return b"\xFF\xD8" + quant + frame + huffman + scan + b"\x3F" + b"\xFF\xD9"


def png_rgb(width, height, pixel):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = (b"\0" + bytes(pixel) * width) * height
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


class Record:
    """Values in the order the fuzzer consumes them. FuzzedDataProvider takes
    integers from the end of the input, most significant byte last, each in
    as few bytes as its range needs."""

    def __init__(self):
        self.chunks = []

    def int_in(self, lo, hi, value):
        assert lo <= value <= hi
        span, size = hi - lo, 0
        while size < 8 and span >> (8 * size) > 0:
            size += 1
        self.chunks.append((value - lo).to_bytes(size, "little"))
        return self

    def boolean(self, value):
        return self.int_in(0, 255, int(value))

    def int32(self, value):
        return self.int_in(-2**31, 2**31 - 1, value)

    def uint32(self, value):
        return self.int_in(0, 2**32 - 1, value)

    def float_bits(self, value):
        return self.boolean(False).uint32(struct.unpack("<I", struct.pack("<f", value))[0])

    def colour(self, value):
        return self.int_in(0, 2, 0).int_in(0, 0xFFFFFF, value)

    def system_colour(self, index):
        return self.int_in(0, 2, 1).int_in(0, 40, index)

    def data(self):
        return b"".join(reversed(self.chunks))


def draw_gradient(width, height, angle, image, colours=(0, 0xFFFFFF), any_size=False):
    r = Record().int_in(0, 3, 0).colour(colours[0]).colour(colours[1]).float_bits(angle)
    r.boolean(any_size)
    if any_size:
        r.int32(width).int32(height)
    else:
        r.int_in(-4, 400, width).int_in(-4, 400, height)
    r.int_in(1, 400, image[0]).int_in(1, 400, image[1])
    return r.int_in(-8, 8, 0).int_in(-8, 8, 0).int_in(0, 408, image[0]).int_in(0, 408, image[1]).data()


def draw_on_box(width, height, angle, border):
    r = Record().int_in(0, 3, 1).system_colour(5).colour(0x400000).float_bits(angle)
    return r.boolean(border).int_in(0, 400, width).int_in(0, 400, height).data()


def blend(start, end, steps):
    return Record().int_in(0, 3, 2).int32(start).int32(end).int_in(-100000, 100000, steps).data()


def fill(style, width, height, channels=(0, 0, 0, 255, 255, 255)):
    r = Record().int_in(0, 3, 3)
    for value in channels:
        r.boolean(True).int_in(0, 255, value)
    r.boolean(True).int_in(0, 4, style).boolean(False)
    return r.boolean(True).int_in(0, 60, width).int_in(0, 60, height).data()


def crlf(text):
    return text.replace(b"\n", b"\r\n")


def contacts():
    """Contact files as phones, mail programs, address books and web mail
    write them, for fuzz_vcard."""
    return {
        "phone-2.1-quoted-printable.vcf": crlf(
            b"BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\n"
            b"FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\nTEL;CELL;PREF:+49 151 2345678\n"
            b"TEL;WORK;FAX:+49 30 1234599\nTEL;WORK;VOICE:+49 30 1234567\nEMAIL;HOME:juergen@example.de\n"
            b"ADR;WORK;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;Hauptstra=C3=9Fe 5=0D=0AHinter=\n"
            b"haus;Berlin;;10115;Deutschland\n"
            b"PHOTO;ENCODING=BASE64;JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDA\n"
            b"    AAAAAAAAAAAAAAAA\n/9j/NotIndented+/=\n\nURL:http://mueller.example\nEND:VCARD\n"),
        "mail-2.1-windows-1252.vcf": crlf(
            b"begin:vcard\nversion:2.1\nORG;QUOTED-PRINTABLE;CHARSET=Windows-1252:Caf=E9 =93Zur Post=94;K=FCche\n"
            b"FN:Zo\xeb Fischer\nADR;HOME:;;Bahnhofstr. 2;K\xf6ln;;50667\n"
            b"ADR;WORK;PREF:;;Marktplatz 1;M\xfcnster;NRW;48143;Germany\n"
            b"EMAIL;PREF;INTERNET:zoe@cafe.example\nEND:VCARD\n"),
        "book-3.0-folded-grouped.vcf":
            b"\xef\xbb\xbfBEGIN:VCARD\nVERSION:3.0\nN:Berg;Anna;;;\nFN:Anna Berg\nORG:Berg \\& Sons\\, Ltd.;Printing\n"
            b"PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD\n /2wBDAAgGBgcGBQgHBwcJCQgKDA==\n"
            b"item1.EMAIL;type=INTERNET;type=pref:anna@home.example\n"
            b"item2.EMAIL;type=INTERNET;type=WORK:anna@berg.exa\n mple\n"
            b"item3.tel;type=CELL;type=VOICE;type=pref:+44 7700 900123\nitem4.TEL;TYPE=work,voice:+44 20 7946 0018\n"
            b"item6.ADR;type=WORK:;Unit 4\\nBlock B;12 Quay Street\\nDock Yard;London;;EC1A 1BB;\n\tUnited Kingdom\n"
            b"item7.URL;type=pref:http\\://berg.\n\texample\nEND:VCARD\n",
        "web-4.0-pref-tel.vcf": crlf(
            b"BEGIN:VCARD\nVERSION:4.0\nFN:Sam Ortiz\nEMAIL;TYPE=home:sam@home.example\nEMAIL;PREF=1:sam@ortiz.example\n"
            b"TEL;VALUE=uri;PREF=1;TYPE=\"voice,cell\":tel:+1-555-555-0199;ext=12\n"
            b"TEL;VALUE=uri;TYPE=fax:tel:+1-555-555-0111\n"
            b"ADR;TYPE=home;LABEL=\"1 Main St, Suite: 5\":;;1 Main St;New York;NY;99999;USA\n"
            b"URL:https://ortiz.example\nEND:VCARD\n"),
        "two-contacts-nested-agent.vcf":
            b"BEGIN:VCARD\nFN:Outer\nAGENT:\nBEGIN:VCARD\nFN:Inner\nEND:VCARD\nEND:VCARD\n"
            b"BEGIN:VCARD\nN:Ortiz;Sam\nTEL:555\nEND:VCARD\n",
    }


def outputs():
    with open(os.path.join(ROOT, "assets", "HAND-M.CUR"), "rb") as f:
        hand = f.read()
    picture = {
        "tiny.bmp": bytes([SUFFIX["bmp"]]) + bmp_24(3, 2, (0x20, 0x80, 0xE0)),
        "tiny.jpg": bytes([SUFFIX["jpg"]]) + jpeg_grey_8x8(),
        "tiny.png": bytes([SUFFIX["png"]]) + png_rgb(2, 2, (0xFF, 0xD0, 0x40)),
        "hand.cur": bytes([SUFFIX["cur"]]) + hand,
    }
    gradient = {
        "angle0-100x50": draw_gradient(100, 50, 0.0, (100, 50)),
        "angle315-card": draw_gradient(349, 199, 315.0, (349, 199), (0xFFFFD0, 0x400000)),
        "angle-nan": draw_gradient(40, 30, float("nan"), (40, 30)),
        "angle-inf": draw_gradient(40, 30, float("inf"), (40, 30)),
        "huge-area-small-image": draw_gradient(2**31 - 1, 5, 45.0, (8, 8), any_size=True),
        "box-277x2-angle1": draw_on_box(277, 2, 1.0, False),
        "blend-10-steps": blend(0x000000, 0xFFFFFF, 10),
        "fill-diagonal": fill(3, 40, 12),
        "fill-circles": fill(2, 30, 30),
        "fill-rows": fill(0, 20, 20),
    }
    for name in sorted(os.listdir(PICTURES)):
        suffix = os.path.splitext(name)[1].lstrip(".")
        # The 140 KB picture of endless scans would make libFuzzer try
        # inputs that long; the loader refuses it at its scans' headers.
        if suffix not in SUFFIX or name == "scans-99.jpg":
            continue
        with open(os.path.join(PICTURES, name), "rb") as f:
            data = f.read()
        picture[name] = bytes([SUFFIX[suffix]]) + data
        picture["boxes-" + name] = bytes([SUFFIX[suffix] + FOR_BOXES]) + data
    files = {}
    for name, data in picture.items():
        files[os.path.join("fuzz_picture", name)] = data
    for name, data in gradient.items():
        files[os.path.join("fuzz_gradient", name)] = data
    for name, data in contacts().items():
        files[os.path.join("fuzz_vcard", name)] = data
    return files


def main():
    for name, data in outputs().items():
        path = os.path.join(CORPUS, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
