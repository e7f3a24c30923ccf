"""Drives the real Tessary program under a private X server and AT-SPI bus.

One Session (Xvfb, `xset r off`, the accessibility bus) serves the whole run;
each test starts its own App with a private configuration folder and home.
Input goes through xdotool as real key and button events; what the user sees
is read from window titles, the accessibility tree and screenshots; what is
kept is read from the settings file.

Every wait is a wait for a condition under a generous ceiling: START for a
program start, WINDOW for a window, a box or anything else the program shows
in answer to input. TESSARY_WAIT_SCALE (a positive number, default 1)
multiplies every ceiling, for machines slower or busier than a shared
two-core one. Tests never measure how long something took.
"""

import math
import os
import random
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("TESSARY_SOURCE_DIR") or os.path.dirname(os.path.dirname(HERE))
BUILD_DIR = os.environ.get("TESSARY_BUILD_DIR") or os.path.join(SOURCE_DIR, "build")
BINARY = os.path.join(BUILD_DIR, "tessary")
# The tests' stand-in for a file manager that drags files (drag_source.cpp).
DRAG_SOURCE = os.path.join(BUILD_DIR, "tests", "e2e", "drag_source")

MAIN_TITLE = "Tessary"
ERROR_TITLE = "Application Error"
DIALOG_TITLE = "Select Logo"
PREVIEW_TITLE = "Print Preview"

# Captions of the ten entry labels, in field order a to j.
FIELD_CAPTIONS = {
    "a": "Company Name :", "b": "Company Tagline :", "c": "Address Line 1 :",
    "d": "Address Line 2 :", "e": "Address Line 3 :", "f": "Address Line 4 :",
    "g": "Address Line 5 :", "h": "E-mail Address :", "i": "Phone Number:",
    "j": "Website :",
}
# The preview card's labels stand in this order (phone above e-mail).
PREVIEW_ORDER = "abcdefgihj"
PLACEHOLDERS = {
    "a": "Your Company Name Here", "b": "Company Tagline", "c": "Address Line 1",
    "d": "Address Line 2", "e": "Address Line 3", "f": "Address Line 4",
    "g": "Address Line 5", "h": "E-mail Address", "i": "Phone Number", "j": "Website URL",
}
FIT_CAPTION = "Fit Image to Box"
FULL_CAPTION = "Use Full Size"
HINT_CAPTION = "Click to choose Company Logo"

_session = None
_atspi = None
_xdisplay = None
# Everything a test started, mounted or added, so an interrupted run still
# ends it.
_live_apps = set()
_mounts = []
_queues = []


class HarnessError(AssertionError):
    """Something the program should have done did not happen within its ceiling."""


def _wait_scale():
    raw = os.environ.get("TESSARY_WAIT_SCALE", "").strip()
    if not raw:
        return 1.0
    try:
        scale = float(raw)
    except ValueError:
        scale = math.nan
    if not (math.isfinite(scale) and scale > 0):
        raise ValueError(f"TESSARY_WAIT_SCALE must be a positive number, not {raw!r}")
    return scale


WAIT_SCALE = _wait_scale()
# Ceilings in seconds before scaling. They are far above what the program
# needs, because CI runs on a shared machine whose two cores may both be busy.
START = 60    # a program start: its first window, or it on the accessibility bus
WINDOW = 30   # a window, a box, a printed page, the answer to a key or a click


def ceiling(seconds):
    """A ceiling in seconds, stretched by TESSARY_WAIT_SCALE."""
    return seconds * WAIT_SCALE


