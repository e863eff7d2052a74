"""An IMAP account of the real program under Wine, on dovecot: its unread count,
mail told as it arrives with no check asked, mail read elsewhere, and Exit while
the connection waits in IDLE."""

import pathlib
import subprocess
import time
import unittest

import winebox
from e2e_base import EXE, AgentTestCase

DOVECOT = pathlib.Path(__file__).resolve().parent.parent / "integration" / "dovecot.sh"
DOVECOT_DIR = pathlib.Path("/tmp/tarvik-e2e-imap")
READ_TOOLTIPS = EXE.parent / "read_tooltips.exe"
USER = "mixed"


class PushTest(AgentTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        winebox.run_checked(["rm", "-rf", str(DOVECOT_DIR)])
        winebox.run_checked([str(DOVECOT), "start", str(DOVECOT_DIR), "1110", "1995", "143", "993"])
        cls.addClassCleanup(winebox.run_checked, [str(DOVECOT), "stop", str(DOVECOT_DIR)])

    def doveadm(self, *arguments, message=None):
        subprocess.run(["doveadm", "-c", str(DOVECOT_DIR / "dovecot.conf"), *arguments],
                       input=message, text=True, check=True, stdout=subprocess.DEVNULL)

    def tooltips(self):
        return self.desktop.wine(str(READ_TOOLTIPS)).stdout.splitlines()

    def watch_balloon(self, text):
        """read_tooltips waiting for a balloon that reads text, already looking when this returns."""
        output = self.desktop.workdir / "balloon-watch.txt"
        with output.open("w") as sink:
            watch = subprocess.Popen([self.desktop.loader, str(READ_TOOLTIPS), "--wait", text],
                                     env=self.desktop.env, stdout=sink, stderr=subprocess.DEVNULL)
        self.addCleanup(watch.kill)
        winebox.wait_until(lambda: "watching" in output.read_text(), 20, "the balloon watch")
        return watch

    def wait_tip(self, text, timeout):
        """Keeps the pointer over the icon, where the shell shows the tooltip as it changes."""
        x, y = winebox.tray_icon_point(self.desktop)

        def shown():
            self.desktop.xdotool("mousemove", str(x - 2), str(y), "mousemove", str(x), str(y))
            return text in self.tooltips()

        winebox.wait_until(shown, timeout, f"the tooltip {text!r}")
        self.desktop.xdotool("mousemove", "600", "600")

    def test_unread_mail_is_pushed_as_it_comes_and_goes_and_exit_is_prompt(self):
        self.doveadm("flags", "add", "-u", USER, "\\Seen", "mailbox", "INBOX", "uid", "2,4")
        agent = self.new_agent()
        agent.write_settings(server="imap://127.0.0.1", user=USER, show_count="TRUE")
        agent.start()
        self.desktop.focus(self.desktop.wait_window(winebox.CHECK_CAPTION))
        self.desktop.key("Return")
        self.desktop.wait_no_window(winebox.CHECK_CAPTION)
        self.wait_tip("You have 3 messages waiting", 10)

        for n in range(1, 4):
            # Wine's tray shows one balloon at a time, each for at least 10 s.
            winebox.wait_until(lambda: not self.tooltips(), 40, "the last balloon to go")
            balloon = self.watch_balloon(f"Bob: Delivery {n}")
            delivered = time.monotonic()
            self.doveadm("save", "-u", USER,
                         message=f"From: Bob <bob@example.test>\nSubject: Delivery {n}\n\nHello.\n")
            box = self.desktop.wait_window(winebox.CHECK_CAPTION, timeout=3)
            boxed = time.monotonic() - delivered
            self.assertEqual(0, balloon.wait(max(0.0, 3 - boxed)))
            told = time.monotonic() - delivered
            print(f"delivery {n}: the count box after {boxed:.2f} s, the balloon after {told:.2f} s")
            self.assertLess(told, 3)
            self.screenshot(f"push-delivery-{n}")
            self.desktop.focus(box)
            self.desktop.key("Return")
            self.desktop.wait_no_window(winebox.CHECK_CAPTION)

        self.doveadm("flags", "add", "-u", USER, "\\Seen", "mailbox", "INBOX", "all")
        self.wait_tip("No messages waiting", 5)

        x, y = winebox.tray_icon_point(self.desktop)
        self.desktop.click(x, y, button=3)
        winebox.wait_until(self.desktop.popup_menus, 5, "the tray menu")
        self.desktop.xdotool("mousemove", str(x + 40), str(y + 11 + 16 * winebox.EXIT))
        exited = time.monotonic()
        self.desktop.xdotool("click", "1")
        agent.wait_exit(timeout=1)
        self.assertLess(time.monotonic() - exited, 1)


if __name__ == "__main__":
    unittest.main()
