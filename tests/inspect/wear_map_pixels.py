#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Renders kzt_inspect's wear map of a two-bank dump set, and its growth map of that set and a
later one, with rsvg-convert and checks the pixels where each kind of block is drawn.

Then its wear chart of a history of four readings of one drive, and checks where the projection
ends; the history's JSON is validated against its schema on the way.

Usage: wear_map_pixels.py KZT_INSPECT RSVG_CONVERT WORK_FOLDER SCHEMA_CHECKER SCHEMA

The dump sets: 4 blocks per die, banks 0 and 1 (channel 0, CE 0 and 1) of one flash, one drive.
Both maps put block b of the i-th bank in the cell at x = 96 + 24 b, y = 80 + 36 i (24 pixels a
cell for 4 cells a row, drawn 23 wide; a strip is a row of 24 pixels and a gap of 12), with the
first mark over its top-left 12 pixels and the second over its bottom-right 12.

Wear map of the old set:
  bank 0: counts 0, 400, Bad, none; factory bad block 2
  bank 1: counts 800, 100, 200, 300
One scale from 0 (the lowest count) to 800 (the highest) in 8 steps of 801/8 counts:
0 is step 0, 400 step 3 (3200/801), 800 step 7.

Growth map from the old set to the new one:
  bank 0: 0 -> 0 (no rise), 400 -> 480 (+80), Bad -> Bad, none -> 50; grown bad block 1 new
  bank 1: 800 -> 700 (fell), 100 -> 140 (+40), 200 -> Bad (turned bad), 300 -> 300
