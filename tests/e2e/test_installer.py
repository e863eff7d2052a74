"""The packages of scripts/package: their metadata, and the installer's life under Wine.

The installer under test is the one of the architecture of TARVIK_EXE, from
TARVIK_DIST; the next version, for the upgrade, is packaged here.
"""

import os
import time
import pathlib
import re
import struct
import subprocess
import sys
import unittest
import zipfile

import winebox
from e2e_base import EXE, WORKDIR, AgentTestCase

ROOT = pathlib.Path(__file__).resolve().parents[2]
# The reader of the programs' resources serves the installers as well.
sys.path.insert(0, str(ROOT / "tests" / "resources"))
from test_exe_resources import RT_VERSION, resources, version_strings  # noqa: E402

DIST = pathlib.Path(os.environ.get("TARVIK_DIST", ROOT / "dist"))
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvik"
USER_RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
MACHINE_RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "Nolvar-Tarvik"
EXIT_REFUSED = 3
# The standard session's three messages are new at the first check only.
FIRST_CHECK = ["USER alice", "PASS secret", "STAT", "UIDL", "TOP 3 0", "TOP 2 0", "TOP 1 0", "QUIT"]
LATER_CHECK = ["USER alice", "PASS secret", "STAT", "UIDL", "QUIT"]


def machine(path):
    with open(path, "rb") as file:
        head = file.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    return {0x8664: "x64", 0x14C: "x86"}[struct.unpack_from("<H", head, pe + 4)[0]]


def version_info(path):
    """The fixed file and product versions and the strings of a program's version resource."""
    return version_strings(resources(pathlib.Path(path))[(RT_VERSION, 1)])


def product_version(path):
    return version_info(path)[2]["ProductVersion"]


def next_version(version):
    major, minor, patch = (int(part) for part in version.split("."))
    return f"{major}.{minor}.{patch + 1}"


class PackageTest(unittest.TestCase):
    """What Windows and a user see of the built files, before anything runs."""

    def test_every_package_carries_the_programs_and_their_one_version(self):
        version = product_version(EXE)
        with zipfile.ZipFile(DIST / f"Tarvik-{version}-portable.zip") as archive:
            self.assertEqual({"README.txt", "x64/tarvik.exe", "x86/tarvik.exe"},
                             {name for name in archive.namelist() if not name.endswith("/")})
            archive.extractall(WORKDIR / "portable")
        for arch in ("x64", "x86"):
            built = ROOT / "build" / f"windows-{arch}" / "tarvik.exe"
            setup = DIST / f"Tarvik-{version}-{arch}-setup.exe"
            _, setup_numbers, setup_strings = version_info(setup)
            with self.subTest(arch=arch):
                self.assertEqual((arch, arch), (machine(setup), machine(built)))
                self.assertEqual(built.read_bytes(),
                                 (WORKDIR / "portable" / arch / "tarvik.exe").read_bytes())
                self.assertEqual(version, product_version(built))
                self.assertEqual(("Tarvik", "Nolvar", version),
                                 tuple(setup_strings[name] for name in
                                       ("ProductName", "CompanyName", "ProductVersion")))
                self.assertEqual(version_info(built)[1], setup_numbers)


