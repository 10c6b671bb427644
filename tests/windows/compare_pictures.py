#!/usr/bin/env python3
"""Compares the SVG panel pictures of a Windows run with those of a Linux run of the same scenario.

The Windows host draws the bitmaps from the module's BITMAP resources, the Linux host from the
art's PNG files: every picture must hold the same images (bitmap id, place and size) in the same
order, each with the same pixels once decoded (ImageMagick), and no box of a missing bitmap.
Texts are not compared: each host measures the display font with its own platform's library.

Usage: compare_pictures.py WINDOWS_FOLDER LINUX_FOLDER NAME.svg...
"""
import base64
import re
import subprocess
import sys
import tempfile

IMAGE = re.compile(r'<image x="(-?\d+)" y="(-?\d+)" width="(\d+)" height="(\d+)" '
                   r'data-bitmap="(\d+)"[^>]* href="data:image/png;base64,([^"]+)"/>')
MISSING = 'stroke="#ff40ff"'


def pixels(png):
    """The image's pixels as 8-bit RGBA, undrawn pixels all zero."""
    with tempfile.NamedTemporaryFile(suffix=".png") as file:
        file.write(png)
        file.flush()
        rgba = subprocess.run(["/usr/bin/convert", file.name, "-depth", "8", "rgba:-"],
                              check=True, capture_output=True).stdout
    # A pixel nothing draws may carry any colour at alpha 0: only its being undrawn counts.
    return b"".join(rgba[i:i + 4] if rgba[i + 3] else b"\0\0\0\0" for i in range(0, len(rgba), 4))


def images(path):
    text = open(path, encoding="utf-8").read()
    if MISSING in text:
        sys.exit(f"{path}: a bitmap is missing (drawn as a named box)")
    found = IMAGE.findall(text)
    if not found:
        sys.exit(f"{path}: no image in the picture")
    return found


def main(windows_folder, linux_folder, names):
    checked = 0
    for name in names:
        ours = images(f"{windows_folder}/{name}")
        theirs = images(f"{linux_folder}/{name}")
        places = [image[:5] for image in ours]
        if places != [image[:5] for image in theirs]:
            sys.exit(f"{name}: the images differ in id, place or size:\n{places}\n"
                     f"{[image[:5] for image in theirs]}")
        for ours_image, theirs_image in zip(ours, theirs):
            if pixels(base64.b64decode(ours_image[5])) != pixels(base64.b64decode(theirs_image[5])):
                sys.exit(f"{name}: bitmap {ours_image[4]} at {ours_image[0]},{ours_image[1]} "
                         "differs from the Linux picture's")
            checked += 1
    print(f"{len(names)} pictures, {checked} images: the same bitmaps, pixel for pixel")


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
