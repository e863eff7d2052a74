"""What every end-to-end test shares: where the builds are and one desktop per module."""

import os
import pathlib
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

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    def setUp(self):
        self.servers = []
        self.agents = []

    def tearDown(self):
        for agent in self.agents:
            agent.kill()
        for server in self.servers:
            server.stop()

    def new_agent(self, folder=None):
        agent = winebox.Agent(self.desktop, EXE, folder)
        self.agents.append(agent)
        return agent

    def new_server(self, **options):
        server = winebox.FakePop3(FAKE_POP3, WORKDIR, **options)
        self.servers.append(server)
        return server

    def screenshot(self, name, window="root"):
        path = ARTIFACTS / f"{name}.png"
        self.desktop.screenshot(path, window)
        return path
