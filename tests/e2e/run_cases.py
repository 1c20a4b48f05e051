#!/usr/bin/env python3
"""Runs end-to-end cases of mibcli: each case file says which agents to start,
which files to create, the command line, and the exact standard output, standard
error and exit status expected (tests/e2e/README.md describes the format).

Every wait is bounded, and every process the runner starts is stopped again, on
success, on failure and on Ctrl+C."""

import argparse
import difflib
import json
import os
import re
import shlex
import shutil
import signal
import socket
import select
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
INCLUDE_DIR = os.path.join(HERE, "include")

READY_TIMEOUT = 10.0
WAIT_STEP_TIMEOUT = 10.0
RUN_STEP_TIMEOUT = 20.0
STOP_TIMEOUT = 5.0
DEFAULT_RUN_TIMEOUT_MS = 20000
# Under valgrind the tool runs many times slower; its waits grow by this much.
VALGRIND_SLOWDOWN = 10

BYTE_SECTIONS = {"stdout", "stderr", "file", "agent.objects", "agent-log", "children"}
KEYED_SECTIONS = {"agent", "env", "actions", "snmpd", "pkgrunner", "each"}
LINE_SECTIONS = {"title", "args", "timeout", "exit", "stdout-to", "not-on-windows"}
KNOWN_SECTIONS = BYTE_SECTIONS | KEYED_SECTIONS | LINE_SECTIONS
HEADER = re.compile(rb"^\[([a-z0-9.\-]+)((?: [^\]\s]+)*)\]\r?$")
EXIT_ALIASES = {-1: 255, -2: 254}
# The start of run_case's answer for a case that does not run under --wine.
SKIPPED = "skipped: "
# Fixed texts that many cases share, as placeholders.
BANNER = "\nmibcli - Simple Network Management Protocol Tool for Win32\n"
FIXED_TEXTS = {
    "banner": BANNER,
    "ok": "  ErrorStatus: 0 (No Error)\n   ErrorIndex: 0",
    "timedout": BANNER + "\n\nmibcli: No response from agent (Request timed out).\n\n"
                "Verify the IP address and community name are correct and try pinging the host.",
}
# A fake package of a [pkgrunner] case: logs its name and arguments to
# children.log, and any overlap with another child that is still running.
FAKE_CHILD = """#!/bin/sh
[ -e running ] && echo overlap >> children.log
: > running
line="$(basename "$0")"
for a in "$@"; do line="$line [$a]"; done
printf '%s\\n' "$line" >> children.log
sleep 0.1
rm -f running
exit 3
"""


class CaseError(Exception):
    """The case itself is wrong, or something it needs could not be had."""


class Section:
    def __init__(self, name, argument, flags, lines=None):
        self.name = name
        self.argument = argument
        self.flags = flags
        self.lines = lines if lines is not None else []


def parse_case(path):
    """Splits a case file into its sections, in order."""
    with open(path, "rb") as handle:
        lines = handle.read().split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    sections = []
    current = None
    for line in lines:
        match = HEADER.match(line)
        if match and match.group(1).decode() in KNOWN_SECTIONS:
            name = match.group(1).decode()
            words = match.group(2).decode().split()
            argument = None
            if name == "file":
                if not words:
                    raise CaseError("[file] needs a name")
                argument = words.pop(0)
            unknown = [w for w in words if w not in ("noeol", "each", "exec", "dir", "unchecked", "private", "json")]
            if unknown:
                raise CaseError("unknown flag %s in [%s]" % (unknown[0], name))
            current = Section(name, argument, set(words))
            sections.append(current)
        elif current is not None:
            current.lines.append(line)
    return sections


ESCAPE = re.compile(rb"\\(?:([nrt\\])|x([0-9a-fA-F]{2}))")
ESCAPED = {b"n": b"\n", b"r": b"\r", b"t": b"\t", b"\\": b"\\"}


def unescape(data):
    r"""\n \r \t \xHH \\ in a byte string; any other backslash stays."""
    return ESCAPE.sub(lambda m: ESCAPED[m.group(1)] if m.group(1) else bytes([int(m.group(2), 16)]), data)


