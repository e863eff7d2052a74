"""Any user name, any language: the program in folders named in Polish and Japanese
(one deeper than 260 characters), a password with umlauts against dovecot, the
password in the Credential Manager, and the cp1252 file of an earlier version."""

import os
import pathlib
import time
import unittest
from unittest import mock

import winebox
from e2e_base import EXE, WORKDIR, AgentTestCase

INTEGRATION = pathlib.Path(__file__).resolve().parent.parent / "integration"
DOVECOT_DIR = pathlib.Path("/tmp/tarvik-e2e-dovecot-unicode")
FOLDER, PASSWORD = "Łódź 東京", "pässwörd"
# Wine lets every user write the machine's Run key, so the value goes there.
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
from winebox import AUTORUN, SERVER_OPTIONS


class UnicodeTest(AgentTestCase):
    @classmethod
    def setUpClass(cls):
        # Wine names non-ASCII Unix paths only under a UTF-8 locale.
        with mock.patch.dict(os.environ, LANG="C.UTF-8"):
            super().setUpClass()
        winebox.run_checked(["rm", "-rf", str(DOVECOT_DIR)])
        winebox.run_checked([str(INTEGRATION / "dovecot.sh"), "start", str(DOVECOT_DIR), "110"])
        cls.addClassCleanup(winebox.run_checked,
                            [str(INTEGRATION / "dovecot.sh"), "stop", str(DOVECOT_DIR)])

    def log(self):
        return (DOVECOT_DIR / "dovecot.log").read_text(errors="replace")

    def run_agent(self, agent, user, before_close=lambda: None):
        """Starts the program, waits for its login as user, then closes it."""
        log_start = len(self.log())
        agent.start()
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        if user:
            winebox.wait_until(lambda: f"Login: user=<{user}>" in self.log()[log_start:], 20,
                               f"{user} logged in")
        before_close()
        agent.send_close()
        agent.wait_exit()
        return self.log()[log_start:]

    def credential(self, user):
        """Wine keeps generic credentials in the registry, the password encrypted."""
        key = rf"HKCU\Software\Wine\Credential Manager\Generic: Tarvik:{user}@127.0.0.1"
        self.addCleanup(self.desktop.wine, "reg", "delete", key, "/f", check=False)
        return self.desktop.reg_query(key, "Password")

    def autorun_value(self):
        """As reg exports it, in UTF-16: reg query prints the OEM code page, without "Ł"."""
        exported = WORKDIR / "run-key.reg"
        exported.unlink(missing_ok=True)
        self.desktop.wine("reg", "export", RUN_KEY, winebox.windows_path(exported), self.view(),
                          "/y", check=False)
        text = exported.read_bytes().decode("utf-16") if exported.exists() else ""
        return next((line for line in text.splitlines() if line.startswith('"Nolvar-Tarvik"')), "")

    def view(self):
        """The registry view the program sees: the 32-bit one for the 32-bit program."""
        return "/reg:64" if self.desktop.loader.endswith("64") else "/reg:32"

    def autorun_and_server_options_ok(self):
        self.addCleanup(self.desktop.wine, "reg", "delete", RUN_KEY, "/v", "Nolvar-Tarvik", "/f",
                        self.view(), check=False)
        time.sleep(1)  # the icon shows a moment after the tray window
        winebox.choose_from_tray_menu(self.desktop, AUTORUN)
        self.autorun = winebox.wait_until(self.autorun_value, 10, "the autorun value")
        winebox.choose_from_tray_menu(self.desktop, SERVER_OPTIONS)
        self.desktop.focus(self.desktop.wait_window("POP3 Server Options"))
        self.desktop.key("Return")
        self.desktop.wait_no_window("POP3 Server Options")
        self.options_saved = self.agent.read_settings()

    def test_a_unicode_folder_a_utf8_password_and_the_credential_manager(self):
        self.agent = self.new_agent(WORKDIR / FOLDER)
        self.agent.write_settings(user="umlaut", password=PASSWORD, show_count="FALSE")
        self.run_agent(self.agent, "umlaut", self.autorun_and_server_options_ok)
        exe = winebox.windows_path(self.agent.exe).replace("\\", "\\\\")
        self.assertIn(f'\\"{exe}\\" ', self.autorun)
        self.assertEqual(["127.0.0.1", "umlaut", "", "5"], self.options_saved[:4],
                         "read and rewritten in the folder, line 3 empty")
        self.assertIsNotNone(self.credential("umlaut"))
        self.run_agent(self.agent, "umlaut", lambda: self.screenshot("unicode-folder"))
        self.assertEqual("LoginForm=UTF-8", self.agent.read_settings()[11])

    def test_the_cp1252_file_of_an_earlier_version_logs_in_to_a_cp1252_server(self):
        agent = self.new_agent()
        agent.write_settings(user="legacy", password=PASSWORD, show_count="FALSE")
        self.run_agent(agent, "legacy")
        self.assertEqual(["127.0.0.1", "legacy", "", "5"], agent.read_settings()[:4])
        self.assertEqual("LoginForm=ANSI", agent.read_settings()[11])
        self.assertIsNotNone(self.credential("legacy"))

    def test_without_any_password_the_tip_says_so_and_nothing_reaches_the_server(self):
        agent = self.new_agent()
        agent.write_settings(user="nobody", password="", show_count="FALSE")

        def read_tooltip():
            x, y = winebox.tray_icon_point(self.desktop)
            for dx in (-3, -1, 0):
                self.desktop.xdotool("mousemove", str(x + dx), str(y))
                time.sleep(0.3)
            time.sleep(1.5)
            self.screenshot("password-needed")
            self.tips = self.desktop.wine(str(EXE.parent / "read_tooltips.exe")).stdout.splitlines()

        log = self.run_agent(agent, None, read_tooltip)
        self.assertIn("Password needed: right-click, Server options", self.tips)
        self.assertNotIn("pop3-login", log)

    def test_a_folder_deeper_than_260_characters(self):
        deep = WORKDIR / FOLDER
        while len(winebox.windows_path(deep)) <= 270:
            deep = deep / ("tief " + FOLDER)
        agent = self.new_agent(deep)
        agent.write_settings(user="umlaut", password=PASSWORD, show_count="FALSE")
        with agent.settings.open("ab") as settings:
            settings.write(b"WriteLog=TRUE\r\n")
        self.run_agent(agent, "umlaut")
        self.assertEqual(["127.0.0.1", "umlaut", "", "5"], agent.read_settings()[:4])
        self.assertIn("> USER umlaut", (deep / "tarvik.log").read_text())
        self.assertEqual(["tarvik.exe", "tarvik.ini", "tarvik.log", "tarvik.seen"],
                         sorted(path.name for path in deep.iterdir() if path.is_file()),
                         "no temporary file is left")


if __name__ == "__main__":
    unittest.main()
