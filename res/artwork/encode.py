#!/usr/bin/env python3
"""Writes the program's bitmaps and icon from the PPM/PGM pictures that
make-artwork.sh draws.

  encode.py bmp24 IN.ppm OUT.bmp        24 bits per pixel
  encode.py bmp8  IN.ppm OUT.bmp        8 bits per pixel with a colour table
  encode.py ico OUT.ico IN.ppm MASK.pgm [IN.ppm MASK.pgm ...]

Every colour passes through `safe_colour`: the window loader maps three greys
of a colour table to system colours (LR_LOADMAP3DCOLORS), and magenta is the
key colour cut out of the skinned window, so none of them may appear.
Only the Python standard library is used.
"""
import struct
import sys

MAPPED_GREYS = {(128, 128, 128), (192, 192, 192), (223, 223, 223)}
MAGENTA = (255, 0, 255)


def safe_colour(rgb):
    """One step off a colour the loader or the window region would treat specially."""
    if rgb in MAPPED_GREYS:
        return (rgb[0], rgb[1], rgb[2] + 1)
    if rgb == MAGENTA:
        return (254, 0, 255)
    return rgb


def read_pnm(path):
    """(width, height, channels, bytes) of a binary PPM (P6) or PGM (P5), max 255."""
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    if magic not in (b"P5", b"P6") or maxval != 255:
        raise ValueError(f"{path}: expected an 8-bit binary PGM or PPM")
    channels = 3 if magic == b"P6" else 1
    pixels = data[pos:pos + width * height * channels]
    if len(pixels) != width * height * channels:
        raise ValueError(f"{path}: truncated")
    return width, height, channels, pixels


def read_rgb(path):
    """(width, height, rows of (r, g, b) tuples, top row first)."""
    width, height, channels, pixels = read_pnm(path)
    if channels != 3:
        raise ValueError(f"{path}: expected a PPM")
    rows = []
    for y in range(height):
        row = pixels[y * width * 3:(y + 1) * width * 3]
        rows.append([safe_colour(tuple(row[x * 3:x * 3 + 3])) for x in range(width)])
    return width, height, rows


def info_header(width, height, bits, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size,
                       2835, 2835, colours, colours)


def stride(width, bits):
    return (width * bits + 31) // 32 * 4


def write_bmp(path, width, height, bits, palette, row_bytes):
    """A bottom-up BI_RGB bitmap file; `row_bytes(y)` gives row y (top row 0), unpadded."""
    pad = stride(width, bits)
    body = b"".join(row_bytes(y).ljust(pad, b"\0") for y in reversed(range(height)))
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(table)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset))
        f.write(info_header(width, height, bits, len(body), len(palette)))
        f.write(table)
        f.write(body)


def bmp24(src, dst):
    width, height, rows = read_rgb(src)
    write_bmp(dst, width, height, 24, [],
              lambda y: b"".join(bytes((b, g, r)) for r, g, b in rows[y]))


def build_palette(rows, size=256):
    """The `size` most frequent colours (ties broken by value, so the output is
    stable) and a map from every colour of the picture to its nearest entry."""
    counts = {}
    for row in rows:
        for c in row:
            counts[c] = counts.get(c, 0) + 1
    ranked = sorted(counts, key=lambda c: (-counts[c], c))
    palette = sorted(ranked[:size])
    index = {c: i for i, c in enumerate(palette)}
    for c in ranked[size:]:
        index[c] = min(range(len(palette)),
                       key=lambda i: sum((a - b) ** 2 for a, b in zip(c, palette[i])))
    return palette, index


def bmp8(src, dst):
    width, height, rows = read_rgb(src)
    palette, index = build_palette(rows)
    write_bmp(dst, width, height, 8, palette,
              lambda y: bytes(index[c] for c in rows[y]))


def ico(dst, pairs):
    """An icon file with one 8-bit image (colour table plus AND mask) per
    picture; mask pixels of 128 or more are opaque."""
    images = []
    for picture, mask_path in pairs:
        width, height, rows = read_rgb(picture)
        mw, mh, channels, mask = read_pnm(mask_path)
        if (mw, mh, channels) != (width, height, 1):
            raise ValueError(f"{mask_path}: does not match {picture}")
        opaque = [[mask[y * width + x] >= 128 for x in range(width)] for y in range(height)]
        palette, index = build_palette(
            [[c for c, o in zip(rows[y], opaque[y]) if o] or [(0, 0, 0)] for y in range(height)])
        palette += [(0, 0, 0)] * (256 - len(palette))
        colour = b"".join(
            bytes(index[c] if o else 0 for c, o in zip(rows[y], opaque[y])).ljust(stride(width, 8), b"\0")
            for y in reversed(range(height)))
        and_mask = b""
        for y in reversed(range(height)):
            bits = 0
            for x in range(width):
                bits = bits << 1 | (0 if opaque[y][x] else 1)
            bits <<= (-width) % 8
            and_mask += bits.to_bytes((width + 7) // 8, "big").ljust(stride(width, 1), b"\0")
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        data = info_header(width, height * 2, 8, len(colour) + len(and_mask), 256)[:32] + \
            struct.pack("<II", 0, 0) + table + colour + and_mask
        images.append((width, height, data))
    offset = 6 + 16 * len(images)
    header = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    for width, height, data in images:
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    with open(dst, "wb") as f:
        f.write(header + entries + b"".join(data for _, _, data in images))


def main(argv):
    if len(argv) == 4 and argv[1] == "bmp24":
        bmp24(argv[2], argv[3])
    elif len(argv) == 4 and argv[1] == "bmp8":
        bmp8(argv[2], argv[3])
    elif len(argv) >= 5 and len(argv) % 2 == 1 and argv[1] == "ico":
        ico(argv[2], list(zip(argv[3::2], argv[4::2])))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
