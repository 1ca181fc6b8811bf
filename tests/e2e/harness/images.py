"""RGB images for the end-to-end harness: screenshots (PPM from ImageMagick's
import), the program's own step pictures (24-bit BMP), and PNG files for a
person to look at. Standard library only."""

import struct
import zlib


class Image:
    """Width x height pixels, 3 bytes (R, G, B) each, rows top to bottom."""

    def __init__(self, width, height, data):
        if len(data) != width * height * 3:
            raise ValueError(f"{width}x{height} image needs {width * height * 3} bytes, "
                             f"got {len(data)}")
        self.width = width
        self.height = height
        self.data = bytes(data)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]

    def contains(self, x, y):
        return 0 <= x < self.width and 0 <= y < self.height

    def crop(self, x, y, width, height):
        """The part inside this image; parts outside it are left out."""
        x0, y0 = max(x, 0), max(y, 0)
        x1, y1 = min(x + width, self.width), min(y + height, self.height)
        if x1 <= x0 or y1 <= y0:
            return Image(0, 0, b"")
        rows = []
        for row in range(y0, y1):
            start = (row * self.width + x0) * 3
            rows.append(self.data[start:start + (x1 - x0) * 3])
        return Image(x1 - x0, y1 - y0, b"".join(rows))

    def write_png(self, path):
        raw = b"".join(b"\x00" + self.data[r * self.width * 3:(r + 1) * self.width * 3]
                       for r in range(self.height))

        def chunk(kind, payload):
            body = kind + payload
            return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                    chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def _ppm_tokens(blob, count):
    """The first `count` header tokens of a PPM and the offset after them."""
    tokens, i = [], 0
    while len(tokens) < count:
        while i < len(blob) and blob[i:i + 1].isspace():
            i += 1
        if blob[i:i + 1] == b"#":
            while i < len(blob) and blob[i:i + 1] != b"\n":
                i += 1
            continue
        start = i
        while i < len(blob) and not blob[i:i + 1].isspace():
            i += 1
        if start == i:
            raise ValueError("PPM header ends early")
        tokens.append(blob[start:i])
    return tokens, i + 1  # one white-space byte ends the header


def from_ppm(blob):
    (magic, width, height, maxval), offset = _ppm_tokens(blob, 4)
    if magic != b"P6" or int(maxval) != 255:
        raise ValueError(f"not an 8-bit binary PPM ({magic!r}, max {maxval!r})")
    width, height = int(width), int(height)
    return Image(width, height, blob[offset:offset + width * height * 3])


def load_bmp(path):
    """An uncompressed 24-bit BMP, as the program's step pictures are."""
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", blob, 10)[0]
    width, height = struct.unpack_from("<ii", blob, 18)
    bits, compression = struct.unpack_from("<HI", blob, 28)
    if bits != 24 or compression != 0:
        raise ValueError(f"{path}: {bits} bits per pixel, compression {compression}; "
                         "only uncompressed 24-bit pictures are expected")
    bottom_up = height > 0
    height = abs(height)
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height):
        source = height - 1 - y if bottom_up else y
        row = blob[offset + source * stride:offset + source * stride + width * 3]
        # BGR on disk, RGB here.
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(bytes(rgb))
    return Image(width, height, b"".join(rows))


def count_differences(screen, x, y, picture):
    """Pixels of `picture` that differ from `screen` when it is laid at (x, y)
    of the screen; pixels that would fall off the screen count as different."""
    differ = 0
    for row in range(picture.height):
        sy = y + row
        if not 0 <= sy < screen.height:
            differ += picture.width
            continue
        x0 = max(x, 0)
        x1 = min(x + picture.width, screen.width)
        differ += picture.width - max(x1 - x0, 0)
        if x1 <= x0:
            continue
        s = screen.data[(sy * screen.width + x0) * 3:(sy * screen.width + x1) * 3]
        p = picture.data[(row * picture.width + (x0 - x)) * 3:
                         (row * picture.width + (x1 - x)) * 3]
        if s == p:
            continue
        for i in range(0, len(s), 3):
            if s[i:i + 3] != p[i:i + 3]:
                differ += 1
    return differ
