"""Benchmark of one complete mail check, side by side in one run.

1. Against dovecot on loopback: this program's check and Python's poplib
   doing the same commands, in alternating rounds: USER, PASS, STAT, UIDL,
   QUIT, and in the first check of each round, where every message is new
   to the program, TOP n 0 for the three newest before QUIT.
2. The same over TLS (pop3s, the test CA trusted, certificate and name
   verified by both): this program beside poplib.POP3_SSL, and beside its
   own plain check.
3. Against the scripted server with every reply 50 ms late: this program's
   check as a ratio to the 4 x 50 ms floor (greeting, USER, PASS and STAT are
   waited for; the reply to QUIT is not).

Also reports the peak heap of one check, and the size and imported DLLs of
both Windows programs.
"""

import os
import pathlib
import poplib
import ssl
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
NATIVE = ROOT / "build" / "native"
EXES = [ROOT / "build" / f"windows-{arch}" / "tarvik.exe" for arch in ("x64", "x86")]
DOVECOT = ROOT / "tests" / "integration" / "dovecot.sh"
DOVECOT_PORT = 11310
DOVECOT_TLS_PORT = 11312
DOVECOT_DIR = f"/tmp/tarvik-bench-dovecot-{DOVECOT_PORT}"
DELAY_PORT = 11311
DELAY_MS = 50
ROUNDS, PER_ROUND = 10, 10
# The mailbox the rounds check, and the newest messages whose headers the
# program reads at its first check of it.
MAILBOX_SIZE = 12
NEWEST = (12, 11, 10)


def ours(server, user, password, runs, ca_file=None):
    command = [str(NATIVE / "bench" / "check_bench"), server, user, password, str(runs)]
    output = subprocess.run(command + ([ca_file] if ca_file else []), check=True,
                            stdout=subprocess.PIPE, text=True).stdout
    rows = [line.split() for line in output.splitlines() if not line.startswith("file ")]
    if any(row[2] != "ok" for row in rows):
        raise RuntimeError(f"a check failed: {output}")
    return [float(row[0]) for row in rows], max(int(row[1]) for row in rows)


def poplib_check(port, user, password, context=None, tops=()):
    started = time.perf_counter()
    if context:
        client = poplib.POP3_SSL("localhost", port, timeout=30, context=context)
    else:
        client = poplib.POP3("127.0.0.1", port, timeout=30)
    client.user(user)
    client.pass_(password)
    if client.stat()[0] != MAILBOX_SIZE or len(client.uidl()[1]) != MAILBOX_SIZE:
        raise RuntimeError("the mailbox is not the one the rounds expect")
    for number in tops:
        client.top(number, 0)
    client.quit()
    return (time.perf_counter() - started) * 1000


def poplib_round(port, user, password, context=None):
    """Like ours(): each round is a first check (all new), then repeat checks."""
    return [poplib_check(port, user, password, context, NEWEST if run == 0 else ())
            for run in range(PER_ROUND)]


def main():
    subprocess.run(["rm", "-rf", DOVECOT_DIR], check=True)
    subprocess.run([str(DOVECOT), "start", DOVECOT_DIR, str(DOVECOT_PORT), str(DOVECOT_TLS_PORT)],
                   check=True)
    ca_file = DOVECOT_DIR + "/tls/ca.pem"
    context = ssl.create_default_context(cafile=ca_file)
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
        mine, theirs, mine_tls, theirs_tls, peak = [], [], [], [], 0
        for _ in range(ROUNDS):
            times, heap = ours(f"127.0.0.1:{DOVECOT_PORT}", "twelve", "secret", PER_ROUND)
            mine += times
            peak = max(peak, heap)
            theirs += poplib_round(DOVECOT_PORT, "twelve", "secret")
            mine_tls += ours(f"pop3s://localhost:{DOVECOT_TLS_PORT}", "twelve", "secret",
                             PER_ROUND, ca_file)[0]
            theirs_tls += poplib_round(DOVECOT_TLS_PORT, "twelve", "secret", context)
        slow, _ = ours(f"127.0.0.1:{DELAY_PORT}", "alice", "secret", 20)
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
    tls_median, theirs_tls_median = statistics.median(mine_tls), statistics.median(theirs_tls)
    print(f"over TLS (pop3s, certificate verified), median of {len(mine_tls)} checks each:")
    print(f"  this program   {tls_median:8.3f} ms")
    print(f"  Python POP3_SSL{theirs_tls_median:8.3f} ms")
    print(f"  ratio          {tls_median / theirs_tls_median:8.3f}  (below 1: faster than POP3_SSL)")
    print(f"  TLS / plain    {tls_median / ours_median:8.3f}  (this program)")
    print(f"against the scripted server, every reply {DELAY_MS} ms late, median of {len(slow)}:")
    print(f"  this program   {slow_median:8.3f} ms")
    print(f"  floor          {floor:8.3f} ms")
    print(f"  ratio          {slow_median / floor:8.4f}")
    print(f"peak heap of one plain check: {peak} bytes")
    for exe in EXES:
        if exe.exists():
            print(f"{exe.relative_to(ROOT)}: {exe.stat().st_size} bytes, imports "
                  + " ".join(imports(exe)))


def imports(exe):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)], check=True,
                          stdout=subprocess.PIPE, text=True).stdout
    return [line.split(":", 1)[1].strip() for line in dump.splitlines() if "DLL Name:" in line]


if __name__ == "__main__":
    sys.exit(main())
