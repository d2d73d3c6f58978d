#!/usr/bin/python3
"""Record what real full-screen programs send to an 80x24 VT100, for replay tests.

Each session runs one program (vim, less, nano, top) on a pseudo-terminal sized 80x24 with
TERM=vt100 and LANG=C, types a fixed list of keys into it, and stores every byte the program
wrote as tests/data/captures/NAME.vt100. Beside it, NAME.marks lists the byte offsets at which
the program had finished answering a key (one "OFFSET LABEL" per line), so a test can check the
screen at those moments as well as at the end.

The programs see a fresh HOME with no start-up files, and vim, less and nano read a generated
file of 200 numbered lines, so their captures come out the same on each run as long as the
Debian package versions stay the same. top lists only a dozen idle helper processes the session
starts, but its summary lines (time, load, memory) differ from run to run; tests compare it
against another emulator fed the same bytes, so that does not matter.

After re-making a capture, run tests/vt100/compare_with_pyte.py: the differences it lists for
that capture may have to be brought up to date.

Re-make the captures (needs Debian's vim, less, nano and procps; apt-get install vim less nano
procps):

    /usr/bin/python3 tools/capture_session.py                  # all sessions
    /usr/bin/python3 tools/capture_session.py vim_scroll       # just one
    /usr/bin/python3 tools/capture_session.py --out /tmp/caps  # somewhere else

Keys are sent only after the program has been quiet for a moment, so a slow machine gives the
same vim and less bytes; it just takes longer.
"""

import argparse
import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

COLUMNS = 80
ROWS = 24

# How long the program must stay silent before its answer to a key counts as complete, and the
# longest wait for a single answer.
QUIET_SECONDS = 0.4
ANSWER_LIMIT_SECONDS = 10.0

CTRL_B = b"\x02"
CTRL_D = b"\x04"
CTRL_F = b"\x06"
CTRL_U = b"\x15"
ESC = b"\x1b"
# The arrow keys as a VT100 sends them with the keypad in application mode.
UP, DOWN, RIGHT, LEFT = b"\x1bOA", b"\x1bOB", b"\x1bOC", b"\x1bOD"


def numbered_text():
    """200 numbered lines: short ones, a few longer than a row, some with tabs, some empty."""
    words = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel",
             "india", "juliet", "kilo", "lima", "mike", "november", "oscar", "papa"]
    lines = []
    for n in range(1, 201):
        if n % 17 == 0:
            lines.append("")
            continue
        count = 2 + (n * 7) % 9
        text = " ".join(words[(n + i * 3) % len(words)] for i in range(count))
        if n % 23 == 0:
            # longer than one row: the program has to wrap or chop it
            text = text + " -- " + " ".join(words[(n * 5 + i) % len(words)] for i in range(14))
        if n % 11 == 0:
            text = text.replace(" ", "\t", 2)
        lines.append("%03d %s" % (n, text))
    return "\n".join(lines) + "\n"


# Each session: the command line, then the steps; a step is (label, keys to type). The label
# names the moment in the .marks file. A step with keys None only waits for the next burst of
# output (top redraws on its own once a second).
SESSIONS = {
    "vim_scroll": {
        "argv": ["vim", "-u", "NONE", "-i", "NONE", "-n", "-N", "numbers.txt"],
        "steps": [
            ("start", b""),
            ("page-down", CTRL_F),
            ("page-down-again", CTRL_F),
            ("page-up", CTRL_B),
            ("down-30", b"30j"),
            ("up-5", b"kkkkk"),
            ("half-page-down", CTRL_D),
            ("half-page-up", CTRL_U),
            ("insert-line", b"oinserted by the capture" + ESC),
            ("join-lines", b"3J"),
            ("delete-line", b"dd"),
            ("end-of-file", b"G"),
            ("scroll-back-up", b"20k"),
            ("top-of-file", b"gg"),
            ("line-down-at-bottom", b"Lj"),
            ("line-up-at-top", b"Hk"),
            ("split-window", b":split\r"),
            ("scroll-lines-down", b"\x05\x05\x05"),
            ("scroll-lines-up", b"\x19"),
            ("cursor-past-window", b"15j"),
            ("one-window", b":only\r"),
            ("quit", b":q!\r"),
        ],
    },
    "less_paging": {
        "argv": ["less", "numbers.txt"],
        "steps": [
            ("start", b""),
            ("page-forward", b" "),
            ("page-forward-again", b" "),
            ("line-forward", b"jjj"),
            ("page-back", b"b"),
            ("line-back", b"kk"),
            ("half-forward", b"d"),
            ("search", b"/oscar kilo\r"),
            ("end", b"G"),
            ("back-from-end", b"b"),
            ("start-of-file", b"g"),
            ("line-back-at-top", b"k"),
            ("quit", b"q"),
        ],
    },
    "nano_edit": {
        # nano draws through curses, whose cursor motion picks the shortest sequences:
        # relative moves, backspaces and line feeds as well as absolute addressing.
        "argv": ["nano", "--ignorercfiles", "--nohelp", "numbers.txt"],
        "steps": [
            ("start", b""),
            ("down-to-bottom", DOWN * 21),
            ("scroll-down", DOWN * 3),
            ("page-down", b"\x16"),
            ("up-to-top", UP * 22),
            ("scroll-up", UP * 2),
            ("right-along-line", RIGHT * 12),
            ("left-back", LEFT * 5),
            ("type-text", b"TYPED "),
            ("rub-out", b"\x7f\x7f\x7f"),
            ("cut-line", b"\x0b"),
            ("paste-line", b"\x15"),
            ("end-of-line", b"\x05"),
            ("long-line", b" and more text until the line no longer fits on one row of the screen"),
            ("go-to-line", b"\x1f150\r"),
            ("quit-asks", b"\x18"),
            ("quit-without-saving", b"n"),
        ],
    },
    "top_refresh": {
        # Only the session's own idle helpers are listed, so the capture shows no other
        # process of the machine; the summary lines at the top still change from run to run.
        "helpers": 12,
        "argv": ["top", "-d", "1", "-n", "3", "-p", "{helper_pids}"],
        "steps": [
            ("frame-1", None),
            ("frame-2", None),
            ("frame-3", None),
        ],
    },
}


