#!/usr/bin/python3
"""Writes examples/verimant_efl_demo.bin: a small external-flash data image for the demo and tests.

The image is written from external-flash address 0. It carries the data version where the tool
reads it: a directory of 16-byte entries at 0x1000 whose entry 1 (0x1010) names the sector of the
version text (bytes 2-3) and its length (bytes 6-9); the text lies 64 bytes into that sector.
The rest is deterministic filler standing in for fonts and language tables.
"""
import sys
from pathlib import Path

SIZE = 64 * 1024
DIRECTORY = 0x1000
VERSION_SECTOR = 3
VERSION_TEXT = b"V1.06"


def image() -> bytes:
    data = bytearray()
    state = 0x2468ACE
    while len(data) < SIZE:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        data.append((state >> 16) & 0xFF)
    entry = bytearray(16)
    entry[2:4] = VERSION_SECTOR.to_bytes(2, "little")
    entry[6:10] = len(VERSION_TEXT).to_bytes(4, "little")
    data[DIRECTORY + 16:DIRECTORY + 32] = entry
    text_at = VERSION_SECTOR * 4096 + 64
    data[text_at:text_at + len(VERSION_TEXT) + 1] = VERSION_TEXT + b"\0"
    return bytes(data)


def main() -> int:
    target = Path(__file__).resolve().parent.parent / "examples" / "verimant_efl_demo.bin"
    target.write_bytes(image())
    print(f"{target}: {SIZE} bytes, data version {VERSION_TEXT.decode()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
