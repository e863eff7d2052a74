"""Benchmark of one complete mail check, side by side in one run.

1. Against dovecot on loopback: this program's check and Python's poplib
   doing the same USER, PASS, STAT, QUIT, in alternating rounds.
2. Against the scripted server with every reply 50 ms late: this program's
   check as a ratio to the 4 x 50 ms floor (greeting, USER, PASS and STAT are
   waited for; the reply to QUIT is not).

Also reports the peak heap of one check and the size of the .exe.
"""

import os
import pathlib
import poplib
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
NATIVE = ROOT / "build" / "native"
EXE = ROOT / "build" / "windows" / "tarvik.exe"
DOVECOT = ROOT / "tests" / "integration" / "dovecot.sh"
DOVECOT_PORT = 11310
DOVECOT_DIR = f"/tmp/tarvik-bench-dovecot-{DOVECOT_PORT}"
DELAY_PORT = 11311
DELAY_MS = 50
ROUNDS, PER_ROUND = 10, 10


def ours(port, user, password, runs):
    output = subprocess.run([str(NATIVE / "bench" / "check_bench"), str(port), user, password,
                             str(runs)], check=True, stdout=subprocess.PIPE, text=True).stdout
    rows = [line.split() for line in output.splitlines()]
    if any(row[2] != "ok" for row in rows):
        raise RuntimeError(f"a check failed: {output}")
    return [float(row[0]) for row in rows], max(int(row[1]) for row in rows)


def poplib_check(port, user, password):
    started = time.perf_counter()
    client = poplib.POP3("127.0.0.1", port, timeout=30)
    client.user(user)
    client.pass_(password)
    client.stat()
    client.quit()
    return (time.perf_counter() - started) * 1000


def main():
    subprocess.run(["rm", "-rf", DOVECOT_DIR], check=True)
    subprocess.run([str(DOVECOT), "start", DOVECOT_DIR, str(DOVECOT_PORT)], check=True)
    # The reply to QUIT is left out: the server serves one connection at a
    # time, and a late goodbye would hold up the next check's greeting.
    script = pathlib.Path(DOVECOT_DIR + ".script")
    late = [f"delay {DELAY_MS}", "send +OK ready\\r\\n", "expect", f"delay {DELAY_MS}",
            "send +OK\\r\\n", "expect", f"delay {DELAY_MS}", "send +OK in\\r\\n", "expect",
            f"delay {DELAY_MS}", "send +OK 3 300\\r\\n", "expect", "close"]
    script.write_text("\n".join(late) + "\n")
    delayed = subprocess.Popen([str(NATIVE / "tests" / "support" / "fake_pop3"), "--port",
                                str(DELAY_PORT), "--script", str(script)],
                               stdout=subprocess.PIPE, text=True)
    try:
        delayed.stdout.readline()
        mine, theirs, peak = [], [], 0
        for _ in range(ROUNDS):
            times, heap = ours(DOVECOT_PORT, "twelve", "secret", PER_ROUND)
            mine += times
            peak = max(peak, heap)
            theirs += [poplib_check(DOVECOT_PORT, "twelve", "secret") for _ in range(PER_ROUND)]
        slow, _ = ours(DELAY_PORT, "alice", "secret", 20)
    finally:
        delayed.terminate()
        delayed.wait()
        subprocess.run([str(DOVECOT), "stop", DOVECOT_DIR], check=True)

    floor = 4 * DELAY_MS
    ours_median, theirs_median = statistics.median(mine), statistics.median(theirs)
    slow_median = statistics.median(slow)
    print(f"against dovecot, median of {len(mine)} checks each:")
    print(f"  this program   {ours_median:8.3f} ms")
    print(f"  Python poplib  {theirs_median:8.3f} ms")
    print(f"  ratio          {ours_median / theirs_median:8.3f}  (below 1: faster than poplib)")
    print(f"against the scripted server, every reply {DELAY_MS} ms late, median of {len(slow)}:")
    print(f"  this program   {slow_median:8.3f} ms")
    print(f"  floor          {floor:8.3f} ms")
    print(f"  ratio          {slow_median / floor:8.4f}")
    print(f"peak heap of one check: {peak} bytes")
    if EXE.exists():
        print(f"tarvik.exe: {EXE.stat().st_size} bytes")


if __name__ == "__main__":
    sys.exit(main())