def fill(data, values):
    """Fills the known {placeholders}; other braces stay as they are."""
    def replace(match):
        if match.group(2):
            return match.group(2) * int(match.group(3))
        key = match.group(1).decode()
        text = values.get(key, FIXED_TEXTS.get(key))
        return text.encode() if text is not None else match.group(0)
    return re.sub(rb"\{([a-z0-9]+)\}|\{(.)\*(\d+)\}", replace, data)


def expand_line(line, values):
    """One line of a byte section. `%binding NAME OID [TYPE VALUE]` stands for the
    Name and OID lines of a printed binding (and the Type and Value lines of a
    value without length), `%binding NAME OID octets LENGTH BINARY [TEXT]` for
    those of an OCTET STRING; `%varbind N ...` puts the heading of binding N first."""
    line = unescape(fill(line, values))
    heading = b""
    if line.startswith(b"%varbind "):
        number, line = line.split(b" ", 2)[1:]
        heading, line = b"    varbind %s: \n" % number, b"%binding " + line
    if not line.startswith(b"%binding "):
        return line + b"\n"
    words = line.split(b" ", 6)
    text = heading + b"         Name: %s \n          OID: %s \n" % tuple(words[1:3])
    if words[3:4] == [b"octets"]:
        value = words[6] if len(words) > 6 else b""
        return text + (b"         Type: OCTET STRING\n       Length: %s\n        Value: %s \n"
                       b" Binary Value: %s\n" % (words[4], value, words[5]))
    return text + (b"         Type: %s\n        Value: %s \n" % tuple(words[3:5]) if words[3:] else b"")


def repeated(lines, values):
    """The lines, each with its values: `%repeat N` ... `%end` gives the lines
    between N times, {n} counting from 1 ({n0} from 0)."""
    lines = list(lines)
    while lines:
        line = lines.pop(0)
        if not line.startswith(b"%repeat "):
            yield line, values
            continue
        end = lines.index(b"%end")
        body, lines = lines[:end], lines[end + 1:]
        for n in range(1, int(line.split()[1]) + 1):
            numbered = dict(values, n=str(n), n0=str(n - 1))
            yield from ((l, numbered) for l in body)


def section_bytes(section, values):
    """The exact bytes a byte section stands for."""
    out = bytearray()  # grows in place: a %repeat may give megabytes
    for line, numbered in repeated(section.lines, values):
        if line.startswith(b"%include "):
            name = line[len(b"%include "):].decode().strip()
            path = os.path.join(INCLUDE_DIR, name)
            if not os.path.isfile(path):
                raise CaseError("no include file %s" % name)
            with open(path, "rb") as handle:
                out += fill(handle.read(), numbered)
            continue
        out += expand_line(line, numbered)
    if "noeol" in section.flags and out.endswith(b"\n"):
        out = out[:-1]
    return bytes(out)


def keyed_lines(section, values):
    """The non-empty, non-comment lines of a key/value section, filled (%repeat too)."""
    result = []
    for line, numbered in repeated(section.lines, values):
        text = fill(line, numbered).decode("utf-8", "surrogateescape").strip()
        if text and not text.startswith("#"):
            result.append(text)
    return result