def wait_until(condition, what, timeout=WINDOW, interval=0.05):
    """Polls `condition` until it returns something true and returns that;
    fails once `timeout` seconds (stretched by TESSARY_WAIT_SCALE) have gone
    by without it."""
    if not isinstance(what, str):
        raise TypeError("wait_until(condition, what, timeout=...): say what is awaited")
    limit = ceiling(timeout)
    deadline = time.monotonic() + limit
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except Exception as error:  # the tree or a file may be in flux
            last_error = error
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error!r})" if last_error else ""
            raise HarnessError(f"timed out after {limit:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


# ---------------------------------------------------------------- session

class Session:
    """A private X server and accessibility bus for the whole run. The caller
    runs inside dbus-run-session, so the session bus is private already."""

    def __init__(self):
        self.procs = []
        self.tmp = tempfile.mkdtemp(prefix="tessary-e2e-")
        self.display = None

    def start(self):
        for attempt in range(5):
            if self._start_xvfb(random.randrange(100, 1000)):
                break
        else:
            with open(os.path.join(self.tmp, "xvfb.log"), errors="replace") as f:
                log = f.read()[-1500:]
            raise HarnessError(f"no private X server could be started:\n{log}")
        # A key left pressed by a killed typist must not repeat into the next window.
        subprocess.run(["xset", "r", "off"], check=True, timeout=ceiling(WINDOW))

        runtime = os.path.join(self.tmp, "runtime")
        os.makedirs(runtime, mode=0o700)
        os.environ["XDG_RUNTIME_DIR"] = runtime
        launcher = subprocess.Popen(
            ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.tmp, "atspi.log"), "wb"),
            start_new_session=True)
        self.procs.append(launcher)
        wait_until(lambda: b"unix:" in subprocess.run(
            ["xprop", "-root", "AT_SPI_BUS"], capture_output=True, timeout=ceiling(WINDOW)).stdout,
            "the accessibility bus", START)

        # The program opens its maker's site on one start in a hundred; a
        # stand-in opener keeps that from reaching for a browser or failing.
        self.bin = os.path.join(self.tmp, "bin")
        os.makedirs(self.bin)
        opener = os.path.join(self.bin, "xdg-open")
        with open(opener, "w") as f:
            f.write("#!/bin/sh\necho \"$@\" >> \"${TESSARY_E2E_OPENED:-/dev/null}\"\nexit 0\n")
        os.chmod(opener, 0o755)

    def _start_xvfb(self, number):
        """Starts Xvfb on display `number` if it looks free; True once it
        takes connections."""
        if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
            return False
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.tmp, "xvfb.log"), "ab"), start_new_session=True)
        os.close(write_end)
        # Xvfb writes the number once it takes connections; on a loaded
        # machine that can take a while.
        reported = b""
        deadline = time.monotonic() + ceiling(START)
        while not reported.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1)
            if ready:
                chunk = os.read(read_end, 64)
                if not chunk:
                    break
                reported += chunk
            elif xvfb.poll() is not None:
                break
        os.close(read_end)
        display = ":" + str(number)
        if reported.strip() == str(number).encode() and xvfb.poll() is None and subprocess.run(
                ["xset", "-display", display, "q"], capture_output=True,
                timeout=ceiling(WINDOW)).returncode == 0:
            self.procs.append(xvfb)
            self.display = display
            os.environ["DISPLAY"] = display
            return True
        stop_process(xvfb)
        return False

    def stop(self):
        global _xdisplay
        if _xdisplay is not None:
            try:
                _xdisplay.close()
            except Exception:
                pass
            _xdisplay = None
        for proc in reversed(self.procs):
            stop_process(proc)
        self.procs.clear()
        shutil.rmtree(self.tmp, ignore_errors=True)


def stop_process(proc, grace=3):
    """Ends a process this harness started (and its process group): asks
    first, and after `grace` seconds no longer asks."""
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except (ProcessLookupError, PermissionError):
        proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            proc.kill()
        proc.wait(ceiling(WINDOW))


def session():
    global _session
    if _session is None:
        _session = Session()
        try:
            _session.start()
        except BaseException:
            _session.stop()
            _session = None
            raise
    return _session


def add_mount(target):
    _mounts.append(target)


def drop_mount(target):
    if target in _mounts:
        _mounts.remove(target)
        subprocess.run(["umount", "-l", target], capture_output=True, timeout=ceiling(WINDOW))


def add_print_queue(name, like):
    """Adds a print queue of the run's own that prints as the queue `like`
    does (the same device and driver), so a test can tell its own jobs from
    those others send to the shared printer. False where that is not
    allowed; removed at the end of the run, or earlier by drop_print_queue."""
    device = subprocess.run(["lpstat", "-v", like], capture_output=True, text=True,
                            timeout=ceiling(WINDOW)).stdout.strip()
    match = re.match(r"device for [^:]+: (\S+)$", device)
    ppd = f"/etc/cups/ppd/{like}.ppd"
    if not match or not os.access(ppd, os.R_OK):
        return False
    added = subprocess.run(["lpadmin", "-p", name, "-E", "-v", match.group(1), "-P", ppd],
                           capture_output=True, timeout=ceiling(WINDOW))
    if added.returncode != 0:
        return False
    _queues.append(name)
    return True


