"""The settings file against what the disk can throw at it: garbage, a read-only folder, a full disk."""

import random
import subprocess
import unittest

import winebox
from e2e_base import AgentTestCase


class SettingsFileTest(AgentTestCase):
    def run_and_close(self, agent, **start):
        agent.start(**start)
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        agent.send_close()
        agent.wait_exit()
        self.desktop.wait_no_window(winebox.TRAY_WINDOW)

    def write_unsaved_form(self, agent):
        """Settings in a form a successful save would change (LF-only line ends)."""
        agent.settings.write_bytes(b"\nkept\nsecret\n9\n")
        return agent.settings.read_bytes()

    def leftovers(self, agent):
        return sorted(path.name for path in agent.folder.iterdir()
                      if path.name not in ("tarvik.exe", "tarvik.ini"))

    def test_garbage_loads_and_is_rewritten_as_eleven_lines(self):
        agent = self.new_agent()
        noise = random.Random(7)
        garbage = bytes(noise.randrange(256) for _ in range(256 * 1024))
        agent.settings.write_bytes(garbage + b"x" * (10 * 1024 * 1024))
        self.run_and_close(agent)
        saved = agent.settings.read_bytes()
        self.assertEqual(11, saved.count(b"\r\n"))
        self.assertTrue(saved.endswith(b"\r\n"))
        self.assertEqual([], self.leftovers(agent))

    def test_a_read_only_folder_gets_the_file_rewritten_in_place_or_keeps_it(self):
        for file_locked_too in (False, True):
            agent = self.new_agent()
            before = self.write_unsaved_form(agent)
            locked = [agent.settings, agent.folder] if file_locked_too else [agent.folder]
            if subprocess.run(["chattr", "+i", *map(str, locked)]).returncode != 0:
                self.skipTest("the file system cannot make a folder read-only for root")
            try:
                self.run_and_close(agent)
            finally:
                subprocess.run(["chattr", "-i", *map(str, locked)], check=True)
            if file_locked_too:
                self.assertEqual(before, agent.settings.read_bytes())
            else:
                self.assertTrue(agent.settings.read_bytes().startswith(b"\r\nkept\r\n\r\n9\r\n"))
            self.assertEqual([], self.leftovers(agent))

    def test_a_full_disk_keeps_the_old_file_whole(self):
        agent = self.new_agent()
        before = self.write_unsaved_form(agent)
        self.run_and_close(agent, full_disk=True)
        self.assertEqual(before, agent.settings.read_bytes())
        self.assertEqual([], self.leftovers(agent), "the half-written temporary file is removed")
        self.run_and_close(agent)
        self.assertTrue(agent.settings.read_bytes().startswith(b"\r\nkept\r\n\r\n9\r\n"),
                        "with room on the disk the same close saves, the password elsewhere")


if __name__ == "__main__":
    unittest.main()
