#!/usr/bin/python3
"""Prints, as JSON, the Xing/Info frame and LAME tag of an MP3 and whether its two CRCs are right,
checked with eyeD3's CRC-16 (an implementation that is not Quillet's)."""
import json
import sys

from eyed3.mp3.headers import LameHeader

BITRATES = {
    (0, 3): [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
    (1, 3): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
}
RATES = [44100, 48000, 32000]


def crc16(data):
    return LameHeader._crc16(LameHeader, data)


def header(data, at):
    if at + 4 > len(data) or data[at] != 0xFF or (data[at + 1] & 0xE0) != 0xE0:
        return None
    version = (data[at + 1] >> 3) & 3
    layer = 4 - ((data[at + 1] >> 1) & 3)
    index = data[at + 2] >> 4
    rate_index = (data[at + 2] >> 2) & 3
    if version == 1 or layer != 3 or index in (0, 15) or rate_index == 3:
        return None
    lsf = 0 if version == 3 else 1
    rate = RATES[rate_index] >> (0 if version == 3 else (1 if version == 2 else 2))
    mono = (data[at + 3] >> 6) == 3
    padding = (data[at + 2] >> 1) & 1
    kbps = BITRATES[(lsf, 3)][index]
    size = (72 if lsf else 144) * kbps * 1000 // rate + padding
    side = (9 if mono else 17) if lsf else (17 if mono else 32)
    return {"size": size, "side": side}


def main(path):
    data = open(path, "rb").read()
    at = 0
    while data[at:at + 3] == b"ID3":
        at += 10 + ((data[at + 6] << 21) | (data[at + 7] << 14) | (data[at + 8] << 7) | data[at + 9])
    end = len(data) - (128 if data[-128:-125] == b"TAG" else 0)
    out = {"found": False}
    first = header(data, at)
    if not first:
        print(json.dumps(out))
        return
    x = at + 4 + first["side"]
    name = data[x:x + 4]
    if name not in (b"Info", b"Xing"):
        print(json.dumps(out))
        return
    flags = int.from_bytes(data[x + 4:x + 8], "big")
    frames = int.from_bytes(data[x + 8:x + 12], "big")
    nbytes = int.from_bytes(data[x + 12:x + 16], "big")
    lame = x + 8 + 4 * bool(flags & 1) + 4 * bool(flags & 2) + 100 * bool(flags & 4) + 4 * bool(flags & 8)
    tag = data[lame:lame + 36]
    delays = int.from_bytes(tag[21:24], "big")
    audio = at + first["size"]
    walked, pos = 0, audio
    while pos < end:
        h = header(data, pos)
        if not h:
            break
        walked += 1
        pos += h["size"]
    out.update({
        "found": True,
        "name": name.decode(),
        "frames": frames,
        "bytes": nbytes,
        "encoder": tag[0:9].decode("latin1").rstrip(),
        "delay": delays >> 12,
        "padding": delays & 0xFFF,
        "music_length": int.from_bytes(tag[28:32], "big"),
        "music_crc_ok": crc16(data[audio:pos]) == int.from_bytes(tag[32:34], "big"),
        "tag_crc_ok": crc16(data[at:lame + 34]) == int.from_bytes(tag[34:36], "big"),
        "audio_frames": walked,
        "stream_bytes": pos - at,
    })
    print(json.dumps(out))


main(sys.argv[1])
