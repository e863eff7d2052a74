"""Unattended: a resume from sleep, a rejection boxed once, one copy per settings
file with /check and /exit, a first start that guides, and the log."""

import re
import subprocess
import time
import unittest

import winebox
from e2e_base import EXE, AgentTestCase

FRAME_PING = EXE.parent / "frame_ping.exe"
WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC = "0x218", "0x12"


def copies(agent):
    """How many processes run the agent's executable."""
    return int(subprocess.run(["pgrep", "-fc", re.escape(str(agent.exe))], text=True,
                              stdout=subprocess.PIPE).stdout)


class UnattendedTest(AgentTestCase):
    def start_checked(self, extras=b""):
        server = self.new_server(stat="+OK 0 0\\r\\n")
        agent = self.new_agent()
        agent.write_settings(show_count="FALSE")
        with agent.settings.open("ab") as settings:
            settings.write(extras)
        agent.start()
        server.wait_transcript(4)
        return server, agent

    def start_again(self, agent, *arguments):
        """A later start of the same copy hands over and ends at once with 0."""
        self.assertEqual(0, self.desktop.wine(str(agent.exe), *arguments, check=False).returncode)

    def close(self, agent):
        agent.send_close()
        agent.wait_exit()

    def test_a_resume_from_sleep_checks_within_ten_seconds(self):
        server, agent = self.start_checked()
        self.desktop.wine(str(FRAME_PING), "1", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC)
        server.wait_transcript(8, timeout=11)
        self.close(agent)

    def test_a_wrong_password_is_boxed_once_and_a_second_start_checks_in_the_first_copy(self):
        server = self.new_server(script=winebox.script(
            r"send +OK hi\r\n", "expect", r"send +OK\r\n", "expect",
            r"send -ERR [AUTH] invalid password\r\n", "close"))
        agent = self.new_agent()
        agent.write_settings()
        agent.start()
        # Focused first: on a busy host the key may otherwise go elsewhere.
        self.desktop.focus(self.desktop.wait_window(winebox.CHECK_CAPTION))
        self.desktop.key("Return")
        self.desktop.wait_no_window(winebox.CHECK_CAPTION)
        for checks, arguments in ((2, ["/check"]), (3, ["/check"]), (4, [])):
            self.start_again(agent, *arguments)
            winebox.wait_until(lambda: server.transcript().count("PASS secret") >= checks, 15,
                               f"check {checks}")
            time.sleep(1.5)
            self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION), "no second box")
        self.assertEqual(1, copies(agent), "one copy, so one icon")
        self.screenshot_tooltip("rejected-again-tooltip")
        self.close(agent)

    def test_a_server_that_takes_no_password_or_wants_an_app_password_says_what_to_do(self):
        for reply, line in (
                ("-ERR Basic authentication is disabled.",
                 "This account needs Microsoft sign-in: right-click, Server options"),
                ("-ERR [AUTH] Application-specific password required",
                 "This account needs an app password: see the provider's security settings")):
            server = self.new_server(script=winebox.script(
                r"send +OK hi\r\n", "expect", r"send +OK\r\n", "expect", rf"send {reply}\r\n",
                "close"))
            agent = self.new_agent()
            agent.write_settings()
            agent.start()
            self.desktop.focus(self.desktop.wait_window(winebox.CHECK_CAPTION))
            self.screenshot(line.split(":")[0].lower().replace(" ", "-"))
            self.desktop.key("Return")
            winebox.wait_until(lambda: line in self.tooltips(), 20, line)
            self.close(agent)
            server.stop()

    def test_exit_ends_the_running_copy_with_its_settings_written(self):
        _, agent = self.start_checked()
        agent.settings.write_bytes(b"overwritten by hand\r\n")
        self.start_again(agent, "/exit")
        agent.wait_exit()
        # The password went to the credential store; line 3 stays empty.
        self.assertEqual(["127.0.0.1", "alice", "", "5", "FALSE", "", "FALSE", "", "FALSE",
                          "", "FALSE"], agent.read_settings())
        self.start_again(agent, "/exit")
        self.assertEqual(0, copies(agent), "with none running, /exit starts none")

    def test_a_first_start_without_settings_guides_and_connects_nowhere(self):
        server = self.new_server()
        agent = self.new_agent()
        agent.start()
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        self.screenshot_tooltip("first-start-tooltip")
        self.assertEqual([], server.transcript())
        self.close(agent)

    def test_the_log_holds_one_check_and_no_password(self):
        _, agent = self.start_checked(b"WriteLog=TRUE\r\n")
        self.close(agent)
        log = (agent.folder / "tarvik.log").read_bytes().decode("ascii")
        lines = [line[20:] for line in log.split("\r\n")]
        for wanted in ("program starts", "check starts", "server 127.0.0.1 port 110",
                       "> USER alice", "> PASS ***", "> STAT", "< +OK 0 0", "> QUIT",
                       "outcome: mailbox count 0", "program ends"):
            self.assertIn(wanted, lines)
        self.assertNotIn("secret", log)
        self.assertEqual(["WriteLog=TRUE"], agent.read_settings()[11:])


if __name__ == "__main__":
    unittest.main()
