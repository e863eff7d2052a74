"""Benchmark of several accounts behind one icon, side by side in one run:

1. 20 accounts, each on a scripted server whose every reply is 50 ms late,
   checked side by side in the frame (natively, through check_bench), beside
   one account's check of the same kind; with the peak heap of each.
2. The same 20 accounts in the real program under Wine: the time its frame
   takes to answer WM_NULL (bench/frame_ping) while rounds of the 20 checks
   run back to back, started by double clicks on the icon, beside the same
   while it is idle. Fails when an answer during the checks takes 50 ms.
3. 20 accounts on one dovecot, side by side beside one after another.
4. The frame's size in lines, before the accounts came and now.

Fails when 20 side by side take more than 1.5 times one account's check, or
more on dovecot than one after another. Run through scripts/bench accounts,
which builds, installs what is missing and gives the run a network, process
and /tmp of its own.
"""

import os
import pathlib
import pwd
import statistics
import subprocess
import sys
import threading

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import winebox  # noqa: E402
from responsiveness import report  # noqa: E402

NATIVE = ROOT / "build" / "native"
CHECK = NATIVE / "bench" / "check_bench"
FAKE_POP3 = NATIVE / "tests" / "support" / "fake_pop3"
EXE = ROOT / "build" / "windows-x64" / "tarvik.exe"
PING = ROOT / "build" / "windows-x64" / "frame_ping.exe"
DOVECOT = ROOT / "tests" / "integration" / "dovecot.sh"
DOVECOT_PORT = 11330
DOVECOT_DIR = f"/tmp/tarvik-bench-accounts-{DOVECOT_PORT}"
WORKDIR = ROOT / "build" / "bench-accounts"
ACCOUNTS, DELAY_MS, FIRST_PORT = 20, 50, 11340
ROUNDS, PER_ROUND, PINGS = 5, 10, 200
FRAME = ROOT / "agent" / "main_frame.cpp"
FRAME_BEFORE = ("b064be7", 536)


def checks(servers, users, apart=False, runs=PER_ROUND):
    """Times of check_bench's runs and the peak heap of any of them."""
    command = [str(CHECK), *(["--apart"] if apart else []), ",".join(servers), ",".join(users),
               "secret", str(runs)]
    output = subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True).stdout
    rows = [line.split() for line in output.splitlines() if not line.startswith("file ")]
    if any(row[2] != "ok" for row in rows):
        raise RuntimeError(f"a check failed: {output}")
    return [float(row[0]) for row in rows], max(int(row[1]) for row in rows)


def alternating(first, second):
    """Rounds of the two, one after the other, so that both meet the same load."""
    a, b, heap_a, heap_b = [], [], 0, 0
    for _ in range(ROUNDS):
        times, heap = first()
        a, heap_a = a + times, max(heap_a, heap)
        times, heap = second()
        b, heap_b = b + times, max(heap_b, heap)
    return statistics.median(a), statistics.median(b), heap_a, heap_b, len(a)


def settings_of(servers):
    """The first account in the eleven lines, each further one in a group."""
    lines = [servers[0], "alice", "secret", "5", "FALSE", "", "FALSE", "", "FALSE", "", "FALSE"]
    for number, server in enumerate(servers[1:], 2):
        lines += [f"Account=a{number}", f"Server={server}", "User=alice", "Password=secret",
                  "Minutes=5"]
    return "".join(line + "\r\n" for line in lines).encode()


def answers_under_wine(servers, pop3s):
    """WM_NULL answer times idle, then while rounds of checks of every account run."""
    desktop = winebox.Desktop(WORKDIR)
    agent = winebox.Agent(desktop, EXE)
    try:
        agent.settings.write_bytes(settings_of(servers))
        rounds = [0]

        def round_ended(before):
            return all(len(pop3.transcript()) > count and pop3.transcript()[-1] == "QUIT"
                       for pop3, count in zip(pop3s, before)) and not connected()

        before = [len(pop3.transcript()) for pop3 in pop3s]
        agent.start()
        desktop.wait_window(winebox.TRAY_WINDOW, 120)
        winebox.wait_until(lambda: round_ended(before), 120, "the start-up checks to end")
        idle = ping(desktop)
        done = threading.Event()

        def drive():
            desktop.xdotool("mousemove", *map(str, winebox.tray_icon_point(desktop)))
            while not done.is_set():
                before = [len(pop3.transcript()) for pop3 in pop3s]
                desktop.xdotool("click", "--repeat", "2", "--delay", "60", "1")
                try:
                    winebox.wait_until(lambda: round_ended(before), 1)
                    rounds[0] += 1
                except AssertionError:
                    pass  # an account still ending its check missed the click
        driver = threading.Thread(target=drive)
        driver.start()
        try:
            busy = ping(desktop)
        finally:
            done.set()
            driver.join()
        return idle, busy, rounds[0]
    finally:
        agent.kill()
        desktop.close()