def drop_print_queue(name):
    if name in _queues:
        _queues.remove(name)
        subprocess.run(["lpadmin", "-x", name], capture_output=True, timeout=ceiling(WINDOW))


def end_session():
    global _session
    for app in list(_live_apps):
        app.stop()
    for target in list(_mounts):
        drop_mount(target)
    for name in list(_queues):
        drop_print_queue(name)
    if _session is not None:
        _session.stop()
        _session = None


def atspi():
    global _atspi
    if _atspi is None:
        session()
        import pyatspi
        # One ceiling for a call, as for any other answer; a longer one while
        # the program is still starting.
        pyatspi.setTimeout(int(ceiling(WINDOW) * 1000), int(ceiling(START) * 1000))
        _atspi = pyatspi
    return _atspi


def xdisplay():
    global _xdisplay
    if _xdisplay is None:
        from Xlib import display
        _xdisplay = display.Display(session().display)
    return _xdisplay


# ---------------------------------------------------------------- X helpers

def xdotool(*args, timeout=WINDOW, check=True):
    result = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                            timeout=ceiling(timeout))
    if check and result.returncode != 0 and result.stderr.strip():
        raise HarnessError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
    return result.stdout


def visible_windows(title, pid=None):
    """Ids of the mapped windows whose title is exactly `title`."""
    args = ["search", "--onlyvisible"]
    if pid is not None:
        args += ["--all", "--pid", pid]
    args += ["--name", "^" + re.escape(title) + "$"]
    out = xdotool(*args, check=False)
    return [int(w) for w in out.split()]


def window_title(wid):
    return xdotool("getwindowname", wid, check=False).strip()


_typeable = set()


def make_typeable(text):
    """Gives each character of `text` beyond ASCII a key of its own for the
    rest of the run. xdotool otherwise binds a spare key for the moment of the
    keystroke and takes it back at once; a busy program that reads the
    keyboard map after that turns the key into nothing, and the letter is
    lost."""
    wanted = sorted({c for c in text if ord(c) > 0x7e} - _typeable)
    if not wanted:
        return
    d = xdisplay()
    first = d.display.info.min_keycode
    count = d.display.info.max_keycode - first + 1
    free = [first + n for n, syms in enumerate(d.get_keyboard_mapping(first, count))
            if not any(syms)]
    if len(free) < len(wanted):
        return  # xdotool's own way still types most of the time
    for char, keycode in zip(wanted, reversed(free)):
        keysym = ord(char) if ord(char) < 0x100 else 0x01000000 | ord(char)
        d.change_keyboard_mapping(keycode, [(keysym, keysym)])
        _typeable.add(char)
    d.sync()


def type_text(text, delay_ms=20):
    make_typeable(text)
    xdotool("type", "--delay", delay_ms, "--", text, timeout=WINDOW + len(text) * delay_ms / 1000)


def key(*names):
    xdotool("key", "--clearmodifiers", *names)


def click_at(x, y, button=1):
    # (mousemove --sync waits for a motion that never comes when the pointer
    # is already there.)
    xdotool("mousemove", x, y, "click", button)


def release_all_keys():
    """A typist killed mid-key leaves that key down in the server."""
    keys = "abcdefghijklmnopqrstuvwxyz0123456789"
    xdotool("keyup", *keys, "Return", "BackSpace", "space", "End", "Shift_L", "Control_L",
            "Alt_L", check=False)


def send_delete(wid):
    """What a close box does: ask the window to close itself."""
    from Xlib import X, protocol
    d = xdisplay()
    window = d.create_resource_object("window", wid)
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    d.flush()


def close_window(wid, title, pid=None):
    """Sends WM_DELETE_WINDOW until the window is gone; a window that has
    only just been mapped may not listen yet."""
    def gone():
        if wid not in visible_windows(title, pid):
            return True
        try:
            send_delete(wid)
        except Exception:
            pass
        return False
    wait_until(gone, f"window {title!r} to close", interval=0.3)


