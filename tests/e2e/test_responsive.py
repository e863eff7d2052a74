"""A check never freezes the program: while its server has accepted the
connection and stays silent, the tray menu opens and a close ends the program
at once with the settings written; a log-off does the same."""

import time
import unittest

import winebox
from e2e_base import AgentTestCase

# How long the program may take to answer, from the request.
PROMPT = 1.0


class StalledCheckTest(AgentTestCase):
    def start_during_a_stalled_check(self):
        server = self.new_server(script=winebox.script("stall"))
        agent = self.new_agent()
        agent.write_settings(interval=9)
        agent.start()
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        server.wait_connected()
        # Written back whole at the end; a hand-made file shows that it was.
        agent.settings.write_bytes(b"overwritten by hand\r\n")
        return agent

    def assert_ends_at_once(self, agent, request):
        asked = time.monotonic()
        agent.wait_exit(timeout=10)
        self.assertLess(time.monotonic() - asked, PROMPT, f"{request} ended the program late")
        self.assert_saved_and_gone(agent)

    def assert_saved_and_gone(self, agent):
        self.assertEqual(["127.0.0.1", "alice", "", "9", "FALSE", "", "FALSE", "", "FALSE",
                          "", "TRUE"], agent.read_settings())
        self.desktop.wait_no_window(winebox.TRAY_WINDOW, timeout=PROMPT)

    def test_the_menu_opens_and_exit_ends_the_program_at_once(self):
        agent = self.start_during_a_stalled_check()
        x, y = winebox.tray_icon_point(self.desktop)
        self.desktop.xdotool("mousemove", str(x), str(y))
        asked = time.monotonic()
        self.desktop.xdotool("click", "3")
        winebox.wait_until(self.desktop.popup_menus, 10, "the tray menu")
        self.assertLess(time.monotonic() - asked, PROMPT, "the menu opened late")
        self.screenshot("menu-during-a-stalled-check")

        self.desktop.click(x + 40, y + 11 + 16 * winebox.EXIT)
        self.assert_ends_at_once(agent, "Exit")

    def test_a_close_ends_the_program_at_once(self):
        agent = self.start_during_a_stalled_check()
        agent.send_close()
        self.assert_ends_at_once(agent, "WM_CLOSE")

    def test_a_log_off_saves_the_settings_and_removes_the_icon(self):
        agent = self.start_during_a_stalled_check()
        started = time.monotonic()
        self.desktop.end_session()
        self.assertLess(time.monotonic() - started, 5 * PROMPT, "the log-off was held up")
        self.assert_saved_and_gone(agent)
        agent.wait_exit(timeout=PROMPT)


if __name__ == "__main__":
    unittest.main()