def connected():
    """True while the program holds a connection to any of the scripted servers."""
    return bool(subprocess.run(
        ["ss", "-Htn", "state", "established",
         f"( sport >= :{FIRST_PORT} and sport < :{FIRST_PORT + ACCOUNTS} )"],
        stdout=subprocess.PIPE, text=True).stdout.strip())


def ping(desktop):
    lines = desktop.wine(str(PING), str(PINGS)).stdout.splitlines()
    return [None if line == "timeout" else float(line) for line in lines
            if line == "timeout" or line.replace(".", "", 1).isdigit()]


def dovecot_users():
    """Twenty mailboxes of three messages each, added to the running instance."""
    users = [f"box{number:02}" for number in range(1, ACCOUNTS + 1)]
    with open(f"{DOVECOT_DIR}/passwd", "a") as passwd:
        passwd.writelines(f"{user}:{{PLAIN}}secret::::::\n" for user in users)
    owner = pwd.getpwnam("dovecot")
    for user in users:
        maildir = pathlib.Path(DOVECOT_DIR) / "mail" / user / "Maildir"
        for folder in ("cur", "new", "tmp"):
            (maildir / folder).mkdir(parents=True, exist_ok=True)
        for n in range(1, 4):
            path = maildir / "cur" / f"{1700000000 + n}.M{n}P1.accounts:2,"
            path.write_text(f"From: Sender {n} <s{n}@example.test>\nSubject: Message {n}\n\n"
                            f"Body {n}.\n")
        for path in [maildir.parent, *maildir.parent.rglob("*")]:
            os.chown(path, owner.pw_uid, owner.pw_gid)
    return users


def main():
    ports = range(FIRST_PORT, FIRST_PORT + ACCOUNTS)
    servers = [f"127.0.0.1:{port}" for port in ports]
    pop3s = [winebox.FakePop3(FAKE_POP3, "/tmp", stat="+OK 3 300\\r\\n", delay=DELAY_MS,
                              port=port) for port in ports]
    try:
        one, twenty, heap_one, heap_twenty, count = alternating(
            lambda: checks(servers[:1], ["alice"]), lambda: checks(servers, ["alice"]))
        idle, busy, rounds = answers_under_wine(servers, pop3s)
    finally:
        for pop3 in pop3s:
            pop3.stop()

    subprocess.run(["rm", "-rf", DOVECOT_DIR], check=True)
    subprocess.run([str(DOVECOT), "start", DOVECOT_DIR, str(DOVECOT_PORT)], check=True)
    try:
        users = dovecot_users()
        local = [f"127.0.0.1:{DOVECOT_PORT}"] * ACCOUNTS
        beside, apart, _, _, dovecot_count = alternating(
            lambda: checks(local, users), lambda: checks(local, users, apart=True))
    finally:
        subprocess.run([str(DOVECOT), "stop", DOVECOT_DIR], check=True)

    met = []
    print(f"{ACCOUNTS} accounts, each on a scripted server with every reply {DELAY_MS} ms late, "
          f"median of {count} checks each:")
    print(f"  one account              {one:8.3f} ms, peak heap {heap_one} bytes")
    print(f"  {ACCOUNTS} side by side          {twenty:8.3f} ms, peak heap {heap_twenty} bytes")
    print(f"  ratio                    {twenty / one:8.3f}  (target: 1.5 at most)")
    print(f"  heap ratio               {heap_twenty / heap_one:8.3f}")
    met.append(twenty / one <= 1.5)
    print(f"time the frame takes to answer WM_NULL ({EXE.name} under {os.environ['WINELOADER']}):")
    report("idle, after the start-up checks", idle)
    worst = report(f"while {rounds} rounds of {ACCOUNTS} checks ran", busy)
    print(f"  target: every answer under 50 ms during the checks: "
          f"{'met' if worst < 50 else 'NOT met'}")
    met.append(worst < 50)
    print(f"{ACCOUNTS} accounts on one dovecot, median of {dovecot_count} runs each:")
    print(f"  side by side             {beside:8.3f} ms")
    print(f"  one after another        {apart:8.3f} ms")
    print(f"  ratio                    {beside / apart:8.3f}  (target: 1 at most)")
    met.append(beside <= apart)
    lines = len(FRAME.read_text().splitlines())
    print(f"agent/main_frame.cpp: {FRAME_BEFORE[1]} lines at {FRAME_BEFORE[0]}, {lines} now")
    print("every target met" if all(met) else "a target was NOT met")
    return 0 if all(met) else 1


if __name__ == "__main__":
    sys.exit(main())
