#!/usr/bin/python3
"""Start-up to the main window shown, against an empty Qt window shown; and a
start with a 30 MB settings file, against a start with the same card alone.

Every program is started the same way on a private X server; the clock runs
from the process start until a window with the expected title is mapped.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display


def find_mapped(d, title):
    def walk(window):
        try:
            attrs = window.get_attributes()
            name = window.get_wm_name()
            if attrs.map_state == X.IsViewable and name == title:
                return True
            return any(walk(child) for child in window.query_tree().children)
        except Exception:
            return False
    return walk(d.screen().root)


def time_to_window(d, command, title, env):
    start = time.perf_counter()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = start + 60
        while time.perf_counter() < deadline:
            if find_mapped(d, title):
                return (time.perf_counter() - start) * 1000
            time.sleep(0.002)
        raise RuntimeError(f"{title} did not appear")
    finally:
        process.kill()
        process.wait()


CARD = {
    "a": "Acme Cards", "b": "Cards that last", "c": "12 Main Street",
    "d": "\"Springfield, IL 62704\"", "e": "Suite 5", "f": "Floor 2", "g": "Back door",
    "h": "info@acme.example", "i": "555-123-4567", "j": "acme.example",
}


def card_file():
    return ("[General]\n" + "".join(f"{k}={v}\n" for k, v in CARD.items())).encode()


def huge_file():
    """The card and 280,000 other entries of about 110 bytes: 30 MB that the
    program must read but never needs to write back."""
    notes = b"".join(b"note%06d=%s\n" % (n, b"n" * 100) for n in range(280000))
    return card_file() + b"[Notes]\n" + notes


def time_with_settings(d, build, env, data):
    """A start whose store holds `data`, laid down fresh before each run."""
    config = tempfile.mkdtemp()
    try:
        os.makedirs(os.path.join(config, "Darnovi"))
        with open(os.path.join(config, "Darnovi", "Tessary.conf"), "wb") as f:
            f.write(data)
        return time_to_window(d, [f"{build}/tessary"], "Tessary", dict(env, XDG_CONFIG_HOME=config))
    finally:
        shutil.rmtree(config, ignore_errors=True)


def main():
    build = sys.argv[1]
    display_number = 90 + os.getpid() % 50
    xvfb = subprocess.Popen(["Xvfb", f":{display_number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    config = tempfile.mkdtemp()
    try:
        env = dict(os.environ, DISPLAY=f":{display_number}", XDG_CONFIG_HOME=config, QT_QPA_PLATFORM="xcb")
        for _ in range(100):
            try:
                d = display.Display(f":{display_number}")
                break
            except Exception:
                time.sleep(0.05)
        runs = 21
        floor, ours = [], []
        for _ in range(runs):
            floor.append(time_to_window(d, [f"{build}/bench/emptywindow"], "Empty", env))
            ours.append(time_to_window(d, [f"{build}/tessary"], "Tessary", env))
        f, o = statistics.median(floor), statistics.median(ours)
        print(f"{'start-up to main window shown':40s} {o:10.1f} ms   floor (empty window shown) {f:10.1f} ms   ratio {o / f:.2f}")
        huge, card = huge_file(), card_file()
        normal, big = [], []
        for _ in range(runs):
            normal.append(time_with_settings(d, build, env, card))
            big.append(time_with_settings(d, build, env, huge))
        n, b = statistics.median(normal), statistics.median(big)
        print(f"{'start-up with a 30 MB settings file':40s} {b:10.1f} ms   floor (the card alone) {n:10.1f} ms   ratio {b / n:.2f}")
    finally:
        xvfb.kill()
        shutil.rmtree(config, ignore_errors=True)


if __name__ == "__main__":
    main()
