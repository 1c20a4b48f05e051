#!/usr/bin/env python3
"""Walks parts of the system's snmpd with `mibcli -o json -v 2c` and with
snmpwalk -On -Oe -Ot -Ox, reads every JSON line with a real parser and compares:
the same identifiers in the same order, the same types and values; counters and
time ticks may only have grown between the two walks."""

import json
import re
import subprocess
import sys
import tempfile

from run_cases import Agents

BRANCHES = ["1.3.6.1.2.1.1", "1.3.6.1.2.1.2", "1.3.6.1.2.1.31"]
GROWING = {"Counter", "Counter64", "TimeTicks"}
# snmpwalk's type words (with -Ot a time ticks value has none) as ours.
TYPES = {"INTEGER": "INTEGER", "Gauge32": "Gauge", "Counter32": "Counter",
         "Counter64": "Counter64", "Hex-STRING": "OCTET STRING", "OID": "OBJECT IDENTIFIER",
         "IpAddress": "IpAddress"}


def snmpwalk(agent, branch):
    text = subprocess.run(["snmpwalk", "-v2c", "-c", "public", "-On", "-Oe", "-Ot", "-Ox",
                           agent, branch], capture_output=True, text=True, check=True).stdout
    rows = []
    # A hex string goes on over lines of its own.
    for entry in re.split(r"\n(?=\.1\.)", text.strip()):
        oid, _, value = entry.partition(" = ")
        kind, colon, rest = value.partition(": ")
        if value == '""':
            kind, rest = "Hex-STRING", ""
        elif not colon:
            kind, rest = "TimeTicks", value
        ours = TYPES.get(kind, kind)
        if ours == "OCTET STRING":
            rest = rest.replace(" ", "").replace("\n", "").lower()
        elif ours == "OBJECT IDENTIFIER":
            rest = rest.lstrip(".")
        elif ours != "IpAddress":
            rest = int(rest)
        rows.append((oid.lstrip("."), ours, rest))
    return rows


def mibcli_walk(mibcli, agent, branch):
    out = subprocess.run([mibcli, "-o", "json", "-v", "2c", "walk", agent, "public", branch],
                         capture_output=True, check=True).stdout
    subprocess.run(["jq", "-e", "."], input=out, capture_output=True, check=True)
    rows = []
    for line in out.decode().splitlines():
        record = json.loads(line)
        value = record["hex"] if record["type"] == "OCTET STRING" else record["value"]
        rows.append((record["oid"], record["type"], value))
    return rows


def main():
    mibcli = sys.argv[1]
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        agents = Agents(None, tmp)
        try:
            agent, _ = agents.start_snmpd([])
            for branch in BRANCHES:
                ours = mibcli_walk(mibcli, agent, branch)
                theirs = snmpwalk(agent, branch)
                if [row[:2] for row in ours] != [row[:2] for row in theirs]:
                    problems.append("%s: identifiers or types differ" % branch)
                    continue
                for (oid, kind, mine), (_, _, other) in zip(ours, theirs):
                    grew = kind in GROWING and mine <= other
                    if mine != other and not grew:
                        problems.append("%s %s: %r, snmpwalk %r" % (oid, kind, mine, other))
        finally:
            agents.stop_all()
    print("\n".join(problems) or "same objects and values")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
