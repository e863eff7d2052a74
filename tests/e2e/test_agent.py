"""The agent's life as a user sees it: start hidden, check, show the count, close."""

import unittest

import winebox
from e2e_base import AgentTestCase



class AgentLifeTest(AgentTestCase):
    def test_starts_hidden_checks_shows_the_count_and_saves_on_close(self):
        server = self.new_server(stat="+OK 3 300\\r\\n")
        agent = self.new_agent()
        agent.write_settings(password="se cret", interval=7, show_count="TRUE")
        agent.start()

        box = self.desktop.wait_window(winebox.CHECK_CAPTION)
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        self.screenshot("count-box")
        self.assertEqual([], self.desktop.windows("Tarvik"), "the frame is never shown")
        self.assertEqual([], server.transcript(), "QUIT waits until the box is closed")

        self.desktop.key("Return")
        self.desktop.wait_no_window(winebox.CHECK_CAPTION)
        self.assertEqual(["USER alice", "PASS se cret", "STAT", "UIDL", "TOP 3 0", "TOP 2 0",
                          "TOP 1 0", "QUIT"], server.wait_transcript(8))
        self.assertTrue(box)

        agent.settings.write_bytes(b"overwritten by hand\r\n")
        agent.send_close()
        agent.wait_exit()
        self.assertEqual(["127.0.0.1", "alice", "", "7", "FALSE", "", "FALSE", "", "FALSE",
                          "", "TRUE"], agent.read_settings(), "the password is in the Credential Manager")
        self.assertTrue(agent.settings.read_bytes().endswith(b"TRUE\r\n"))
        self.assertEqual(11, agent.settings.read_bytes().count(b"\r\n"))
        self.desktop.wait_no_window(winebox.TRAY_WINDOW)

    def test_without_a_settings_file_it_runs_and_creates_one_on_close(self):
        agent = self.new_agent()
        agent.start()
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION))
        agent.send_close()
        agent.wait_exit()
        self.assertEqual(["", "", "", "5", "FALSE", "", "FALSE", "", "FALSE", "", "FALSE"],
                         agent.read_settings())

    def test_a_wrong_password_is_reported_in_a_box(self):
        server = self.new_server(script=winebox.script(
            r"send +OK hi\r\n", "expect", r"send +OK\r\n", "expect",
            r"send -ERR [AUTH] invalid password\r\n", "close"))
        agent = self.new_agent()
        agent.write_settings()
        agent.start()
        self.desktop.wait_window(winebox.CHECK_CAPTION)
        self.screenshot("wrong-password-box")
        self.desktop.key("Return")
        self.assertEqual(["USER alice", "PASS secret"], server.wait_transcript(2))
        agent.send_close()
        agent.wait_exit()


if __name__ == "__main__":
    unittest.main()