def screenshot(wid):
    """The window's pixels as (width, height, rgb bytes)."""
    data = subprocess.run(["import", "-window", str(wid), "-depth", "8", "ppm:-"], capture_output=True,
                          timeout=ceiling(WINDOW), check=True).stdout
    return parse_ppm(data)


def parse_ppm(data):
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise HarnessError("unexpected screenshot format")
    return int(fields[1]), int(fields[2]), data[pos:]


def window_origin(wid):
    out = xdotool("getwindowgeometry", "--shell", wid)
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"])


class Shot:
    """A screenshot of one window, addressed in desktop coordinates (those
    the accessibility tree gives)."""

    def __init__(self, wid):
        self.x0, self.y0 = window_origin(wid)
        self.width, self.height, self.rgb = screenshot(wid)

    def pixel(self, x, y):
        x, y = x - self.x0, y - self.y0
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def pixels(self, box):
        """The colours inside box (x, y, w, h), row by row."""
        x0, y0, w, h = box
        return [self.pixel(x, y) for y in range(y0, y0 + h) for x in range(x0, x0 + w)]

    def fraction(self, box, predicate, step=2):
        """Share of the pixels inside box (x, y, w, h) for which predicate holds."""
        x0, y0, w, h = box
        hits = total = 0
        for y in range(y0, y0 + h, step):
            for x in range(x0, x0 + w, step):
                if 0 <= x - self.x0 < self.width and 0 <= y - self.y0 < self.height:
                    total += 1
                    hits += bool(predicate(self.pixel(x, y)))
        return hits / total if total else 0.0


def is_red(p):
    return p[0] > 200 and p[1] < 70 and p[2] < 70


def is_white(p):
    return min(p) > 235


# ---------------------------------------------------------------- settings file

class SettingsFormatError(ValueError):
    pass


_ESCAPES = {"a": "\a", "b": "\b", "f": "\f", "n": "\n", "r": "\r", "t": "\t", "v": "\v",
            '"': '"', "'": "'", "?": "?", "\\": "\\", ";": ";", ",": ",", "=": "="}
_HEX = "0123456789abcdefABCDEF"


def _unescape_value(raw):
    """One value as QSettings' INI reader gives it back: whitespace outside
    quotes trimmed, quotes removed, backslash escapes decoded, and unquoted
    commas making a list (which the store hands on joined by ", ")."""
    items, current, quoted, i = [], [], False, 0
    seen_quote_in_item = False
    while i < len(raw):
        ch = raw[i]
        if ch == '"':
            quoted = not quoted
            seen_quote_in_item = True
            i += 1
        elif ch == "\\":
            i += 1
            if i >= len(raw):
                break
            esc = raw[i]
            if esc in _ESCAPES:
                current.append(_ESCAPES[esc])
                i += 1
            elif esc == "x":
                i += 1
                start = i
                while i < len(raw) and raw[i] in _HEX:
                    i += 1
                current.append(chr(int(raw[start:i] or "0", 16)))
            elif esc in "01234567":
                start = i
                while i < len(raw) and raw[i] in "01234567":
                    i += 1
                current.append(chr(int(raw[start:i], 8)))
            else:
                current.append(esc)
                i += 1
        elif ch == "," and not quoted:
            items.append(("".join(current), seen_quote_in_item))
            current, seen_quote_in_item = [], False
            i += 1
        elif ch in " \t" and not quoted:
            # Spaces outside quotes count only between other characters.
            j = i
            while j < len(raw) and raw[j] in " \t":
                j += 1
            if current and j < len(raw) and raw[j] != ",":
                current.append(raw[i:j])
            i = j
        else:
            current.append(ch)
            i += 1
    if quoted:
        raise SettingsFormatError(f"unterminated quote in {raw[:60]!r}")
    items.append(("".join(current), seen_quote_in_item))
    values = [text for text, _ in items]
    text = ", ".join(values) if len(values) > 1 else values[0]
    if text.startswith("@@"):
        text = text[1:]
    elif text.startswith("@") and not items[0][1]:
        raise SettingsFormatError(f"typed value {text[:60]!r} where text belongs")
    return text


