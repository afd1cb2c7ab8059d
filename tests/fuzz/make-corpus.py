#!/usr/bin/env python3
"""Writes the fuzz seeds that hold the hostile files found so far (run from the repository
root; the VOLUMES.TWB seeds in corpus/volumes were saved by the program itself)."""
import os
import random

BOM8, BOM16 = b"\xef\xbb\xbf", b"\xff\xfe"


def put(target, name, data):
    folder = os.path.join("tests", "fuzz", "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def utf16(text):
    return BOM16 + text.encode("utf-16-le")


def deep(levels):
    return "C:" + "\\a" * levels


# The INI reader: line endings and byte-order marks.
ini = "[Tidewell Volume]\r\nVolume File=#\r\nDocs=C:\\\r\n[C:\\Data]\r\na.txt=#\r\n"
put("profile", "crlf.ini", ini)
put("profile", "cr-only.ini", ini.replace("\r\n", "\r"))
put("profile", "mixed.ini", "[A]\rk=1\n[B]\r\nk=2\r\r; c\n\rx=y")
put("profile", "utf8-mark-then-utf16-mark.ini", BOM8 + BOM16 + ini.encode())
put("profile", "utf8-mark-twice.ini", BOM8 + BOM8 + ini.encode())
put("profile", "utf16.ini", utf16("[S]\r\nk\u00e9y=v\U0001F600\r\n") + b"\x00\xd8")
put("profile", "utf16-odd.ini", utf16("[S]\r\nk=v\r\n") + b"Z")
put("profile", "by-hand.ini", "; c\n[ S ]\n  k  =  v  \nno equals\n[C:\\a]b]\nx=#")

# The selection file.
names = ["f%04d.txt" % i for i in range(200)]
put("selection", "sorted.tws", "[C:\\Data]\r\n" + "".join(n + "=#\r\n" for n in names))
put("selection", "reversed.tws", "[C:\\Data]\r\n" + "".join(n + "=#\r\n" for n in reversed(names)))
random.seed(11)
shuffled = names[:]
random.shuffle(shuffled)
put("selection", "shuffled.tws", "[C:\\Data]\r\n" + "".join(n + "=#\r\n" for n in shuffled))
put("selection", "deep-16000.tws", "[%s]\r\nbottom.txt=#\r\n[C:\\]\r\na.txt=#\r\n" % deep(16000))
put("selection", "deep-over-limit.tws", "[C:\\Data]\r\na.txt=#\r\n[%s]\r\nx=#\r\n" % deep(17000))
put("selection", "cr-only.tws", "[C:\\]\ra.txt=#\r[C:\\Data]\r**ALL**=#\r")
put("selection", "mixed-endings.tws", "[C:\\]\na.txt=#\r\n[C:\\Data\\Sub]\rb%3Dc.txt=#\r*b%3Dc.txt=#\n")
put("selection", "damaged-mark.tws", BOM8 + BOM16 + b"[C:\\]\r\na.txt=#\r\n[C:\\Data]\r\n**ALL**=#\r\n")
put("selection", "mark-twice.tws", BOM8 + BOM8 + b"[C:\\Data]\r\na.txt=#\r\n")
put("selection", "utf16.tws", utf16("[C:\\Data]\r\na.txt=#\r\n[\\\\srv\\share\\Docs]\r\nd.txt=#\r\n"))
put("selection", "server-whole.tws",
    "[\\\\srv]\r\n**ALL**=#\r\n[\\\\srv\\share\\Docs]\r\nd.txt=#\r\n[\\\\srv\\share]\r\n**ALL**=#\r\n")
put("selection", "escaped.tws",
    "[*C:\\Data\\%5Bx%5D ]\r\n*%20lead=#\r\n*a%3Db.txt=#\r\n[C:\\Data\\]\r\na=b.txt=#\r\n"
    "[C:\\..\\x]\r\nz=#\r\n[c:\\data]\r\nA.TXT=#\r\n")
# A folder that is not on the disk, selected whole below a drive selected whole.
put("selection", "whole-below-whole.tws", "[C:\\Data\\Gone]\r\n**ALL**=#\r\n[C:\\]\r\n**ALL**=#\r\n")

# Scripts for the round trip: a disk, then a legal selection on it.
put("selection_roundtrip", "server-whole.txt",
    "D \\\\srv\\share\\Docs\nF \\\\srv\\share\\Docs\\a.txt\nR \\\\srv\nS \\\\srv\\share\\Docs\\a.txt\n"
    "S \\\\srv\\share\\Docs\\gone.txt\n")
put("selection_roundtrip", "whole-and-files.txt",
    "F C:\\Data\\x.txt\nF C:\\Data\\Sub\\y=1.txt\nF C:\\a.txt\nF C:\\Other\\ b \n"
    "W C:\\Data\nS C:\\a.txt\nS c:\\Other\\ b \nS C:\\Other\\[z];\nR C:\n")
put("selection_roundtrip", "unsorted.txt",
    "".join("S C:\\D\\n%03d\n" % i for i in range(60, 0, -1)) + "S C:\\D\\N030\n")
put("selection_roundtrip", "deep.txt", "S %s\\f\n" % deep(3000))

# VOLUME.TWV.
twv = "[Tidewell Volume]\r\nVolume File=#\r\nDocs=C:\r\nShared=\\\\srv\\share\r\nUp=..\\..\r\n" \
      "Rel=Data\r\nDrive=C:Data\r\nDots=C:\\a\\..\\b\r\n"
put("placeholder", "flat.twv", twv)
put("placeholder", "cr-only.twv", twv.replace("\r\n", "\r"))
put("placeholder", "damaged-mark.twv", BOM8 + BOM16 + twv.encode())
put("placeholder", "mark-twice.twv", BOM8 + BOM8 + twv.encode())
put("placeholder", "utf16.twv", utf16(twv))
