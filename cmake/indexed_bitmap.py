#!/usr/bin/env python3
"""Writes an uncompressed 24-bit BMP as an 8-bit palette BMP with the very
same pixels, for the Windows program's resources: the step pictures hold a
few hundred colours at most, and a third of the bytes keeps the shipped
program small. Anything else (more than 256 colours, another format) is
copied as it is, so the output is always a picture the source's equal.

    indexed_bitmap.py IN.bmp OUT.bmp
"""

import os
import struct
import sys


def indexed(data):
    """The 8-bit form of a 24-bit BMP's bytes, or None when there is none."""
    if len(data) < 54 or data[:2] != b"BM":
        return None
    offset, header = struct.unpack_from("<II", data, 10)
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    x_ppm, y_ppm = struct.unpack_from("<ii", data, 38)
    rows = abs(height)
    stride = (width * 3 + 3) // 4 * 4
    if (header != 40 or planes != 1 or bits != 24 or compression != 0 or width <= 0
            or rows == 0 or offset + stride * rows > len(data)):
        return None
    # Rows stay in the source's order (bottom-up unless the height is negative).
    pixel_rows = [[data[offset + y * stride + 3 * x:offset + y * stride + 3 * x + 3]
                   for x in range(width)] for y in range(rows)]
    colours = sorted({p for row in pixel_rows for p in row})
    if len(colours) > 256:
        return None
    index = {c: i for i, c in enumerate(colours)}
    out_stride = (width + 3) // 4 * 4
    pixels = b"".join(bytes(index[p] for p in row).ljust(out_stride, b"\0")
                      for row in pixel_rows)
    palette = b"".join(c + b"\0" for c in colours)  # already blue, green, red
    start = 14 + 40 + len(palette)
    return (struct.pack("<2sIHHI", b"BM", start + len(pixels), 0, 0, start)
            + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels),
                          x_ppm, y_ppm, len(colours), 0)
            + palette + pixels)


def pixels(data):
    """The colours of an uncompressed 8- or 24-bit BMP, row by row as stored."""
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    stride = (width * bits // 8 + 3) // 4 * 4
    rows = [data[offset + y * stride:offset + y * stride + width * bits // 8]
            for y in range(abs(height))]
    if bits == 24:
        return [row[3 * x:3 * x + 3] for row in rows for x in range(width)]
    palette = data[54:offset]
    return [palette[4 * i:4 * i + 3] for row in rows for i in row]


def main(source, target):
    with open(source, "rb") as f:
        data = f.read()
    out = indexed(data)
    # Read back as a viewer would: not one pixel may change.
    if out is not None and pixels(out) != pixels(data):
        sys.exit(f"indexed_bitmap.py: the palette form of {source} differs")
    out = out or data
    temporary = target + ".tmp"
    with open(temporary, "wb") as f:
        f.write(out)
    os.replace(temporary, target)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
