"""Benchmark of IMAP against one dovecot on loopback, side by side in one run:

1. Push: from a message landing in the maildir to its count and balloon
   presented by the program, natively, median and worst of 20 deliveries
   (bench/push_bench.cpp), beside a bare client in IDLE told the same by
   "* n EXISTS" (the server's own share), and beside polling's expected wait
   at a 5-minute interval (half of it).
2. One polled check beside Python's imaplib sending the same commands, in
   alternating rounds: LOGIN, EXAMINE INBOX, UID SEARCH RETURN (COUNT)
   UNSEEN, LOGOUT, and at the first check of each round, where every unseen
   message is new to the program, UID SEARCH UNSEEN UID 1:* and UID FETCH of
   the three newest headers before LOGOUT.
3. The same on a mailbox of 100,000 messages, half of them unseen: a first
   and a repeat check beside imaplib, and the peak heap of one check.
4. An idle account: the voluntary context switches of every thread but the
   frame's over 60 s with the connection held in IDLE and nothing happening
   (dovecot says "still here" every 10 minutes), and where each waits.
"""

import imaplib
import os
import pathlib
import socket
import statistics
import subprocess
import sys
import time

from bench import ours
from scale import MESSAGES, fill_mailbox, row

ROOT = pathlib.Path(__file__).resolve().parent.parent
BENCH = ROOT / "build" / "native" / "bench"
DOVECOT = ROOT / "tests" / "integration" / "dovecot.sh"
PORTS = (11340, 11341, 11342, 11343)  # POP3, POP3 over TLS, IMAP, IMAP over TLS
IMAP_PORT = PORTS[2]
DIR = f"/tmp/tarvik-bench-imap-{PORTS[0]}"
SERVER = f"imap://127.0.0.1:{IMAP_PORT}"
PASSWORD = "secret"
ROUNDS, PER_ROUND = 10, 10
SCALE_ROUNDS, SCALE_REPEATS = 5, 4
DELIVERIES, IDLE_SECONDS, INTERVAL_MINUTES = 20, 60, 5
HEADERS = "BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)]"


def imaplib_check(user, first):
    started = time.perf_counter()
    client = imaplib.IMAP4("127.0.0.1", IMAP_PORT, timeout=60)
    client.login(user, PASSWORD)
    client.select("INBOX", readonly=True)
    client.uid("SEARCH", "RETURN", "(COUNT)", "UNSEEN")
    if first:
        uids = sorted(int(uid) for uid in client.uid("SEARCH", "UNSEEN", "UID", "1:*")[1][0].split())
        client.uid("FETCH", ",".join(str(uid) for uid in reversed(uids[-3:])), HEADERS)
    client.logout()
    return (time.perf_counter() - started) * 1000


def rounds(user, count, per_round):
    """This program's checks and imaplib's, a round of each in turn."""
    mine, theirs, peak = {True: [], False: []}, {True: [], False: []}, 0
    for _ in range(count):
        times, heap = ours(SERVER, user, PASSWORD, per_round)
        peak = max(peak, heap)
        mine[True].append(times[0])
        mine[False] += times[1:]
        theirs[True].append(imaplib_check(user, first=True))
        theirs[False] += [imaplib_check(user, first=False) for _ in range(per_round - 1)]
    return mine, theirs, peak


