#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Standard library only, and deterministic: running it again rewrites the same
files, so the committed seeds can always be regenerated and reviewed.
"""

import pathlib
import shutil
import struct

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"

TITLE_CP1251 = "Рекламный блок".encode("cp1251")


# --- UECP -------------------------------------------------------------------

def crc16_genibus(data: bytes) -> int:
    crc = 0xFFFF
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc ^ 0xFFFF


def uecp_frame(msg: bytes) -> bytes:
    """Address 00 01, sequence 00, CRC high byte first, stuffing between STA and STP."""
    body = bytes([0x00, 0x01, 0x00, len(msg)]) + msg
    body += struct.pack(">H", crc16_genibus(body))
    wire = bytearray([0xFE])
    for byte in body:
        if byte >= 0xFD:
            wire += bytes([0xFD, byte - 0xFD])
        else:
            wire.append(byte)
    wire.append(0xFF)
    return bytes(wire)


def ps() -> bytes:
    return bytes([0x02, 0x00, 0x00]) + b"VELTORA "


def radiotext(text: bytes) -> bytes:
    return bytes([0x0A, 0x00, 0x00, len(text) + 1, 0x00]) + text


def compact_date(year: int, month: int, day: int) -> bytes:
    return bytes([year, month, day, 10, 11, 12, 34, 0])


def dn(letter: str, payload: bytes) -> bytes:
    return bytes([0x2D, len(payload) + 3, 0x44, 0x6E, ord(letter)]) + payload


def block_payload(delay_ms: int, size_ms: int, over_ms: int) -> bytes:
    payload = bytearray(21)
    struct.pack_into("<I", payload, 1, delay_ms)
    struct.pack_into("<I", payload, 13, size_ms)
    struct.pack_into("<I", payload, 17, over_ms)
    return bytes(payload)


def title_payload(position: int, title: bytes) -> bytes:
    return bytes([position]) + compact_date(24, 2, 29) + title


# --- VL3 and VL2 ------------------------------------------------------------

def vl3(msg_type: int, msg_num: int, payload: bytes) -> bytes:
    return b"L3" + struct.pack("<HHHH", 0, len(payload) + 4, msg_type, msg_num) + payload


def region_block(size_ms: int, over_ms: int, extra_ms: int = 0) -> bytes:
    return struct.pack("<BBIIII", 1, 1, size_ms, 0, over_ms, extra_ms)


def block_notice(kind: int, size_ms: int, text: bytes) -> bytes:
    return struct.pack("<BI", kind, size_ms) + text


def vl2(code: int, value: float, text: bytes = b"") -> bytes:
    return bytes([0x5A, 0xA5, code]) + struct.pack("<H", 8 + len(text)) + b"\x77" * 5 + \
        struct.pack("<d", value) + text


# --- the seeds --------------------------------------------------------------

def uecp_frames() -> dict:
    rt = uecp_frame(radiotext(b"News at ten"))
    bad_crc = bytearray(rt)
    bad_crc[10] ^= 0x01
    return {
        "ps": uecp_frame(ps()),
        "radiotext": rt,
        "radiotext_stuffed": uecp_frame(radiotext(bytes([0x61, 0xFD, 0xFE, 0xFF, 0x62]))),
        "radiotext_cp1251": uecp_frame(radiotext(TITLE_CP1251)),
        "clock": uecp_frame(bytes([0x0D]) + compact_date(24, 3, 15)),
        "clock_bad_day": uecp_frame(bytes([0x0D]) + compact_date(24, 4, 31)),
        "block_s": uecp_frame(dn("s", block_payload(2000, 60000, 120000))),
        "block_s_at_once": uecp_frame(dn("s", block_payload(65535, 30000, 0))),
        "block_p": uecp_frame(dn("p", bytes(range(0x41, 0x41 + 21)))),
        "title_f": uecp_frame(dn("f", title_payload(0, TITLE_CP1251))),
        "playlist_f": uecp_frame(dn("f", title_payload(3, b"Morning show"))),
        "two_frames": uecp_frame(ps()) + rt,
        "bad_crc": bytes(bad_crc),
        "truncated": rt[:-3],
        "shortest": bytes([0xFE, 0x00, 0xFF]),
        "long_field": uecp_frame(radiotext(b"x") + b" " * 247),
    }


def uecp_elements() -> dict:
    no_length = bytearray(dn("s", block_payload(0, 45000, 0)))
    no_length[1] = 0
    return {
        "block_s": dn("s", block_payload(0, 45000, 90000)),
        "block_s_huge": dn("s", block_payload(0, 0x80000000, 0)),
        "block_i": dn("i", bytes(21)),
        "title_f": dn("f", title_payload(0, TITLE_CP1251)),
        "title_f_longest": dn("f", title_payload(0, b"A" * 242 + b"~")),
        "playlist_f": dn("f", title_payload(2, b"Morning show")),
        "no_length": bytes(no_length),
        "two_elements": dn("s", block_payload(0, 1000, 0)) + dn("p", bytes(21)),
        "partial": dn("s", block_payload(0, 1000, 0))[:10],
    }


def vl3_frames() -> dict:
    clock = struct.pack("<d", 45634.42444444444)
    wrong_magic = bytearray(vl3(1, 3, b"\x01\x02\x03"))
    wrong_magic[1] = 0x34
    short_length = bytearray(vl3(1, 3, b"\x01\x02\x03"))
    short_length[4] = 3
    return {
        "region_block": vl3(1, 1, region_block(60000, 120000)),
        "notice": vl3(1, 2, block_notice(1, 90500, TITLE_CP1251)),
        "clock": vl3(1, 4, clock),
        "other_type": vl3(7, 3, b""),
        "short_region": vl3(1, 1, b"\x11" * 17),
        "short_notice": vl3(1, 2, b"\x01\x02"),
        "several": vl3(1, 1, region_block(1000, 0)) + vl3(1, 4, clock) + vl3(9, 9, b""),
        "wrong_magic": bytes(wrong_magic),
        "short_length": bytes(short_length),
        "partial": vl3(1, 1, region_block(1000, 0))[:9],
    }


def vl2_frames() -> dict:
    return {
        "prepare": vl2(0x08, 60.0),
        "send": vl2(0x09, 120.0),
        "prepare_then_send": vl2(0x08, 60.0) + vl2(0x09, 120.0),
        "clock": vl2(0x40, 45634.42444444444),
        "notice_a": vl2(0x65, 1.2345, TITLE_CP1251 + b"\0\0"),
        "notice_e": vl2(0x6B, 30.0, b"Spot\rtwo"),
        "value_huge": vl2(0x08, 5e9),
        "value_nan": vl2(0x09, float("nan")),
        "unknown_code": vl2(0x01, 1.0, b"x"),
        "longest": vl2(0x64, 10.0, b"T" * 248),
        "length_too_big": bytes([0x5A, 0xA5, 0x64, 0x01, 0x01]) + bytes(13),
        "partial": vl2(0x65, 1.0, b"abc")[:17],
    }


def intake_streams() -> dict:
    # Two control bytes: the seed that cuts the stream into arrivals, and the
    # readers the arrivals go to (two bits each).
    mixed = (vl3(1, 1, region_block(60000, 120000)) + dn("s", block_payload(0, 45000, 0)) +
             vl2(0x65, 30.0, TITLE_CP1251) + uecp_frame(radiotext(b"News")) +
             vl3(1, 3, b"\x09"))
    same_feed = vl3(1, 1, region_block(30000, 0)) * 2
    return {
        "mixed_one_reader": bytes([0x00, 0x00]) + mixed,
        "mixed_split": bytes([0x35, 0x00]) + mixed,
        "same_feed_two_readers": bytes([0x35, 0b01000100]) + same_feed * 2,
        "stray_byte": bytes([0x11, 0x00]) + b"\x00" + mixed,
        "all_readers": bytes([0x7A, 0b11100100]) + mixed * 4,
        "overflow": bytes([0x00, 0x00]) + vl3(1, 3, b"\x00" * 8500),
        "stuck_partial": bytes([0x02, 0x00]) + vl2(0x08, 60.0)[:12],
    }


def main() -> None:
    targets = {
        "fuzz_uecp_frame": uecp_frames(),
        "fuzz_uecp_element": uecp_elements(),
        "fuzz_vl3": vl3_frames(),
        "fuzz_vl2": vl2_frames(),
        "fuzz_intake": intake_streams(),
    }
    for target, seeds in targets.items():
        folder = ROOT / target
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in seeds.items():
            (folder / f"{name}.bin").write_bytes(data)
        print(f"{target}: {len(seeds)} seeds")


if __name__ == "__main__":
    main()
