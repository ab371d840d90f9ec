#!/usr/bin/env python3
"""png_pixels.py TABLE DIR: checks pixels of captured frames against a table of lines
"FRAME X Y RRGGBB  what" (DIR/fFRAME.png; # starts a comment); X and Y may be ranges A-B,
every pixel in them checked. A channel may be off by 8: blending and filtering differ by a
shade between rasterisers."""
import os
import sys

from png_diff import load


def span(text):  # "X" or "A-B", both ends in
    a, _, b = text.partition("-")
    return range(int(a), int(b or a) + 1)


def main():
    table, folder = sys.argv[1], sys.argv[2]
    frames, bad = {}, 0
    for n, line in enumerate(open(table), 1):
        f = line.split("#")[0].split()
        if not f:
            continue
        frame, want = int(f[0]), bytes.fromhex(f[3])
        if frame not in frames:
            frames[frame] = load(os.path.join(folder, f"f{frame}.png"))
        w, _, c, px = frames[frame]
        for y in span(f[2]):
            for x in span(f[1]):
                got = px[(y * w + x) * c:(y * w + x) * c + 3]
                if max(abs(a - b) for a, b in zip(got, want)) > 8:
                    break
            else:
                continue
            print(f"{table}:{n}: frame {frame} at {x},{y}: {got.hex()}, want {want.hex()}: "
                  + " ".join(f[4:]))
            bad += 1
            break
    return 1 if bad else 0


sys.exit(main())
