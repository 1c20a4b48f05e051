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
    options = argparse.Namespace(mibcli=program, agent=AGENT, valgrind=False)
    return run_cases.Runner(options)


def run_text(program, text):
    with tempfile.NamedTemporaryFile("wb", suffix=".case", delete=False) as handle:
        handle.write(text)
        path = handle.name
    try:
        return runner_for(program).run_case(path)
    finally:
        os.unlink(path)


class Verdicts(unittest.TestCase):
    def test_bytes_as_written_pass(self):
        case = b"[args]\n'A\\r|\\nB'\n[stdout noeol]\nA\\r|\\nB\n[exit]\n0\n"
        self.assertIsNone(run_text("/usr/bin/printf", case))

    def test_each_stream_the_status_and_the_agent_log_are_checked(self):
        self.assertIn("stdout differs at byte 1", run_text("/usr/bin/printf", b"[args]\nab\n[stdout]\naX\n[exit]\n0\n"))
        self.assertIn("stderr", run_text("/bin/sh", b"[args]\n-c 'echo e >&2'\n[exit]\n0\n"))
        self.assertIn("expected exit 254, got exit 3", run_text("/bin/sh", b"[args]\n-c 'exit 3'\n[exit]\n-2\n"))
        case = (b"[agent.objects]\n1.3.6.1.2.1.1.1.0 string x\n[args]\n-c 'printf %s {agentport}'\n"
                b"[stdout noeol]\n{agentport}\n[exit]\n0\n[agent-log]\nGET 1.3.6.1.2.1.1.1.0\n")
        report = run_text("/bin/sh", case)
        self.assertIn("agent-log differs", report)
        self.assertNotIn("stdout", report)

    def test_each_line_of_args_each_is_a_run(self):
        case = b"[args each]\n\n-c 'exit 0'\n-c 'exit 4'\n[exit]\n0\n"
        report = run_text("/bin/sh", case)
        self.assertIn("-c 'exit 4'", report)
        self.assertNotIn("-c 'exit 0'", report)

    def test_actions_signal_the_program(self):
        case = (b"[args]\n-c 'echo waiting >&2; exec sleep 30'\n[actions]\nwait-stderr waiting\nsignal TERM\n"
                b"[stderr]\nwaiting\n[exit]\nsignal TERM\n")
        self.assertIsNone(run_text("/bin/sh", case))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--agent", required=True)
    known, rest = parser.parse_known_args()
    AGENT = os.path.abspath(known.agent)
    unittest.main(argv=[sys.argv[0]] + rest)
