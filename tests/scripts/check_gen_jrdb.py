#!/usr/bin/env python3
"""Checks scripts/gen-jrdb: same seed, same bytes; records of their real lengths, valid CP932,
CR LF line ends, race keys that agree across kinds; archives that hold base names only and are
byte-identical to "jlha a"; and bundled samples that are exactly what the generator makes."""

import collections
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile

GEN, SAMPLES, WORK = sys.argv[1], sys.argv[2], sys.argv[3]
LENGTHS = {"KYD": 430, "SEB": 330, "ZEB": 330, "OZ": 955, "SKA": 280, "ZKA": 280, "JracSei1": 760}
KEY = re.compile(rb"(0[1-9]|10)(\d\d)([1-9])([1-9abc])(0[1-9]|1[0-2])")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(*args):
    subprocess.run([sys.executable, GEN, *args], check=True)


def lines(path):
    data = open(path, "rb").read()
    check(data.endswith(b"\r\n"), f"{path}: no CR LF at the end")
    body = data[:-2].split(b"\r\n")
    check(not any(b"\r" in l or b"\n" in l for l in body), f"{path}: a line end other than CR LF")
    return body


def check_day(folder, stamp):
    races = collections.defaultdict(list)
    for kind, length in LENGTHS.items():
        name = "JracSei1.dat" if kind == "JracSei1" else f"{kind}{stamp}.txt"
        for i, rec in enumerate(lines(os.path.join(folder, name)), 1):
            where = f"{name}:{i}"
            check(len(rec) == length, f"{where}: {len(rec)} bytes, not {length}")
            try:
                rec.decode("cp932")
            except UnicodeDecodeError as e:
                failures.append(f"{where}: not CP932: {e}")
            if kind == "JracSei1":
                key = rec[8:10] + rec[2:4] + rec[11:12] + rec[13:14] + rec[14:16]
                laps = [rec[649 + 3 * i:652 + 3 * i] for i in range(25)]
                n = laps.index(b"000") if b"000" in laps else 25
                check(all(re.fullmatch(rb"\d{3}", l) for l in laps) and n >= 5
                      and all(l == b"000" for l in laps[n:]), f"{where}: lap fields {laps}")
            else:
                key = rec[:8]
            check(KEY.fullmatch(key) is not None, f"{where}: race key {key!r}")
            if kind in ("KYD", "SEB", "SKA"):
                races[(kind, key)].append(rec[8:10])
            if kind == "KYD":
                check(all(re.fullmatch(rb" *-?\d{1,3}\.\d|     ", rec[p:p + 5])
                          for p in (54, 84, 144, 149)), f"{where}: index figures")
            if kind in ("SEB", "ZEB"):
                check(all(re.fullmatch(rb"\d{3}|   ", rec[p:p + 3]) for p in (258, 261)),
                      f"{where}: times")
            if kind in ("SKA", "ZKA"):
                check(rec[18:26] == b"20" + stamp.encode(), f"{where}: date {rec[18:26]!r}")
                for p in (113, 153, 193, 233):
                    rec[p:p + 40].decode("cp932")  # each comment whole, no split character
            if kind == "OZ":
                races[("OZ", key)] = int(rec[8:10])
    counts = {k: len(v) for (kind, k), v in races.items() if kind == "KYD"}
    check(8 <= min(counts.values()) and max(counts.values()) <= 18, "horses per race")
    check(len(counts) in (24, 36), f"{len(counts)} races")
    for (kind, key), value in races.items():
        if kind == "OZ":
            check(value == counts.get(key), f"OZ count of {key!r}")
        else:
            check(value == [b"%02d" % h for h in range(1, counts.get(key, 0) + 1)],
                  f"{kind} horse numbers of {key!r}")


TODAY_SAMPLE = ["--seed", "1", "--start", "2018-12-01", "--days", "1", "--races", "3",
                "--layout", "today", "--archives"]
TODAY_LENGTHS = {"KYI": 1022, "KYG": 543, "SED": 374, "SEC": 344, "ZED": 374, "ZEC": 344,
                 "SKB": 302, "ZKB": 302, "OZ": 955}
OTHER_KEY = re.compile(rb"(1[1-9]|[2-9]\d)(\d\d)[A-Z][A-Z](0[1-9]|1[0-2])")


