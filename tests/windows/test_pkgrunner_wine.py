#!/usr/bin/env python3
"""pkgrunner.exe under wine, with record_child.exe as its children and
box_reader.exe reading its error boxes. Usage:
    test_pkgrunner_wine.py --wine LOADER --build BUILD_DIR
The wine prefix (WINEPREFIX) must have the graphics driver "null"."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

RUN_TIMEOUT = 60
# Within the run's time-out: a launcher still running then is reported as such.
BOX_LIMIT_MS = 40000


class Launcher:
    def __init__(self, wine, build):
        self.wine = wine
        self.launcher = os.path.join(build, "pkgrunner", "pkgrunner.exe")
        self.child = os.path.join(build, "tests", "windows", "record_child.exe")
        self.box_reader = os.path.join(build, "tests", "windows", "box_reader.exe")
        self.mibcli = os.path.join(build, "snmptool", "mibcli.exe")
        self.made = []

    def directory(self, packages, answer_files, deployer=True, broken=()):
        where = tempfile.mkdtemp(prefix="pkgrunner-wine-")
        self.made.append(where)
        for name in packages + (["deployer.exe"] if deployer else []):
            shutil.copy(self.child, os.path.join(where, name))
        for name in list(answer_files) + list(broken):
            with open(os.path.join(where, name), "w") as handle:
                handle.write("not a program\n")
        return where

    def run(self, where, arguments, program=None, limit_ms=BOX_LIMIT_MS, key=()):
        """Runs the launcher (or program) with this argument text under box_reader.exe, which
        answers its boxes (or presses key); returns its status, the children's records and the
        boxes that appeared (each 'caption|text|icon=I topmost=T')."""
        reader = [self.wine, self.box_reader, str(limit_ms), program or self.launcher, arguments]
        reader += key
        out = subprocess.run(reader, cwd=where, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             timeout=RUN_TIMEOUT).stdout
        lines = out.decode().replace("\r\n", "\n").splitlines() or ["no output"]
        last = lines.pop()
        return int(last[7:]) if last.startswith("status ") else last, self.records(where), lines

    @staticmethod
    def records(where):
        path = os.path.join(where, "children.log")
        lines = open(path, "rb").read().decode().splitlines() if os.path.exists(path) else []
        return [(f[0], int(f[1]), int(f[2])) for f in (line.split("\t") for line in lines)]


def check(failures, name, condition, detail):
    print("%s %s" % ("pass" if condition else "FAIL", name))
    if not condition:
        failures.append(name)
        print("  " + detail)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--build", required=True)
    options = parser.parse_args()
    launcher = Launcher(options.wine, os.path.abspath(options.build))
    failures = []

    # Both passes, in order, one child at a time, command lines to the byte; the
    # argument text is handed on as the launcher got it (the blanks inside the
    # quotes stay two).
    where = launcher.directory(["qx005678.exe", "qx001234.exe"], ["b.ini", "a.ini"])
    status, records, _ = launcher.run(where, '"x  y" /silent')
    lines = [r[0] for r in records]
    expected = ['qx001234.exe "x  y" /silent', 'qx005678.exe "x  y" /silent',
                'deployer.exe "x  y" /silent /a a.ini', 'deployer.exe "x  y" /silent /a b.ini']
    overlaps = [i for i in range(1, len(records)) if records[i][1] < records[i - 1][2]]
    check(failures, "order, command lines, one child at a time", status == 0 and
          lines == expected and not overlaps, "status %r, records %r" % (status, records))

    # No arguments: the package line ends in its blank, two blanks before /a.
    where = launcher.directory(["qx001234.exe"], ["a.ini"])
    status, records, _ = launcher.run(where, "")
    lines = [r[0] for r in records]
    check(failures, "empty arguments", lines == ["qx001234.exe ", "deployer.exe  /a a.ini"],
          "command lines %r" % (lines,))

    # A child that cannot start and a missing setup tool: one real box each, caption
    # "Error", no icon, not on top of other programs' windows; the run goes on, status 0.
    where = launcher.directory(["qx001.exe"], ["a.ini"], deployer=False, broken=["qx002bad.exe"])
    status, records, boxes = launcher.run(where, "now")
    check(failures, "error boxes", status == 0 and boxes == [
        "Error|Unable to start %s|icon=0 topmost=0" % name for name in ("qx002bad.exe", "a.ini")]
          and [r[0] for r in records] == ["qx001.exe now"],
          "status %r, boxes %r, records %r" % (status, boxes, records))

    # The same with the arguments ending in /silent: no box at all (one would hold the
    # launcher until the reader pressed OK).
    status, _, boxes = launcher.run(where, "now/silent")
    check(failures, "silent", status == 0 and boxes == [], "status %r, boxes %r" % (status, boxes))

    # WM_QUIT posted to the launcher's thread while a child runs: its wParam is
    # the status, at once, and nothing more is started.
    where = launcher.directory(["qx001quit.exe", "qx002.exe"], ["a.ini"])
    status, _, _ = launcher.run(where, "q")
    # The child goes on (300 ms) after the launcher has ended; a second child
    # would have started by now.
    time.sleep(1.5)
    lines = [r[0] for r in Launcher.records(where)]
    check(failures, "WM_QUIT", status == 77 and lines == ["qx001quit.exe q"],
          "status %r, command lines %r" % (status, lines))

    # mibcli.exe trap (on a port the system picks) in a console of its own: Escape pressed
    # there ends it with status 0; F1 (read as two codes) does not, and the reader ends it.
    os.environ["MIBCLI_TRAP_ADDRESS"] = "127.0.0.1:0"

    def trap_ends(key, limit):
        # Under load wine has been seen to lose the reader itself (it ends
        # printing nothing, not even a status): that run says nothing of
        # mibcli, so it is tried once more.
        end = launcher.run(where, "trap", launcher.mibcli, limit, [key])[0]
        if end == "no output":
            end = launcher.run(where, "trap", launcher.mibcli, limit, [key])[0]
        return end

    ends = [trap_ends(key, limit) for key, limit in (("27", 10000), ("112", 2500))]
    check(failures, "Escape ends trap", ends == [0, "still running"], "ends %r" % (ends,))

    for where in launcher.made:
        shutil.rmtree(where, ignore_errors=True)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
