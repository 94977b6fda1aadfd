#!/usr/bin/env python3
"""Still PNGs larger than any canvas, for the thumbnail benchmark of huge pictures.

    make_huge.py OUTDIR                   makes the pictures (those missing)
    make_huge.py --check THUMB.png NAME   says whether a thumbnail of picture NAME
                                          shows its quarters ("right", else what is wrong)

Deterministic and fast: RGB rows of a few solid runs, written with the Sub
filter (a run becomes its first pixel and zeros) and compressed with zlib's
run-length strategy. The decoder still inflates, unfilters and converts every
byte, as for any picture of that size.

  png_tall_1920x40000.png   a full-page screenshot: quarters top to bottom
                            red, green, blue, then rows alternately black and white
  png_square_30000.png      30000 x 30000: quadrants red | green over
                            blue | rows alternately black and white
Each quarter's middle is one colour in a thumbnail (the striped one an even grey).
"""
import os
import struct
import sys
import zlib

RED, GREEN, BLUE, WHITE, BLACK = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255), (0, 0, 0)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def sub_row(runs):
    """One filtered row (filter byte 1) of solid runs [(length, colour), ...]."""
    out = bytearray([1])
    previous = (0, 0, 0)
    for length, colour in runs:
        out += bytes((c - p) & 0xFF for c, p in zip(colour, previous))
        out += bytes(3 * (length - 1))
        previous = colour
    return bytes(out)


def write_png(path, width, height, row_at):
    """row_at(y) gives the runs of row y; equal runs give the same bytes object."""
    cache = {}
    deflate = zlib.compressobj(6, zlib.DEFLATED, 15, 9, zlib.Z_RLE)
    pieces = []
    for y in range(height):
        runs = row_at(y)
        row = cache.get(runs)
        if row is None:
            row = cache[runs] = sub_row(runs)
        pieces.append(deflate.compress(row))
    pieces.append(deflate.flush())
    data = b"".join(pieces)
    with open(path + ".part", "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        for start in range(0, len(data), 1 << 20):
            f.write(chunk(b"IDAT", data[start:start + (1 << 20)]))
        f.write(chunk(b"IEND", b""))
    os.replace(path + ".part", path)


def tall(y, width=1920, height=40000):
    quarter = y * 4 // height
    colour = (RED, GREEN, BLUE, WHITE if y % 2 else BLACK)[quarter]
    return ((width, colour),)


def square(y, side=30000):
    half = side // 2
    if y < half:
        return ((half, RED), (side - half, GREEN))
    return ((half, BLUE), (side - half, WHITE if y % 2 else BLACK))


def read_rgba_png(path):
    """Width, height and RGBA rows of an 8-bit RGBA or RGB PNG, not interlaced."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError("not an 8-bit RGB(A) PNG")
    step = 4 if colour == 6 else 3
    raw, stride = zlib.decompress(idat), width * step
    rows, previous, pos = [], bytearray(stride), 0
    for _ in range(height):
        kind, row = raw[pos], bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            left = row[i - step] if i >= step else 0
            up, corner = previous[i], previous[i - step] if i >= step else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append(bytes(row) if step == 4 else bytes(b for j in range(width) for b in row[3 * j:3 * j + 3] + b"\xff"))
        previous = row
    return width, height, rows


def check(path, name):
    """The quarters' middles: red, green, blue, and the striped one an even grey (127.5, one level either way)."""
    width, height, rows = read_rgba_png(path)
    grey = (128, 128, 128)
    if name.startswith("png_tall"):
        places = [(width // 2, height * (2 * q + 1) // 8) for q in range(4)]
    else:
        places = [(width // 4, height // 4), (3 * width // 4, height // 4), (width // 4, 3 * height // 4),
                  (3 * width // 4, 3 * height // 4)]
    wrong = []
    for (x, y), want in zip(places, (RED, GREEN, BLUE, grey)):
        got = tuple(rows[y][4 * x:4 * x + 4])
        if got[3] != 255 or any(abs(g - w) > (1 if want == grey else 0) for g, w in zip(got[:3], want)):
            wrong.append("%d,%d is %s not %s" % (x, y, got, want))
    return "right" if not wrong else "; ".join(wrong)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--check":
        print(check(sys.argv[2], os.path.basename(sys.argv[3])))
        return
    out = sys.argv[1] if len(sys.argv) > 1 else "corpus"
    os.makedirs(out, exist_ok=True)
    files = {
        "png_tall_1920x40000.png": (1920, 40000, tall),
        "png_square_30000.png": (30000, 30000, square),
    }
    for name, (width, height, row_at) in files.items():
        path = os.path.join(out, name)
        if not os.path.exists(path):
            write_png(path, width, height, row_at)


if __name__ == "__main__":
    main()
