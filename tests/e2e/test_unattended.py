"""Unattended: a resume from sleep, a rejection told once, one copy per settings
file with its /check and /exit, a first start that guides, and the log."""

import pathlib
import time
import unittest

import winebox
from e2e_base import EXE, AgentTestCase

SEND_TO_FRAME = EXE.parent / "send_to_frame.exe"
WM_POWERBROADCAST = "0x218"
PBT_APMRESUMEAUTOMATIC = "0x12"
NO_MAIL = "+OK 0 0\\r\\n"


def copies_of(agent):
    """The running processes of the agent's executable."""
    copies = []
    for cmdline in pathlib.Path("/proc").glob("[0-9]*/cmdline"):
        try:
            if agent.exe.name.encode() in cmdline.read_bytes() and \
                    str(agent.folder).encode() in cmdline.read_bytes():
                copies.append(cmdline.parent.name)
        except OSError:
            pass
    return copies


class UnattendedTest(AgentTestCase):
    def start_checked(self, stat=NO_MAIL, extras=""):
        server = self.new_server(stat=stat)
        agent = self.new_agent()
        agent.write_settings(show_count="FALSE")
        if extras:
            with agent.settings.open("ab") as settings:
                settings.write(extras.encode("ascii"))
        agent.start()
        server.wait_transcript(4)
        return server, agent

    def start_again(self, agent, *arguments):
        """A later start of the same copy: it must hand over and end at once with 0."""
        started = time.monotonic()
        result = self.desktop.wine(str(agent.exe), *arguments, check=False)
        self.assertEqual(0, result.returncode, result.stdout)
        return time.monotonic() - started

    def screenshot_tooltip(self, name):
        """The tooltip, for the record: Wine draws it once the pointer rests on the icon."""
        x, y = winebox.tray_icon_point(self.desktop)
        for dx in (-3, -1, 0):
            self.desktop.xdotool("mousemove", str(x + dx), str(y))
            time.sleep(0.3)
        time.sleep(1.5)
        self.screenshot(name)
        self.desktop.xdotool("mousemove", "600", "600")

    def test_a_resume_from_sleep_checks_within_ten_seconds(self):
        server, agent = self.start_checked()
        self.desktop.wine(str(SEND_TO_FRAME), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC)
        started = time.monotonic()
        server.wait_transcript(8, timeout=15)
        self.assertLess(time.monotonic() - started, 12)
        agent.send_close()
        agent.wait_exit()

    def test_a_wrong_password_is_boxed_once_then_told_in_the_tip_and_a_second_start_checks(self):
        server = self.new_server(script=winebox.script(
            r"send +OK hi\r\n", "expect", r"send +OK\r\n", "expect",
            r"send -ERR [AUTH] invalid password\r\n", "close"))
        agent = self.new_agent()
        agent.write_settings()
        agent.start()
        self.desktop.wait_window(winebox.CHECK_CAPTION)
        self.desktop.key("Return")
        self.desktop.wait_no_window(winebox.CHECK_CAPTION)
        def passwords():
            return [line for line in server.transcript() if line.startswith("PASS")]

        for checks in (2, 3):
            self.start_again(agent, "/check")
            winebox.wait_until(lambda: len(passwords()) >= checks, 15, f"check {checks}")
            time.sleep(1.5)
            self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION), "no second box")
        self.start_again(agent)
        winebox.wait_until(lambda: len(passwords()) >= 4, 15, "a plain second start checks")
        self.assertEqual(1, len(copies_of(agent)), "one copy, so one icon")
        self.screenshot_tooltip("rejected-again-tooltip")
        self.assertTrue(agent.running())
        agent.send_close()
        agent.wait_exit()

    def test_exit_ends_the_running_copy_with_its_settings_written(self):
        _, agent = self.start_checked()
        agent.settings.write_bytes(b"overwritten by hand\r\n")
        self.assertLess(self.start_again(agent, "/exit"), 15)
        agent.wait_exit()
        self.assertEqual(["127.0.0.1", "alice", "secret", "5", "FALSE", "", "FALSE", "", "FALSE",
                          "", "FALSE"], agent.read_settings())
        self.start_again(agent, "/exit")
        self.assertFalse(agent.running(), "with no copy running /exit does nothing")

    def test_a_first_start_without_settings_guides_and_connects_nowhere(self):
        server = self.new_server(stat=NO_MAIL)
        agent = self.new_agent()
        agent.start()
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        self.screenshot_tooltip("first-start-tooltip")
        self.assertEqual([], server.transcript())
        self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION))
        agent.send_close()
        agent.wait_exit()

    def test_the_log_holds_one_check_and_no_password(self):
        _, agent = self.start_checked(extras="WriteLog=TRUE\r\n")
        log = agent.folder / "tarvik.log"
        winebox.wait_until(lambda: log.exists() and b"check ends" in log.read_bytes(), 15,
                           "the check in the log")
        agent.send_close()
        agent.wait_exit()
        lines = [line[20:] for line in log.read_bytes().decode("ascii").split("\r\n")[:-1]]
        for wanted in ("program starts", "check starts", "server 127.0.0.1 port 110",
                       "> USER alice", "> PASS ***", "> STAT", "< +OK 0 0", "> QUIT",
                       "outcome: mailbox count 0", "program ends"):
            self.assertIn(wanted, lines)
        self.assertNotIn(b"secret", log.read_bytes())
        self.assertTrue(agent.read_settings()[11:] == ["WriteLog=TRUE"])


if __name__ == "__main__":
    unittest.main()