def set_window_size(fd):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", ROWS, COLUMNS, 0, 0))


def read_until_quiet(fd, sink, quiet=QUIET_SECONDS, limit=ANSWER_LIMIT_SECONDS):
    """Read output until some has come and then nothing for `quiet` seconds, or for at most
    `limit` seconds in all; False once the program has ended."""
    start = time.monotonic()
    last = None
    while True:
        now = time.monotonic()
        if (last is not None and now - last >= quiet) or now - start >= limit:
            return True
        ready, _, _ = select.select([fd], [], [], 0.1)
        if not ready:
            continue
        try:
            data = os.read(fd, 65536)
        except OSError:
            return False  # the program has gone and the terminal closed
        if not data:
            return False
        sink.extend(data)
        last = time.monotonic()


def run_session(name, session, workdir):
    env = {
        "TERM": "vt100",
        "LANG": "C",
        "LC_ALL": "C",
        "HOME": workdir,
        "PATH": "/usr/bin:/bin",
        "LESSHISTFILE": "-",
        "SHELL": "/bin/sh",
    }
    helpers = [subprocess.Popen(["sleep", "600"], cwd=workdir)
               for _ in range(session.get("helpers", 0))]
    helper_pids = ",".join(str(h.pid) for h in helpers)
    argv = [a.replace("{helper_pids}", helper_pids) for a in session["argv"]]
    pid, fd = pty.fork()
    if pid == 0:
        try:
            os.chdir(workdir)
            set_window_size(0)
            os.execvpe(argv[0], argv, env)
        finally:
            os._exit(127)

    set_window_size(fd)
    output = bytearray()
    marks = []
    alive = True
    for label, keys in session["steps"]:
        if keys:
            os.write(fd, keys)
        if keys is None:
            # nothing to type: wait for the program to draw by itself, then for a pause
            if alive:
                alive = read_until_quiet(fd, output, quiet=0.6, limit=30.0)
        elif alive:
            alive = read_until_quiet(fd, output)
        marks.append((len(output), label))

    # Whatever the program still says on its way out belongs to the capture; one that does not
    # end by itself is stopped.
    for _ in range(3):
        if alive:
            alive = read_until_quiet(fd, output, quiet=1.0, limit=5.0)
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    os.waitpid(pid, 0)
    os.close(fd)
    for h in helpers:
        h.kill()
        h.wait()
    return bytes(output), marks


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    captures = os.path.normpath(os.path.join(here, "..", "tests", "data", "captures"))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("names", nargs="*", help="sessions to record (default: all): "
                        + ", ".join(SESSIONS))
    parser.add_argument("--out", default=captures,
                        help="where to write NAME.vt100 and NAME.marks")
    args = parser.parse_args()
    names = args.names or list(SESSIONS)
    for n in names:
        if n not in SESSIONS:
            parser.error("unknown session '%s'" % n)
    os.makedirs(args.out, exist_ok=True)

    for name in names:
        with tempfile.TemporaryDirectory(prefix="velmora-capture-") as workdir:
            with open(os.path.join(workdir, "numbers.txt"), "w") as f:
                f.write(numbered_text())
            data, marks = run_session(name, SESSIONS[name], workdir)
        path = os.path.join(args.out, name + ".vt100")
        with open(path, "wb") as f:
            f.write(data)
        with open(os.path.join(args.out, name + ".marks"), "w") as f:
            f.write("# byte offset in %s.vt100, then the moment it marks\n" % name)
            for offset, label in marks:
                f.write("%d %s\n" % (offset, label))
        print("%s: %d bytes, %d marks" % (path, len(data), len(marks)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