class Stream:
    """Collects a pipe's bytes on a thread so that the runner can wait for text.

    With `writer` (the runner's own copy of the pipe's write end) the pipe can
    be stalled: reading stops and the pipe is filled up, so that the program's
    next write blocks; the filler is left out of what was collected."""

    def __init__(self, pipe, writer=None):
        self.data = bytearray()
        self.closed = False
        self.paused = False
        self.writer = writer
        self.filler = (0, 0)  # offset and size of the runner's own bytes
        self.lock = threading.Condition()
        self.pipe = pipe  # kept open while the thread reads its descriptor
        self.thread = threading.Thread(target=self._pump, args=(pipe.fileno(),), daemon=True)
        self.thread.start()

    def _pump(self, fd):
        while True:
            readable, _, _ = select.select([fd], [], [], 0.05)
            with self.lock:
                if self.paused or not readable:
                    continue
                # Under the lock: once stall() holds it, nothing more is read.
                chunk = os.read(fd, 65536)
                if not chunk:
                    self.closed = True
                    self.lock.notify_all()
                    return
                self.data += chunk
                self.lock.notify_all()

    def wait_for(self, text, timeout):
        deadline = time.monotonic() + timeout
        with self.lock:
            # Only what came since the last look is searched again.
            start = 0
            while self.data.find(text, start) < 0:
                start = max(0, len(self.data) - len(text))
                left = deadline - time.monotonic()
                if self.closed or left <= 0:
                    return False
                self.lock.wait(left)
            return True

    def stall(self):
        with self.lock:
            self.paused = True
            offset = len(self.data)
        # A description of its own, opened through /proc: O_NONBLOCK on the
        # program's would make its own writes fail instead of block.
        filling = os.open("/proc/self/fd/%d" % self.writer, os.O_WRONLY | os.O_NONBLOCK)
        self.close_writer()
        size = 0
        for chunk in (b"\0" * 4096, b"\0"):
            try:
                while True:
                    size += os.write(filling, chunk)
            except BlockingIOError:
                pass
        os.close(filling)
        self.filler = (offset, size)

    def resume(self):
        with self.lock:
            self.paused = False

    def close_writer(self):
        if self.writer is not None:
            os.close(self.writer)
            self.writer = None

    def finish(self, timeout):
        self.close_writer()
        self.thread.join(timeout)
        offset, size = self.filler
        return bytes(self.data[:offset] + self.data[offset + size:])


def udp_queue_empty(port):
    """True when no socket bound to the loopback port holds unread datagrams."""
    for table in ("/proc/net/udp", "/proc/net/udp6"):
        with open(table) as handle:
            for line in handle.readlines()[1:]:
                fields = line.split()
                if int(fields[1].split(":")[1], 16) == port and int(fields[4].split(":")[1], 16) != 0:
                    return False
    return True


def stop_process(process):
    """SIGTERM, then SIGKILL after a bounded wait; always reaped."""
    if process.poll() is not None:
        return process.returncode
    try:
        process.send_signal(signal.SIGTERM)
        return process.wait(STOP_TIMEOUT)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait(STOP_TIMEOUT)


