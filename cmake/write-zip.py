#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""write-zip.py ZIP EPOCH

Writes ZIP again so that the same files make the same archive: entries in
name order, each dated EPOCH (seconds since 1970, read as UTC, since a zip
keeps no time zone), made on Unix with the entry's mode less group and
others' write, and no extra fields (Info-ZIP's owner and access times).
"""
import sys
import time
import zipfile

path, epoch = sys.argv[1], int(sys.argv[2])
# A zip cannot date anything before 1980.
date = time.gmtime(max(epoch, 315532800))[:6]

with zipfile.ZipFile(path) as archive:
    entries = [(info, archive.read(info)) for info in archive.infolist()]

with zipfile.ZipFile(path, "w") as archive:
    for old, data in sorted(entries, key=lambda entry: entry[0].filename):
        # Group and others get the owner's rights less writing (go=u-w).
        owner = (old.external_attr >> 22) & 0o7 or 0o6
        others = owner & ~0o2
        kind = 0o040000 if old.is_dir() else 0o100000
        mode = kind | owner << 6 | others << 3 | others
        info = zipfile.ZipInfo(old.filename, date_time=date)
        info.create_system = 3
        info.external_attr = mode << 16 | (0x10 if old.is_dir() else 0)
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data, compresslevel=9)