def _unescape_key(raw):
    out, i = [], 0
    while i < len(raw):
        if raw[i] == "%" and raw[i + 1:i + 2] == "U" and len(raw) >= i + 6:
            out.append(chr(int(raw[i + 2:i + 6], 16)))
            i += 6
        elif raw[i] == "%" and len(raw) >= i + 3:
            out.append(chr(int(raw[i + 1:i + 3], 16)))
            i += 3
        elif raw[i] == "\\":
            out.append("/")
            i += 1
        else:
            out.append(raw[i])
            i += 1
    return "".join(out)


def parse_settings(data):
    """The store's keys and values from the file's bytes; raises
    SettingsFormatError on anything the program should never write."""
    # Bytes that are not UTF-8 read as U+FFFD, as QSettings reads them.
    text = data.decode("utf-8", errors="replace")
    values = {}
    section = None
    for number, line in enumerate(text.split("\n"), 1):
        line = line.rstrip("\r")
        stripped = line.strip()
        if not stripped or stripped.startswith(";"):
            continue
        if stripped.startswith("["):
            if not stripped.endswith("]"):
                raise SettingsFormatError(f"line {number}: broken section header")
            section = _unescape_key(stripped[1:-1])
            continue
        if section is None:
            raise SettingsFormatError(f"line {number}: entry before any section")
        if "=" not in line:
            raise SettingsFormatError(f"line {number}: no '=' in {line[:60]!r}")
        raw_key, raw_value = line.split("=", 1)
        key_name = _unescape_key(raw_key.strip())
        if section != "General":
            key_name = section + "/" + key_name
        values[key_name] = _unescape_value(raw_value)
    return values


# ---------------------------------------------------------------- the program

