#!/usr/bin/python3
"""Makes the seed corpora of the fuzz targets (corpus/fuzz_dbf, corpus/fuzz_fpt, corpus/fuzz_cdx).

Usage: /usr/bin/python3 make_corpus.py DBFTOOL [OUTDIR]

Valid files come from dbftool (tables, memos, indexes) and from python3-dbf (Visual FoxPro,
FoxPro and dBASE III tables written by code nobody here wrote); a few copies are then damaged
by hand in the ways real files break: counts that lie, pointers past the end, a sibling link
that makes a loop. OUTDIR defaults to the corpus folder beside this script.
"""
import csv
import datetime
import os
import random
import struct
import subprocess
import sys
import tempfile

import dbf  # python3-dbf

MEMO_SEPARATOR = b"\x1a\x1a--FPT--"  # fuzz_dbf.cpp: .dbf bytes, separator, .fpt bytes


def run(tool, *args):
    subprocess.run([tool, *args], check=True, stdout=subprocess.DEVNULL)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_tables(tool, d):
    vend = os.path.join(d, "vend.dbf")
    run(tool, "create", vend, "--fields",
        "VENDNO C 6, NAME C 20, AMOUNT N 10 2, DUE D, PAID L, NOTE M")
    with open(os.path.join(d, "v.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["VENDNO", "NAME", "AMOUNT", "DUE", "PAID", "NOTE"])
        w.writerow(["A1", "Smith", "12.50", "2016-03-07", "T", "first memo"])
        w.writerow(["B22", "Jones", "-3.25", "", "F", ""])
        w.writerow(["C333", "Brown & Co", "0", "1999-12-31", "T",
                    "a longer memo text that needs two blocks of sixty four bytes to be stored"])
    run(tool, "import", vend, os.path.join(d, "v.csv"))
    run(tool, "index", vend, "--tag", "VENDNO", "--on", "VENDNO")
    run(tool, "index", vend, "--tag", "NAME", "--on", "UPPER(NAME)", "--descending")
    run(tool, "index", vend, "--tag", "AMT", "--on", "STR(AMOUNT,10,2)", "--for", "PAID")

    big = os.path.join(d, "big.dbf")
    run(tool, "create", big, "--fields", "CODE C 8, NAME C 24, QTY N 6 0")
    rng = random.Random(7)
    with open(os.path.join(d, "big.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["CODE", "NAME", "QTY"])
        for i in range(300):
            name = "".join(rng.choice("ABCDEFGH ") for _ in range(rng.randint(3, 20))).strip()
            w.writerow(["K%05d" % (i * 37 % 1000), name or "X", i])
    run(tool, "import", big, os.path.join(d, "big.csv"))
    run(tool, "index", big, "--tag", "CODE", "--on", "CODE", "--unique")
    run(tool, "index", big, "--tag", "NAME", "--on", "NAME")
    run(tool, "index", big, "--tag", "QTY", "--on", "QTY")

    t = dbf.Table(os.path.join(d, "vfp.dbf"),
                  "NAME C(10) NULL; CNT I; RATE B; COST Y; WHEN T; NOTE M; PIC G; OK L NULL",
                  dbf_type="vfp")
    t.open(dbf.READ_WRITE)
    t.append(("alpha", 3, 1.5, 2.25, datetime.datetime(2016, 3, 7, 12, 30, 5), "vfp memo", b"",
              True))
    t.append((None, -7, -0.0, 0, None, "", b"", None))
    t.append(("gamma", 2147483646, 1e300, 92233720368, datetime.datetime(1, 1, 1), "x" * 100,
              b"", False))
    t.close()
    t = dbf.Table(os.path.join(d, "db3.dbf"), "NAME C(12); AMT N(8,2); D D; M M", dbf_type="db3")
    t.open(dbf.READ_WRITE)
    t.append(("dbase", 1.25, datetime.date(2001, 2, 3), "dbt memo"))
    t.close()
    t = dbf.Table(os.path.join(d, "fp.dbf"), "NAME C(12); AMT F(10,3); M M; P P", dbf_type="fp")
    t.open(dbf.READ_WRITE)
    t.append(("foxpro", 1.125, "fp memo", b""))
    t.append(("two", -2.5, "", b""))
    t.close()


def patch(data, offset, fmt, value):
    b = bytearray(data)
    struct.pack_into(fmt, b, offset, value)
    return bytes(b)


def first_records(table, n):
    """The header and the first n records, with the count set to n."""
    hl, rl = struct.unpack_from("<HH", table, 8)
    return patch(table[:hl + n * rl] + b"\x1a", 4, "<I", n)


def dbf_seeds(d):
    vend, vfp, fp = (read(os.path.join(d, n)) for n in ("vend.dbf", "vfp.dbf", "fp.dbf"))
    s = {
        "vend": vend + MEMO_SEPARATOR + read(os.path.join(d, "vend.fpt")),
        "vfp": vfp + MEMO_SEPARATOR + read(os.path.join(d, "vfp.fpt")),
        "fp": fp + MEMO_SEPARATOR + read(os.path.join(d, "fp.fpt")),
        "db3": read(os.path.join(d, "db3.dbf")),
        "big20": first_records(read(os.path.join(d, "big.dbf")), 20),
        # Damaged: the count claims more records than the file holds.
        "bad-count": patch(vend, 4, "<I", 1000),
        # Damaged: header length past the end of the file.
        "bad-header-length": patch(vend, 8, "<H", 60000),
        # Damaged: record length that does not match the fields.
        "bad-record-length": patch(vend, 10, "<H", 7),
        # Damaged: the first field's type letter.
        "bad-type": patch(vend, 32 + 11, "B", ord("X")),
    }
    return s


def fpt_seeds(d):
    vend = read(os.path.join(d, "vend.fpt"))
    return {
        "vend": vend,
        "vfp": read(os.path.join(d, "vfp.fpt")),
        "fp": read(os.path.join(d, "fp.fpt")),
        "bad-block-size": patch(vend, 6, ">H", 0),
        "bad-next-free": patch(vend, 0, ">I", 2),
        "bad-length": patch(vend, 8 * 64 + 4, ">I", 0x7FFFFFFF),
        "block-size-1": patch(patch(vend, 6, ">H", 1), 0, ">I", len(vend)),
    }


def cdx_seeds(d):
    vend = read(os.path.join(d, "vend.cdx"))
    directory = struct.unpack_from("<I", vend, 0)[0]  # the file header's root
    # A tag's root leaf (attributes 3) other than the directory's.
    leaf = next(o for o in range(1024, len(vend), 512)
                if o != directory and struct.unpack_from("<H", vend, o)[0] == 3)
    return {
        "vend": vend,
        "big": read(os.path.join(d, "big.cdx")),
        # Damaged: a tag's root leaf names itself as its right sibling.
        "bad-sibling-loop": patch(vend, leaf + 8, "<I", leaf),
        # Damaged: the directory leaf claims more keys than fit.
        "bad-count": patch(vend, directory + 2, "<H", 400),
        # Damaged: key length 0 in the file header.
        "bad-key-length": patch(vend, 12, "<H", 0),
    }


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    tool = os.path.abspath(sys.argv[1])
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "corpus")
    with tempfile.TemporaryDirectory() as d:
        make_tables(tool, d)
        for target, seeds in (("fuzz_dbf", dbf_seeds(d)), ("fuzz_fpt", fpt_seeds(d)),
                              ("fuzz_cdx", cdx_seeds(d))):
            os.makedirs(os.path.join(out, target), exist_ok=True)
            for name, data in seeds.items():
                with open(os.path.join(out, target, name), "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main()
