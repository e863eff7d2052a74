"""The tray icon as the user's handle: clicks, the menu, About, autorun, Exit, start-up."""

import time
import unittest

import winebox
from e2e_base import AgentTestCase

from winebox import ABOUT, AUTORUN, EXIT
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "Nolvar-Tarvik"


class TrayTest(AgentTestCase):
    def start_checking_agent(self, folder=None):
        server = self.new_server(stat="+OK 0 0\\r\\n")
        agent = self.new_agent(folder)
        agent.write_settings(show_count="FALSE")
        agent.start()
        server.wait_transcript(4)
        return server, agent

    def screenshot_tray_menu(self, name):
        x, y = winebox.tray_icon_point(self.desktop)
        self.desktop.click(x, y, button=3)
        time.sleep(0.5)
        self.screenshot(name)
        self.desktop.key("Escape")
        self.desktop.click(600, 600)

    def wait_run_value(self, present):
        winebox.wait_until(lambda: (self.desktop.reg_query(RUN_KEY, RUN_VALUE) is not None) == present,
                           10, "the Run value" if present else "the Run value to go")

    def test_double_click_checks_again(self):
        server, _ = self.start_checking_agent()
        x, y = winebox.tray_icon_point(self.desktop)
        self.desktop.click(x, y, repeat=2)
        self.assertEqual(["USER alice", "PASS secret", "STAT", "UIDL", "QUIT"] * 2,
                         server.wait_transcript(10))

    def test_menu_and_about_box(self):
        server, agent = self.start_checking_agent()
        self.screenshot_tray_menu("tray-menu")

        winebox.choose_from_tray_menu(self.desktop, ABOUT)
        about = self.desktop.wait_window("About")
        self.screenshot("about-box")
        self.screenshot("about-box-window", about)
        self.desktop.key("Return")
        self.desktop.wait_no_window("About")
        self.assertEqual(5, len(server.transcript()), "closing the about box starts no check")
        self.assertTrue(agent.running())

    def test_autorun_toggles_the_run_value_and_survives_a_restart(self):
        self.desktop.wine("reg", "delete", RUN_KEY, "/v", RUN_VALUE, "/f", check=False)
        _, agent = self.start_checking_agent(folder=self.desktop.workdir / "Program Files" / "Tarvik")
        winebox.choose_from_tray_menu(self.desktop, AUTORUN)
        self.wait_run_value(present=True)
        value = self.desktop.reg_query(RUN_KEY, RUN_VALUE)
        self.assertIn('"' + winebox.windows_path(agent.exe) + '" ', value)
        winebox.choose_from_tray_menu(self.desktop, AUTORUN)
        self.wait_run_value(present=False)

        winebox.choose_from_tray_menu(self.desktop, AUTORUN)
        self.wait_run_value(present=True)
        winebox.choose_from_tray_menu(self.desktop, EXIT)
        agent.wait_exit()

        agent.start()
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        time.sleep(1)
        self.screenshot_tray_menu("tray-menu-autorun-checked")
        # Started checked, so one toggle removes the value.
        winebox.choose_from_tray_menu(self.desktop, AUTORUN)
        self.wait_run_value(present=False)

    def test_exit_saves_removes_the_icon_and_ends(self):
        _, agent = self.start_checking_agent()
        agent.settings.write_bytes(b"")
        winebox.choose_from_tray_menu(self.desktop, EXIT)
        agent.wait_exit()
        self.assertEqual(11, len(agent.read_settings()))
        self.assertEqual("127.0.0.1", agent.read_settings()[0])
        self.desktop.wait_no_window(winebox.TRAY_WINDOW)

    def test_a_file_that_cannot_be_opened_ends_start_up(self):
        agent = self.new_agent()
        agent.start(r"C:\no such folder\notes.txt")
        self.desktop.wait_window("Tarvik")
        self.screenshot("cannot-open-file")
        self.desktop.key("Return")
        agent.wait_exit()
        self.desktop.wait_no_window(winebox.TRAY_WINDOW)

    def test_started_minimised_or_twice_it_stays_hidden_with_an_icon_each(self):
        first = self.new_agent()
        first.write_settings(server="")
        second = self.new_agent()
        second.write_settings(server="")
        first.process = self.desktop.spawn([self.desktop.loader, "start", "/min", "/wait", "/unix", str(first.exe)],
                                           cwd=first.folder)
        second.process = self.desktop.spawn([self.desktop.loader, "start", "/max", "/wait", "/unix", str(second.exe)],
                                            cwd=second.folder)
        tray = self.desktop.wait_window(winebox.TRAY_WINDOW)
        winebox.wait_until(lambda: self.desktop.geometry(tray)[2] >= 2 * winebox.ICON_CELL, 10,
                           "two icons")
        time.sleep(1)
        self.screenshot("two-copies")
        self.assertEqual([], self.desktop.windows("Tarvik"))
        self.assertTrue(first.running() and second.running())


if __name__ == "__main__":
    unittest.main()
