"""./scripts/run with no server set: one demo dovecot watched by the program over
IMAP on a virtual X server, and nothing of it left running after Ctrl+C."""

import os
import pathlib
import shutil
import signal
import subprocess
import unittest

import winebox
from e2e_base import WORKDIR

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent


def processes():
    """Every process now, as {pid: command line}; zombies are gone already."""
    found = {}
    for entry in pathlib.Path("/proc").iterdir():
        try:
            if not entry.name.isdigit() or (entry / "stat").read_text().split(") ")[1][0] == "Z":
                continue
            found[int(entry.name)] = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(
                errors="replace").strip()
        except (OSError, IndexError):
            continue
    return found


def landing_time(maildir, name):
    """When the message was delivered, wherever dovecot has moved it since."""
    for path in [*maildir.glob(f"new/{name}"), *maildir.glob(f"cur/{name}:*")]:
        try:
            return path.stat().st_mtime
        except FileNotFoundError:
            continue
    return None


# The run command runs the 64-bit program wherever it can: once is enough.
@unittest.skipUnless("windows-x64" in os.environ.get("TARVIK_EXE", ""), "the x64 pass runs it")
class RunCommandTest(unittest.TestCase):
    def test_one_demo_server_pushing_the_fourth_message_and_nothing_left_after_ctrl_c(self):
        run_dir = WORKDIR / "run-command"
        shutil.rmtree(run_dir, ignore_errors=True)
        output = WORKDIR / "run-command.out"
        env = {key: value for key, value in os.environ.items() if key != "DISPLAY"}
        env["TARVIK_RUN_DIR"] = str(run_dir)
        before = set(processes())
        with output.open("w") as sink:
            # A session of its own, so that the signal below reaches its whole
            # process group, as Ctrl+C in a terminal does. SIGINT is made
            # catchable again: a suite started in the background inherits it
            # ignored, and a shell cannot trap a signal ignored at its start.
            run = subprocess.Popen([str(ROOT / "scripts" / "run")], env=env, stdin=subprocess.DEVNULL,
                                   stdout=sink, stderr=subprocess.STDOUT, start_new_session=True,
                                   preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        try:
            winebox.wait_until(lambda: "is running in the notification area" in output.read_text(),
                               600, "the run to start the program")
            seen = run_dir / "demo" / "tarvik.seen"
            winebox.wait_until(seen.exists, 60, "the demo mailbox to be checked")
            # The fourth message lands a minute later and is counted (the
            # count's seen state written) as the server pushes it, unasked.
            maildir = pathlib.Path(f"/tmp/tarvik-demo-{run.pid}/mail/zero/Maildir")
            landed = winebox.wait_until(lambda: landing_time(maildir, "1765098004.M4P1.demo"), 120,
                                        "the fourth message")
            winebox.wait_until(lambda: seen.stat().st_mtime > landed, 10,
                               "the fourth message to be counted")
            self.assertLess(seen.stat().st_mtime - landed, 2)
            masters = [line for line in processes().values() if line.startswith("/usr/sbin/dovecot")]
            self.assertEqual(1, len(masters), masters)
        finally:
            os.killpg(run.pid, signal.SIGINT)
            try:
                run.wait(60)
            except subprocess.TimeoutExpired:
                os.killpg(run.pid, signal.SIGKILL)
                run.wait()
        def left():
            return {pid: line for pid, line in processes().items() if pid not in before}

        try:
            winebox.wait_until(lambda: not left(), 20, "the run's processes to end")
        except AssertionError:
            self.assertEqual({}, left(), output.read_text())

if __name__ == "__main__":
    unittest.main()