class Agents:
    """The agents of one case; stop_all() stops every one that was started."""

    def __init__(self, agent_bin, tmp):
        self.agent_bin = agent_bin
        self.tmp = tmp
        self.processes = []
        self.sockets = []  # ports bound for snmpd, closed once it is stopped

    def start_test_agent(self, label, options, objects):
        argv = [self.agent_bin, "serve", "--log", os.path.join(self.tmp, label + ".log")]
        listen = "127.0.0.1:0"
        for line in options:
            key, _, value = line.partition(" ")
            value = value.strip()
            if key in ("behave", "community", "agents", "dead", "slow", "table"):
                argv += ["--" + key, value]
            elif key == "listen":
                listen = value
            else:
                raise CaseError("unknown agent line '%s'" % line)
        if objects is not None:
            path = os.path.join(self.tmp, label + ".objects")
            with open(path, "wb") as handle:
                handle.write(objects)
            argv += ["--objects", path]
        argv += ["--listen", listen]
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, start_new_session=True)
        self.processes.append(process)
        out = Stream(process.stdout)
        err = Stream(process.stderr)
        if not out.wait_for(b"\n", READY_TIMEOUT):
            raise CaseError("%s did not become ready: %s" % (label, err.finish(1).decode(errors="replace")))
        match = re.match(rb"ready (\d+)\n", out.finish(0) if out.closed else out.data)
        if not match:
            raise CaseError("%s said %r" % (label, out.data))
        port = match.group(1).decode()
        host = "[::1]" if listen.startswith("[") else "127.0.0.1"
        return "%s:%s" % (host, port), port

    def start_snmpd(self, extra_lines):
        """Starts the system's snmpd on a free loopback port with a configuration
        of its own (public read, private write, the section's lines added)."""
        snmpd = "/usr/sbin/snmpd"
        if not os.access(snmpd, os.X_OK):
            raise CaseError("%s is not installed (Debian package snmpd)" % snmpd)
        persist = os.path.join(self.tmp, "snmpd-persist")
        os.makedirs(persist, exist_ok=True)
        # The port is bound here and handed to snmpd as an inherited socket
        # (systemd's socket passing: descriptor 3, LISTEN_FDS and LISTEN_PID),
        # which it takes for the agentAddress of that port: no other process
        # can take the port between choosing it and serving on it.
        listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        listener.bind(("127.0.0.1", 0))
        self.sockets.append(listener)
        port = str(listener.getsockname()[1])
        address = "127.0.0.1:" + port
        # Its own port is known only now (a proxy line may name it).
        extra_lines = [line.replace("{snmpdport}", port) for line in extra_lines]
        config = os.path.join(self.tmp, "snmpd.conf")
        with open(config, "w") as handle:
            handle.write("agentAddress udp:%s\nrocommunity public 127.0.0.1\n"
                         "rwcommunity private 127.0.0.1\npersistentDir %s\n%s\n"
                         % (address, persist, "\n".join(extra_lines)))
        env = dict(os.environ, SNMP_PERSISTENT_DIR=persist, MIBS="")
        handover = 'exec 3<&"$1"; shift; export LISTEN_PID=$$ LISTEN_FDS=1; exec "$@"'
        process = subprocess.Popen(["bash", "-c", handover, "snmpd", str(listener.fileno()), snmpd,
                                    "-f", "-Lo", "-C", "-c", config,
                                    "-p", os.path.join(self.tmp, "snmpd.pid")],
                                   pass_fds=(listener.fileno(),), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env,
                                   start_new_session=True)
        self.processes.append(process)
        said = Stream(process.stdout)
        deadline = time.monotonic() + READY_TIMEOUT
        while time.monotonic() < deadline and process.poll() is None:
            probe = subprocess.run(["snmpget", "-v1", "-c", "public", "-r0", "-t0.2", "-On",
                                    address, "1.3.6.1.2.1.1.3.0"], stdin=subprocess.DEVNULL,
                                   capture_output=True)
            if probe.returncode == 0:
                return address, port
        raise CaseError("snmpd did not answer: %s" % said.finish(1).decode(errors="replace"))

    def stop_all(self):
        """Stops every agent; returns the complaints about those that did not end well."""
        complaints = []
        for process in self.processes:
            code = stop_process(process)
            if code != 0 and process.args[0] == self.agent_bin:
                complaints.append("the test agent ended with %s" % describe_exit(code))
        self.processes = []
        for listener in self.sockets:
            listener.close()
        self.sockets = []
        return complaints


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def signal_number(name):
    number = getattr(signal, "SIG" + name.upper().removeprefix("SIG"), None)
    if number is None:
        raise CaseError("unknown signal %s" % name)
    return number


def expected_exit(text):
    words = text.split()
    if len(words) == 2 and words[0] == "signal":
        return ("signal", signal_number(words[1]))
    if not re.fullmatch(r"-?\d+", text):
        raise CaseError("bad [exit] '%s'" % text)
    return ("exit", EXIT_ALIASES.get(int(text), int(text)))


def describe_exit(returncode):
    if returncode < 0:
        return "signal %s" % signal.Signals(-returncode).name
    return "exit %d" % returncode


TIME_STAMP = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z")


def json_lines(data):
    """[stdout json]: jq must read the output, and every line must be one object
    whose time is an RFC 3339 UTC stamp; the lines come back as Python writes them,
    the stamp as "T" and a notification's sender port as "P"."""
    if subprocess.run(["jq", "."], input=data, capture_output=True).returncode != 0:
        return b"jq could not read it:\n" + data
    out = []
    for line in data.decode("utf-8", "replace").split("\n")[:-1]:
        try:
            record = json.loads(line)
        except ValueError:
            return b"not JSON: " + line.encode()
        if TIME_STAMP.fullmatch(str(record.get("time"))):
            record["time"] = "T"
        if "from" in record:
            record["from"] = re.sub(r":\d+$", ":P", record["from"])
        out.append(json.dumps(record, ensure_ascii=False, separators=(",", ":")) + "\n")
    return "".join(out).encode()


