"""The two settings dialogs, driven through the tray menu as a user would."""

import pathlib
import shutil
import subprocess
import time
import unittest

import winebox
from e2e_base import EXE, AgentTestCase

from winebox import NOTIFICATION_OPTIONS, OPEN_MAIL, SERVER_OPTIONS, SOUND_OPTIONS
SERVER_CAPTION, SOUND_CAPTION = "POP3 Server Options", "Sound Options"
# Controls of the templates, in dialog units: x, y, width, height.
PLUS, OK_SERVER, CANCEL_SERVER = (120, 70, 10, 15), (43, 95, 50, 14), (153, 95, 50, 14)
OK_SOUND, CANCEL_SOUND = (40, 120, 50, 14), (150, 120, 50, 14)
BROWSE_NEW_MAIL, BROWSE_NO_MAIL = (195, 30, 45, 14), (195, 65, 45, 14)


class DialogTestCase(AgentTestCase):
    def start_agent(self, **settings):
        agent = self.new_agent()
        agent.write_settings(**settings)
        agent.start()
        self.desktop.wait_window(winebox.TRAY_WINDOW)
        time.sleep(1)
        return agent

    def open_dialog(self, item, caption, width, height):
        winebox.choose_from_tray_menu(self.desktop, item)
        window = self.desktop.wait_window(caption)
        time.sleep(0.5)
        self.desktop.focus(window)
        return winebox.DialogLayout(self.desktop, window, width, height)

    def open_server_options(self):
        return self.open_dialog(SERVER_OPTIONS, SERVER_CAPTION, 248, 121)

    def open_sound_options(self):
        return self.open_dialog(SOUND_OPTIONS, SOUND_CAPTION, 252, 146)

    def replace_field_text(self, text):
        self.desktop.key("ctrl+a")
        self.desktop.type(text)


class DialogsTest(DialogTestCase):
    def test_server_options_typed_saved_closed_and_cancelled(self):
        agent = self.start_agent(server="", user="", password="", interval=15)

        layout = self.open_server_options()
        self.screenshot("server-options")
        self.desktop.type("mail.example.org")
        self.desktop.key("Tab")
        self.desktop.type("bob smith")
        self.desktop.key("Tab")
        self.desktop.type("p4ss word")
        for _ in range(3):
            self.desktop.click(*layout.centre(*PLUS))
        self.screenshot("server-options-typed")
        self.desktop.click(*layout.centre(*OK_SERVER))
        self.desktop.wait_no_window(SERVER_CAPTION)
        self.assertEqual(["mail.example.org", "bob smith", "", "18"],
                         agent.read_settings()[:4], "the password is in the Credential Manager")

        layout = self.open_server_options()
        self.replace_field_text("closed.example.org")
        self.desktop.click(*layout.close_box)
        self.desktop.wait_no_window(SERVER_CAPTION)
        self.assertEqual("closed.example.org", agent.read_settings()[0], "the close box accepts")

        layout = self.open_server_options()
        self.replace_field_text("minimised.example.org")
        self.desktop.click(*layout.minimize_box)
        self.desktop.wait_no_window(SERVER_CAPTION)
        self.assertEqual("minimised.example.org", agent.read_settings()[0],
                         "the minimize box accepts")

        self.open_server_options()
        self.replace_field_text("escaped.example.org")
        self.desktop.key("Escape")
        self.desktop.wait_no_window(SERVER_CAPTION)
        self.assertEqual("minimised.example.org", agent.read_settings()[0], "Esc cancels")

        agent.send_close()
        agent.wait_exit()
        self.assertEqual(["minimised.example.org", "bob smith", "", "18"],
                         agent.read_settings()[:4])

    def test_sound_options_browse_ok_and_cancel(self):
        agent = self.start_agent(server="")
        sound = agent.folder / "ding.wav"
        sound.write_bytes(b"RIFF\0\0\0\0WAVE")

        layout = self.open_sound_options()
        self.screenshot("sound-options")
        self.desktop.click(*layout.centre(*BROWSE_NEW_MAIL))
        self.desktop.wait_window("Open")
        self.screenshot("file-open-dialog")
        self.desktop.type(winebox.windows_path(agent.folder / "ding"))
        self.desktop.key("Return")
        self.desktop.wait_no_window("Open")
        time.sleep(0.5)
        self.screenshot("sound-options-chosen")
        self.desktop.click(*layout.centre(*OK_SOUND))
        self.desktop.wait_no_window(SOUND_CAPTION)
        settings = agent.read_settings()
        self.assertEqual(["TRUE", winebox.windows_path(sound)], settings[4:6],
                         "the chosen file, with .wav added, and its switch on")

        layout = self.open_sound_options()
        self.desktop.click(*layout.centre(*BROWSE_NO_MAIL))
        self.desktop.wait_window("Open")
        self.desktop.type(winebox.windows_path(sound))
        self.desktop.key("Return")
        self.desktop.wait_no_window("Open")
        time.sleep(0.5)
        self.desktop.click(*layout.centre(*CANCEL_SOUND))
        self.desktop.wait_no_window(SOUND_CAPTION)
        self.assertEqual(settings, agent.read_settings(), "Cancel saves nothing")

    def test_an_ok_that_cannot_save_says_where_and_the_values_are_saved_at_exit(self):
        agent = self.start_agent(server="", interval=15)
        before = agent.settings.read_bytes()
        # Neither a temporary file beside it nor the file itself can be written.
        locked = [str(agent.settings), str(agent.folder)]
        if subprocess.run(["chattr", "+i", *locked]).returncode != 0:
            self.skipTest("the file system cannot make a folder read-only for root")
        self.addCleanup(subprocess.run, ["chattr", "-i", *locked])
        layout = self.open_server_options()
        self.desktop.type("mail.example.org")
        self.desktop.click(*layout.centre(*OK_SERVER))
        box = self.desktop.wait_window("Tarvik")
        self.screenshot("settings-not-saved")
        self.desktop.focus(box)
        self.desktop.key("Return")
        self.desktop.wait_no_window("Tarvik")
        self.assertEqual(before, agent.settings.read_bytes())

        subprocess.run(["chattr", "-i", *locked], check=True)
        agent.send_close()
        agent.wait_exit()
        self.assertEqual("mail.example.org", agent.read_settings()[0])

    def test_a_check_while_a_dialog_is_open_uses_the_saved_values(self):
        server = self.new_server(stat="+OK 0 0\\r\\n")
        agent = self.start_agent(show_count="FALSE")
        server.wait_transcript(5)
        layout = self.open_server_options()
        self.desktop.key("Tab")
        self.replace_field_text("somebody else")
        # The dialog opens over the tray window: move it aside to reach the icon,
        # and back again to reach its own buttons.
        dialog = self.desktop.wait_window(SERVER_CAPTION)
        x, y, _, _ = self.desktop.geometry(dialog)
        self.desktop.xdotool("windowmove", dialog, "400", "300")
        icon_x, icon_y = winebox.tray_icon_point(self.desktop)
        self.desktop.click(icon_x, icon_y, repeat=2)
        self.assertEqual("USER alice", server.wait_transcript(10)[5])
        self.desktop.xdotool("windowmove", dialog, str(x), str(y))
        self.desktop.click(*layout.centre(*CANCEL_SERVER))
        self.desktop.wait_no_window(SERVER_CAPTION)
        self.assertEqual("alice", agent.read_settings()[1])

