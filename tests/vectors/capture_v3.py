#!/usr/bin/env python3
"""Captures SNMPv3 exchanges between the system's snmpget and snmpd on loopback.

A UDP relay between them records every datagram; v3.jsonl is written to
standard output. Users, passphrases and the engine ID are fixed (below, and in
each line) so that a test can check the digests and decrypt.
Usage: tests/vectors/capture_v3.py > tests/vectors/v3.jsonl
"""
import json
import os
import socket
import subprocess
import tempfile
import threading
import time

ENGINE_ID = "8000000001020304"  # snmpd's engineID, set by its configuration
AUTH_PASS, PRIV_PASS = "authpass1", "privpass1"
USERS = [("uSHA_AES", "SHA", "AES"), ("uMD5_DES", "MD5", "DES"), ("uSHA", "SHA", "")]
SYS_CONTACT = "1.3.6.1.2.1.1.4.0"
UNKNOWN_ENGINE, WRONG_DIGEST = "1.3.6.1.6.3.15.1.1.4.0", "1.3.6.1.6.3.15.1.1.5.0"
# name, user, level, passphrase given to snmpget, and what the second exchange
# must be. Every run starts with discovery (RFC 3414 section 4): an empty
# request, answered by a report of usmStatsUnknownEngineIDs (counting runs).
RUNS = [
    ("sha-aes-authpriv", "uSHA_AES", "authPriv", AUTH_PASS, "auth priv"),
    ("md5-des-authpriv", "uMD5_DES", "authPriv", AUTH_PASS, "auth priv"),
    ("sha-authnopriv", "uSHA", "authNoPriv", AUTH_PASS, "auth"),
    ("sha-wrong-digest", "uSHA", "authNoPriv", "wrongpass1", "auth"),
]


def dissections(run, number, user, flags):
    """What each of the four datagrams holds: PDU, bindings, flags, user, engine."""
    discovery = "GET -; flags reportable; user -; engine -"
    report = "Report %s=%d; flags -; user -; engine %s" % (UNKNOWN_ENGINE, number, ENGINE_ID)
    request = "GET %s; flags %s reportable; user %s; engine %s" % (SYS_CONTACT, flags, user,
                                                                   ENGINE_ID)
    if run == "sha-wrong-digest":
        # RFC 3414 section 3.2 step 6: the report goes without authentication.
        answer = "Report %s=1; flags -; user %s; engine %s" % (WRONG_DIGEST, user, ENGINE_ID)
    else:
        answer = "Response %s=root; flags %s; user %s; engine %s" % (SYS_CONTACT, flags, user,
                                                                     ENGINE_ID)
    return [discovery, report, request, answer]


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def relay(listen, agent, log, stop):
    """Passes datagrams both ways, each recorded as (direction, bytes)."""
    client = None
    up = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    up.settimeout(0.05)
    while not stop.is_set():
        for source, target in ((listen, agent), (up, None)):
            try:
                data, sender = source.recvfrom(65535)
            except socket.timeout:
                continue
            if source is listen:
                client = sender
                log.append(("request", data))
                up.sendto(data, target)
            elif client is not None:
                log.append(("response", data))
                listen.sendto(data, client)


def main():
    work = tempfile.mkdtemp()
    agent_port = free_port()
    config = os.path.join(work, "snmpd.conf")
    with open(config, "w") as handle:
        handle.write("agentAddress udp:127.0.0.1:%d\nexactEngineID 0x%s\npersistentDir %s\n"
                     % (agent_port, ENGINE_ID, work))
        for user, auth, priv in USERS:
            handle.write("createUser %s %s %s%s\nrouser %s %s\n"
                         % (user, auth, AUTH_PASS, " %s %s" % (priv, PRIV_PASS) if priv else "",
                            user, "priv" if priv else "auth"))
    snmpd = subprocess.Popen(["/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", config,
                              "-p", os.path.join(work, "pid")],
                             env=dict(os.environ, SNMP_PERSISTENT_DIR=work, MIBS=""),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    listen = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listen.bind(("127.0.0.1", 0))
    listen.settimeout(0.05)
    try:
        time.sleep(1)  # snmpd says nothing when it is ready; it answers soon after
        for number, (name, user, level, passphrase, flags) in enumerate(RUNS, 1):
            auth, priv = next((a, p) for u, a, p in USERS if u == user)
            log, stop = [], threading.Event()
            thread = threading.Thread(target=relay, args=(listen, ("127.0.0.1", agent_port),
                                                          log, stop))
            thread.start()
            words = ["snmpget", "-v3", "-r0", "-t2", "-On", "-u", user, "-l", level,
                     "-a", auth, "-A", passphrase]
            if priv:
                words += ["-x", priv, "-X", PRIV_PASS]
            words += ["127.0.0.1:%d" % listen.getsockname()[1], "1.3.6.1.2.1.1.4.0"]
            subprocess.run(words, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           env=dict(os.environ, MIBS="", SNMPCONFPATH=work))
            stop.set()
            thread.join()
            record = {"name": name, "user": user, "auth": auth, "authPass": AUTH_PASS,
                      "priv": priv, "privPass": PRIV_PASS if priv else "",
                      "engineId": ENGINE_ID, "givenPass": passphrase}
            whats = dissections(name, number, user, flags)
            for index, (direction, data) in enumerate(log):
                key = "%s%d" % (direction, index // 2 + 1)
                record[key] = data.hex()
                record["what-" + key] = whats[index]
            print(json.dumps(record))
    finally:
        snmpd.terminate()
        snmpd.wait()


if __name__ == "__main__":
    main()