def show_difference(label, expected, actual):
    """A unified diff of the two byte strings and the first differing offset."""
    offset = next((i for i in range(min(len(expected), len(actual))) if expected[i] != actual[i]),
                  min(len(expected), len(actual)))
    lines = ["--- %s differs at byte %d (expected %d bytes, got %d)" % (label, offset, len(expected), len(actual)),
             "    expected: %r" % expected[max(0, offset - 16):offset + 24],
             "    actual:   %r" % actual[max(0, offset - 16):offset + 24]]
    # The diff starts a few lines before the first difference and covers a
    # bounded stretch: a diff of megabytes of output would take the runner minutes.
    start = expected.rfind(b"\n", 0, max(0, expected.rfind(b"\n", 0, offset) - 200)) + 1
    diff = difflib.diff_bytes(difflib.unified_diff, expected[start:start + 20000].splitlines(True),
                              actual[start:start + 20000].splitlines(True),
                              b"expected " + label.encode(), b"actual " + label.encode())
    for line in diff:
        text = line.decode("utf-8", "backslashreplace")
        lines.append(text if text.endswith("\n") else text + "\\ (no newline)\n")
    return "\n".join(l.rstrip("\n") for l in lines) + "\n"


class Runner:
    def __init__(self, options):
        self.options = options
        self.scale = VALGRIND_SLOWDOWN if options.valgrind else 1
        # The wine loader for a Windows mibcli.exe (--wine), or None.
        self.wine = getattr(options, "wine", None)

    def run_case(self, path):
        """Runs one case; returns None when it passed, else the report text."""
        sections = parse_case(path)
        by_name = {}
        for section in sections:
            if section.name != "file":
                if section.name in by_name:
                    raise CaseError("[%s] given twice" % section.name)
                by_name[section.name] = section
        if self.wine and "pkgrunner" in by_name:
            return SKIPPED + "its packages are POSIX scripts; tests/windows runs pkgrunner.exe with Windows children"
        if self.wine and "not-on-windows" in by_name:
            reason = keyed_text(by_name, "not-on-windows")
            if not reason:
                raise CaseError("[not-on-windows] must give its reason")
            return SKIPPED + reason
        variants = keyed_lines(by_name["each"], {}) if "each" in by_name else [None]
        reports = []
        for variant in variants:
            report = self.run_variant(sections, dict(by_name), variant)
            if report and variant is not None:
                report = "with {each} = %s:\n%s" % (variant, report)
            reports += [report] if report else []
        return "\n".join(reports) or None

    def run_variant(self, sections, by_name, variant):
        """One run of the case ([each] makes several, {each} filled in each)."""
        tmp = tempfile.mkdtemp(prefix="mibcli-e2e-")
        agents = Agents(self.options.agent, tmp)
        trap_port = str(free_udp_port())
        values = {"trapport": trap_port, "trapaddr": "127.0.0.1:" + trap_port, "agentbin": self.options.agent,
                  "tmp": tmp, "pathsep": ";" if self.wine else ":",
                  # Escaped: byte sections read a backslash as the start of one.
                  "dirsep": "\\\\" if self.wine else "/"}
        if variant is not None:
            values["each"] = variant
            values.update(("each%d" % (i + 1), word) for i, word in enumerate(variant.split()))
        try:
            objects = by_name.get("agent.objects")
            if "agent" in by_name or objects is not None:
                options = keyed_lines(by_name["agent"], values) if "agent" in by_name else []
                content = section_bytes(objects, values) if objects is not None else None
                values["agent"], values["agentport"] = agents.start_test_agent("agent", options, content)
            if "snmpd" in by_name:
                values["snmpd"], values["snmpdport"] = agents.start_snmpd(keyed_lines(by_name["snmpd"], values))
            for section in sections:
                if section.name == "file":
                    path = os.path.join(os.fsencode(tmp), unescape(fill(section.argument.encode(), values)))
                    if "dir" in section.flags:
                        os.mkdir(path)
                        continue
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    with open(path, "wb") as handle:
                        handle.write(section_bytes(section, values))
                    os.chmod(path, 0o755 if "exec" in section.flags else 0o600 if "private" in section.flags else 0o644)
            for name in keyed_lines(by_name["pkgrunner"], values) if "pkgrunner" in by_name else []:
                with open(os.path.join(tmp, name), "w") as handle:
                    handle.write(FAKE_CHILD)
                os.chmod(os.path.join(tmp, name), 0o755)
            # [args each]: every line is a run of its own, with the same expectations.
            args = by_name.get("args")
            runs = [[line] for line in args.lines] if args is not None and "each" in args.flags else [None]
            while len(runs) > 1 and runs[-1] == [b""]:
                runs.pop()
            reports = []
            # [stdout each]: line K is the whole standard output of run K.
            per_run = by_name.get("stdout")
            if per_run is None or "each" not in per_run.flags:
                per_run = None
            elif len(per_run.lines) != len(runs):
                raise CaseError("[stdout each] needs one line per run")
            for number, lines in enumerate(runs):
                if lines is not None:
                    by_name["args"] = Section("args", None, set(), lines)
                if per_run is not None:
                    by_name["stdout"] = Section("stdout", None, per_run.flags - {"each"},
                                                [per_run.lines[number]])
                report = self.run_tool(by_name, values, tmp)
                if report and lines is not None:
                    report = "with the arguments '%s':\n%s" % (lines[0].decode(errors="replace"), report)
                reports += [report] if report else []
            report = "\n".join(reports)
        finally:
            complaints = agents.stop_all()
            shutil.rmtree(tmp, ignore_errors=True)
        return "\n".join([report] + complaints if report else complaints)

    def command_words(self, by_name, values):
        if "args" in by_name:
            text = b" ".join(fill(line, values) for line in by_name["args"].lines)
            return [os.fsencode(word) for word in shlex.split(os.fsdecode(text))]
        return []

    def run_tool(self, by_name, values, tmp):
        words = self.command_words(by_name, values)
        # Only what the agent logs during this run counts (an [args each] case runs several times).
        log_path = os.path.join(tmp, "agent.log")
        log_start = os.path.getsize(log_path) if os.path.exists(log_path) else 0
        prefix = []
        valgrind_log = os.path.join(tmp, "valgrind.log")
        # Only mibcli: valgrind's process creation starts files the launcher must refuse.
        if self.options.valgrind and "pkgrunner" not in by_name:
            prefix = ["valgrind", "--leak-check=full", "--error-exitcode=99",
                      "--errors-for-leak-kinds=definite", "--log-file=" + valgrind_log]
        if self.wine:
            prefix = [self.wine]
        env = dict(os.environ)
        if self.wine:
            env.setdefault("WINEDEBUG", "-all")
        # No case depends on the machine's MIB files or the user's cache unless
        # its [env] says so: an empty module directory and a cache of its own.
        env["MIBCLI_MIBDIRS"] = os.path.join(tmp, "no-mibs")
        env["XDG_CACHE_HOME"] = os.path.join(tmp, "cache")
        os.makedirs(env["MIBCLI_MIBDIRS"], exist_ok=True)
        if "env" in by_name:
            for line in keyed_lines(by_name["env"], values):
                name, _, value = line.partition("=")
                env[name] = value
        timeout_ms = int(keyed_text(by_name, "timeout") or DEFAULT_RUN_TIMEOUT_MS) * self.scale
        program = self.options.pkgrunner if "pkgrunner" in by_name else self.options.mibcli
        argv = [os.fsencode(w) for w in prefix] + [os.fsencode(program)] + words
        # [stdout-to PATH]: standard output goes to that file (e.g. /dev/full) instead of a pipe.
        stdout_to = keyed_text(by_name, "stdout-to")
        # The runner keeps a write end of standard output's pipe for stall-stdout.
        reader, writer = os.pipe()
        with open(stdout_to, "wb") if stdout_to else open(os.devnull, "rb") as target:
            process = subprocess.Popen(argv, cwd=tmp, env=env, stdin=subprocess.DEVNULL,
                                       stdout=target if stdout_to else writer,
                                       stderr=subprocess.PIPE, start_new_session=True)
        if stdout_to:
            os.close(reader)
            reader = os.open(os.devnull, os.O_RDONLY)
        if stdout_to or b"stall-stdout" not in b"\n".join(by_name["actions"].lines if "actions" in by_name else []):
            os.close(writer)
            writer = None
        problems = []
        try:
            out = Stream(os.fdopen(reader, "rb"), writer)
            err = Stream(process.stderr)
            if "actions" in by_name:
                problems += self.run_actions(keyed_lines(by_name["actions"], values), process, out, err, tmp)
            try:
                process.wait(timeout_ms / 1000.0)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(STOP_TIMEOUT)
                problems.append("mibcli was still running after %d ms and was killed" % timeout_ms)
            out_bytes = out.finish(STOP_TIMEOUT)
            err_bytes = err.finish(STOP_TIMEOUT)
            if self.wine:
                # A Windows program writes its line ends in text mode as CR LF.
                out_bytes = out_bytes.replace(b"\r\n", b"\n")
                err_bytes = err_bytes.replace(b"\r\n", b"\n")
        finally:
            if process.poll() is None:
                process.kill()
                process.wait(STOP_TIMEOUT)
            # What it started and left running (a package that stays) goes too.
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        kind, code = expected_exit(fill(keyed_text(by_name, "exit").encode(), values).decode() or "0")
        want = code if kind == "exit" else -code
        if process.returncode != want:
            if self.options.valgrind and process.returncode == 99 and os.path.exists(valgrind_log):
                with open(valgrind_log, errors="replace") as handle:
                    problems.append("valgrind found errors:\n" + handle.read())
            else:
                problems.append("expected %s, got %s" % (describe_exit(want), describe_exit(process.returncode)))
        # A stream without a section must be empty; children only of pkgrunner,
        # the agent's log only when the case says what it holds.
        checked = {"stdout": out_bytes, "stderr": err_bytes}
        if "pkgrunner" in by_name:
            checked["children"] = read_file(os.path.join(tmp, "children.log"))
        if "agent-log" in by_name:
            checked["agent-log"] = read_file(log_path)[log_start:]
        for name, actual in checked.items():
            section = by_name.get(name)
            if section is not None and "unchecked" in section.flags:
                continue
            expected = section_bytes(section, values) if section is not None else b""
            if section is not None and "json" in section.flags:
                actual = json_lines(actual)
            if expected != actual:
                problems.append(show_difference(name, expected, actual))
        return "\n".join(problems)

    def run_actions(self, steps, process, out, err, tmp):
        for step in steps:
            words = shlex.split(step)
            verb, args = words[0], words[1:]
            if verb == "wait-log":
                verb, args = "wait-file", ["agent.log"] + args
            if verb in ("wait-stdout", "wait-stderr"):
                stream = out if verb == "wait-stdout" else err
                text = unescape(os.fsencode(" ".join(args)))
                if self.wine:
                    text = text.replace(b"\n", b"\r\n")  # the Windows program's line ends
                if not stream.wait_for(text, WAIT_STEP_TIMEOUT * self.scale):
                    return ["%s: %r did not appear" % (verb, text)]
            elif verb == "wait-file":
                if not wait_for_file_text(os.path.join(tmp, args[0]), os.fsencode(" ".join(args[1:])),
                                          WAIT_STEP_TIMEOUT * self.scale):
                    return ["%s: %r did not appear in %s" % (verb, " ".join(args[1:]), args[0])]
            elif verb == "wait-asleep":
                # The program's main thread blocked (in a sleep between polls).
                if not wait_until(lambda: thread_state(process.pid) == "S", WAIT_STEP_TIMEOUT * self.scale):
                    return ["wait-asleep: the program did not go to sleep"]
            elif verb == "max-rss":
                # The program's peak resident size so far must stay under KiB.
                with open("/proc/%d/status" % process.pid) as handle:
                    peak = int(re.search(r"VmHWM:\s+(\d+)", handle.read()).group(1))
                if peak >= int(args[0]) * self.scale:
                    return ["max-rss: peak %d KiB, limit %s KiB" % (peak, args[0])]
            elif verb == "stall-stdout":
                out.stall()
            elif verb == "resume-stdout":
                out.resume()
            elif verb == "wait-udp-empty":
                if not wait_until(lambda: udp_queue_empty(int(args[0])), WAIT_STEP_TIMEOUT * self.scale):
                    return ["wait-udp-empty: datagrams stayed unread on port %s" % args[0]]
            elif verb == "signal":
                if process.poll() is None:
                    process.send_signal(signal_number(args[0]))
            elif verb == "run":
                try:
                    done = subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True,
                                          timeout=RUN_STEP_TIMEOUT)
                except subprocess.TimeoutExpired:
                    return ["run: %s did not end within %d s" % (args[0], RUN_STEP_TIMEOUT)]
                if done.returncode != 0:
                    return ["run: %s ended with %s: %s" % (" ".join(args), describe_exit(done.returncode),
                                                           done.stderr.decode(errors="replace"))]
            else:
                raise CaseError("unknown action '%s'" % verb)
        return []


