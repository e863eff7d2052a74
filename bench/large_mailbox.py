"""Benchmark of checks of a mailbox of 100,000 messages on dovecot (loopback).

1. A repeat check, every id already seen: this program beside Python's poplib
   doing USER, PASS, STAT, UIDL, QUIT, in alternating rounds.
2. A first check, everything new (the seen file written, three headers
   read): beside poplib doing the same and three top(n, 0).
Also the peak heap of either check and the size of the seen file.
"""

import os
import pathlib
import poplib
import pwd
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
CHECK_BENCH = ROOT / "build" / "native" / "bench" / "check_bench"
DOVECOT = ROOT / "tests" / "integration" / "dovecot.sh"
PORT = 11320
DIR = f"/tmp/tarvik-bench-large-{PORT}"
MESSAGES = 100_000
ROUNDS = 5


def fill_mailbox(maildir):
    dovecot = pwd.getpwnam("dovecot")
    cur = maildir / "cur"
    for i in range(1, MESSAGES + 1):
        path = cur / f"{1704103200 + i}.M{i}P1.bench:2,"
        path.write_text(f"From: Sender {i} <s{i}@example.test>\nSubject: Message {i}\n"
                        f"Message-ID: <{i}@example.test>\n\nBody {i}.\n")
        os.chown(path, dovecot.pw_uid, dovecot.pw_gid)


def poplib_check(headers):
    started = time.perf_counter()
    client = poplib.POP3("127.0.0.1", PORT, timeout=120)
    client.user("news")
    client.pass_("secret")
    count, _ = client.stat()
    client.uidl()
    for number in range(count, count - headers, -1):
        client.top(number, 0)
    client.quit()
    return (time.perf_counter() - started) * 1000


def ours(runs):
    output = subprocess.run([str(CHECK_BENCH), f"127.0.0.1:{PORT}", "news", "secret", str(runs)],
                            check=True, stdout=subprocess.PIPE, text=True).stdout
    rows = [line.split() for line in output.splitlines()]
    if any(row[2] != "ok" for row in rows):
        raise RuntimeError(f"a check failed: {output}")
    return [(float(row[0]), int(row[1]), int(row[3])) for row in rows]


def main():
    subprocess.run(["rm", "-rf", DIR], check=True)
    subprocess.run([str(DOVECOT), "start", DIR, str(PORT)], check=True)
    try:
        fill_mailbox(pathlib.Path(DIR) / "mail" / "news" / "Maildir")
        poplib_check(0)  # dovecot indexes the mailbox once
        firsts, repeats, theirs_first, theirs_repeat = [], [], [], []
        for _ in range(ROUNDS):
            rows = ours(3)  # the first check of a run is the account's first
            firsts.append(rows[0])
            repeats += rows[1:]
            theirs_first.append(poplib_check(3))
            theirs_repeat += [poplib_check(0) for _ in range(2)]
    finally:
        subprocess.run([str(DOVECOT), "stop", DIR], check=True)
        subprocess.run(["rm", "-rf", DIR], check=True)

    mine_repeat = statistics.median(row[0] for row in repeats)
    mine_first = statistics.median(row[0] for row in firsts)
    their_repeat, their_first = statistics.median(theirs_repeat), statistics.median(theirs_first)
    print(f"a mailbox of {MESSAGES} messages on dovecot, medians:")
    print(f"  repeat check    {mine_repeat:9.3f} ms   poplib stat+uidl          "
          f"{their_repeat:9.3f} ms   ratio {mine_repeat / their_repeat:.3f}")
    print(f"  first check     {mine_first:9.3f} ms   poplib stat+uidl+3 top    "
          f"{their_first:9.3f} ms   ratio {mine_first / their_first:.3f}")
    print(f"  peak heap: first check {max(row[1] for row in firsts)} bytes, "
          f"repeat check {max(row[1] for row in repeats)} bytes")
    print(f"  seen file: {max(row[2] for row in firsts + repeats)} bytes")


if __name__ == "__main__":
    sys.exit(main())
