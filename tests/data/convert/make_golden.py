#!/usr/bin/env python3
"""Writes the golden cases of the converter tests: CP932 inputs and the files they must give.

The expected lines are written out here by hand from the record layouts, not computed by Velt.
Run it from anywhere; it rewrites the case folders next to it.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))


def record(length, fields):
    """A CP932 record of `length` blanks with fields put at 1-based byte positions."""
    b = bytearray(b" " * 1000)
    for pos, text in fields.items():
        data = text.encode("cp932")
        b[pos - 1:pos - 1 + len(data)] = data
    return bytes(b[:length])


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def lines(*texts):
    return b"".join(t.encode("cp932") + b"\r\n" for t in texts)


def case(name):
    path = os.path.join(HERE, name)
    shutil.rmtree(path, ignore_errors=True)
    return path


# --- ky: horse data -----------------------------------------------------------------------------
def kyd(key, style, grade, arrow, stable, marks, index=" 45.5", total=" 60.1", training=" 12.3",
        stable_fig="  8.0", length=547):
    return record(length, {1: key, 17: "テストホース", 55: index, 85: total, 90: style, 92: grade,
                           145: training, 150: stable_fig, 155: arrow, 156: stable, 327: marks})


d = case("ky")
write(os.path.join(d, "input.txt"), b"\r\n".join([
    kyd("0501311207", "1", "2", "1", "3", "12345 "),               # the worked example
    kyd("0501311208", "2", "1", "5", "5", "666666"),               # AA grade, arrow 5 vs rating 5
    kyd("0501311207", "3", "3", "2", "2", "111111", index=" 99.9"),  # same key: skipped
    kyd("0501321207", " ", " ", " ", " ", "      "),               # other day; blank codes
    kyd("1101311201", "7", "9", "6", "0", "789   "),               # unknown course and codes
    kyd("0501311209", "4", "4", "4", "4", "4", length=147),        # cut in the training figure
    b"0501311",                                                     # too short for the key
]) + b"\r\n")
write(os.path.join(d, "expected", "MDATA", "MD013東.DAT".encode().decode()), lines(
    "05013112070 逃 45.5ID Ａ [調 12.3↑][厩  8.0→] 60.1総【◎○▲|注△　】",
    "05013112080 先 45.5ID AA [調 12.3↓][厩  8.0？] 60.1総【△△△|△△△】",
    "05013212070 ？ 45.5ID ？ [調 12.3？][厩  8.0？] 60.1総【　　　|　　　】",
    "05013112090 追 45.5ID Ｃ [調 12？][厩？] 60.1総【　　　|　　　】",
))
write(os.path.join(d, "expected", "MDATA", "MD013？.DAT"), lines(
    "11013112010 ？ 45.5ID ？ [調 12.3？][厩  8.0？] 60.1総【　　　|　　　】",
))


# --- seiseki: results ---------------------------------------------------------------------------
def seb(key, grade="2", surface="1", body="4", demeanor="1", track="10", position="2", letter="M",
        first="352", second="348", length=374, cut=None):
    r = record(length, {1: key, 67: surface, 70: track, 183: " 52", 189: "-12", 195: "  1",
                        201: "  0", 216: position, 217: grade, 220: body, 221: demeanor,
                        222: letter, 259: first, 262: second})
    return r[:cut] if cut else r


d = case("seiseki")
write(os.path.join(d, "input.txt"), b"\r\n".join([
    seb("0501231107"),                                   # the worked example
    seb("0501231108", grade="1", body="7", demeanor="2", track="42", position="5", letter="S",
        first="000", second="1 2"),                      # AA grade, 平凡 + U+3000, 1 .2
    seb("0501231107", grade="5"),                        # same key: skipped
    seb("0501241107", grade="0", surface="2", body="0", demeanor="9", track="13", position="6"),
    seb("0001231101", surface="3", track="30"),          # course 00 goes to the "？" file
    seb("0501231109", cut=263),                          # second time cut short: 34 -> 34.4
    seb("0501231110", cut=100),                          # cut before most fields
    b"\x1a",                                              # an end mark is no record
]) + b"\r\n")
write(os.path.join(d, "expected", "MDATA", "MS012東.DAT"), lines(
    "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.2-34.8",
    "05012311081AA 52芝-緩い-平凡　 [  0不  1遅]　[遅不-12]　大　S 00.0-1 .2",
    "05012411071？ 52Ｄ-？？-？？？ [  0不  1遅]　[？？-12]　？　M 35.2-34.8",
    "05012311091Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.2-34.4",
    "05012311101？芝-？？-？？？ [不遅]　[　良]　？　 .-.",
))
write(os.path.join(d, "expected", "MDATA", "MS012？.DAT"), lines(
    "00012311011Ａ 52障-普通-状態良 [  0不  1遅]　[　重-12]　内　M 35.2-34.8",
))


# --- ozzhenkan: odds ----------------------------------------------------------------------------
def pairs():
    k = 0
    for a in range(1, 19):
        for b in range(a + 1, 19):
            yield k, a, b
            k += 1


def oz(key, count, n_odds, blank_pairs=(), length=955):
    fields = {1: key, 9: count}
    for h in range(1, n_odds + 1):
        fields[11 + 5 * (h - 1)] = "%5.1f" % (h + 1.5)
        fields[101 + 5 * (h - 1)] = "%5.1f" % (h / 10 + 1.0)
    for k, a, b in pairs():
        if b <= n_odds and (a, b) not in blank_pairs:
            fields[191 + 5 * k] = "%5.1f" % (a * 10 + b + 0.5)
    return record(length, fields)


def od_line(key, count, h, frame, n_odds, blank_pairs=()):
    """One line, item by item as the odds layout lists them."""
    win = "%5.1f" % (h + 1.5) if h <= n_odds else ""
    place = "%5.1f" % (h / 10 + 1.0) if h <= n_odds else ""
    cells = []
    for j in range(1, 19):
        a, b = min(h, j), max(h, j)
        if h == j or b > n_odds or (a, b) in blank_pairs:
            cells.append("  0.0")
        else:
            cells.append("%5.1f" % (a * 10 + b + 0.5))
    text = key + "%02d" % h + ", " + count + ", " + "5," + "    , " + str(h) + ", " + str(frame)
    text += ",                  ,  " + win + ",  " + place + ",  " + place
    text += "".join(",  " + c for c in cells)
    text += "".join(",  " + "  0.0" for _ in range(8)) + "," + "0900"
    assert text.count(",") == 36, text
    return text


d = case("ozzhenkan")
write(os.path.join(d, "input.txt"), b"\r\n".join([
    oz("05012311", " 3", 3, blank_pairs={(2, 3)}),
    oz("05012312", "10", 10),
    oz("05012301", "19", 18),           # more horses than the record holds: refused
    oz("0501", "", 0, length=4),         # too short for its key
    oz("05012302", " 2", 2, length=108),  # cut inside the place odds of horse 2
]) + b"\r\n")
od = [od_line("05012311", " 3", h, h, 3, {(2, 3)}) for h in range(1, 4)]
frames10 = [1, 2, 3, 4, 5, 6, 7, 7, 8, 8]
od += [od_line("05012312", "10", h, frames10[h - 1], 10) for h in range(1, 11)]
short = []
for h in (1, 2):
    t = od_line("05012302", " 2", h, h, 0)
    win = "%5.1f" % (h + 1.5)
    place = {1: "  1.1", 2: "  1"}[h]  # horse 2's place odds are cut at byte 108
    t = t.replace(",                  ,  ,  ,  ,", ",                  ,  " + win + ",  " + place
                  + ",  " + place + ",", 1)
    short.append(t)
od += short
write(os.path.join(d, "expected", "HDATA", "OD011117.CSV"), lines(*od))


# --- lap ----------------------------------------------------------------------------------------
def sei(year, course, meeting, day, race, laps, length=760):
    fields = {1: "20", 3: year, 5: "0101", 9: course, 12: meeting, 14: day, 15: race,
              20: "東京競馬場"}
    laps = laps + ["000"] * (25 - len(laps))
    for i, lap in enumerate(laps):
        fields[650 + 3 * i] = lap
    return record(length, fields)


d = case("lap")
write(os.path.join(d, "before", "MDATA", "MS012東.DAT"), lines(
    "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.2-34.8",
))
write(os.path.join(d, "input.txt"), b"\r\n".join([
    sei("01", "05", "2", "3", "11", ["123", "110", "115", "120", "122", "124", "121", "118"]),
    sei("01", "05", "2", "3", "12", ["125", "112", "119", "121", "123", "124", "122", "120",
                                     "119", "121", "122", "120", "118"]),
    sei("01", "05", "2", "3", "11", ["100"] * 20),   # race 11 again: skipped
    sei("01", "05", "2", "3", "01", ["120", "121", "000", "122", "000", "123"]),
    sei("01", "05", "2", "3", "02", ["123", "123", "123", "123", "123"] + ["120"] * 11),
    sei("01", "05", "2", "3", "03", ["120", "120", "120", "120", "120"] + ["121"] * 13),
    sei("01", "05", "2", "3", "04", [], length=600),  # ends before the laps
    sei("01", "07", "1", "1", "01", ["005", "000", "000"] + ["120"] * 10),  # a sum below 1
]) + b"\r\n")
lap = lambda key, text: key + " " * (60 - len(text)) + text
write(os.path.join(d, "expected", "MDATA", "MS012東.DAT"), lines(
    "05012311071Ａ 52芝-普通-状態良 [  0不  1遅]　[　良-12]　内　M 35.2-34.8",
    lap("05012311001", "12.3-11.0-11.5-12.0-12.2-12.4-12.1-11.8"),
    lap("05012312001", "3F 35.6-12.1-12.3-12.4-12.2-12.0-11.9-12.1-12.2-12.0-11.8"),
    lap("05012301001", "12.0-12.1-00.0-12.2-12.3"),
    lap("05012302001", " 61.5" + "-12.0" * 11),
    lap("05012303001", "5F 60-5F 60.5" + "-12.1" * 8),
    lap("05012304001", "5F 0-5F 0" + "-." * 8),
))
write(os.path.join(d, "expected", "MDATA", "MS011名.DAT"), lines(
    lap("07011101001", "3F 0.5" + "-12.0" * 10),
))
