#!/usr/bin/env python3
"""Makes the fuzz targets' seed corpora from the test data, at run time.

    make_seeds.py ROOT OUT     writes OUT/receive/* and OUT/settings/*

receive: every case of tests/data/receive/*.txt (the bytes of its `send` lines, behind the
8-byte header of fuzz/receive_fuzzer.cpp chosen from the case's size, backlog limit, encoding
and terminal type), and the captured sessions of tests/data/captures cut at their marks.
settings: settings files as the program writes them and as a user might have edited them.
"""
import os
import re
import sys

ENCODINGS = {"euc": 0, "sjis": 1, "utf8": 2}
BACKLOGS = [0, 1, 2, 3, 10, 100, 1000, 2147483647]
ESCAPES = {"r": b"\r", "n": b"\n", "t": b"\t", "e": b"\x1b", "a": b"\x07", "b": b"\x08", "0": b"\x00",
           "\\": b"\\", '"': b'"'}


def words(line):
    """The words of a case line, as bytes: quoted strings decoded, hex bytes, repeats."""
    out = []
    i = 0
    while i < len(line):
        c = line[i]
        if c in " \t\r":
            i += 1
            continue
        if c == "#":
            break
        if c == '"':
            i += 1
            text = b""
            while i < len(line) and line[i] != '"':
                if line[i] == "\\":
                    e = line[i + 1]
                    if e == "x":
                        text += bytes([int(line[i + 2:i + 4], 16)])
                        i += 4
                    else:
                        text += ESCAPES.get(e, e.encode())
                        i += 2
                else:
                    text += line[i].encode("utf-8")
                    i += 1
            i += 1
            word = text
        else:
            j = i
            while j < len(line) and line[j] not in " \t\r":
                j += 1
            token = line[i:j]
            i = j
            m = re.fullmatch(r"([0-9A-Fa-f]{2})(\*\d+)?", token)
            if m:
                word = bytes([int(m.group(1), 16)]) * (int(m.group(2)[1:]) if m.group(2) else 1)
                out.append(word)
                continue
            out.append(token.encode())
            continue
        if i < len(line) and line[i] == "*":
            j = i + 1
            while j < len(line) and line[j].isdigit():
                j += 1
            word *= int(line[i + 1:j])
            i = j
        out.append(word)
    return out


def grid_byte(value, low, high):
    if low <= value <= high:
        return value - low
    return 0x80 | (min(max(value, 1), 12) - 1)


def header(encoding="euc", vt52=False, columns=80, rows=24, backlog=2147483647, seed=0):
    b0 = ENCODINGS[encoding] | (4 if vt52 else 0)
    b3 = min(range(len(BACKLOGS)), key=lambda k: abs(BACKLOGS[k] - backlog))
    return bytes([b0, grid_byte(columns, 40, 163), grid_byte(rows, 12, 107), b3]) + seed.to_bytes(4, "little")