def keyed_text(by_name, name):
    section = by_name.get(name)
    if section is None:
        return ""
    return b"\n".join(section.lines).decode().strip()


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.02)
    return False


def read_file(path):
    """The file's bytes; none when it does not exist."""
    if not os.path.exists(path):
        return b""
    with open(path, "rb") as handle:
        return handle.read()


def wait_for_file_text(path, text, timeout):
    return wait_until(lambda: text in read_file(path), timeout)


def thread_state(pid):
    try:
        with open("/proc/%d/task/%d/stat" % (pid, pid)) as handle:
            return handle.read().rsplit(")", 1)[1].split()[0]
    except OSError:
        return None


def collect_cases(paths):
    cases = []
    for path in paths:
        if os.path.isdir(path):
            cases += sorted(os.path.join(path, name) for name in os.listdir(path) if name.endswith(".case"))
        else:
            cases.append(path)
    return cases


def main():
    parser = argparse.ArgumentParser(description="Run mibcli end-to-end cases.")
    parser.add_argument("--mibcli", required=True, help="the mibcli program")
    parser.add_argument("--agent", required=True, help="the snmp-test-agent program")
    parser.add_argument("--pkgrunner", default="pkgrunner", help="the pkgrunner program")
    parser.add_argument("--valgrind", action="store_true", help="run mibcli under valgrind")
    parser.add_argument("--wine", metavar="LOADER",
                        help="run the Windows mibcli.exe given by --mibcli with this wine loader")
    parser.add_argument("cases", nargs="+", help="case files or directories of them")
    options = parser.parse_args()
    # A stop signal ignored by whoever started us (nohup) would be inherited
    # by the programs, which rightly keep an inherited ignore.
    signal.signal(signal.SIGHUP, signal.SIG_DFL)
    options.mibcli = os.path.abspath(options.mibcli)
    options.agent = os.path.abspath(options.agent)
    options.pkgrunner = os.path.abspath(options.pkgrunner)

    # SIGTERM ends the runner as Ctrl+C does, so that the agents are stopped; and
    # Ctrl+C is heeded even when the runner was started with SIGINT ignored (a
    # background job of a script).
    def interrupted(signo, frame):
        raise KeyboardInterrupt()
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGINT, interrupted)

    runner = Runner(options)
    failures = []
    skipped = []
    cases = collect_cases(options.cases)
    if not cases:
        print("no cases found")
        return 2
    for path in cases:
        name = os.path.basename(path)
        try:
            report = runner.run_case(path)
        except CaseError as error:
            report = "case error: %s" % error
        except KeyboardInterrupt:
            print("interrupted at %s" % name)
            return 130
        if report and report.startswith(SKIPPED):
            skipped.append(name)
            print("skip %s: %s" % (name, report[len(SKIPPED):]))
        elif report:
            failures.append(name)
            print("FAIL %s\n%s" % (name, report))
        else:
            print("pass %s" % name)
    print("%d passed, %d failed" % (len(cases) - len(failures) - len(skipped), len(failures))
          + (", %d skipped" % len(skipped) if skipped else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
