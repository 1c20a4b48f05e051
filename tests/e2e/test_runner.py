#!/usr/bin/env python3
"""Checks of the case runner itself: that it reads the exact bytes a case
describes, and that a case whose expectations are not met fails. Run against
ordinary programs (printf, sh, cat) in place of mibcli."""

import argparse
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True
import run_cases  # noqa: E402

AGENT = None


def runner_for(program):
    options = argparse.Namespace(mibcli=program, agent=AGENT, valgrind=False, keep=False, verbose=False)
    return run_cases.Runner(options)


def run_text(program, text):
    with tempfile.NamedTemporaryFile("wb", suffix=".case", delete=False) as handle:
        handle.write(text)
        path = handle.name
    try:
        return runner_for(program).run_case(path)
    finally:
        os.unlink(path)


class ByteSections(unittest.TestCase):
    def test_escapes_placeholders_and_noeol(self):
        section = run_cases.Section("stdout", None, {"noeol"})
        section.lines = [b"a\\tb\\r", b"{tmp}\\x1a\\\\n {unknown}"]
        self.assertEqual(run_cases.section_bytes(section, {"tmp": "/t"}), b"a\tb\r\n/t\x1a\\n {unknown}")

    def test_include_is_taken_as_is(self):
        section = run_cases.Section("stderr", None, {"noeol"})
        section.lines = [b"%include usage-output.txt"]
        usage = run_cases.section_bytes(section, {})
        self.assertTrue(usage.startswith(b"\nmibcli - "))
        self.assertTrue(usage.endswith(b"0x or 0X"))

    def test_only_known_headers_start_sections(self):
        with tempfile.NamedTemporaryFile("wb", delete=False) as handle:
            handle.write(b"[stdout]\n[not-a-section]\n[exit]\n0\n")
        try:
            sections = run_cases.parse_case(handle.name)
        finally:
            os.unlink(handle.name)
        self.assertEqual([s.name for s in sections], ["stdout", "exit"])
        self.assertEqual(sections[0].lines, [b"[not-a-section]"])


class Verdicts(unittest.TestCase):
    def test_matching_case_passes(self):
        case = b"[argv]\n%s|\nA\\r\\nB\n[stdout noeol]\nA\\r\\nB|\n[exit]\n0\n"
        self.assertIsNone(run_text("/usr/bin/printf", case))

    def test_each_stream_and_the_status_are_checked(self):
        self.assertIn("stdout differs at byte 1", run_text("/usr/bin/printf", b"[args]\nab\n[stdout]\naX\n[exit]\n0\n"))
        self.assertIn("stderr", run_text("/bin/sh", b"[args]\n-c 'echo e >&2'\n[exit]\n0\n"))
        self.assertIn("expected exit 254, got exit 3",
                      run_text("/bin/sh", b"[args]\n-c 'exit 3'\n[exit]\n-2\n"))

    def test_stdin_files_and_env_reach_the_program(self):
        case = (b"[file in.txt]\nline\\x1a\n[env]\nWHO=them\n[stdin]\nfed\n"
                b"[args]\n-c 'cat; cat in.txt; printf %s \"$WHO\"'\n"
                b"[stdout noeol]\nfed\nline\\x1a\nthem\n[exit]\n0\n")
        self.assertIsNone(run_text("/bin/sh", case))

    def test_actions_signal_the_program(self):
        case = (b"[args]\n-c 'echo waiting >&2; exec sleep 30'\n[actions]\nwait-stderr waiting\nsignal TERM\n"
                b"[stderr]\nwaiting\n[exit]\nsignal TERM\n")
        self.assertIsNone(run_text("/bin/sh", case))

    def test_agent_is_started_and_its_log_compared(self):
        case = (b"[agent.objects]\n1.3.6.1.2.1.1.1.0 string x\n[args]\n-c 'printf %s {agentport}'\n"
                b"[stdout noeol]\n{agentport}\n[exit]\n0\n[agent-log]\nGET 1.3.6.1.2.1.1.1.0\n")
        report = run_text("/bin/sh", case)
        self.assertIn("agent-log differs", report)
        self.assertNotIn("stdout", report)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--agent", required=True)
    known, rest = parser.parse_known_args()
    AGENT = os.path.abspath(known.agent)
    unittest.main(argv=[sys.argv[0]] + rest)