One scale from 0 to 80 (the highest rise) in 8 steps of 81/8: 0 is step 0, 40 step 3 (320/81),
80 step 7.
"""
import os
import shutil
import struct
import subprocess
import sys
import zlib

inspect, rsvg, work, checker, history_schema = sys.argv[1:6]
shutil.rmtree(work, ignore_errors=True)

def dump_set(folder, banks, hours=None, time=None):
    os.makedirs(folder)
    def put(name, data):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    identity = bytearray(512)
    identity[20:24] = b"NS1\x00"  # serial "SN1", two characters a word, the first in the high byte
    put("id.bin", identity)
    fwi = bytearray(4096)
    struct.pack_into("<H", fwi, 0xC54, 4)     # blocksPerDie
    struct.pack_into("<H", fwi, 0xC7C, 1000)  # maxPeCycle
    put("kzt_fwi.bin", fwi)
    fid2 = bytearray(512)
    for bank in (0, 1):
        fid2[16 + 8 * bank:24 + 8 * bank] = bytes.fromhex("983C99B37A510804")
    put("kzt_fid2.bin", fid2)
    for ce, (counts, bad) in enumerate(banks):
        bbec = bytearray(b"\xff" * 32768)
        bbec[2048:2048 + len(bad)] = bad
        struct.pack_into("<4H", bbec, 16384, *counts)
        put("kzt_bbec_0_%d.bin" % ce, bbec)
    if hours is not None:
        smart = bytearray(512)
        smart[2] = 9  # attribute 9, power-on hours, raw value from byte 7
        smart[7:13] = hours.to_bytes(6, "little")
        put("smart.bin", smart)
        put("reading.json", ('{"time": {"unix": %d}}' % time).encode())

BAD, NONE = 0xFFFE, 0xFFFF
old, new = os.path.join(work, "old"), os.path.join(work, "new")
dump_set(old, [((0, 400, BAD, NONE), b"\x00\x00\x02\x00"), ((800, 100, 200, 300), b"")])
dump_set(new, [((0, 480, BAD, 50), b"\x00\x00\x02\x00\x04\x00\x01\x00"), ((700, 140, BAD, 300), b"")])

def render(name, args):
    """The map of `args` as rows of pixels."""
    svg, png = os.path.join(work, name + ".svg"), os.path.join(work, name + ".png")
    subprocess.run([inspect, "--svg", svg] + args, check=True, stdout=subprocess.DEVNULL)
    subprocess.run([rsvg, "-o", png, svg], check=True)
    return read_png(png)

def read_png(png):
    """Rows of (r, g, b) pixels of an 8-bit RGBA (colour type 6) or RGB (2) PNG, not interlaced."""
    with open(png, "rb") as f:
        data = f.read()
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    assert depth == 8 and colour in (2, 6), (depth, colour)
    bpp = 4 if colour == 6 else 3
    raw, stride, rows, prev = zlib.decompress(idat), width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            p = a + b - c
            pred = (0, a, b, (a + b) // 2, a if abs(p - a) <= min(abs(p - b), abs(p - c)) else b if abs(p - b) <= abs(p - c) else c)[kind]
            row[i] = (row[i] + pred) & 0xFF
        rows.append([tuple(row[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = row
    return rows

wear = render("wear", [old])
growth = render("growth", ["--diff", old, new])
checks = [
    (wear, "cold block (bank 0 block 0, count 0: step 0 #4575b4)", 113, 97, (0x45, 0x75, 0xB4)),
    (wear, "middle block (bank 0 block 1, count 400: step 3 #e0f3f8)", 137, 97, (0xE0, 0xF3, 0xF8)),
    (wear, "hot block (bank 1 block 0, count 800: step 7 #d73027)", 113, 133, (0xD7, 0x30, 0x27)),
    (wear, "bad block (bank 0 block 2: #252525)", 161, 97, (0x25, 0x25, 0x25)),
    (wear, "its factory mark (#00c000)", 146, 82, (0x00, 0xC0, 0x00)),
    (wear, "block without a count (bank 0 block 3: #bdbdbd)", 185, 97, (0xBD, 0xBD, 0xBD)),
    (wear, "grid line between blocks 0 and 1 (white)", 119, 97, (0xFF, 0xFF, 0xFF)),
    (growth, "no rise (bank 0 block 0: step 0 #4575b4)", 107, 91, (0x45, 0x75, 0xB4)),
    (growth, "highest rise (bank 0 block 1, +80: step 7 #d73027)", 131, 91, (0xD7, 0x30, 0x27)),
    (growth, "its newly grown mark (#ff00ff)", 141, 101, (0xFF, 0x00, 0xFF)),
    (growth, "bad before and after (bank 0 block 2: #252525)", 155, 91, (0x25, 0x25, 0x25)),
    (growth, "a count after none (bank 0 block 3: other, #bdbdbd)", 179, 91, (0xBD, 0xBD, 0xBD)),
    (growth, "fell (bank 1 block 0: #7b3294)", 107, 127, (0x7B, 0x32, 0x94)),
    (growth, "middle rise (bank 1 block 1, +40: step 3 #e0f3f8)", 131, 127, (0xE0, 0xF3, 0xF8)),
    (growth, "turned bad (bank 1 block 2: #252525)", 155, 127, (0x25, 0x25, 0x25)),
    (growth, "its turned-bad mark (#ff8c00)", 146, 118, (0xFF, 0x8C, 0x00)),
]
# The history: worst bank means 100, 200, 400, 300 at 1000, 2000, 2500, 3000 power-on hours (the
# series of the C++ test, by hand: least squares reaches 1000 of MaxPECycle 1000 at 8090.9 h).
# The hours axis ends at the smallest 1, 2, 5 x 10^k from 8090.9 x 1.05 = 8495.5: 10000; the life
# axis at 100%. So the projection ends at x = 80 + 600 x 8090.9 / 10000 = 565.5, y = 50 (100%),
# in a disc of radius 6 (#ff8c00).
series = os.path.join(work, "series")
for name, hours, day, c0, c1 in (("a", 1000, 0, 100, 50), ("b", 2000, 30, 200, 80),
                                 ("c", 3000, 60, 300, None), ("d", 2500, 90, 400, 110)):
    banks = [((c0,) * 3 + (c0 if c0 == 100 else BAD,), b"" if c0 == 100 else b"\x04\x00\x03\x00")]
    if c1 is not None:
        banks.append(((c1,) * 4, b""))
    dump_set(os.path.join(series, name), banks, hours, 1800000000 + day * 86400)
subprocess.run(["/usr/bin/python3", checker, history_schema, "--", inspect, "--history", "--json", series], check=True)
chart = render("chart", ["--history", series])
checks += [
    (chart, "projection's end (#ff8c00)", 565, 52, (0xFF, 0x8C, 0x00)),
    (chart, "projection's end, left edge of its disc", 561, 50, (0xFF, 0x8C, 0x00)),
    (chart, "beyond the disc (white)", 574, 60, (0xFF, 0xFF, 0xFF)),
]
failed = 0
for rows, what, x, y, expected in checks:
    got = rows[y][x]
    if got != expected:
        print("map: %s at (%d, %d) is #%02x%02x%02x, not #%02x%02x%02x" % ((what, x, y) + got + expected))
        failed += 1
print("map pixels: %d passed, %d failed" % (len(checks) - failed, failed))
sys.exit(1 if failed else 0)
