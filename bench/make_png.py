#!/usr/bin/env python3
"""make_png.py PATH WIDTH HEIGHT: writes an 8-bit RGB PNG of diagonal noise.

Each row is a window into one block of seeded random bytes, shifted a little
from the row above: a decoder has to inflate every pixel (no flat areas), yet
deflate finds the previous row inside its window, so the file stays a few MB
even at 9000x9000. Streams row by row; memory stays near one row.
"""
import random
import struct
import sys
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    row_bytes = width * 3
    noise = random.Random(1).randbytes(row_bytes + 65536)
    deflate = zlib.compressobj(6)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        pending = b""
        for y in range(height):
            start = (y * 97) % 65536
            pending += deflate.compress(b"\x00" + noise[start:start + row_bytes])
            if len(pending) >= 1 << 20:
                out.write(chunk(b"IDAT", pending))
                pending = b""
        pending += deflate.flush()
        out.write(chunk(b"IDAT", pending))
        out.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    main()
