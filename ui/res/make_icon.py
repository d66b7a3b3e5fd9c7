#!/usr/bin/env python3
# Draws the program icon (resource 128) as ZRVLinkSetup.ico: a 16-colour and a monochrome 32x32 image.
import struct
import sys

ART = [
    "................................",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    ".knnnnnnnnnnnnnnnnnnnnnnnnnnnnk.",
    ".knbbbbbbbbbbbbbbbbbbbbbbbbbbnk.",
    ".knbbbbbbbbbbbbbbbbbbbbbbbbbbnk.",
    ".knbbbwwwwwwwwwwwwwwwwwwwwbbbnk.",
    ".knbbbwwwwwwwwwwwwwwwwwwwwbbbnk.",
    ".knbbbwwwwwwwwwwwwwwwwwwwwbbbnk.",
    ".knbbbbbbbbbbbbbbbbbwwwwwbbbbnk.",
    ".knbbbbbbbbbbbbbbbbwwwwwbbbbbnk.",
    ".knbbbbbbbbbbbbbbbwwwwwbbbbbbnk.",
    ".knbbbbbbbbbbbbbbwwwwwbbbbbbbnk.",
    ".knbbbbbbbbbbbbbwwwwwbbbbbbbbnk.",
    ".knbbbbbbbbbbbbwwwwwbbbbbbbbbnk.",
    ".knbbbbbbbbbbbwwwwwbbbbbbbbbbnk.",
    ".knbbbbbbbbbbwwwwwbbbbbbbbbbbnk.",
    ".knbbbbbbbbbwwwwwbbbbbbbbbbbbnk.",
    ".knbbbbbbbbwwwwwbbbbbbbbbbbbbnk.",
    ".knbbbbbbbwwwwwbbbbbbbbbbbbbbnk.",
    ".knbbbwwwwwwwwwwwwwwwwwwwwbbbnk.",
    ".knbbbwwwwwwwwwwwwwwwwwwwwbbbnk.",
    ".knbbbwwwwwwwwwwwwwwwwwwwwbbbnk.",
    ".knbbbbbbbbbbbbbbbbbbbbbbbbbbnk.",
    ".knbbbbbbbbbbbbbbbbbbbbbbbbbbnk.",
    ".knbbyyyybbbbbbbbbbbbbbyyyybbnk.",
    ".knbbyaayyyyyyyyyyyyyyyyaaybbnk.",
    ".knbbyaayyyyyyyyyyyyyyyyaaybbnk.",
    ".knbbyyyybbbbbbbbbbbbbbyyyybbnk.",
    ".knbbbbbbbbbbbbbbbbbbbbbbbbbbnk.",
    ".knnnnnnnnnnnnnnnnnnnnnnnnnnnnk.",
    "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
    "................................",
]

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
COLOUR = {".": 0, "k": 0, "n": 4, "b": 12, "w": 15, "y": 11, "a": 14}
# Monochrome: the letter and the frame black, everything else inside white.
MONO = {".": 0, "k": 0, "n": 0, "b": 1, "w": 0, "y": 0, "a": 1}


def and_mask():
    rows = []
    for line in reversed(ART):
        bits = "".join("1" if c == "." else "0" for c in line)
        rows.append(int(bits, 2).to_bytes(4, "big"))
    return b"".join(rows)


def image(bits_per_pixel, palette, index_of):
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, bits_per_pixel, 0, 0, 0, 0, len(palette), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    pixels = []
    for line in reversed(ART):
        value = 0
        for c in line:
            value = value << bits_per_pixel | index_of[c]
        pixels.append(value.to_bytes(32 * bits_per_pixel // 8, "big"))
    return header + colours + b"".join(pixels) + and_mask()


def icon():
    images = [(16, image(4, PALETTE, COLOUR)), (2, image(1, [(0, 0, 0), (255, 255, 255)], MONO))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for colours, data in images:
        bpp = 4 if colours == 16 else 1
        out += struct.pack("<BBBBHHII", 32, 32, colours if colours < 256 else 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "ZRVLinkSetup.ico", "wb") as f:
        f.write(icon())
