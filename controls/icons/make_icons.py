#!/usr/bin/env python3
"""Writes the library's two 16x16 32-bit button icons next to this script:
action.ico (resource 101: an ellipsis) and dropdown.ico (resource 103: a
down-pointing triangle). Run it again only to change the images; the .ico
files are committed."""
import os
import struct

SIZE = 16
GLYPH = (0x40, 0x40, 0x40, 0xFF)  # dark grey, opaque (B, G, R, A)
CLEAR = (0, 0, 0, 0)


def ellipsis(x, y):
    # three 2x2 dots on the lower middle rows
    return y in (10, 11) and x in (3, 4, 7, 8, 11, 12)


def triangle(x, y):
    # rows 6 to 9 narrowing from 8 pixels to 2, centred
    return 6 <= y <= 9 and 4 + (y - 6) <= x <= 11 - (y - 6)


def ico(glyph):
    # Rows bottom-up, as BMP data is stored.
    rows = range(SIZE - 1, -1, -1)
    colours = b"".join(bytes(GLYPH if glyph(x, y) else CLEAR) for y in rows for x in range(SIZE))
    mask_row_bytes = 4  # 16 bits padded to 32
    mask = b""
    for y in rows:
        bits = 0
        for x in range(SIZE):
            if not glyph(x, y):
                bits |= 0x8000 >> x  # 1 = transparent
        mask += struct.pack(">H", bits) + b"\0" * (mask_row_bytes - 2)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(colours) + len(mask), 0, 0, 0, 0)
    image = header + colours + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    for name, glyph in (("action.ico", ellipsis), ("dropdown.ico", triangle)):
        with open(os.path.join(folder, name), "wb") as out:
            out.write(ico(glyph))


if __name__ == "__main__":
    main()
