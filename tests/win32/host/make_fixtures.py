#!/usr/bin/env python3
"""Writes the binary payloads embedded in the host test program.

Sizes sit on both sides of the 61,440-byte piece that ExtractResource writes
at a time; the bytes cover every value (NUL, CR, LF, Ctrl-Z included), so any
text-mode translation or lost remainder shows up in a byte-exact comparison.
"""
import sys
from pathlib import Path

PIECE = 61440
SIZES = {
    "one_byte.bin": 1,
    "piece.bin": PIECE,
    "piece_plus.bin": PIECE + 1,
    "big.bin": 200003,  # three whole pieces and a remainder
    # Extracted by one test only, so that no other has touched its pages in
    # the program's image: many pages, a remainder.
    "untouched.bin": 64 * 4096 + 123,
}


def pattern(size: int, seed: int) -> bytes:
    out = bytearray(size)
    state = seed
    for i in range(size):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = (state >> 16) & 0xFF
    return bytes(out)


def main() -> None:
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for seed, (name, size) in enumerate(SIZES.items(), start=1):
        (folder / name).write_bytes(pattern(size, seed))
    (folder / "empty.bin").write_bytes(b"")
    (folder / "short.txt").write_bytes(b"kurz")


if __name__ == "__main__":
    main()
