#!/usr/bin/env python3
"""png_diff.py A.png B.png: succeeds when two 8-bit PNG pictures of one size differ by no
more than a rasteriser's shade: at most 2 % of the pixels off by more than 40 in a channel
and a mean difference under 2 per channel. Prints the figures either way."""
import struct
import sys
import zlib


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def load(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, idat, head = 8, b"", None
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    w, h, depth, colour, _, _, interlace = head
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace:
        sys.exit(f"{path}: only 8-bit, non-interlaced grey or true colour")
    raw, stride, rows, prev = zlib.decompress(idat), w * channels, [], bytearray(w * channels)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            line[i] = (line[i] + (0, a, b, (a + b) // 2, _paeth(a, b, c))[f]) & 255
        rows.append(line)
        prev = line
    return w, h, channels, b"".join(rows)


def main():
    (w1, h1, c1, p1), (w2, h2, c2, p2) = load(sys.argv[1]), load(sys.argv[2])
    if (w1, h1, c1) != (w2, h2, c2):
        print(f"sizes differ: {w1}x{h1}x{c1} and {w2}x{h2}x{c2}")
        return 1
    off = total = 0
    for i in range(0, len(p1), c1):
        d = [abs(p1[i + k] - p2[i + k]) for k in range(c1)]
        total += sum(d)
        off += max(d) > 40
    share, mean = off / (w1 * h1), total / len(p1)
    print(f"{sys.argv[1]}: {100 * share:.2f} % of pixels off, mean difference {mean:.2f}")
    return 0 if share <= 0.02 and mean < 2 else 1


if __name__ == "__main__":
    sys.exit(main())