def receive_seeds(root):
    folder = os.path.join(root, "tests", "data", "receive")
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".txt"):
            continue
        case = None
        for line in open(os.path.join(folder, name), encoding="utf-8"):
            w = words(line.rstrip("\n"))
            if not w:
                continue
            directive = w[0].decode(errors="replace")
            if directive == "case":
                if case and case["bytes"]:
                    yield case
                case = {"name": name[:-4] + "-" + w[1].decode(), "bytes": b"", "encoding": None, "vt52": None,
                        "columns": 80, "rows": 24, "backlog": 2147483647}
            elif case is None:
                continue
            elif directive == "size":
                c, r = w[1].decode().split("x")
                case["columns"], case["rows"] = int(c), int(r)
            elif directive == "backlog-max":
                case["backlog"] = int(w[1])
            elif directive == "encoding" and case["encoding"] is None:
                case["encoding"] = w[1].decode()
            elif directive == "type" and case["vt52"] is None:
                case["vt52"] = w[1] == b"vt52"
            elif directive == "send":
                case["bytes"] += b"".join(w[1:])
        if case and case["bytes"]:
            yield case


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    root, out = sys.argv[1], sys.argv[2]
    receive = os.path.join(out, "receive")
    settings = os.path.join(out, "settings")
    os.makedirs(receive, exist_ok=True)
    os.makedirs(settings, exist_ok=True)

    count = 0
    for n, case in enumerate(receive_seeds(root)):
        h = header(case["encoding"] or "euc", bool(case["vt52"]), case["columns"], case["rows"], case["backlog"], n)
        write(os.path.join(receive, case["name"]), h + case["bytes"][:16000])
        count += 1

    captures = os.path.join(root, "tests", "data", "captures")
    for name in sorted(os.listdir(captures)):
        if not name.endswith(".vt100"):
            continue
        data = open(os.path.join(captures, name), "rb").read()
        marks = [0]
        marks_file = os.path.join(captures, name[:-6] + ".marks")
        if os.path.exists(marks_file):
            for line in open(marks_file):
                m = re.match(r"(\d+)\s", line)
                if m:
                    marks.append(int(m.group(1)))
        marks = sorted(set(m for m in marks if m < len(data))) + [len(data)]
        for k in range(len(marks) - 1):
            piece = data[marks[k]:marks[k + 1]]
            for encoding, vt52, size in (("euc", False, (80, 24)), ("utf8", False, (40, 12)), ("sjis", True, (3, 2))):
                h = header(encoding, vt52, size[0], size[1], 100, k)
                write(os.path.join(receive, "%s-%02d-%s" % (name[:-6], k, encoding)), h + piece[:16000])
                count += 1

    crlf = "\r\n"
    main_key = "[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora]"
    recent_key = "[HKEY_CURRENT_USER\\SOFTWARE\\ostrin\\Velmora\\most recently used]"
    face = "ＭＳ ゴシック".encode("cp932")
    logfont = ["%02x" % b for b in [0xf0, 0xff, 0xff, 0xff] + [0] * 12 + [0x90, 1, 0, 0] + [0, 0, 0, 0x80] +
               [0, 0, 0, 0x31] + list(face) + [0] * (32 - len(face))]
    written = [
        "REGEDIT4", "", main_key,
        '"columns"=dword:00000050', '"rows"=dword:00000018', '"back log max"=dword:7fffffff',
        '"auto close"=dword:00000001', '"color default"=dword:00000000',
        '"color window"=hex:00,00,80,00', '"color window text"=hex:ff,ff,ff,00',
        '"color highlight"=hex:00,ff,00,00', '"color highlight text"=hex:00,00,00,00',
        '"logfont"=hex:' + ",".join(logfont[:21]) + ",\\", "  " + ",".join(logfont[21:]), "",
        recent_key,
        '"host 0"=hex(2):65,78,61,6d,70,6c,65,2e,6a,70,00,32,00,76,74,31,30,30,00,00',
        '"host 1"=hex(2):31,32,37,2e,30,2e,30,2e,31,00,30,00,76,74,35,32,00,00',
        '"host 2"=hex(2):00,00', "", ""]
    seeds = {
        "written": crlf.join(written).encode("cp932"),
        "lf-only": "\n".join(written).encode("cp932"),
        "edited": b"\xef\xbb\xbf" + ("REGEDIT4\n; a comment\n\n" + main_key + '\n"rows"=dword:0\n"columns"=dword:ffffffff\n'
                   '@="default"\n"Font"="\u30bd\u8868"\n"Multi"=hex(7):61,00,00,\\\n  62,00,00\n'
                   '[-HKEY_CURRENT_USER\\SOFTWARE\\old]\n"gone"=-\n' + recent_key + '\n"HOST 0"="a\\\\b"\n'
                   '"host 1"=hex(2):ff,ff,ff\n').encode("cp932"),
        "limits": (crlf.join(["REGEDIT4", main_key, '"rows"=dword:7fffffff', '"columns"=dword:00000001',
                              '"back log max"=dword:00000000', '"auto close"=dword:80000000']) + crlf).encode(),
        "cut": (crlf.join(["REGEDIT4", main_key, '"columns"=dword:0000']) + crlf + '"logfont"=hex:01,02,\\').encode(),
        "junk": b"REGEDIT4\r\n" + main_key.encode() + b"\r\n\x00\xff\xfe\x01junk\r\n\"rows\"=hex(4):30,00,00\r\n",
    }
    for name, data in seeds.items():
        write(os.path.join(settings, name), data)
    print("seeds: %d receive, %d settings" % (count, len(seeds)))


if __name__ == "__main__":
    main()
