#!/usr/bin/env python3
"""Packs the built stand-ins into the two payload archives and lays out the
server root:

  OUTDIR/root/fenwa/FenwaTamrick.zip   Tamrick.exe, readme.txt
  OUTDIR/root/BVMFC.zip                Brevolt.ocx, Dolvane.exe
  OUTDIR/root/fenwa/FenwaHalvex64.exe

usage: make_archives.py --tamrick T --halvex64 H --dolvane D --brevolt B OUTDIR
"""

import argparse
import calendar
import os
import shutil
import struct
import zipfile

# A fixed time keeps the archives the same from build to build.
ENTRY_TIME = (2024, 1, 15, 10, 30, 0)
FILE_ATTRIBUTE_ARCHIVE = 0x20
README = b"Fenwa Parvello Wizard test payload.\r\n"


def entry(name):
    info = zipfile.ZipInfo(name, ENTRY_TIME)
    # Made as a Windows tool makes them: MS-DOS attributes, with an "UT"
    # extended timestamp (modification time) beside the DOS time.
    info.create_system = 0
    info.external_attr = FILE_ATTRIBUTE_ARCHIVE
    info.compress_type = zipfile.ZIP_DEFLATED
    stamp = calendar.timegm(ENTRY_TIME + (0, 0, 0))
    info.extra = struct.pack("<HHBI", 0x5455, 5, 1, stamp)
    return info


def write_zip(path, members):
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            z.writestr(entry(name), data)
    os.replace(tmp, path)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    p = argparse.ArgumentParser(description="build the payload archives")
    p.add_argument("--tamrick", required=True)
    p.add_argument("--halvex64", required=True)
    p.add_argument("--dolvane", required=True)
    p.add_argument("--brevolt", required=True)
    p.add_argument("outdir")
    args = p.parse_args()

    root = os.path.join(args.outdir, "root")
    os.makedirs(os.path.join(root, "fenwa"), exist_ok=True)
    write_zip(os.path.join(root, "fenwa", "FenwaTamrick.zip"),
              [("Tamrick.exe", read(args.tamrick)), ("readme.txt", README)])
    write_zip(os.path.join(root, "BVMFC.zip"),
              [("Brevolt.ocx", read(args.brevolt)), ("Dolvane.exe", read(args.dolvane))])
    shutil.copyfile(args.halvex64, os.path.join(root, "fenwa", "FenwaHalvex64.exe"))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
