"""Drives the real Windows program under Wine on a headless X server.

Wine shows the notification area as a "Wine System Tray" window and every
top-level window (message boxes, dialogs) as an X window named by its caption,
so xdotool can find, click and type into them. Wine is told to draw window
frames itself, because no window manager runs here to draw captions with a
close box.

Which program runs under which Wine comes from the environment, as
scripts/wine.sh sets it: WINELOADER (the loader for the program's
architecture), WINESERVER and WINEARCH. Every Wine command of a run goes
through that loader and server, in a prefix of the run's own.
"""

import ctypes
import os
import pathlib
import re
import shutil
import signal
import subprocess
import tempfile
import time

TRAY_WINDOW = "Wine System Tray"
# The tray menu's items, in order, where this user may change a Run key.
(OPEN_MAIL, SERVER_OPTIONS, ACCOUNTS, SOUND_OPTIONS, NOTIFICATION_OPTIONS, AUTORUN, ABOUT,
 EXIT) = range(8)
CHECK_CAPTION = "DOV3 Ozez Ezevada"
CLONE_NEWNS = 0x00020000


def script(*steps):
    """A script for the fake server, one step per argument."""
    return "".join(step + "\n" for step in steps)


def windows_path(path):
    """How Wine names a Unix path: on drive Z:, with backslashes."""
    return "Z:" + str(path).replace("/", "\\")