class App:
    """One run of the program with its own configuration folder and home."""

    def __init__(self, config_home=None, home=None, binary=BINARY, env=None):
        # Variables to set for the program on top of the harness's own; a
        # value of None takes the variable away.
        self.env = dict(env or {})
        self.root = tempfile.mkdtemp(prefix="tessary-app-", dir=session().tmp)
        self.config_home = config_home or os.path.join(self.root, "config")
        self.home = home or os.path.join(self.root, "home")
        os.makedirs(self.home, exist_ok=True)
        self.binary = binary
        self.proc = None
        self.main_wid = None
        self._accessible = None
        self.log_path = os.path.join(self.root, "program.log")

    @property
    def settings_path(self):
        return os.path.join(self.config_home, "Darnovi", "Tessary.conf")

    def write_settings(self, values):
        """Puts a settings file in place before the program starts."""
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        lines = ["[General]"] + [f"{k}={v}" for k, v in values.items()]
        with open(self.settings_path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")

    def settings(self):
        with open(self.settings_path, "rb") as f:
            return parse_settings(f.read())

    # -- life

    def start(self):
        env = dict(os.environ)
        env.update({
            "DISPLAY": session().display,
            "XDG_CONFIG_HOME": self.config_home,
            "HOME": self.home,
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "PATH": session().bin + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
            "TESSARY_E2E_OPENED": os.path.join(self.root, "opened.txt"),
        })
        # No desktop's own platform theme: on GNOME, say, the file choosers
        # would be GTK's, which the tests do not drive. Tests that want a
        # theme set it themselves.
        for name in ("QT_ACCESSIBILITY", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR",
                     "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "QT_QPA_PLATFORMTHEME"):
            env.pop(name, None)
        for name, value in self.env.items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        self._accessible = None
        self.main_wid = None
        if getattr(self, "log", None) is not None:
            self.log.close()
        self.log = open(self.log_path, "ab")
        self.proc = subprocess.Popen([self.binary], env=env, stdin=subprocess.DEVNULL,
                                     stdout=self.log, stderr=self.log, cwd=self.home,
                                     start_new_session=True)
        _live_apps.add(self)
        return self

    def wait_first_window(self):
        """Waits for the program's first window of any title (the main window
        or a box shown before it)."""
        def shown():
            self.assert_running()
            out = xdotool("search", "--onlyvisible", "--all", "--pid", self.proc.pid,
                          "--name", ".", check=False)
            return out.split()
        return wait_until(shown, "the program's first window", START)

    def wait_main(self):
        """Waits for the main window titled exactly "Tessary" to be shown."""
        def shown():
            self.assert_running()
            wids = visible_windows(MAIN_TITLE, self.proc.pid)
            return wids[0] if len(wids) == 1 else None
        self.main_wid = wait_until(shown, "the main window 'Tessary'", START)
        return self.main_wid

    def launch(self):
        self.start()
        self.wait_main()
        self.wait_accessible()
        return self

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def assert_running(self):
        if self.proc is None or self.proc.poll() is not None:
            code = None if self.proc is None else self.proc.returncode
            raise HarnessError(f"the program is not running (exit status {code}); "
                               f"log: {self.log_tail()}")

    def log_tail(self, size=2000):
        try:
            with open(self.log_path, "rb") as f:
                return f.read()[-size:].decode("utf-8", "replace")
        except OSError:
            return ""

    def kill(self):
        if self.proc is not None and self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait(ceiling(WINDOW))

    def close(self):
        """Closes the main window as its close box would and waits for the exit."""
        if not self.running():
            return self.proc.returncode if self.proc else None
        wid = self.main_wid or (visible_windows(MAIN_TITLE, self.proc.pid) or [None])[0]

        def ended():
            if self.proc.poll() is not None:
                return True
            if wid:
                try:
                    send_delete(wid)
                except Exception:
                    pass
            return False
        try:
            wait_until(ended, "the program to end when its main window is closed", interval=0.3)
        finally:
            if self.proc.poll() is None:
                self.kill()
        return self.proc.returncode

    def stop(self):
        """Clean-up: whatever state the program is in, it ends."""
        if self.proc is not None:
            self.kill()
        if getattr(self, "log", None) is not None:
            self.log.close()
            self.log = None
        _live_apps.discard(self)

    def restart(self):
        self.close()
        return self.launch()

    # -- accessibility

    def wait_accessible(self):
        pyatspi = atspi()

        def find():
            self.assert_running()
            for app in pyatspi.Registry.getDesktop(0):
                if app is not None and app.get_process_id() == self.proc.pid:
                    for window in app:
                        if window is not None and window.name == MAIN_TITLE:
                            return app
            return None
        self._accessible = wait_until(find, "the program on the accessibility bus", START)
        return self._accessible

    @property
    def accessible(self):
        if self._accessible is None:
            self.wait_accessible()
        return self._accessible

    def top_windows(self):
        return [w for w in self.accessible if w is not None]

    def main_window(self):
        for window in self.top_windows():
            if window.name == MAIN_TITLE and window.getRoleName() == "frame":
                return window
        raise HarnessError("the main window is not on the accessibility bus")

    def find(self, role, name=None, root=None, showing=None):
        """Every accessible below root (default: the main window) with the role
        and, if given, the name."""
        found = []

        def walk(node):
            for child in node:
                if child is None:
                    continue
                if child.getRoleName() == role and (name is None or child.name == name):
                    if showing is None or is_showing(child) == showing:
                        found.append(child)
                walk(child)
        walk(root if root is not None else self.main_window())
        return found

    def one(self, role, name, root=None):
        nodes = self.find(role, name, root)
        if len(nodes) != 1:
            raise HarnessError(f"expected one {role} {name!r}, found {len(nodes)}")
        return nodes[0]

    def field(self, letter):
        return self.one("text", FIELD_CAPTIONS[letter])

    def field_text(self, letter):
        return text_of(self.field(letter))

    def set_field(self, letter, value):
        """Puts a whole text into a field as a paste would."""
        if not self.field(letter).queryEditableText().setTextContents(value):
            raise HarnessError(f"field {letter} refused the text")

    def preview_card(self):
        panel = self.one("panel", "Quick Preview")
        return panel.getChildAtIndex(0)

    def preview_labels(self):
        labels = [c for c in self.preview_card() if c is not None and c.getRoleName() == "label"]
        if len(labels) != 10:
            raise HarnessError(f"the preview card has {len(labels)} labels, not 10")
        return dict(zip(PREVIEW_ORDER, labels))

    def preview_text(self, letter):
        return self.preview_labels()[letter].name

    def button(self, caption):
        return self.one("push button", caption)

    def fit_caption(self):
        captions = {b.name for b in self.find("push button")} & {FIT_CAPTION, FULL_CAPTION}
        if len(captions) != 1:
            raise HarnessError(f"fit button caption unclear: {captions}")
        return captions.pop()

    def hint_shown(self):
        hints = self.find("label", HINT_CAPTION)
        return bool(hints) and is_showing(hints[0])

    def focus_main(self):
        """Gives the main window the keyboard focus as a click-to-focus
        window manager would; without one the last window shown keeps it."""
        if self.main_wid:
            xdotool("windowfocus", "--sync", self.main_wid, check=False)

    def click(self, node):
        self.focus_main()
        x, y, w, h = extents(node)
        if w <= 0 or h <= 0:
            raise HarnessError(f"{node.getRoleName()} {node.name!r} has no place on screen")
        click_at(x + w // 2, y + h // 2)

    def click_field(self, letter):
        node = self.field(letter)
        self.focus_main()
        x, y, w, h = extents(node)
        # Towards the right end, so the caret lands after the text.
        click_at(x + w - 6, y + h // 2)
        wait_until(lambda: self.field(letter).getState().contains(atspi().STATE_FOCUSED),
                   f"field {letter} to take the focus")

    def logo_box(self):
        """The editor's logo box: the square picture area beside the fields."""
        frame = self.one("panel", " Business Information ")
        boxes = [c for c in frame if c is not None and c.getRoleName() == "image"]
        squares = [b for b in boxes if extents(b)[2] == extents(b)[3] > 0]
        if not squares:
            raise HarnessError("the logo box is not on screen")
        return min(squares, key=lambda b: extents(b)[2])

    def preview_logo_box(self):
        """Where the quick preview shows the logo: the one of its two logo
        boxes that is showing."""
        return self.shown_logo_boxes(self.preview_card(), 1)[0]

    def shown_logo_boxes(self, root, count):
        boxes = []

        def walk(node):
            for child in node:
                if child is None:
                    continue
                if child.getRoleName() == "filler" and is_showing(child):
                    x, y, w, hgt = extents(child)
                    # Both logo boxes are 1635 x 1575 twips.
                    if (w, hgt) == (109, 105):
                        boxes.append((x, y, w, hgt))
                walk(child)
        walk(root)
        if len(boxes) != count:
            raise HarnessError(f"{len(boxes)} logo boxes showing, not {count}")
        return boxes

    def preview_window(self):
        for window in self.top_windows():
            if window.name == PREVIEW_TITLE and is_showing(window):
                return window
        raise HarnessError("the print preview window is not showing")

    def open_logo_dialog(self):
        """Clicks the hint over the logo box (or the box once the hint has
        gone) and waits for the file dialog."""
        before = set(self.windows(DIALOG_TITLE))
        hints = self.find("label", HINT_CAPTION, showing=True)
        self.click(hints[0] if hints else self.logo_box())
        wid = wait_until(lambda: [w for w in self.windows(DIALOG_TITLE) if w not in before],
                         "the file dialog 'Select Logo'")[0]
        name_box = wait_until(lambda: self.dialog_name_box(), "the dialog's file name box")
        wait_until(lambda: name_box.getState().contains(atspi().STATE_FOCUSED),
                   "the file name box to take the focus")
        return wid

    def dialog_window(self, title=DIALOG_TITLE):
        for window in self.top_windows():
            if window.name == title and window.getRoleName() == "dialog":
                return window
        return None

    def dialog_name_box(self, title=DIALOG_TITLE):
        window = self.dialog_window(title)
        if window is None:
            return None
        boxes = self.find("text", "File name:", root=window)
        return boxes[0] if boxes else None

    def choose_logo(self, path):
        """Chooses `path` as the logo by typing it into the real dialog."""
        wid = self.open_logo_dialog()
        if window_title(wid) != DIALOG_TITLE:
            raise HarnessError(f"the file dialog is titled {window_title(wid)!r}")
        type_text(path, delay_ms=8)
        try:
            wait_until(lambda: text_of(self.dialog_name_box()) == path,
                       "the typed path in the file name box")
        except HarnessError as error:
            raise HarnessError(f"{error}; it reads {text_of(self.dialog_name_box())!r}") from None
        key("Return")
        return wid

    # -- other windows of the program

    def windows(self, title):
        return visible_windows(title, self.proc.pid)

    def wait_window(self, title, exclude=()):
        def appeared():
            self.assert_running()
            wids = [w for w in self.windows(title) if w not in exclude]
            return wids[0] if wids else None
        return wait_until(appeared, f"a window titled {title!r}")

    def message_boxes(self, title):
        """Ids of the shown windows with that title, the main window aside."""
        return [wid for wid in self.windows(title) if wid != self.main_wid]

    def box_text(self, title):
        """The text of the shown message box with that title, read through
        the accessibility tree."""
        for window in self.top_windows():
            if window.name == title and window.getRoleName() in ("dialog", "alert"):
                texts = [n.name for n in self.find("label", root=window) if n.name]
                return "\n".join(texts)
        raise HarnessError(f"no message box {title!r} on the accessibility bus")

    def wait_box(self, title):
        wid = self.wait_window(title, exclude=(self.main_wid,) if self.main_wid else ())
        text = wait_until(lambda: self.box_text(title), f"the text of box {title!r}")
        return wid, text

    def dismiss_box(self, wid, title):
        """Presses Return in the box, as the user would to take its OK, and
        waits until it is gone."""
        xdotool("windowfocus", "--sync", wid, check=False)
        key("Return")
        wait_until(lambda: wid not in self.windows(title), f"box {title!r} to close on Return",
                   interval=0.1)

    def answers(self):
        """Asks the program something only its event loop can answer (a
        field's text, over the accessibility bus) and returns True once it
        has.

        This is how a test knows that a step is over without waiting a fixed
        time: a box is shown modally inside the handler that wants it, so once
        the program answers a request made after the step's input, any box
        that step shows has been mapped already."""
        self.field_text("a")
        return True

    def dismiss_boxes(self, title, over=None):
        """Dismisses, one after another, the boxes with that title that a
        step shows, and returns their texts. The step is over once `over()`
        is true while no such box shows (by default: once the program
        answers a request made after the last box closed); the boxes are
        looked for once more after that, and after one more answer, so a
        box mapped just as the answer came is not missed."""
        over = over or self.answers
        texts = []
        while True:
            found = wait_until(lambda: self.message_boxes(title) or (over() and "over"),
                               f"a box {title!r} or the end of the step")
            if found == "over":
                found = self.message_boxes(title)
            if found == [] and self.answers():
                found = self.message_boxes(title)
            if not found:
                return texts
            texts.append(wait_until(lambda: self.box_text(title), f"the text of box {title!r}"))
            self.dismiss_box(found[0], title)

    def responsive(self, letter="i"):
        """Proves the main window still takes keys: one letter typed into a
        field arrives there, then is taken back."""
        before = self.field_text(letter)
        self.click_field(letter)
        key("End")
        type_text("Q")
        wait_until(lambda: self.field_text(letter) == before + "Q",
                   f"field {letter} to take a typed key")
        key("BackSpace")
        wait_until(lambda: self.field_text(letter) == before, f"field {letter} to take BackSpace")


def press(node):
    """Presses a control through the accessibility interface, as a screen
    reader does: no pointer, no keyboard focus, whatever the scale."""
    action = node.queryAction()
    names = [action.getName(i).lower() for i in range(action.nActions)]
    if "press" not in names:
        raise HarnessError(f"{node.getRoleName()} {node.name!r} offers no press action: {names}")
    if not action.doAction(names.index("press")):
        raise HarnessError(f"{node.getRoleName()} {node.name!r} refused its press action")


def text_of(node):
    return node.queryText().getText(0, -1)


def extents(node):
    e = node.queryComponent().getExtents(atspi().DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def is_showing(node):
    return node.getState().contains(atspi().STATE_SHOWING)


class AppTestCase(unittest.TestCase):
    """Starts no program by itself; every App made through new_app is ended
    after the test, whatever happened."""

    def setUp(self):
        self.apps = []

    def tearDown(self):
        for app in self.apps:
            app.stop()
        release_all_keys()

    def new_app(self, **kwargs):
        app = App(**kwargs)
        self.apps.append(app)
        return app

    def launch(self, **kwargs):
        return self.new_app(**kwargs).launch()

    def mount(self, *args):
        """Mounts (as root); False where that is not possible. Unmounted
        after the test."""
        target = args[-1]
        result = subprocess.run(["mount", *args], capture_output=True, timeout=ceiling(WINDOW))
        if result.returncode != 0:
            return False
        add_mount(target)
        # After tearDown has ended the program that uses it.
        self.addCleanup(drop_mount, target)
        return True