class InstallerTest(AgentTestCase):
    """One install, its program, an upgrade, a refused downgrade and the uninstall, in order."""

    @classmethod
    def setUpClass(cls):
        cls.arch = machine(EXE)
        cls.version = product_version(EXE)
        cls.next_version = next_version(cls.version)
        next_dist = WORKDIR / "next-dist"
        subprocess.run([str(ROOT / "scripts" / "package"), "--version", cls.next_version,
                        "--dist", str(next_dist)], check=True, stdout=subprocess.DEVNULL)
        cls.setup = DIST / f"Tarvik-{cls.version}-{cls.arch}-setup.exe"
        cls.next_setup = next_dist / f"Tarvik-{cls.next_version}-{cls.arch}-setup.exe"
        super().setUpClass()
        cls.windows_dir = cls.desktop.wine("cmd", "/c", r"echo %LOCALAPPDATA%\Programs\Tarvik") \
            .stdout.strip()
        cls.folder = cls.unix_path(cls.windows_dir)
        cls.windows_exe = cls.windows_dir + r"\tarvik.exe"
        cls.shortcut = cls.unix_path(cls.desktop.wine(
            "cmd", "/c", r"echo %APPDATA%\Microsoft\Windows\Start Menu\Programs\Tarvik.lnk")
            .stdout.strip())
        cls.remove_earlier_install()

    @classmethod
    def unix_path(cls, windows):
        return pathlib.Path(cls.desktop.wine("winepath", "-u", windows).stdout.strip())

    @classmethod
    def remove_earlier_install(cls):
        """The prefix outlives a run; a failed one may have left its install behind."""
        cls.desktop.wine("reg", "delete", UNINSTALL_KEY, "/f", check=False)
        for leftover in (cls.folder / "tarvik.exe", cls.folder / "uninstall.exe",
                         cls.folder / "tarvik.ini", cls.folder / "tarvik.seen", cls.shortcut):
            leftover.unlink(missing_ok=True)

    def install(self, setup):
        return self.desktop.wine(str(setup), "/S", check=False).returncode

    def entry(self, value):
        """A value of the Apps & features entry, or None."""
        found = re.search(rf"^\s+{value}\s+REG_\w+\s+(.*)$",
                          self.desktop.reg_query(UNINSTALL_KEY, value) or "", re.MULTILINE)
        return found and found.group(1)

    def installed_agent(self):
        agent = winebox.Agent(self.desktop, self.folder / "tarvik.exe", self.folder)
        self.addCleanup(agent.kill)
        return agent

    def set_run_value(self, key, path, view):
        self.desktop.wine("reg", "add", key, "/v", RUN_VALUE, "/d", f'"{path}" ', "/f", view)

    def has_run_value(self, key, view):
        return self.desktop.wine("reg", "query", key, "/v", RUN_VALUE, view,
                                 check=False).returncode == 0

    def test_install_run_upgrade_refuse_downgrade_and_uninstall(self):
        # A silent install puts the program where it belongs.
        self.assertEqual(0, self.install(self.setup))
        self.assertEqual(self.version, product_version(self.folder / "tarvik.exe"))
        self.assertTrue(self.shortcut.exists())
        self.assertIn(self.windows_exe.encode("latin-1"), self.shortcut.read_bytes())
        self.assertEqual("Tarvik", self.entry("DisplayName"))
        self.assertEqual("Nolvar", self.entry("Publisher"))
        self.assertEqual(self.version, self.entry("DisplayVersion"))
        self.assertEqual(self.windows_exe, self.entry("DisplayIcon"))
        uninstaller = f'"{self.windows_dir}\\uninstall.exe"'
        self.assertEqual(uninstaller, self.entry("UninstallString"))
        self.assertEqual(uninstaller + " /S", self.entry("QuietUninstallString"))

        # The installed program checks the server and saves beside itself.
        server = self.new_server()
        agent = self.installed_agent()
        agent.write_settings(interval=7, show_count="FALSE")
        os.utime(agent.settings, (0, 0))
        agent.start()
        self.assertEqual(FIRST_CHECK, server.wait_transcript(8))
        # A 32-bit program writes the machine-wide value into the 32-bit view.
        own_view, other_view = ("/reg:64", "/reg:32") if self.arch == "x64" else ("/reg:32", "/reg:64")
        self.addCleanup(self.desktop.wine, "reg", "delete", MACHINE_RUN_KEY, "/v", RUN_VALUE,
                        "/f", own_view, check=False)
        time.sleep(1)  # the 32-bit program's menu may not open at once
        winebox.choose_from_tray_menu(self.desktop, winebox.AUTORUN)
        winebox.wait_until(lambda: self.has_run_value(MACHINE_RUN_KEY, own_view),
                           what="the program's own Run value")
        agent.send_close()
        agent.wait_exit()
        self.assertGreater(agent.settings.stat().st_mtime, 0, "written on close")
        settings = agent.settings.read_bytes()
        self.assertEqual(["127.0.0.1", "alice", "", "7"], agent.read_settings()[:4])

        # The next version upgrades and keeps the settings.
        self.assertEqual(0, self.install(self.next_setup))
        self.assertEqual(self.next_version, product_version(self.folder / "tarvik.exe"))
        self.assertEqual(self.next_version, self.entry("DisplayVersion"))
        self.assertEqual(settings, agent.settings.read_bytes())

        # The older version is refused and changes nothing.
        self.assertEqual(EXIT_REFUSED, self.install(self.setup))
        self.assertEqual(self.next_version, product_version(self.folder / "tarvik.exe"))
        self.assertEqual(self.next_version, self.entry("DisplayVersion"))
        refusing = self.desktop.spawn([self.desktop.loader, str(self.setup)], cwd=WORKDIR)
        box = self.desktop.wait_window("Tarvik Setup")
        self.screenshot(f"installer-{self.arch}-refuses-older", box)
        self.desktop.focus(box)
        self.desktop.key("Return")
        self.assertEqual(EXIT_REFUSED, refusing.wait(20))

        # Installing over the running program closes, replaces and restarts it.
        agent.start()
        server.wait_transcript(13)
        os.utime(agent.settings, (0, 0))
        self.assertEqual(0, self.install(self.next_setup))
        agent.wait_exit()
        self.assertGreater(agent.settings.stat().st_mtime, 0, "it saved as it closed")
        self.assertEqual(FIRST_CHECK + LATER_CHECK * 2, server.wait_transcript(18),
                         "the restarted program checks")

        # A silent uninstall removes everything but the settings.
        # Wine lets the program write the machine-wide value; without administrator
        # rights it writes the user's, in the same form.
        self.set_run_value(USER_RUN_KEY, self.windows_exe, "/reg:64")
        self.set_run_value(MACHINE_RUN_KEY, r"C:\Other\tarvik.exe", other_view)
        self.addCleanup(self.desktop.wine, "reg", "delete", MACHINE_RUN_KEY, "/v", RUN_VALUE,
                        "/f", other_view, check=False)
        self.desktop.wine(str(self.folder / "uninstall.exe"), "/S")
        # The uninstaller goes on from a copy of itself, so that it can delete itself.
        winebox.wait_until(lambda: self.entry("DisplayName") is None, what="entry removed")
        winebox.wait_until(lambda: not (self.folder / "uninstall.exe").exists(),
                           what="uninstaller removed")
        self.assertFalse((self.folder / "tarvik.exe").exists())
        self.assertFalse(self.shortcut.exists())
        self.assertFalse(self.has_run_value(USER_RUN_KEY, "/reg:64"))
        self.assertFalse(self.has_run_value(MACHINE_RUN_KEY, own_view),
                         "the value the program wrote itself goes")
        self.assertTrue(self.has_run_value(MACHINE_RUN_KEY, other_view),
                        "another copy's machine-wide value stays")
        self.assertEqual(settings, agent.settings.read_bytes())
