#!/usr/bin/env python3
"""Writes the ZIP benchmark's input files, the same bytes on every run (fixed seed).

  zip_corpus.py many FOLDER   240 files, 700 MiB in all, in 12 sub-folders: text (deflates about
                              2:1), random bytes (as already-compressed data is), and zeros
  zip_corpus.py big FILE      one 1 GiB file of the same three kinds in 1 MiB stretches
"""

import os
import random
import sys

MIB = 1 << 20
FILES = 240
TOTAL = 700 * MIB
BIG = 1024 * MIB


def text_pool(rng, size=16 * MIB):
    """Word text: a vocabulary of made-up words in lines of varying length."""
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    weights = [12, 9, 8, 7, 7, 6, 6, 6, 5, 4, 4, 3, 3, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1]
    words = ["".join(rng.choices(letters, weights, k=rng.randint(2, 10))) for _ in range(4000)]
    lines = []
    length = 0
    while length < size:
        line = " ".join(rng.choices(words, k=rng.randint(4, 16))) + "\n"
        lines.append(line)
        length += len(line)
    return "".join(lines).encode()[:size]


class Filler:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.pool = text_pool(self.rng)

    def chunk(self, kind, size):
        if kind == "zeros":
            return bytes(size)
        if kind == "random":
            return self.rng.randbytes(size)
        start = self.rng.randrange(0, len(self.pool) - size) if size < len(self.pool) else 0
        return self.pool[start:start + size]

    def write(self, path, kind, size):
        with open(path, "wb") as f:
            left = size
            while left:
                step = min(left, MIB)
                f.write(self.chunk(kind, step))
                left -= step


def many(folder):
    filler = Filler(240)
    rng = random.Random(700)
    # Sizes spread over three orders of magnitude, scaled to the total.
    raw = [2 ** rng.uniform(14, 23.5) for _ in range(FILES)]
    sizes = [int(r * TOTAL / sum(raw)) for r in raw]
    sizes[-1] += TOTAL - sum(sizes)
    for i, size in enumerate(sizes):
        kind = "text" if i % 20 < 9 else ("random" if i % 20 < 16 else "zeros")
        sub = os.path.join(folder, "part%02d" % (i % 12))
        os.makedirs(sub, exist_ok=True)
        filler.write(os.path.join(sub, "%s-%03d.dat" % (kind, i)), kind, size)


def big(path):
    filler = Filler(1024)
    kinds = ["text", "text", "random", "text", "zeros"]
    with open(path, "wb") as f:
        for i in range(BIG // MIB):
            f.write(filler.chunk(kinds[i % len(kinds)], MIB))


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("many", "big"):
        sys.exit(__doc__)
    (many if sys.argv[1] == "many" else big)(sys.argv[2])
