#!/usr/bin/env python3
"""Small hostile files for the memory benchmark: each is a few bytes to a few
megabytes, and each once made the handler allocate gigabytes.
Usage: make_hostile.py OUTDIR"""
import os
import struct
import sys
import zlib


def gif_image(left, top, width, height, index, delay=10):
    """A graphic control block and an image of one colour index, LZW-coded
    without compression: 8-bit literals with a clear code before the table grows."""
    control = b"\x21\xf9\x04\x00" + struct.pack("<H", delay) + b"\x00\x00"
    descriptor = b"\x2c" + struct.pack("<HHHH", left, top, width, height) + b"\x00"
    codes, bits, nbits = [], 0, 0
    out = bytearray()

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += 9
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(256)
    for i in range(width * height):
        if i and i % 250 == 0:
            emit(256)
        emit(index)
    emit(257)
    if nbits:
        out.append(bits & 0xFF)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + bytes(out[i:i + 255]) for i in range(0, len(out), 255))
    return control + descriptor + b"\x08" + blocks + b"\x00"


def gif(width, height, images):
    palette = bytes([0, 0, 0, 255, 0, 0] + [0] * (3 * 254))
    header = b"GIF89a" + struct.pack("<HH", width, height) + b"\xf7\x00\x00" + palette
    loop = b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    return header + loop + b"".join(images) + b"\x3b"


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def zero_rows(width, height):
    """The zlib stream of `height` RGBA rows of zeros, made a row at a time."""
    deflate = zlib.compressobj(9)
    row = bytes(1 + width * 4)
    data = bytearray()
    for _ in range(height):
        data += deflate.compress(row)
    return bytes(data + deflate.flush())


def fctl(sequence, width, height, x=0, y=0):
    return chunk(b"fcTL", struct.pack(">IIIIIHHBB", sequence, width, height, x, y, 1, 25, 0, 0))


def png(width, height, frames=None, before_image=b""):
    """A plain PNG of zeros, or an APNG whose first frame is the full canvas
    and whose other `frames - 1` frames are one pixel each."""
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    out += before_image
    if frames:
        out += chunk(b"acTL", struct.pack(">II", frames, 0)) + fctl(0, width, height)
    out += chunk(b"IDAT", zero_rows(width, height))
    sequence = 1
    for i in range(1, frames or 0):
        pixel = zlib.compress(b"\x00\xff\x00\x00\xff")
        out += fctl(sequence, 1, 1, i % width, (i // width) % height)
        out += chunk(b"fdAT", struct.pack(">I", sequence + 1) + pixel)
        sequence += 2
    return out + chunk(b"IEND", b"")


def late_header(file, width, height):
    """The file with another IHDR just before its IEND."""
    iend = chunk(b"IEND", b"")
    return file[:-len(iend)] + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) + iend


def main(outdir):
    os.makedirs(outdir, exist_ok=True)
    files = {
        # An image 32000 wide on a 1 x 1 screen.
        "gif_wide_image.gif": gif(1, 1, [gif_image(0, 0, 32000, 1, 1)]),
        # Eight 1 x 1 frames on a 16000 x 16000 screen.
        "gif_huge_screen.gif": gif(16000, 16000, [gif_image(i, i, 1, 1, 1) for i in range(8)]),
        # 5000 one-pixel frames on a 1000 x 1000 screen.
        "gif_many_tiny.gif": gif(1000, 1000, [gif_image(i % 1000, i // 1000, 1, 1, 1, 1) for i in range(5000)]),
        # 64 x 64, 1500 frames, 4 MB of text before the first image.
        "apng_chunky.png": png(64, 64, 1500, b"".join(chunk(b"tEXt", b"k\x00" + bytes(1 << 20)) for _ in range(4))),
        # 16384 x 16384 with eight frames.
        "apng_huge.png": png(16384, 16384, 8),
        # A plain PNG one pixel over the drawing limit: its rows stream into its thumbnail and its preview.
        "png_16385.png": png(16385, 16385),
        # A 64 x 48 APNG with a second header after its image data that claims 20000 x 20000.
        "apng_late_header.png": late_header(png(64, 48, 2), 20000, 20000),
        # A file of no bytes, named as a video.
        "mp4_empty.mp4": b"",
    }
    for name, data in files.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    # Over a gigabyte that costs nothing on disk: refused before it is read.
    with open(os.path.join(outdir, "png_endless.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.truncate((1 << 30) + (1 << 20))


if __name__ == "__main__":
    main(sys.argv[1])
