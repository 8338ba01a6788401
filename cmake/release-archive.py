#!/usr/bin/env python3
"""Writes the release archive: a zip of FILEs at its top under their own names, in the order
given, and beside it ARCHIVE.sha256 as sha256sum writes it. Nothing of the build machine goes
in (no file times, owners or permissions, no order of a folder's listing), so the same files
give the same archive, byte for byte.

usage: release-archive.py ARCHIVE FILE...
"""
import hashlib
import os
import sys
import zipfile

# Every entry's time, as zip stores it (a date and time without time zone): a fixed one, far
# enough from zip's earliest (1980) to stay after it in every time zone.
ENTRY_TIME = (2000, 1, 1, 0, 0, 0)


def main(archive, *files):
    partial = archive + ".partial"
    with zipfile.ZipFile(partial, "w") as zip_file:
        for path in files:
            entry = zipfile.ZipInfo(os.path.basename(path), ENTRY_TIME)
            entry.create_system = 0  # MS-DOS attributes, all clear: a plain file
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as data:
                zip_file.writestr(entry, data.read(), compresslevel=9)
    os.replace(partial, archive)

    with open(archive, "rb") as written:
        digest = hashlib.sha256(written.read()).hexdigest()
    with open(archive + ".sha256", "w", newline="\n") as checksum:
        checksum.write(digest + "  " + os.path.basename(archive) + "\n")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    main(*sys.argv[1:])
