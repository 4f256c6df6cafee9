"""The real program under an X server of its own, driven by real X input.

Each case starts Xvfb on a free display, starts the program in a temporary
folder (its own settings, cache and data folders), and sends key presses,
key releases, pointer moves and clicks through the XTEST extension
(xdotool), as a user's keyboard and mouse would. What a user sees is read
back: window titles, the files' bytes, the clipboard, a server's log.
"""

import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time

RECORD_SIZE = 440
FIELDS = [("first", 20), ("last", 20), ("phone", 27), ("email", 33), ("company", 60), ("address", 120),
          ("comments", 160)]


class Failure(AssertionError):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def record(**fields):
    """A record's 440 bytes in Windows-1252, each field space padded."""
    out = b""
    for name, width in FIELDS:
        value = fields.get(name, "").encode("cp1252")[:width]
        out += value + b" " * (width - len(value))
    return out


def book(*names):
    return b"".join(record(first=n, last="L" + n) for n in names)


def wait_until(what, condition, timeout=15.0, step=0.05):
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(step)


class XServer:
    """Xvfb on a free display number of this process's own range, ready when -displayfd says so; ended on exit."""

    def __init__(self, size="1280x1024x24"):
        self.size = size
        self.proc = None
        self.display = None

    def __enter__(self):
        # The eight numbers of this process's own come first, so that cases
        # running side by side do not try the same numbers; then the next ones.
        base = 20 + (os.getpid() % 500) * 8
        for display in range(base, base + 64):
            if os.path.exists("/tmp/.X%d-lock" % display):
                continue
            number = self._start(display)
            if number:
                self.display = ":" + number
                return self
        raise Failure("the X server did not start")

    def _start(self, display):
        # -noreset: by default the server resets whenever its last client
        # leaves, and each xdotool call is a client that comes and goes; a
        # program connecting during such a reset has its connection closed
        # before it is set up ("could not connect to display").
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", ":%d" % display, "-displayfd", str(write_end), "-screen", "0", self.size,
                                      "-nolisten", "tcp", "-noreset"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.proc.kill()
            self.proc.wait()
            return None
        return number.decode().strip()

    def __exit__(self, *exc):
        if self.proc:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class SessionBus:
    """A session bus of its own, with the services a subclass starts on it;
    every process ended on exit. `env` is what a program needs to use it."""

    def __init__(self):
        self.procs = []
        self.env = {}

    def __enter__(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        self.procs.append(bus)
        address = bus.stdout.readline().strip()
        if not address:
            raise Failure("the session bus did not start")
        self.env = {"DBUS_SESSION_BUS_ADDRESS": address}
        self.start()
        time.sleep(0.5)
        return self

    def start(self):
        pass

    def __exit__(self, *exc):
        for p in reversed(self.procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


class AccessibilityBus(SessionBus):
    """The AT-SPI bus on a session bus of its own, as a desktop with a screen
    reader runs them."""

    def __init__(self, display):
        super().__init__()
        self.display = display

    def start(self):
        self.env.update({"QT_ACCESSIBILITY": "1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        self.procs.append(subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                           env=dict(os.environ, DISPLAY=self.display, **self.env),
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def tree(self, application):
        """The application's accessible nodes: (depth, role, name, focusable, showing)."""
        p = subprocess.run(["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "atspi_tree.py"), application],
                           env=dict(os.environ, DISPLAY=self.display, **self.env), stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True, timeout=60)
        nodes = []
        for line in p.stdout.splitlines():
            depth, role, name, focusable, showing = line.split("|", 4)
            nodes.append((int(depth), role, name, focusable == "1", showing == "1"))
        return nodes


class Keyring(SessionBus):
    """An unlocked GNOME keyring, kept in `home`, on a session bus of its own,
    as a signed-in desktop has one."""

    def __init__(self, home):
        super().__init__()
        self.home = home

    def start(self):
        for sub in ("data", "runtime"):
            os.makedirs(os.path.join(self.home, sub), mode=0o700, exist_ok=True)
        keyring = subprocess.Popen(["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
                                   stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   env=dict(os.environ, HOME=self.home, XDG_DATA_HOME=os.path.join(self.home, "data"),
                                            XDG_RUNTIME_DIR=os.path.join(self.home, "runtime"), **self.env))
        self.procs.append(keyring)
        keyring.stdin.write(b"the desktop's login")   # the keyring's own password, as at sign-in
        keyring.stdin.close()


class Desktop:
    """xdotool and xclip against one X server."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def run(self, *args, check_status=True):
        p = subprocess.run(list(args), env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                           timeout=60)
        if check_status and p.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(args), p.stderr.strip()))
        return p.stdout

    def windows(self, name):
        """Visible windows whose title matches the regular expression."""
        out = self.run("xdotool", "search", "--onlyvisible", "--name", name, check_status=False)
        return [w for w in out.split() if w]

    def title(self, window):
        return self.run("xdotool", "getwindowname", window, check_status=False).rstrip("\n")

    def wait_window(self, name, timeout=20.0):
        return wait_until("a window named %r" % name, lambda: (self.windows(name) or [None])[0], timeout)

    def wait_no_window(self, name, timeout=10.0):
        wait_until("no window named %r" % name, lambda: not self.windows(name), timeout)

    def geometry(self, window):
        out = self.run("xdotool", "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", window)
        time.sleep(0.2)

    def key(self, *keys):
        """Presses and releases each key (or chord) in turn, to the focused window."""
        for k in keys:
            self.run("xdotool", "key", "--delay", "60", k)
            time.sleep(0.08)

    def key_down(self, k):
        self.run("xdotool", "keydown", k)

    def key_up(self, k):
        self.run("xdotool", "keyup", k)

    def type(self, text):
        self.run("xdotool", "type", "--delay", "40", text)
        time.sleep(0.1)

    def move(self, x, y):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y))

    def glide(self, x0, y0, x1, y1, steps=8):
        """A real pointer: many small moves, not one jump."""
        for i in range(steps + 1):
            self.move(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.03)

    def click(self, x, y, repeat=1, button=1):
        self.move(x, y)
        time.sleep(0.1)
        self.run("xdotool", "click", "--repeat", str(repeat), "--delay", "120", str(button))
        time.sleep(0.2)

    def clipboard(self):
        return self.run("xclip", "-o", "-selection", "clipboard", check_status=False)


class Program:
    """The program (or another of the build's programs) started in a folder of its own."""

    def __init__(self, build, folder, display, settings=None, book_bytes=None, env=None, program="z8p-phonebook"):
        self.build = build
        self.folder = folder
        self.path = os.path.join(build, program)
        self.home = os.path.join(folder, "home")
        for sub in ("config", "cache", "data", "runtime"):
            os.makedirs(os.path.join(self.home, sub), exist_ok=True)
        os.chmod(os.path.join(self.home, "runtime"), 0o700)
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", HOME=self.home,
                        XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                        XDG_CACHE_HOME=os.path.join(self.home, "cache"),
                        XDG_DATA_HOME=os.path.join(self.home, "data"),
                        XDG_RUNTIME_DIR=os.path.join(self.home, "runtime"), QTWEBENGINE_DISABLE_SANDBOX="1",
                        QT_ACCESSIBILITY="0", LC_ALL="C.UTF-8")
        self.env.pop("QT_SCALE_FACTOR", None)
        self.env.update(env or {})
        if settings:
            with open(os.path.join(self.home, "config", "RiveVozuDezi.ini"), "w") as f:
                f.write("[Phonebook]\n")
                for k, v in settings.items():
                    f.write("%s=%s\n" % (k, v))
        if book_bytes is not None:
            with open(self.file("DravikBase.z8B"), "wb") as f:
                f.write(book_bytes)
        self.proc = None
        self.log = open(os.path.join(folder, "program.log"), "w")

    def file(self, name):
        return os.path.join(self.folder, name)

    def read(self, name):
        with open(self.file(name), "rb") as f:
            return f.read()

    def start(self, *args):
        self.proc = subprocess.Popen([self.path] + list(args), cwd=self.folder, env=self.env, stdout=self.log,
                                     stderr=subprocess.STDOUT)
        return self

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class Session:
    """One case: an X server, a folder, the program; everything ended afterwards."""

    def __init__(self, build, **program):
        self.build = build
        self.program_args = program
        self.x = XServer()

    def __enter__(self):
        self.tmp = tempfile.mkdtemp(prefix="z8p-e2e-")
        self.x.__enter__()
        self.desk = Desktop(self.x.display)
        self.app = Program(self.build, self.tmp, self.x.display, **self.program_args)
        return self

    def __exit__(self, exc_type, exc, tb):
        if exc_type is not None:
            shot = os.path.join(os.environ.get("E2E_SHOTS", tempfile.gettempdir()), "z8p-e2e-failure.png")
            subprocess.run([os.path.join(self.build, "tests", "xshot"), shot], env=self.desk.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            print("screen at the failure: " + shot)
        try:
            self.app.stop()
        finally:
            if exc_type is not None:
                try:
                    with open(os.path.join(self.tmp, "program.log")) as f:
                        print("program output:\n" + f.read())
                except OSError:
                    pass
            self.x.__exit__(exc_type, exc, tb)
            shutil.rmtree(self.tmp, ignore_errors=True)

    def main_window(self):
        """Starts the program and waits for its main window (after the splash); focuses it."""
        self.app.start()
        w = self.desk.wait_window("^PhoneBook Record: ")
        time.sleep(0.5)
        self.desk.focus(w)
        return w

    def at(self, window, dx, dy):
        x, y, _, _ = self.desk.geometry(window)
        return x + dx, y + dy
