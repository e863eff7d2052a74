"""What every end-to-end test shares: where the builds are and one desktop per module."""

import os
import pathlib
import time
import unittest

import winebox

EXE = pathlib.Path(os.environ["TARVIK_EXE"])
FAKE_POP3 = pathlib.Path(os.environ["FAKE_POP3"])
WORKDIR = pathlib.Path(os.environ.get("E2E_WORKDIR", "/tmp/tarvik-e2e"))
ARTIFACTS = pathlib.Path(os.environ.get("E2E_ARTIFACTS", WORKDIR / "artifacts"))


class AgentTestCase(unittest.TestCase):
    desktop = None

    @classmethod
    def setUpClass(cls):
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        cls.desktop = winebox.Desktop(WORKDIR)
        # Class clean-ups run also when a later part of a subclass's set-up fails.
        cls.addClassCleanup(cls.desktop.close)

    def new_agent(self, folder=None):
        agent = winebox.Agent(self.desktop, EXE, folder)
        self.addCleanup(agent.kill)
        return agent

    def new_server(self, **options):
        server = winebox.FakePop3(FAKE_POP3, WORKDIR, **options)
        self.addCleanup(server.stop)
        return server

    def screenshot(self, name, window="root"):
        path = ARTIFACTS / f"{name}.png"
        self.desktop.screenshot(path, window)
        return path

    def screenshot_tooltip(self, name):
        """The tray icon's tooltip, for the record."""
        self.hover_tray_icon(lambda: self.screenshot(name))

    def tooltips(self):
        """The texts of the tooltips shown with the pointer on the tray icon."""
        return self.hover_tray_icon(
            lambda: self.desktop.wine(str(EXE.parent / "read_tooltips.exe")).stdout.splitlines())

    def hover_tray_icon(self, action):
        """Runs action while Wine shows the icon's tooltip: it draws it after the
        pointer has moved over the icon for a moment."""
        x, y = winebox.tray_icon_point(self.desktop)
        for dx in (-3, -1, 0):
            self.desktop.xdotool("mousemove", str(x + dx), str(y))
            time.sleep(0.3)
        time.sleep(1.5)
        result = action()
        self.desktop.xdotool("mousemove", "600", "600")
        return result