if __name__ == "__main__":
    unittest.main()


READ_TOOLTIPS = pathlib.Path(EXE).parent / "read_tooltips.exe"
RECORD_START = pathlib.Path(EXE).parent / "record_start.exe"
NOTIFICATION_CAPTION = "Notification Options"
SHOW_SENDER = (5, 33, 180, 10)
OK_NOTIFICATION = (40, 102, 50, 14)


class NewMailTest(DialogTestCase):
    """The whole way of new mail: the balloon once, Open mail, and where the switches live."""

    def balloon_texts(self):
        """The texts of the tooltips shown now, the balloon's among them."""
        return self.desktop.wine(str(READ_TOOLTIPS)).stdout.splitlines()

    def wait_balloon(self, text):
        winebox.wait_until(lambda: text in self.balloon_texts(), 20, f"a balloon with {text!r}")

    def test_new_mail_is_told_once_and_open_mail_starts_the_mail_program(self):
        server = self.new_server(stat="+OK 3 300\\r\\n")
        agent = self.new_agent()
        agent.write_settings(show_count="TRUE")
        mail_program = agent.folder / "record_start.exe"
        shutil.copy(RECORD_START, mail_program)
        # Registered unquoted, in a folder named with a blank ("agent ..."), as some are.
        clients = r"HKCU\Software\Clients\Mail"
        self.addCleanup(self.desktop.wine, "reg", "delete", clients, "/f", check=False)
        self.desktop.wine("reg", "add", clients, "/ve", "/d", "Record", "/f")
        self.desktop.wine("reg", "add", clients + r"\Record\shell\open\command", "/ve", "/d",
                          f'{winebox.windows_path(mail_program)}\t/inbox "%1"', "/f")
        agent.start()

        first = "Fake Sender: Message 3 | Fake Sender: Message 2 | Fake Sender: Message 1"
        box = self.desktop.wait_window(winebox.CHECK_CAPTION)
        self.wait_balloon(first)
        self.screenshot("new-mail-balloon")
        self.desktop.focus(box)
        self.desktop.key("Return")
        server.wait_transcript(8)
        # The balloon times out; a second check with nothing new shows neither it nor the box.
        winebox.wait_until(lambda: first not in self.balloon_texts(), 60, "the balloon to go")
        x, y = winebox.tray_icon_point(self.desktop)
        self.desktop.click(x, y, repeat=2)
        server.wait_transcript(13)
        time.sleep(2)
        self.assertNotIn(first, self.balloon_texts())
        self.assertEqual([], self.desktop.windows(winebox.CHECK_CAPTION))

        # A fourth message arrives: told, and only it.
        server.stop()
        server = self.new_server(stat="+OK 4 400\\r\\n")
        self.desktop.click(x, y, repeat=2)
        self.wait_balloon("Fake Sender: Message 4")
        self.desktop.focus(self.desktop.wait_window(winebox.CHECK_CAPTION))
        self.desktop.key("Return")
        self.assertEqual(["USER alice", "PASS secret", "STAT", "UIDL", "TOP 4 0", "QUIT"],
                         server.wait_transcript(6))

        winebox.choose_from_tray_menu(self.desktop, OPEN_MAIL)
        record = agent.folder / "record_start.txt"
        winebox.wait_until(record.exists, 20, "the mail program to start")
        # Run whole, not split at the blank; Wine quotes the program it found.
        self.assertRegex(record.read_text(), r'^"?Z:.*\\agent [^\\]*\\record_start\.exe"?\s/inbox\n$')

        layout = self.open_dialog(NOTIFICATION_OPTIONS, NOTIFICATION_CAPTION, 252, 126)
        self.screenshot("notification-options", self.desktop.wait_window(NOTIFICATION_CAPTION))
        self.desktop.click(*layout.centre(*SHOW_SENDER))
        self.desktop.click(*layout.centre(*OK_NOTIFICATION))
        self.desktop.wait_no_window(NOTIFICATION_CAPTION)
        self.assertIn("ShowSenderAndSubject=FALSE", agent.settings.read_text())
        agent.send_close()
        agent.wait_exit()
