#!/usr/bin/python3
"""Writes examples/update-server/: the update set that the demo's local FTP server publishes.

The set fits the simulator's default instrument (serial 1-23-45678, board type 3 = board number
278, board version 2, model key Y23, main firmware 2.3, data version 1.5), so that the demo finds
it in the serial-number base, offers two language packets and, on consent, writes a main firmware
3.2 and a data image 1.6. Everything is deterministic: running the script again gives the same
bytes, so the committed set only changes when this script does.

Contents:
  verimant_version_3.ini   the update configuration, Windows-1251, CR LF line ends
  verimant_sn_base.bin     the serial-number base: two header blocks, then one 256-byte block
                           per instrument
  verimant_kmt2_3_2.hex    main firmware record file (from make_example_firmware.py)
  verimant_efl_*_1_6.bin   one data image per language packet (from make_example_efl.py)
  verimant_version_3.ini.sig  the configuration's Ed25519 signature, with its signing time
                           (SIGNED_AT), by the demo key in
                           examples/demo-signing-key.DEMO-ONLY.key (a demo key, published: it
                           proves nothing outside the demo and the tests)
"""
import base64
import datetime
import hashlib
import os
import re
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import make_example_efl  # noqa: E402
import make_example_firmware  # noqa: E402

# The demo publishes the tool's own version, so the demo's self-version check stays quiet.
APP_VERSION = re.search(r"project\(Verimant VERSION (\d+\.\d+\.\d+)",
                        (HERE.parent / "CMakeLists.txt").read_text()).group(1)
CONFIG_NAME = "verimant_version_3.ini"
BASE_NAME = "verimant_sn_base.bin"
KMT2_NAME = "verimant_kmt2_3_2.hex"
KMT2_VERSION = "3.2"
EFL_VERSION = "1.6"  # the text make_example_efl.py writes into the image is V1.06

DEMO_KEY = HERE.parent / "examples" / "demo-signing-key.DEMO-ONLY.key"
# The demo set's signing time: the tool refuses a configuration signed earlier by the same key
# than one it accepted before.
SIGNED_AT = "2026-12-01T00:00:00Z"

BLOCK = 256
INSTRUMENT_COUNT = 400

# The simulator's default instrument.
SIM_SERIAL = "12345678"
SIM_BOARD_NUMBER = 278
SIM_BOARD_VERSION = 2
SIM_MODEL_KEY = "Y23"

MODEL_NAMES = {"Y10": "T10", "Y11": "T11", "Y23": "T23", "Y45": "T45 Pro"}

CATALOGUE = [
    (0, "RUS", "Русский", "Russian"),
    (1, "ENG", "Английский", "English"),
    (2, "DEU", "Немецкий", "German"),
    (3, "FRA", "Французский", "French"),
    (4, "ESP", "Испанский", "Spanish"),
    (5, "UKR", "Украинский", "Ukrainian"),
]

# Packet name -> (languages, Russian name, English name, Russian lines, English lines).
PACKETS = {
    "RU_EN": (
        ["RUS", "ENG"],
        "Русский и английский",
        "Russian and English",
        ["Меню прибора на русском и английском языках.", "Шрифты: кириллица и латиница."],
        ["Instrument menus in Russian and English.", "Fonts: Cyrillic and Latin."],
    ),
    "EURO": (
        ["ENG", "DEU", "FRA", "ESP"],
        "Европейский",
        "European",
        ["Меню прибора на английском, немецком,", "французском и испанском языках."],
        ["Instrument menus in English, German,", "French and Spanish."],
    ),
}

# Language set (as the base names it) -> its packets.
LANGUAGE_SETS = {"RU": ["RU_EN", "EURO"], "EU": ["EURO"]}


def efl_name(packet: str) -> str:
    return f"verimant_efl_{packet.lower()}_1_6.bin"


def efl_image(packet: str) -> bytes:
    # The packets share the version record of the example image and differ in their language
    # tables, so that each packet really writes its own data.
    data = bytearray(make_example_efl.image())
    table = 0x8000
    marker = f"LANGUAGE PACKET {packet}\0".encode("ascii")
    data[table:table + len(marker)] = marker
    return bytes(data)


def kmt2_record_file() -> bytes:
    lines = make_example_firmware.records(make_example_firmware.payload())
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def soft_sets() -> list[tuple[str, str, str]]:
    model = MODEL_NAMES[SIM_MODEL_KEY]
    return [(f"SOFT_SET:TRV-{SIM_BOARD_NUMBER}.V{SIM_BOARD_VERSION}.{model}.{packet}",
             f"KMT2_{SIM_BOARD_NUMBER}_0302", f"EFL_{packet}_0106") for packet in PACKETS]


