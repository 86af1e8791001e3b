#!/usr/bin/env python3
"""Draws Strofix's application icon (a lyric sheet with the current line lit and a note)
and writes it as res/strofix.ico (32x32 and 16x16, 16 colours) and two PNGs.
Run from the repository root; the outputs are committed."""
import struct
import zlib

# The standard 16-colour palette.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, SILVER, YELLOW, WHITE, BLUE = 0, 4, 8, 7, 11, 15, 12
CLEAR = None


def canvas(n):
    return [[CLEAR] * n for _ in range(n)]


def rect(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = c


def draw32():
    img = canvas(32)
    rect(img, 2, 1, 22, 30, BLACK)          # the sheet's outline
    rect(img, 3, 2, 21, 29, WHITE)
    rect(img, 19, 2, 21, 4, SILVER)         # a folded corner
    for y in (6, 10, 18, 22, 26):           # lines of text
        rect(img, 5, y, 18 if y != 26 else 13, y + 1, GREY)
    rect(img, 3, 13, 21, 16, YELLOW)        # the current line, lit
    rect(img, 5, 14, 19, 15, BLACK)
    # an eighth note beside the sheet
    rect(img, 27, 6, 28, 25, NAVY)
    rect(img, 29, 7, 30, 8, NAVY)
    rect(img, 30, 9, 31, 11, NAVY)
    for y, (x0, x1) in zip(range(22, 29), [(24, 27), (22, 28), (21, 28), (21, 28),
                                            (21, 27), (22, 26), (23, 25)]):
        rect(img, x0, y, x1, y, BLUE if y < 25 else NAVY)
    return img


def draw16():
    img = canvas(16)
    rect(img, 1, 0, 11, 15, BLACK)
    rect(img, 2, 1, 10, 14, WHITE)
    for y in (3, 11, 13):
        rect(img, 3, y, 9 if y != 13 else 7, y, GREY)
    rect(img, 2, 6, 10, 8, YELLOW)
    rect(img, 3, 7, 9, 7, BLACK)
    rect(img, 13, 3, 13, 12, NAVY)
    rect(img, 14, 4, 15, 5, NAVY)
    rect(img, 11, 11, 13, 13, BLUE)
    rect(img, 11, 13, 13, 14, NAVY)
    return img


def ico_image(img):
    n = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = b''
    andm = b''
    for row in reversed(img):
        idx = [0 if c is None else c for c in row]
        line = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, n, 2))
        xor += line + b'\0' * (-len(line) % 4)
        bits = 0
        mask = b''
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c is None else 0)
            if i % 8 == 7:
                mask += bytes([bits])
                bits = 0
        andm += mask + b'\0' * (-len(mask) % 4)
    return header + pal + xor + andm


def write_ico(path, images):
    blobs = [ico_image(img) for img in images]
    out = struct.pack('<HHH', 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for img, blob in zip(images, blobs):
        n = len(img)
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(blobs))


def write_png(path, img):
    n = len(img)
    raw = b''
    for row in img:
        raw += b'\0' + b''.join(bytes(PALETTE[c]) + b'\xff' if c is not None else b'\0\0\0\0'
                                for c in row)

    def chunk(tag, data):
        return struct.pack('>I', len(data)) + tag + data + struct.pack(
            '>I', zlib.crc32(tag + data) & 0xffffffff)

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', n, n, 8, 6, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


if __name__ == '__main__':
    big, small = draw32(), draw16()
    write_ico('res/strofix.ico', [big, small])
    write_png('res/strofix-32.png', big)
    write_png('res/strofix-16.png', small)