def bare_idle(user):
    """Milliseconds from each of DELIVERIES messages landing to "* n EXISTS" in IDLE."""
    maildir = pathlib.Path(DIR) / "mail" / user / "Maildir"
    owner = maildir.stat()
    times = []
    with socket.create_connection(("127.0.0.1", IMAP_PORT)) as connection:
        replies = connection.makefile("rb")

        def run(tag, command):
            connection.sendall(f"{tag} {command}\r\n".encode())
            while not replies.readline().startswith((f"{tag} ".encode(), b"+")):
                pass

        replies.readline()
        run("a", f"LOGIN {user} {PASSWORD}")
        run("b", "EXAMINE INBOX")
        run("c", "IDLE")
        for number in range(DELIVERIES):
            name = f"{1800000000 + number}.M{number}P1.bareidle"
            (maildir / "tmp" / name).write_text(f"From: Bench <bench@example.test>\n"
                                                f"Subject: Push {number}\n\nHello.\n")
            os.chown(maildir / "tmp" / name, owner.st_uid, owner.st_gid)
            os.rename(maildir / "tmp" / name, maildir / "new" / name)
            landed = time.perf_counter()
            while not replies.readline().endswith(b"EXISTS\r\n"):
                pass
            times.append((time.perf_counter() - landed) * 1000)
            time.sleep(0.5)
    return times


def push_and_idle(user):
    maildir = pathlib.Path(DIR) / "mail" / user / "Maildir"
    output = subprocess.run([str(BENCH / "push_bench"), SERVER, user, PASSWORD, str(maildir),
                             str(DELIVERIES), str(IDLE_SECONDS)],
                            check=True, stdout=subprocess.PIPE, text=True).stdout
    rows = [line.split() for line in output.splitlines()]
    return ([float(row[1]) for row in rows if row[0] == "push"],
            [(row[1], row[2], int(row[3]), row[4]) for row in rows if row[0] == "idle"])


def main():
    subprocess.run(["rm", "-rf", DIR], check=True)
    subprocess.run([str(DOVECOT), "start", DIR, *map(str, PORTS)], check=True)
    try:
        pushed, idle = push_and_idle("inbox1")
        bare = bare_idle("inbox2")
        small, small_theirs, small_peak = rounds("twelve", ROUNDS, PER_ROUND)
        fill_mailbox(DIR, "zero", half_seen=True)
        started = time.perf_counter()
        imaplib_check("zero", first=False)
        print(f"{MESSAGES} messages, half unseen; dovecot's first look took "
              f"{(time.perf_counter() - started) * 1000:.0f} ms")
        large, large_theirs, large_peak = rounds("zero", SCALE_ROUNDS, 1 + SCALE_REPEATS)
    finally:
        subprocess.run([str(DOVECOT), "stop", DIR], check=True)

    polled = INTERVAL_MINUTES * 60 * 1000
    print(f"push, from a message landing in the maildir to its balloon, {len(pushed)} deliveries:")
    print(f"  median          {statistics.median(pushed):9.1f} ms")
    print(f"  worst           {max(pushed):9.1f} ms")
    print(f"  a bare IDLE client told by \"* n EXISTS\": median {statistics.median(bare):.1f} ms, "
          f"worst {max(bare):.1f} ms; ratio of medians "
          f"{statistics.median(pushed) / statistics.median(bare):.3f}")
    print(f"  polled every {INTERVAL_MINUTES} minutes: {polled / 2:.0f} ms expected, "
          f"{polled:.0f} ms worst; median push / expected poll "
          f"{statistics.median(pushed) / (polled / 2):.5f}")
    row("one polled check, first of its round (12 unseen, all new)", small[True],
        small_theirs[True], "imaplib")
    row("one polled check, repeated (12 unseen, none new)", small[False], small_theirs[False],
        "imaplib")
    print(f"peak heap of one check of 12 messages: {small_peak} bytes")
    row(f"{MESSAGES} messages, first check (50,000 unseen, all new)", large[True],
        large_theirs[True], "imaplib")
    row(f"{MESSAGES} messages, repeat check", large[False], large_theirs[False], "imaplib")
    print(f"peak heap of one check of {MESSAGES} messages: {large_peak} bytes "
          f"({large_peak / 1048576:.2f} MiB)")
    print(f"idle for {IDLE_SECONDS} s, the connection held in IDLE: voluntary context switches")
    for thread, name, switches, wait in idle:
        print(f"  thread {thread} ({name}): {switches}, waiting in {wait}")


if __name__ == "__main__":
    sys.exit(main())