def config_text(files: dict[str, bytes]) -> str:
    lines = [
        "; Update set of the demo: fits the simulator's default instrument 1-23-45678",
        "; (board TRV-278.2, model key Y23, language set RU).",
        "[PROJECT_MANAGER]",
        f"VERSION_APP={APP_VERSION}",
        "UPGRADE_URL_1=https://pelma.example/verimant/manager/",
        "UPGRADE_URL_2=",
        "ACTION_IF_NEED_UPGRADE=0",
        "",
        "[SERIAL_NUMBER]",
        f"BASE_NAME={BASE_NAME}",
        f"BASE_SHA256={hashlib.sha256(files[BASE_NAME]).hexdigest()}",
    ]
    lines += [f"{key}={name}" for key, name in MODEL_NAMES.items()]
    lines += ["", "[LANGUAGES]", "LANG_NUM=0"]
    items = [f"{code}:{key}:{ru}:{en}" for code, key, ru, en in CATALOGUE]
    lines += [f"LANG_LIST_1={','.join(items[:3])}", f"LANG_LIST_2={','.join(items[3:])}"]
    lines.append(f"LANG_SET_NUM={len(LANGUAGE_SETS)}")
    for k, (name, packets) in enumerate(LANGUAGE_SETS.items(), start=1):
        lines.append(f"LANG_SET_{k}={name}:{','.join(packets)}")
    for packet, (languages, name_ru, name_en, info_ru, info_en) in PACKETS.items():
        lines += ["", f"[LANGUAGE:{packet}]", f"LANG_LIST={','.join(languages)}",
                  f"NAME_L1={name_ru}", f"NAME_L2={name_en}"]
        lines += [f"INFO_L1_S{n}={text}" for n, text in enumerate(info_ru, start=1)]
        lines += [f"INFO_L2_S{n}={text}" for n, text in enumerate(info_en, start=1)]
    for section, kmt2_id, efl_id in soft_sets():
        lines += ["", f"[{section}]", f"KMT2={kmt2_id}", f"EFL={efl_id}"]
    kmt2_id = soft_sets()[0][1]
    lines += ["", f"[FILE:{kmt2_id}]", f"VERSION={KMT2_VERSION}"] + file_keys(files, KMT2_NAME)
    for packet in PACKETS:
        lines += ["", f"[FILE:EFL_{packet}_0106]", f"VERSION={EFL_VERSION}"]
        lines += file_keys(files, efl_name(packet))
    return "\r\n".join(lines) + "\r\n"


def file_keys(files: dict[str, bytes], name: str) -> list[str]:
    # The tool refuses a file whose bytes do not hash to SHA256, before anything is written.
    data = files[name]
    return [f"NAME={name}", f"LENGTH={len(data)}", f"SHA256={hashlib.sha256(data).hexdigest()}"]


def block(text: str) -> bytes:
    raw = text.encode("cp1251")
    assert len(raw) < BLOCK, text
    return raw + b"\0" * (BLOCK - len(raw))


def record(serial: str, board: int, version: int, language_set: str, number: int) -> bytes:
    fields = [serial, "Verimant", str(board), str(version), "1", "1", str(number), language_set]
    fields += ["0"] * 8
    return block(";".join(fields) + "\r\n")


def other_instruments() -> list[bytes]:
    # Serials spread over several model keys, boards and language sets; none equals the
    # simulator's, which is placed among them rather than first.
    boards = [(278, 2), (278, 1), (290, 3), (245, 4), (180, 1)]
    models = ["10", "11", "23", "45"]
    records = []
    state = 0x5EED
    for i in range(INSTRUMENT_COUNT - 1):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        serial = f"{1 + i % 3}{models[i % len(models)]}{state % 100000:05d}"
        if serial == SIM_SERIAL:
            serial = serial[:-1] + "9"
        board, version = boards[(state >> 8) % len(boards)]
        language_set = "RU" if (state >> 4) % 3 else "EU"
        records.append(record(serial, board, version, language_set, 1000 + i))
    return records


def base_file() -> bytes:
    header = [block("VERIMANT SERIAL NUMBER BASE;DEMO;" + str(INSTRUMENT_COUNT)),
              block("SERIAL;TEXT;BOARD;VERSION;ASM1;ASM2;NUMBER;LANGUAGE_SET;N1..N8")]
    records = other_instruments()
    records.insert(len(records) * 2 // 3,
                   record(SIM_SERIAL, SIM_BOARD_NUMBER, SIM_BOARD_VERSION, "RU", 777))
    return b"".join(header + records)


def signature(config: bytes) -> bytes:
    # Ed25519 signatures are deterministic and the signing time is fixed, so the committed .sig
    # only changes with the config. The signature covers the time as well as the bytes.
    secret = base64.b64decode(DEMO_KEY.read_text().strip())
    try:
        from cryptography.hazmat.primitives.asymmetric.ed25519 import Ed25519PrivateKey
    except ImportError:
        return sign_with_tool(config)
    time_text = SIGNED_AT.encode("ascii")
    message = b"verimant-signed-config\0" + time_text + b"\0" + config
    raw = Ed25519PrivateKey.from_private_bytes(secret[:32]).sign(message)
    return b"signed " + time_text + b"\n" + base64.b64encode(raw) + b"\n"


def sign_with_tool(config: bytes) -> bytes:
    # Without python3-cryptography the built tool signs: VERIMANT_CLI or the build tree's copy.
    tool = os.environ.get("VERIMANT_CLI", str(HERE.parent / "build" / "bin" / "verimant-cli"))
    import tempfile
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / CONFIG_NAME
        path.write_bytes(config)
        epoch = int(datetime.datetime.fromisoformat(SIGNED_AT.replace("Z", "+00:00")).timestamp())
        subprocess.run([tool, "sign-config", "--key", str(DEMO_KEY), str(path)], check=True,
                       stdout=subprocess.DEVNULL,
                       env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
        return Path(str(path) + ".sig").read_bytes()


def main() -> int:
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE.parent / "examples" / "update-server"
    target.mkdir(parents=True, exist_ok=True)
    files = {KMT2_NAME: kmt2_record_file(), BASE_NAME: base_file()}
    for packet in PACKETS:
        files[efl_name(packet)] = efl_image(packet)
    for name, data in files.items():
        (target / name).write_bytes(data)
    config = config_text(files).encode("cp1251")
    (target / CONFIG_NAME).write_bytes(config)
    (target / (CONFIG_NAME + ".sig")).write_bytes(signature(config))
    for name in sorted([CONFIG_NAME, CONFIG_NAME + ".sig", *files]):
        print(f"{target / name}: {(target / name).stat().st_size} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