def wait_until(condition, timeout=20.0, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(0.1)


class Desktop:
    """An X server of its own and a Wine prefix, shared by the tests of a run.

    Whatever it started is stopped by close(), also when the set-up fails
    half-way.
    """

    def __init__(self, workdir):
        self.workdir = pathlib.Path(workdir)
        self.workdir.mkdir(parents=True, exist_ok=True)
        self.loader = os.environ["WINELOADER"]
        self.server = os.environ["WINESERVER"]
        self.xvfb = None
        self.wineserver = None
        self.env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        try:
            self.env["DISPLAY"] = self._start_xvfb()
            self._prepare_prefix(self.workdir / "prefix")
        except BaseException:
            self.close()
            raise

    def _start_xvfb(self):
        for number in range(90, 140):
            if pathlib.Path(f"/tmp/.X11-unix/X{number}").exists() or \
                    pathlib.Path(f"/tmp/.X{number}-lock").exists():
                continue
            self.xvfb = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            socket = pathlib.Path(f"/tmp/.X11-unix/X{number}")
            try:
                wait_until(lambda: socket.exists() or self.xvfb.poll() is not None, 10, "Xvfb")
            except AssertionError:
                self.xvfb.kill()
                continue
            if self.xvfb.poll() is None:
                return f":{number}"
        raise RuntimeError("no free X display")

    def _prepare_prefix(self, prefix):
        # Made aside and renamed when complete, so that a run stopped during
        # wineboot never leaves a half-made prefix to the next one.
        if not (prefix / "system.reg").exists():
            fresh = prefix.with_name(prefix.name + ".new")
            shutil.rmtree(fresh, ignore_errors=True)
            self.env["WINEPREFIX"] = str(fresh)
            self.wine("wineboot", "-i")
            self.run([self.server, "-w"])
            shutil.rmtree(prefix, ignore_errors=True)
            fresh.rename(prefix)
        self.env["WINEPREFIX"] = str(prefix)
        self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        # One server for the whole run, so that limits given to a program under
        # test never reach the server that writes the registry.
        self.wineserver = subprocess.Popen([self.server, "-p", "-f"], env=self.env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, command, check=True, timeout=180):
        # Output goes through a file: the Wine services a command starts outlive
        # it and would hold a pipe open until the prefix shuts down.
        with tempfile.TemporaryFile(mode="w+") as output:
            result = subprocess.run(command, env=self.env, timeout=timeout, stdout=output,
                                    stderr=subprocess.STDOUT, text=True)
            output.seek(0)
            result.stdout = output.read()
        if check:
            result.check_returncode()
        return result

    def wine(self, *arguments, check=True):
        """Runs a Windows program (a path, or a name such as reg) to its end."""
        return self.run([self.loader, *arguments], check=check)

    def spawn(self, command, cwd):
        return subprocess.Popen(command, env=self.env, cwd=cwd, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def xdotool(self, *arguments):
        result = subprocess.run(["xdotool", *arguments], env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        return result.stdout.split()

    def windows(self, name):
        """Visible windows whose name is exactly name."""
        return self.xdotool("search", "--onlyvisible", "--name", f"^{re.escape(name)}$")

    def wait_window(self, name, timeout=20.0):
        return wait_until(lambda: self.windows(name), timeout, f'window "{name}"')[0]

    def wait_no_window(self, name, timeout=20.0):
        wait_until(lambda: not self.windows(name), timeout, f'no window "{name}"')

    def geometry(self, window):
        values = dict(line.split("=") for line in
                      self.xdotool("getwindowgeometry", "--shell", window))
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click(self, x, y, button=1, repeat=1):
        self.xdotool("mousemove", str(x), str(y))
        time.sleep(0.1)
        self.xdotool("click", "--repeat", str(repeat), "--delay", "60", str(button))
        time.sleep(0.2)

    def focus(self, window):
        """Gives a window the keyboard: with no window manager, a click does not."""
        self.xdotool("windowfocus", window)
        time.sleep(0.3)

    def key(self, *keys):
        self.xdotool("key", "--delay", "50", *keys)
        time.sleep(0.2)

    def type(self, text):
        self.xdotool("type", "--delay", "30", text)
        time.sleep(0.2)

    def screenshot(self, path, window="root"):
        subprocess.run(["import", "-window", window, str(path)], env=self.env, check=True)

    def popup_menus(self):
        """Visible popup menus of the program: Wine shows each as a nameless window."""
        return [window for window in self.xdotool("search", "--onlyvisible", "--classname", "tarvik.exe")
                if not self.xdotool("getwindowname", window)]

    def end_session(self):
        """Ends the session as a log-off does: every program is asked, then told."""
        return self.wine("wineboot", "--end-session")

    def reg_query(self, key, value):
        result = self.wine("reg", "query", key, "/v", value, check=False)
        return result.stdout if result.returncode == 0 else None

    def close(self):
        if "WINEPREFIX" in self.env:
            self.run([self.server, "-k"], check=False)
        for process, stop in ((self.wineserver, None), (self.xvfb, signal.SIGTERM)):
            if process is None:
                continue
            if stop:
                process.send_signal(stop)
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


class Agent:
    """One copy of the program in a folder of its own, or an installed one where it is,
    with its settings file."""

    def __init__(self, desktop, exe, folder=None):
        self.desktop = desktop
        self.folder = pathlib.Path(folder or tempfile.mkdtemp(prefix="agent ", dir=desktop.workdir))
        self.folder.mkdir(parents=True, exist_ok=True)
        self.exe = self.folder / "tarvik.exe"
        if self.exe != pathlib.Path(exe):
            shutil.copy(exe, self.exe)
        self.settings = self.folder / "tarvik.ini"
        self.process = None

    def write_settings(self, server="127.0.0.1", user="alice", password="secret", interval=5,
                       new_mail=("FALSE", ""), no_mail=("FALSE", ""), error=("FALSE", ""),
                       show_count="TRUE"):
        lines = [server, user, password, str(interval), *new_mail, *no_mail, *error, show_count]
        self.settings.write_bytes("".join(line + "\r\n" for line in lines).encode("latin-1"))

    def read_settings(self):
        return self.settings.read_bytes().decode("latin-1").split("\r\n")[:-1]

    def start(self, *arguments, full_disk=False):
        """Starts the program; with full_disk every file it writes fails to grow."""
        command = [self.desktop.loader, str(self.exe), *arguments]
        if full_disk:
            command = ["bash", "-c", "trap '' XFSZ; ulimit -f 0; exec \"$@\"", "bash", *command]
        self.process = self.desktop.spawn(command, cwd=self.folder)
        return self.process

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout=20.0):
        wait_until(lambda: not self.running(), timeout, "the program to end")

    def send_close(self):
        """Posts WM_CLOSE to the program's top-level windows, as the system does at log-off."""
        self.desktop.wine("taskkill", "/im", "tarvik.exe", check=False)

    def kill(self):
        if self.running():
            self.desktop.wine("taskkill", "/f", "/im", "tarvik.exe", check=False)
            self.process.wait(20)


# Wine draws the frames itself here: a 3-pixel border, the caption above.
FRAME_BORDER = 3


class DialogLayout:
    """Maps a dialog template's units to screen points on the shown dialog."""

    def __init__(self, desktop, window, template_width, template_height):
        x, y, width, height = desktop.geometry(window)
        self.scale_x = (width - 2 * FRAME_BORDER) / template_width
        # The dialog font's base units give one and a half pixels a unit both ways here.
        self.scale_y = self.scale_x
        client_height = round(template_height * self.scale_y)
        self.left = x + FRAME_BORDER
        self.top = y + height - FRAME_BORDER - client_height
        self.close_box = (x + width - 13, y + 11)
        self.minimize_box = (x + width - 47, y + 11)

    def centre(self, x, y, width, height):
        """The screen point at the middle of a control placed at x, y, width, height."""
        return (round(self.left + (x + width / 2) * self.scale_x),
                round(self.top + (y + height / 2) * self.scale_y))


ICON_CELL = 20  # Wine's tray gives each icon a 20-pixel square below its caption


def tray_icon_point(desktop, index=0):
    """The screen point of the index-th icon in Wine's tray window."""
    x, y, _, height = desktop.geometry(desktop.wait_window(TRAY_WINDOW))
    border = 3
    return x + border + ICON_CELL // 2 + index * ICON_CELL, y + height - border - ICON_CELL // 2


def tray_icons(desktop):
    """How many icons Wine's tray window shows now: the cells not of one colour."""
    _, _, width, _ = desktop.geometry(desktop.wait_window(TRAY_WINDOW))
    with tempfile.TemporaryDirectory() as folder:
        shot = pathlib.Path(folder) / "screen.png"
        desktop.screenshot(shot)
        cells = [tray_icon_point(desktop, index) for index in range(width // ICON_CELL)]
        colours = [subprocess.run(["convert", str(shot), "-crop", f"16x16+{x - 8}+{y - 8}",
                                   "-format", "%k", "info:"], stdout=subprocess.PIPE,
                                  text=True, check=True).stdout for x, y in cells]
    return sum(int(count) > 1 for count in colours)


def choose_from_tray_menu(desktop, item, icon=0):
    """Right-clicks the tray icon and clicks the item-th entry of the menu that opens.

    The menu opens with its corner at the cursor; Wine draws its entries 16
    pixels apart below a 3-pixel border. It takes no keys, so it is clicked.
    """
    x, y = tray_icon_point(desktop, icon)
    desktop.click(x, y, button=3)
    time.sleep(0.5)
    desktop.click(x + 40, y + 11 + 16 * item)


class FakePop3:
    """The scripted test server, listening on the POP3 port the program uses."""

    def __init__(self, binary, workdir, stat="+OK 3 300\\r\\n", script=None, delay=None, port=110):
        self.port = port
        self.transcript_path = pathlib.Path(workdir) / f"transcript-{time.monotonic_ns()}.txt"
        command = [str(binary), "--port", str(port), "--transcript", str(self.transcript_path)]
        if script is not None:
            script_path = self.transcript_path.with_suffix(".script")
            script_path.write_text(script)
            command += ["--script", str(script_path)]
        else:
            command += ["--stat", stat]
            if delay is not None:
                command += ["--delay", str(delay)]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        text=True)
        line = self.process.stdout.readline()
        if not line.startswith("listening"):
            self.process.kill()
            raise RuntimeError(f"fake POP3 server did not start: {line}")

    def transcript(self):
        try:
            return self.transcript_path.read_text().splitlines()
        except FileNotFoundError:
            return []

    def wait_transcript(self, lines, timeout=20.0):
        try:
            return wait_until(lambda: len(self.transcript()) >= lines and self.transcript(),
                              timeout, f"{lines} lines of transcript")
        except AssertionError as error:
            raise AssertionError(f"{error}: {self.transcript()}") from None

    def wait_connected(self, timeout=20.0):
        """Waits until a client holds a connection to the server open."""
        wait_until(lambda: subprocess.run(
            ["ss", "-Htn", "state", "established", f"( sport = :{self.port} )"],
            stdout=subprocess.PIPE, text=True).stdout.strip(), timeout, "a client connected")

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)
        self.process.stdout.close()


def run_checked(command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def use_private_hosts(path):
    """Puts path in the place of /etc/hosts for this process and everything it
    starts from now on, in a mount namespace of its own: the host's file and
    its other processes never see it."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWNS) != 0:
        raise OSError(ctypes.get_errno(), "cannot make a mount namespace (needs root)")
    run_checked(["mount", "--make-rprivate", "/"])
    run_checked(["mount", "--bind", str(path), "/etc/hosts"])
