#!/usr/bin/env python3
"""Writes an .ico from an .ico made by ImageMagick and a PNG of its largest
size: every entry as it was but the largest, which is stored as the PNG
(Windows Vista and later read PNG entries; a 48-pixel entry is a third of
the size that way).
    pack-icon.py ICO PNG"""
import struct
import sys

ico_path, png_path = sys.argv[1], sys.argv[2]
data = open(ico_path, 'rb').read()
png = open(png_path, 'rb').read()
_, kind, count = struct.unpack('<HHH', data[:6])
entries = []
for i in range(count):
    w, h, colours, res, planes, bits, size, offset = struct.unpack(
        '<BBBBHHII', data[6 + 16 * i:22 + 16 * i])
    entries.append([w, h, colours, res, planes, bits, data[offset:offset + size]])
largest = max(range(count), key=lambda i: entries[i][0] or 256)
if png[:8] != b'\x89PNG\r\n\x1a\n':
    sys.exit(png_path + ': not a PNG')
width, height = struct.unpack('>II', png[16:24])
if (width, height) != ((entries[largest][0] or 256), (entries[largest][1] or 256)):
    sys.exit(png_path + ': not the size of the largest entry')
entries[largest][6] = png
out = bytearray(struct.pack('<HHH', 0, kind, count))
offset = 6 + 16 * count
for w, h, colours, res, planes, bits, blob in entries:
    out += struct.pack('<BBBBHHII', w, h, colours, res, planes, bits, len(blob), offset)
    offset += len(blob)
for entry in entries:
    out += entry[6]
open(ico_path, 'wb').write(bytes(out))