def check_today(out, have_jlha):
    """Today's layout: lengths, the old fields where they were, other organisers' races in the past
    runs, blank keys in about one ZEC record in eight, a yearly ZIP of daily members, pack shapes."""
    args = ["--out", out, "--seed", "2", "--start", "2018-12-01", "--days", "2", "--texts",
            "--layout", "today", "--zip", "SED"]
    run(*args + (["--archives"] if have_jlha else []))
    for stamp in ("181201", "181202"):
        folder = os.path.join(out, stamp)
        recs = {k: lines(os.path.join(folder, f"{k}{stamp}.txt")) for k in TODAY_LENGTHS}
        for kind, length in TODAY_LENGTHS.items():
            check(all(len(r) == length for r in recs[kind]), f"{kind}{stamp}: record lengths")
        check([r[:332] for r in recs["KYI"]] == [r[:332] for r in recs["KYG"]], "KYI and KYG")
        check([r[:288] for r in recs["SED"]] == [r[:288] for r in recs["SEC"]], "SED and SEC")
        for kind in ("ZED", "ZEC", "ZKB"):
            check(any(OTHER_KEY.fullmatch(r[:8]) for r in recs[kind]), f"{kind}: no other races")
        blank = sum(r[:8] == b" " * 8 for r in recs["ZEC"])
        check(len(recs["ZEC"]) / 10 < blank < len(recs["ZEC"]) / 6, f"ZEC blank keys: {blank}")
    import zipfile
    with zipfile.ZipFile(os.path.join(out, "SED_2018.zip")) as z:
        check(z.namelist() == ["SED181201.txt", "SED181202.txt"], f"zip: {z.namelist()}")
        check(z.read("SED181201.txt") == open(os.path.join(out, "181201", "SED181201.txt"),
                                              "rb").read(), "zip member differs from the text")
    if have_jlha and shutil.which("lhasa"):
        for pack, kinds in (("JRDB", "KYG ZEC OZ OW OU OT JOA UKC ZKB BAB KAA CYA KKA"),
                            ("PACI", "KYI ZED OZ OW OU OT JOA UKC ZKB BAC KAB CYB CHA KKA")):
            x = os.path.join(out, "x" + pack)
            os.makedirs(x)
            subprocess.run(["lhasa", "xq", os.path.join(out, f"{pack}181201.lzh")], cwd=x,
                           check=True)
            check(sorted(os.listdir(x)) == sorted(f"{k}181201.txt" for k in kinds.split()),
                  f"{pack} members {sorted(os.listdir(x))}")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    a, b = os.path.join(WORK, "a"), os.path.join(WORK, "b")
    # Saturday and Sunday: one of them is in a six-weekend meeting, whose days go past 9.
    args = ["--seed", "5", "--start", "2010-05-01", "--days", "2", "--texts"]
    have_jlha = shutil.which("jlha") is not None
    if have_jlha:
        args.append("--archives")
    run("--out", a, *args)
    run("--out", b, *args)
    cmp = filecmp.dircmp(a, b)
    for sub in [cmp] + list(cmp.subdirs.values()):
        check(not (sub.left_only or sub.right_only or sub.diff_files or sub.funny_files),
              f"two runs differ in {sub.left}")
        _, mismatch, errors = filecmp.cmpfiles(sub.left, sub.right, sub.common_files,
                                               shallow=False)
        check(not mismatch and not errors, f"two runs differ: {mismatch + errors}")
    for stamp in ("100501", "100502"):
        check_day(os.path.join(a, stamp), stamp)
    if have_jlha:
        c = os.path.join(WORK, "c")
        run("--out", c, *args, "--jlha-each")
        for name in sorted(os.listdir(c)):
            if name.endswith(".lzh"):
                check(filecmp.cmp(os.path.join(a, name), os.path.join(c, name), shallow=False),
                      f"{name} differs from what jlha a makes")
        if shutil.which("lhasa"):
            x = os.path.join(WORK, "x")
            os.makedirs(x)
            subprocess.run(["lhasa", "xq", os.path.join(a, "JRDB100501.lzh")], cwd=x, check=True)
            names = sorted(os.listdir(x))
            check(names == sorted(f"{k}100501.txt" for k in
                                  ("KYD", "OZ", "ZEB", "BA", "JOA", "OW", "UKA", "ZKA")),
                  f"pack members {names}")
            for n in names:
                check(filecmp.cmp(os.path.join(x, n), os.path.join(a, "100501", n), False),
                      f"packed {n} differs from the text file")
    check_today(os.path.join(WORK, "t"), have_jlha)
    s = os.path.join(WORK, "s")
    run("--out", s, "--seed", "1", "--start", "2009-11-22", "--days", "1", "--archives",
        "--texts")
    check_day(s, "091122")
    today = os.path.join(WORK, "st")
    if have_jlha:
        run("--out", today, *TODAY_SAMPLE)
    bundled = [n for n in os.listdir(SAMPLES) if n != "README.md"]
    check(len(bundled) >= 10, f"samples: {bundled}")
    for n in bundled:
        made = os.path.join(today if n.startswith("PACI") else s, n)
        check(filecmp.cmp(os.path.join(SAMPLES, n), made, shallow=False),
              f"samples/{n} is not what the generator makes")
    for f in failures[:30]:
        print("FAIL:", f)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
