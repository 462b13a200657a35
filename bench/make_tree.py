#!/usr/bin/python3
"""make_tree.py DIR FILES: a product tree of FILES files, 100 to a folder,
each 512 bytes, as installers leave many small files."""
import os
import sys

root, files = sys.argv[1], int(sys.argv[2])
data = bytes(range(256)) * 2
for i in range(0, files, 100):
    folder = os.path.join(root, "f%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    for j in range(min(100, files - i)):
        with open(os.path.join(folder, "file%03d.dat" % j), "wb") as f:
            f.write(data)
