"""End-to-end harness: runs a real Windows program under Wine and Xvfb in a fresh Wine
prefix per scenario, and drives it through uidriver.exe in serve mode.

A scenario lays out a demonstration folder (C:\\Demo) with the program and the files a
test wants beside it, points the shell's "open" at logging stand-ins so the test sees what
the program asked the shell to open, starts the program, and offers what a person can
do and see: windows, controls by name, typing, clicks, keys, message boxes, files, the
registry, screenshots and the exit code.
"""

import json
import os
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# Filled in by run_e2e.py from its command line.
CONFIG = {
    "build": None,      # the win32 build tree
    "artifacts": None,  # screenshots and logs that outlive the run
    "work": None,       # scratch: prefixes and demonstration folders
    "display": None,    # ":N" of the run's Xvfb
    "keep": False,      # keep each scenario's prefix afterwards (debugging)
}

# Steps inside a page: a click, a page change, a box after a click.
DEFAULT_WAIT = 15.0
# The first window, box or end of a program in a fresh prefix: on a loaded machine the first
# start in a prefix has taken longer than a step's limit.
FIRST_WINDOW_WAIT = 60.0
# A copied prefix boots when its first program starts: Wine runs that program only after the
# prefix's services are up, and its first window query brings up the desktop.
BOOT_WAIT = 120.0
# What a waiting driver command may take beyond its own limit before the driver counts as hung.
DRIVER_MARGIN = 30.0


class E2EError(AssertionError):
    pass


def windows_path(unix_path):
    return "Z:" + str(unix_path).replace("/", "\\")


class Xvfb:
    """One X server for a whole run; it picks a free display number itself."""

    def __init__(self, size="1024x768x24"):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise E2EError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def wine_environment(prefix=None, display=None):
    env = dict(os.environ)
    wine_dir = Path(env.get("ZAREL_WINE_DIR", ROOT / "build" / "wine"))
    env.update({
        "ZAREL_WINE_DIR": str(wine_dir),
        "WINEARCH": "win64",
        "WINEDEBUG": env.get("WINEDEBUG", "-all"),
        "WINEDLLOVERRIDES": "winemenubuilder.exe=d;mscoree=d;mshtml=d",
        "HOME": str(wine_dir / "home"),
        "LC_ALL": "C.UTF-8",
    })
    (wine_dir / "home").mkdir(parents=True, exist_ok=True)
    if prefix is not None:
        env["WINEPREFIX"] = str(prefix)
    else:
        env.pop("WINEPREFIX", None)
    if display is not None:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def escape_field(text):
    return str(text).replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


