"""Benchmark of responsiveness: how long the program's hidden frame takes to
answer a message (SendMessageTimeout with WM_NULL, sent by bench/frame_ping
under Wine) while the program is idle after a check, and while a check waits
on a server that has accepted the connection and stays silent, in one run.

Run through scripts/responsiveness, which builds, installs what is missing
and gives the run a network, process and /tmp of its own. TARVIK_EXE and
FRAME_PING name other builds to measure.
"""

import os
import pathlib
import re
import statistics
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import winebox  # noqa: E402

EXE = pathlib.Path(os.environ.get("TARVIK_EXE", ROOT / "build" / "windows-x64" / "tarvik.exe"))
PING = pathlib.Path(os.environ.get("FRAME_PING", ROOT / "build" / "windows-x64" / "frame_ping.exe"))
FAKE_POP3 = ROOT / "build" / "native" / "tests" / "support" / "fake_pop3"
WORKDIR = ROOT / "build" / "responsiveness"
MESSAGES = 200
TARGET_MS = 50
ANSWER = re.compile(r"^(timeout|\d+\.\d+)$")


def answer_times(desktop, **server):
    """Starts the program against a server, waits until its check has reached
    the server, and times the frame's answers; None stands for a timeout."""
    pop3 = winebox.FakePop3(FAKE_POP3, desktop.workdir, **server)
    agent = winebox.Agent(desktop, EXE)
    try:
        agent.write_settings(show_count="FALSE")
        agent.start()
        desktop.wait_window(winebox.TRAY_WINDOW)
        if "script" in server:
            pop3.wait_connected()
        else:
            pop3.wait_transcript(4)
        lines = desktop.wine(str(PING), str(MESSAGES)).stdout.splitlines()
        return [None if line == "timeout" else float(line) for line in lines if ANSWER.match(line)]
    finally:
        agent.kill()
        pop3.stop()


def report(name, times):
    answered = sorted(time for time in times if time is not None)
    timeouts = len(times) - len(answered)
    if not answered:
        print(f"  {name:40} no answer to any of {len(times)} messages within 5 s")
        return float("inf")
    p95 = answered[min(len(answered) - 1, int(0.95 * len(answered)))]
    worst = float("inf") if timeouts else answered[-1]
    print(f"  {name:40} median {statistics.median(answered):7.3f}  95% {p95:7.3f}  "
          f"max {answered[-1]:7.3f} ms  ({len(times)} messages, {timeouts} unanswered within 5 s)")
    return worst


def main():
    desktop = winebox.Desktop(WORKDIR)
    try:
        idle = answer_times(desktop, stat="+OK 0 0\\r\\n")
        stalled = answer_times(desktop, script=winebox.script("stall"))
    finally:
        desktop.close()
    print(f"time the frame takes to answer WM_NULL ({EXE.name} under {os.environ['WINELOADER']}):")
    report("idle, after a check", idle)
    worst = report("while a check waits on a silent server", stalled)
    print(f"target: every answer under {TARGET_MS} ms while a check waits: "
          f"{'met' if worst < TARGET_MS else 'NOT met'}")
    return 0 if worst < TARGET_MS else 1


if __name__ == "__main__":
    sys.exit(main())
