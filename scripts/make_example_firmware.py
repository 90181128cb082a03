#!/usr/bin/python3
"""Writes examples/verimant_kmt2_demo.hex: a small main firmware for the demo and the tests.

Processor type 3 (256 KiB flash at 0x08000000, 2 KiB pages); the main firmware starts at
0x08004000, after the 16 KiB boot loader. The content is deterministic: a vector table, a banner
text and pseudo-random code bytes, written as 16-byte data records with CR LF line ends, the way
the firmware build tools deliver it.
"""
import sys
from pathlib import Path

MAIN_START = 0x08004000
SIZE = 6 * 1024
STACK_TOP = 0x20010000
RESET_HANDLER = MAIN_START + 0x200 + 1  # Thumb
DEFAULT_HANDLER = MAIN_START + 0x100 + 1
RECORD_BYTES = 16


def payload() -> bytes:
    image = bytearray()
    image += STACK_TOP.to_bytes(4, "little")
    image += RESET_HANDLER.to_bytes(4, "little")
    for _ in range(2, 64):
        image += DEFAULT_HANDLER.to_bytes(4, "little")
    image += b"\xfe\xe7" * 8  # the default handler: branch to itself
    image += b"VERIMANT KMT2 DEMO FIRMWARE 3.02\0"
    image += bytes((0xFF,)) * (0x200 - len(image))
    state = 0x1234567
    while len(image) < SIZE:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        image.append((state >> 16) & 0xFF)
    return bytes(image)


def record(record_type: int, offset: int, data: bytes) -> str:
    body = bytes((len(data), offset >> 8, offset & 0xFF, record_type)) + data
    checksum = (-sum(body)) & 0xFF
    return ":" + (body + bytes((checksum,))).hex().upper()


def records(data: bytes) -> list[str]:
    lines = []
    upper = None
    for done in range(0, len(data), RECORD_BYTES):
        address = MAIN_START + done
        if address >> 16 != upper:
            upper = address >> 16
            lines.append(record(0x04, 0, upper.to_bytes(2, "big")))
        lines.append(record(0x00, address & 0xFFFF, data[done:done + RECORD_BYTES]))
    lines.append(record(0x05, 0, RESET_HANDLER.to_bytes(4, "big")))
    lines.append(record(0x01, 0, b""))
    return lines


def main() -> None:
    root = Path(__file__).resolve().parent.parent
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else root / "examples" / "verimant_kmt2_demo.hex"
    target.write_bytes(("\r\n".join(records(payload())) + "\r\n").encode("ascii"))
    print(f"{target}: {SIZE} bytes at 0x{MAIN_START:08X}")


if __name__ == "__main__":
    main()