class Driver:
    """uidriver.exe in serve mode: one command a line, one JSON answer a line."""

    def __init__(self, env, log_path, wrapper=()):
        """wrapper: a command the driver's wine is started through (see recovery_scenario)."""
        exe = Path(CONFIG["build"]) / "tests" / "uidriver" / "uidriver.exe"
        self.log = open(log_path, "a", encoding="utf-8")
        self.process = subprocess.Popen(
            [*wrapper, "wine", str(exe), "serve"], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=self.log)
        self.lock = threading.Lock()

    def __call__(self, *args, check=True, timeout=60):
        line = "\t".join(escape_field(a) for a in args) + "\n"
        with self.lock:
            self.log.write(">> " + " | ".join(str(a) for a in args) + "\n")
            self.process.stdin.write(line.encode("utf-8"))
            self.process.stdin.flush()
            answer = self._read_line(timeout)
            self.log.write("<< " + answer + "\n")
            self.log.flush()
        reply = json.loads(answer)
        if check and not reply["ok"]:
            raise E2EError(f"driver: {args[0]}: {reply['error']}")
        return reply.get("value") if reply["ok"] else None

    def _read_line(self, timeout):
        result = {}

        def read():
            result["line"] = self.process.stdout.readline()

        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        reader.join(timeout)
        if reader.is_alive() or not result.get("line"):
            raise E2EError("uidriver.exe does not answer")
        return result["line"].decode("utf-8").rstrip("\r\n")

    def note(self, text):
        with self.lock:
            self.log.write("-- " + text + "\n")
            self.log.flush()

    def close(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.flush()
            self.process.wait(10)
        except Exception:
            self.process.kill()
        self.log.close()


class Scenario:
    """A fresh Wine prefix, a demonstration folder and a driver; a context manager."""

    wizard_class = "TMainForm"
    page_panels = ["WelcomePanel", "LicensePanel", "SetupTypePanel", "SetupComponents", "InstallPanel",
                   "InstallingPanel", "FinishedPanel", "TutorialPanel"]

    def __init__(self, name, program=None, program_name="setup.exe"):
        self.name = name
        self.work = Path(CONFIG["work"]) / name
        self.artifacts = Path(CONFIG["artifacts"]) / name
        self.prefix = self.work / "prefix"
        self.program = Path(program) if program else None
        self.program_name = program_name
        self.driver = None
        self.pid = None
        self.top = None
        self.shot_count = 0
        self.env = None
        # No program has shown a window or ended in this prefix yet (see FIRST_WINDOW_WAIT).
        self.fresh = True

    # ----- set-up -----

    def __enter__(self):
        if self.work.exists():
            shutil.rmtree(self.work)
        if self.artifacts.exists():
            shutil.rmtree(self.artifacts)
        self.work.mkdir(parents=True)
        self.artifacts.mkdir(parents=True)
        self.env = wine_environment(self.prefix, CONFIG["display"])
        try:
            self._prepare()
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def _prepare(self):
        subprocess.run([str(ROOT / "scripts" / "wine-prefix.sh"), str(self.prefix)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)
        self.drive_c = self.prefix / "drive_c"
        self.demo = self.drive_c / "Demo"
        self.demo.mkdir()
        if self.program:
            shutil.copy(self.program, self.demo / self.program_name)
        self.driver = Driver(self.env, self.artifacts / "driver.log")
        self._wait_until_booted()
        self._intercept_shell()
        # Without a window manager Wine draws the title bars itself only when unmanaged.
        self.driver("reg-set", r"HKCU\Software\Wine\X11 Driver", "Managed", "N")

    def _wait_until_booted(self):
        """The driver is the prefix's first program, so Wine answers its first command only
        once the copy has booted; listing the windows also brings up the desktop. The program
        under test then starts in a prefix that has finished starting."""
        started = time.monotonic()
        self.driver("windows", timeout=BOOT_WAIT)
        self.driver.note(f"prefix booted in {time.monotonic() - started:.1f} s")

    def _intercept_shell(self):
        """What the shell opens is logged, never opened: addresses through winebrowser's
        browser list, documents and folders through a logging stand-in."""
        self.browser_log = self.work / "browser.log"
        browser = self.work / "browser.sh"
        browser.write_text(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{self.browser_log}"\n')
        browser.chmod(0o755)
        shelllog = Path(CONFIG["build"]) / "tests" / "uidriver" / "shelllog.exe"
        (self.drive_c / "e2e").mkdir()
        shutil.copy(shelllog, self.drive_c / "e2e" / "shelllog.exe")
        self.shell_log = self.drive_c / "e2e" / "shell-open.log"
        d = self.driver
        d("reg-set", r"HKCU\Software\Wine\WineBrowser", "Browsers", str(browser))
        command = r'C:\e2e\shelllog.exe "%1"'
        # The template prefix has the txtfile class but no ".txt" association to it.
        d("reg-set", r"HKCR\.txt", "", "txtfile")
        d("reg-set", r"HKCR\txtfile\shell\open\command", "", command)
        d("reg-delete", r"HKCR\Folder\shell\open\ddeexec")
        d("reg-set", r"HKCR\Folder\shell\open\command", "", command)
        d("reg-delete", r"HKCR\Directory\shell\open\ddeexec")
        d("reg-set", r"HKCR\Directory\shell\open\command", "", command)

    def __exit__(self, kind, value, traceback):
        if kind is not None:
            try:
                self.screenshot("failure")
            except Exception:
                pass
        try:
            if self.driver:
                self.driver("kill", check=False, timeout=15)
                self.driver.close()
            # The program's own logs and what the shell was asked to open stay with the
            # screenshots.
            logs = list((self.prefix / "drive_c").glob("users/*/Temp/*.txt"))
            logs += [getattr(self, "shell_log", None), getattr(self, "browser_log", None)]
            for log in logs:
                if log is not None and log.is_file():
                    shutil.copy(log, self.artifacts / log.name)
        finally:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
            if not CONFIG["keep"]:
                shutil.rmtree(self.work, ignore_errors=True)
        return False

    def put(self, name, content):
        """A file beside the program (text in the ANSI code page, or bytes)."""
        data = content if isinstance(content, bytes) else content.encode("cp1252")
        (self.demo / name).write_bytes(data)

    def put_file(self, name, source):
        shutil.copy(source, self.demo / name)

    # ----- the program -----

    def start(self, *args):
        self.pid = self.driver("start", self.windows_demo_path(self.program_name), *args)
        return self.pid

    def windows_demo_path(self, name=""):
        return "C:\\Demo\\" + name

    def first_wait(self, timeout=None):
        """The limit of a wait for what the program shows: a step's limit, or the generous
        first-window limit until the prefix has shown a window."""
        timeout = DEFAULT_WAIT if timeout is None else timeout
        return max(timeout, FIRST_WINDOW_WAIT) if self.fresh else timeout

    def _wait_command(self, timeout, *args):
        """A driver command that waits up to timeout seconds (its last argument, in ms)."""
        return self.driver(*args, int(timeout * 1000), timeout=timeout + DRIVER_MARGIN)

    def exit_code(self, timeout=None):
        code = self._wait_command(self.first_wait(timeout), "wait-exit")
        self.fresh = False
        return code

    def running(self):
        return self.driver("running")

    def wait_window(self, window_class=None, timeout=None):
        """A visible window of the class; the program's main window unless told otherwise,
        which then becomes the window that control names refer to."""
        window = self._wait_command(self.first_wait(timeout), "wait-window", window_class or self.wizard_class)
        self.fresh = False
        if window_class in (None, self.wizard_class):
            self.top = window
        return window

    def windows(self, window_class=None):
        args = ["windows"] + ([window_class] if window_class else [])
        return self.driver(*args)

    # ----- controls -----

    def controls(self, top=None):
        return {c["name"]: c for c in self.driver("controls", top or self.top)}

    def state(self, name, top=None):
        return self.driver("state", top or self.top, name)

    def text(self, name, top=None):
        return self.driver("text", top or self.top, name)

    def type(self, name, text, top=None):
        self.driver("type", top or self.top, name, text)

    def clear(self, name, top=None):
        self.driver("clear", top or self.top, name)

    def click(self, name, top=None):
        self.driver("click", top or self.top, name)

    def key(self, key, name="-", top=None):
        self.driver("key", top or self.top, name, key)

    def items(self, name, top=None):
        return self.driver("items", top or self.top, name)

    def page(self):
        """The visible page panel, or None. The driver reads the panels one after the other, so
        a page change between two reads can show two pages once; a second look decides."""
        for _ in range(2):
            shown = [n for n, c in self.controls().items() if n in self.page_panels and c["visible"]]
            if len(shown) <= 1:
                return shown[0] if shown else None
            time.sleep(0.2)
        raise E2EError(f"more than one page shows: {shown}")

    def layout_problems(self, top=None):
        """Visible controls that stick out of the window or panel they sit in, which would
        show them cut off."""
        top = top or self.top
        controls = self.driver("controls", top)
        rects = {c["hwnd"]: c["rect"] for c in controls}
        rects[top] = self.driver("describe", top)["rect"]
        problems = []
        for c in controls:
            outer = rects.get(c["parent"])
            r = c["rect"]
            if not c["visible"] or outer is None:
                continue
            if r["left"] < outer["left"] or r["top"] < outer["top"] or r["right"] > outer["right"] or \
                    r["bottom"] > outer["bottom"]:
                problems.append(f'{c["name"]} {r} outside {outer}')
        return problems

    def wait_until(self, condition, what, timeout=DEFAULT_WAIT):
        deadline = time.monotonic() + timeout
        last = None
        while True:
            try:
                last = condition()
                if last:
                    return last
            except E2EError as error:
                last = error
            if time.monotonic() >= deadline:
                raise E2EError(f"timed out waiting for {what} (last: {last})")
            time.sleep(0.05)

    def wait_page(self, panel, timeout=DEFAULT_WAIT):
        self.wait_until(lambda: self.page() == panel, f"page {panel}", timeout)

    def wait_box(self, caption="", timeout=None):
        box = self._wait_command(self.first_wait(timeout), "wait-box", caption)
        self.fresh = False
        return box

    def boxes(self):
        return self.driver("boxes")

    def answer(self, box, answer):
        """Presses a box's button and waits until the box is gone."""
        self.driver("answer", box["hwnd"], answer)
        self._wait_command(DEFAULT_WAIT, "wait-gone", box["hwnd"])

    # ----- what a person sees -----

    def screenshot(self, label, check_layout=False):
        """The whole screen as a PNG among the artefacts; with check_layout, the shown
        window's controls must also lie inside their panels."""
        if check_layout:
            problems = self.layout_problems()
            if problems:
                raise E2EError("controls cut off: " + "; ".join(problems))
        self.shot_count += 1
        path = self.artifacts / f"{self.shot_count:02d}-{label}.png"
        subprocess.run(["import", "-display", CONFIG["display"], "-window", "root", str(path)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return path

    def browser_opened(self):
        return self.browser_log.read_text().splitlines() if self.browser_log.exists() else []

    def shell_opened(self):
        return self.shell_log.read_text(encoding="cp1252").splitlines() if self.shell_log.exists() else []

    def reg_query(self, key, value):
        return self.driver("reg-query", key, value)

    def path(self, windows_path):
        """A Windows path of a drive of the prefix as a Unix path."""
        assert windows_path[1:3] == ":\\", windows_path
        drive = windows_path[0].upper()
        root = self.drive_c if drive == "C" else self.prefix / "dosdevices" / (drive.lower() + ":")
        return root / windows_path[3:].replace("\\", "/")


def pack_archive(source_folder, archive):
    """An ILDS data archive of a folder, made with the project's own packer."""
    ilds = Path(CONFIG["build"]) / "tools" / "ilds" / "ilds.exe"
    env = wine_environment()
    # The project's test prefix serves one-off tools; without DISPLAY it keeps the null
    # display driver the unit tests rely on.
    result = subprocess.run([str(ROOT / "scripts" / "wine-exec.sh"), str(ilds), "pack", windows_path(archive),
                             windows_path(source_folder)], env=env, capture_output=True, text=True)
    if result.returncode != 0 or not Path(archive).exists():
        raise E2EError(f"ilds pack failed: {result.stdout} {result.stderr}")
    return Path(archive)
