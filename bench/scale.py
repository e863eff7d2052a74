"""Benchmark of checks of a mailbox of 100,000 messages on dovecot, side by
side in one run with Python's poplib doing the same work:

- a repeat check (every message already seen) beside stat() and uidl();
- a first check (every message new: the seen file written, the newest three
  headers fetched) beside stat(), uidl() and three top(n, 0);

and the peak heap of one check and the size of the seen file it wrote.
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
CHECK = ROOT / "build" / "native" / "bench" / "check_bench"
DOVECOT = ROOT / "tests" / "integration" / "dovecot.sh"
PORT = 11320
DIR = f"/tmp/tarvik-scale-{PORT}"
USER, PASSWORD = "zero", "secret"
MESSAGES = 100_000
ROUNDS, REPEATS = 5, 4


def fill_mailbox(directory, user, half_seen=False):
    """MESSAGES messages in user's INBOX under directory; with half_seen, every
    second one is flagged seen."""
    cur = pathlib.Path(directory) / "mail" / user / "Maildir" / "cur"
    owner = pwd.getpwnam("dovecot")
    for n in range(1, MESSAGES + 1):
        path = cur / f"{1700000000 + n}.M{n}P1.scale:2,{'S' if half_seen and n % 2 else ''}"
        path.write_text(f"From: Sender {n} <s{n}@example.test>\nTo: {user}@example.test\n"
                        f"Subject: Message {n} of {MESSAGES}\nMessage-ID: <{n}@example.test>\n"
                        f"\nBody of message {n}.\n")
        os.chown(path, owner.pw_uid, owner.pw_gid)


def ours(runs):
    """One process: its first check sees everything new, the rest repeat it."""
    output = subprocess.run([str(CHECK), f"127.0.0.1:{PORT}", USER, PASSWORD, str(runs)],
                            check=True, stdout=subprocess.PIPE, text=True).stdout
    checks, files = [], {}
    for line in output.splitlines():
        fields = line.split()
        if fields[0] == "file":
            files[fields[1]] = int(fields[2])
        elif fields[2] != "ok":
            raise RuntimeError(f"a check failed: {output}")
        else:
            checks.append((float(fields[0]), int(fields[1])))
    return checks, files


def row(name, mine, theirs, them="poplib"):
    """Medians of this program's times and another client's, and their ratio."""
    m, t = statistics.median(mine), statistics.median(theirs)
    print(f"{name}, median of {len(mine)} and {len(theirs)}:")
    print(f"  this program   {m:9.3f} ms")
    print(f"  Python {them:8}{t:9.3f} ms")
    print(f"  ratio          {m / t:9.3f}  (below 1: faster than {them})")


def poplib_check(first):
    started = time.perf_counter()
    client = poplib.POP3("127.0.0.1", PORT, timeout=60)
    client.user(USER)
    client.pass_(PASSWORD)
    count = client.stat()[0]
    client.uidl()
    if first:
        for n in range(count, count - 3, -1):
            client.top(n, 0)
    client.quit()
    return (time.perf_counter() - started) * 1000


def main():
    subprocess.run(["rm", "-rf", DIR], check=True)
    subprocess.run([str(DOVECOT), "start", DIR, str(PORT)], check=True)
    try:
        fill_mailbox(DIR, USER)
        started = time.perf_counter()
        indexing = poplib_check(first=False)
        print(f"{MESSAGES} messages; dovecot's first look took {indexing:.0f} ms "
              f"({(time.perf_counter() - started) * 1000:.0f} ms with Python)")
        first, repeat, first_theirs, repeat_theirs, peak, files = [], [], [], [], 0, {}
        for _ in range(ROUNDS):
            checks, files = ours(1 + REPEATS)
            first.append(checks[0][0])
            repeat += [took for took, _ in checks[1:]]
            peak = max([peak] + [heap for _, heap in checks])
            first_theirs.append(poplib_check(first=True))
            repeat_theirs += [poplib_check(first=False) for _ in range(REPEATS)]
    finally:
        subprocess.run([str(DOVECOT), "stop", DIR], check=True)

    row("repeat check (all seen) beside stat() + uidl()", repeat, repeat_theirs)
    row("first check (all new) beside stat() + uidl() + 3 x top(n, 0)", first, first_theirs)
    print(f"peak heap of one check: {peak} bytes ({peak / 1048576:.2f} MiB)")
    for path, size in sorted(files.items()):
        print(f"file left by the checks: {path}: {size} bytes ({size / 1048576:.2f} MiB)")


if __name__ == "__main__":
    sys.exit(main())
