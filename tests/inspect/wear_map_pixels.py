#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Renders kzt_inspect's wear map of a two-bank dump set with rsvg-convert and checks the pixels
where a cold, a middle, a hot, a bad and an uncounted block are drawn.

Usage: wear_map_pixels.py KZT_INSPECT RSVG_CONVERT WORK_FOLDER

The dump set: 4 blocks per die, banks 0 and 1 (channel 0, CE 0 and 1) of one flash.
  bank 0: counts 0, 400, Bad, none; factory bad block 2
  bank 1: counts 800, 100, 200, 300
One scale from 0 (the lowest count) to 800 (the highest) in 8 steps of 801/8 counts:
0 is step 0, 400 step 3 (3200/801), 800 step 7. The layout puts block b of the i-th bank read in
the cell at x = 96 + 24 b, y = 80 + 36 i (24 pixels a cell for 4 cells a row, drawn 23 wide; a
strip is a row of 24 pixels and a gap of 12), with the list mark over its top-left 12 pixels.
"""
import os
import shutil
import struct
import subprocess
import sys
import zlib

inspect, rsvg, work = sys.argv[1:4]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)

def put(name, data):
    with open(os.path.join(work, name), "wb") as f:
        f.write(data)

fwi = bytearray(4096)
struct.pack_into("<H", fwi, 0xC54, 4)     # blocksPerDie
struct.pack_into("<H", fwi, 0xC7C, 1000)  # maxPeCycle
put("kzt_fwi.bin", fwi)
fid2 = bytearray(512)
for bank in (0, 1):
    fid2[16 + 8 * bank:24 + 8 * bank] = bytes.fromhex("983C99B37A510804")
put("kzt_fid2.bin", fid2)
for ce, counts, bad in ((0, (0, 400, 0xFFFE, 0xFFFF), b"\x00\x00\x02\x00"), (1, (800, 100, 200, 300), b"")):
    bbec = bytearray(b"\xff" * 32768)
    bbec[2048:2048 + len(bad)] = bad
    struct.pack_into("<4H", bbec, 16384, *counts)
    put("kzt_bbec_0_%d.bin" % ce, bbec)

svg, png = os.path.join(work, "map.svg"), os.path.join(work, "map.png")
subprocess.run([inspect, "--svg", svg, work], check=True, stdout=subprocess.DEVNULL)
subprocess.run([rsvg, "-o", png, svg], check=True)

# PNG: 8-bit RGBA (colour type 6) or RGB (2), not interlaced; undo each row's filter.
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
    rows.append(row)
    prev = row

def pixel(x, y):
    return tuple(rows[y][x * bpp:x * bpp + 3])

checks = [
    ("cold block (bank 0 block 0, count 0: step 0 #4575b4)", 113, 97, (0x45, 0x75, 0xB4)),
    ("middle block (bank 0 block 1, count 400: step 3 #e0f3f8)", 137, 97, (0xE0, 0xF3, 0xF8)),
    ("hot block (bank 1 block 0, count 800: step 7 #d73027)", 113, 133, (0xD7, 0x30, 0x27)),
    ("bad block (bank 0 block 2: #252525)", 161, 97, (0x25, 0x25, 0x25)),
    ("its factory mark (#00c000)", 146, 82, (0x00, 0xC0, 0x00)),
    ("block without a count (bank 0 block 3: #bdbdbd)", 185, 97, (0xBD, 0xBD, 0xBD)),
    ("grid line between blocks 0 and 1 (white)", 119, 97, (0xFF, 0xFF, 0xFF)),
]
failed = 0
for what, x, y, expected in checks:
    got = pixel(x, y)
    if got != expected:
        print("wear map: %s at (%d, %d) is #%02x%02x%02x, not #%02x%02x%02x" % ((what, x, y) + got + expected))
        failed += 1
print("wear map pixels: %d passed, %d failed" % (len(checks) - failed, failed))
sys.exit(1 if failed else 0)
