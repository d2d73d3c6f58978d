#!/usr/bin/python3
"""Replay captured vim, less, nano and top sessions and check Velmora's screen against pyte's.

usage: compare_with_pyte.py VELMORA_REPLAY CAPTURE_DIR

Every NAME.vt100 in CAPTURE_DIR is fed to pyte (an independent VT100 emulator, Screen 80x24)
and to `VELMORA_REPLAY --cursor --utf8 --size 80x24`. The two screens must agree row by row
(trailing spaces ignored) and on the cursor, at the end of the capture and at every offset
listed in NAME.marks (the moments the program had finished answering a key; see
tools/capture_session.py). Attributes are not compared.

Where Velmora deliberately behaves differently from pyte, the difference is listed in KNOWN
below with the reason. A difference not listed fails the capture, and so does a listed one
that no longer shows up, so the list always describes what Velmora really does.

Prints one line per capture and the differences of those that fail, then `N passed, N failed`.
Exits 0 when every capture passes, 1 otherwise, 2 on bad usage.
"""

import os
import subprocess
import sys
import tempfile
from collections import namedtuple

import pyte

COLUMNS = 80
ROWS = 24

# One deliberate difference: at the moment `at` (a label from NAME.marks, or "end"), screen row
# `row` (0-based) or the cursor (row "cursor", shown as "COL ROW") reads `velmora` in Velmora
# and `pyte` in pyte, trailing spaces removed.
Known = namedtuple("Known", "at row velmora pyte why")

KNOWN = {
    "vim_scroll": [],
    "less_paging": [],
    "nano_edit": [],
    "top_refresh": [],
}


def read_marks(path, length):
    """The moments to compare: (offset, label) from the .marks file, then the end."""
    marks = []
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                line = line.strip()
                if not line or line.startswith("#"):
                    continue
                offset, label = line.split(None, 1)
                offset = int(offset)
                if offset > length:
                    raise ValueError("%s: offset %d is past the end of the capture (%d bytes)"
                                     % (path, offset, length))
                if offset < length:
                    marks.append((offset, label))
    marks.sort()
    marks.append((length, "end"))
    return marks


def pyte_screens(data, marks):
    """pyte's rows and cursor at each mark."""
    screen = pyte.Screen(COLUMNS, ROWS)
    stream = pyte.ByteStream(screen)
    fed = 0
    result = []
    for offset, _ in marks:
        stream.feed(data[fed:offset])
        fed = offset
        rows = [row.rstrip() for row in screen.display]
        # pyte leaves the cursor one past the last column while a wrap is pending; the
        # terminal shows it on the last column.
        col = min(screen.cursor.x, COLUMNS - 1)
        result.append((rows, "%d %d" % (col, screen.cursor.y)))
    return result


def velmora_screen(replay, data, workdir):
    """Velmora's rows and cursor after replaying the bytes; raises RuntimeError on failure."""
    path = os.path.join(workdir, "prefix.vt100")
    with open(path, "wb") as f:
        f.write(data)
    proc = subprocess.run([replay, "--cursor", "--utf8", "--size", "%dx%d" % (COLUMNS, ROWS), path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if proc.returncode != 0:
        raise RuntimeError("velmora-replay exited %d: %s"
                           % (proc.returncode, proc.stderr.decode("utf-8", "replace").strip()))
    # Rows may hold control characters as cells, so split on the newline alone.
    lines = proc.stdout.decode("utf-8", "replace").split("\n")
    if len(lines) < ROWS + 1 or not lines[ROWS].startswith("cursor "):
        raise RuntimeError("unexpected velmora-replay output: %d lines, line %d is %r"
                           % (len(lines), ROWS + 1, lines[ROWS] if len(lines) > ROWS else None))
    rows = [row.rstrip() for row in lines[:ROWS]]
    return rows, lines[ROWS][len("cursor "):].strip()


def differences(velmora, pyte_state):
    """(row, velmora, pyte) for each row or cursor that differs."""
    v_rows, v_cursor = velmora
    p_rows, p_cursor = pyte_state
    found = []
    for r in range(ROWS):
        if v_rows[r] != p_rows[r]:
            found.append((r, v_rows[r], p_rows[r]))
    if v_cursor != p_cursor:
        found.append(("cursor", v_cursor, p_cursor))
    return found


def compare_capture(replay, directory, name, known, workdir):
    """Returns (passed, summary, detail lines)."""
    with open(os.path.join(directory, name + ".vt100"), "rb") as f:
        data = f.read()
    marks = read_marks(os.path.join(directory, name + ".marks"), len(data))
    expected = {(k.at, k.row): k for k in known}
    labels = [label for _, label in marks]
    detail = []
    for k in known:
        if k.at not in labels:
            detail.append("  listed difference at unknown moment %r (row %s)" % (k.at, k.row))

    seen = set()
    mismatched = set()  # listed, but the texts differ from the listed ones
    unexplained = 0
    for (offset, label), p_state in zip(marks, pyte_screens(data, marks)):
        v_state = velmora_screen(replay, data[:offset], workdir)
        for row, v_text, p_text in differences(v_state, p_state):
            k = expected.get((label, row))
            if k is not None and k.velmora == v_text and k.pyte == p_text:
                seen.add((label, row))
                continue
            unexplained += 1
            what = "cursor" if row == "cursor" else "row %d" % row
            detail.append("  at %s (byte %d), %s differs:" % (label, offset, what))
            detail.append("    velmora: %r" % v_text)
            detail.append("    pyte:    %r" % p_text)
            if k is not None:
                mismatched.add((label, row))
                detail.append("    listed as velmora %r, pyte %r (%s)" % (k.velmora, k.pyte, k.why))
    stale = [k for k in known
             if k.at in labels and (k.at, k.row) not in seen and (k.at, k.row) not in mismatched]
    for k in stale:
        what = "cursor" if k.row == "cursor" else "row %d" % k.row
        detail.append("  listed difference no longer seen at %s, %s: %s" % (k.at, what, k.why))
    passed = not detail
    summary = "%s %s: %d screens, %d bytes, %d listed differences" % (
        "PASS" if passed else "FAIL", name, len(marks), len(data), len(known))
    if unexplained:
        summary += ", %d unexplained" % unexplained
    if stale:
        summary += ", %d listed but not seen" % len(stale)
    return passed, summary, detail


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: compare_with_pyte.py VELMORA_REPLAY CAPTURE_DIR\n")
        return 2
    replay, directory = argv[1], argv[2]
    passed = failed = 0
    try:
        names = sorted(f[:-len(".vt100")] for f in os.listdir(directory) if f.endswith(".vt100"))
    except OSError as e:
        print("FAIL cannot list the captures: %s" % e)
        print("0 passed, 1 failed")
        return 1
    if not names:
        print("FAIL no captures (*.vt100) in %s" % directory)
        failed += 1
    for name in sorted(set(KNOWN) - set(names)):
        print("FAIL %s: listed in KNOWN but %s.vt100 is missing" % (name, name))
        failed += 1
    with tempfile.TemporaryDirectory(prefix="velmora-pyte-") as workdir:
        for name in names:
            try:
                ok, summary, detail = compare_capture(replay, directory, name,
                                                      KNOWN.get(name, []), workdir)
            except (OSError, ValueError, RuntimeError, subprocess.SubprocessError) as e:
                ok, summary, detail = False, "FAIL %s: %s" % (name, e), []
            print(summary)
            for line in detail:
                print(line)
            if ok:
                passed += 1
            else:
                failed += 1
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
