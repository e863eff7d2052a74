"""Several accounts behind one icon: the count box with the total and a line per
account, a tooltip naming each, and the Accounts dialog, which adds an account
through Server options and removes one with its password."""

import itertools
import unittest

import winebox
from e2e_base import EXE, AgentTestCase

READ_TOOLTIPS = EXE.parent / "read_tooltips.exe"
ACCOUNTS_CAPTION = "Accounts"
# Controls of the Accounts template, in dialog units: x, y, width, height.
FIRST_ROW, ADD, REMOVE = (5, 5, 260, 8), (272, 5, 52, 14), (272, 39, 52, 14)
NAME, OK = (32, 124, 130, 14), (210, 150, 50, 14)
WORK_PORT, THIRD_PORT = 1110, 2110
THIRD_CREDENTIAL = (r"HKCU\Software\Wine\Credential Manager\Generic: "
                    f"Tarvik:carol@127.0.0.1:{THIRD_PORT}")


class AccountsTest(AgentTestCase):
    # A desktop for each test: the tray that the Accounts dialog's test
    # leaves behind no longer reads as one icon.
    @classmethod
    def setUpClass(cls):
        pass

    def setUp(self):
        super().setUpClass()
        self.addCleanup(self.doClassCleanups)

    def start_two_accounts(self, show_count="TRUE"):
        servers = (self.new_server(stat="+OK 3 300\\r\\n"),
                   self.new_server(stat="+OK 2 200\\r\\n", port=WORK_PORT))
        agent = self.new_agent()
        agent.write_settings(show_count=show_count)
        with agent.settings.open("ab") as settings:
            settings.write(f"AccountName=Home\r\nAccount=Work\r\nServer=127.0.0.1:{WORK_PORT}\r\n"
                           "User=bob\r\nPassword=secret\r\nMinutes=5\r\n".encode())
        agent.start()
        return agent, servers

    def texts(self, *caption):
        """The shell's tooltips now, or the texts of the window with this caption."""
        return self.desktop.wine(str(READ_TOOLTIPS), *caption).stdout.splitlines()

    def tooltip_with(self, text):
        """Moves the pointer over the icon until the shell shows a tooltip with text."""
        x, y = winebox.tray_icon_point(self.desktop)
        moves = itertools.cycle((-2, -1, 0))

        def shown():
            # The shell shows the tip once the pointer has rested a moment:
            # look a few times before moving again.
            self.desktop.xdotool("mousemove", str(x + next(moves)), str(y))
            return any(any(text in line for line in self.texts()) for _ in range(4))
        winebox.wait_until(shown, 30, f"a tooltip with {text!r}")

    def open_accounts(self):
        winebox.choose_from_tray_menu(self.desktop, winebox.ACCOUNTS)
        self.accounts = self.desktop.wait_window(ACCOUNTS_CAPTION)
        self.desktop.focus(self.accounts)
        return winebox.DialogLayout(self.desktop, self.accounts, 330, 170)

    def test_two_accounts_show_one_icon_a_total_and_both_names(self):
        agent, (home, work) = self.start_two_accounts()
        box = self.desktop.wait_window(winebox.CHECK_CAPTION)
        # Counted before a tooltip or Wine's balloon, which it shows 2 s late,
        # can cover the tray's cells.
        self.assertEqual(1, winebox.tray_icons(self.desktop))
        self.assertIn("You have 5 messages waiting | Home: 3 | Work: 2",
                      self.texts(winebox.CHECK_CAPTION))
        self.tooltip_with("Home: 3 waiting | Work: 2 waiting")
        self.screenshot("two-accounts")
        self.assertNotIn("QUIT", home.transcript() + work.transcript(), "QUIT waits for the box")
        self.desktop.focus(box)
        self.desktop.key("Return")
        self.assertEqual("QUIT", home.wait_transcript(8)[-1])
        self.assertEqual("QUIT", work.wait_transcript(7)[-1])

    def test_the_accounts_dialog_adds_an_account_and_remove_forgets_its_password(self):
        agent, _ = self.start_two_accounts(show_count="FALSE")
        third = self.new_server(stat="+OK 0 0\\r\\n", port=THIRD_PORT)
        self.addCleanup(self.desktop.wine, "reg", "delete", THIRD_CREDENTIAL, "/f", check=False)
        layout = self.open_accounts()
        self.screenshot("accounts")
        self.desktop.click(*layout.centre(*ADD))
        options = lambda: self.desktop.xdotool("search", "--onlyvisible", "--name",  # noqa: E731
                                               "^New account .* POP3 Server Options$")
        self.desktop.focus(winebox.wait_until(options, 20, "the new account's options")[0])
        self.desktop.type(f"127.0.0.1:{THIRD_PORT}\tcarol\tsecret3")
        self.desktop.key("Return")
        winebox.wait_until(lambda: not options(), 20, "the new account's options to close")
        self.desktop.focus(self.accounts)
        self.desktop.click(*layout.centre(*NAME))
        self.desktop.type("Third")
        self.screenshot("accounts-added")
        self.desktop.click(*layout.centre(*OK))
        self.desktop.wait_no_window(ACCOUNTS_CAPTION)
        settings = winebox.wait_until(lambda: "Account=Third" in agent.read_settings()
                                      and agent.read_settings(), 20, "the third account's group")
        group = settings.index("Account=Third")
        self.assertEqual(["Account=Third", f"Server=127.0.0.1:{THIRD_PORT}", "User=carol",
                          "Minutes=5"], settings[group:], "its password is in the store")
        self.assertIsNotNone(self.desktop.reg_query(THIRD_CREDENTIAL, "Password"))
        self.assertEqual(["USER carol", "PASS secret3"], third.wait_transcript(2)[:2],
                         "checked at once")

        layout = self.open_accounts()
        self.desktop.click(*layout.centre(*FIRST_ROW))
        self.desktop.key("End")
        self.desktop.click(*layout.centre(*REMOVE))
        self.desktop.click(*layout.centre(*OK))
        self.desktop.wait_no_window(ACCOUNTS_CAPTION)
        winebox.wait_until(lambda: "Account=Third" not in agent.read_settings(), 20,
                           "the third account's group to go")
        self.assertIn("Account=Work", agent.read_settings())
        self.assertIsNone(self.desktop.reg_query(THIRD_CREDENTIAL, "Password"))


if __name__ == "__main__":
    unittest.main()
