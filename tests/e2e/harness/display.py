"""The X display the programs run on: a private Xvfb with openbox (so that
windows take focus the way they do on a desktop), xdotool for keys and the
mouse, Pillow for screenshots."""

import os
import re
import subprocess

from . import images
from .report import Fatal, wait_for

SCREEN = "1024x768x24"
# Where the pointer rests, away from every window the programs open.
POINTER_REST = (1020, 764)


def ere_escape(text):
    """`text` as an exact POSIX extended regular expression (xdotool --name)."""
    return re.sub(r"([][\\.^$|?*+(){}])", r"\\\1", text)


class Display:
    def __init__(self, log_dir):
        self.log_dir = log_dir
        self.xvfb = None
        self.wm = None
        self.name = None

    # --- lifetime ---

    def start(self):
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.log_dir, "xvfb.log"), "wb")
        # Xvfb picks a free display itself and writes its number to the pipe.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp",
             # Without it the server resets when its first client (the check
             # below) leaves, and the window manager may knock in between.
             "-noreset"],
            pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as r:
            while not number.endswith(b"\n"):
                c = r.read(1)
                if not c:
                    break
                number += c
        if not number.strip().isdigit():
            raise Fatal(f"Xvfb did not start (see {log.name})")
        self.name = ":" + number.strip().decode()
        os.environ["DISPLAY"] = self.name
        if not wait_for(lambda: self._run(["xdpyinfo"], check=False).returncode == 0, 60):
            raise Fatal(f"display {self.name} does not answer")

        wm_log = open(os.path.join(self.log_dir, "openbox.log"), "wb")
        self.wm = subprocess.Popen(["openbox"], stdout=wm_log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL)
        if not wait_for(self._wm_running, 60):
            raise Fatal(f"openbox did not take the display (see {wm_log.name})")
        self.rest_pointer()

    def stop(self):
        for p in (self.wm, self.xvfb):
            if p is not None and p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    def _wm_running(self):
        out = self._run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False).stdout
        return "window id" in out

    # --- tools ---

    def _run(self, args, check=True, timeout=60):
        try:
            r = subprocess.run(args, capture_output=True, text=True, timeout=timeout,
                               stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            raise Fatal(f"{' '.join(args)} did not finish within {timeout} s")
        if check and r.returncode != 0:
            raise Fatal(f"{' '.join(args)} failed: {r.stderr.strip()}")
        return r

    def screenshot(self):
        try:
            return images.screenshot(self.name)
        except OSError as e:
            raise Fatal(f"no screenshot of {self.name}: {e}")

    # --- windows ---

    def windows_named(self, title):
        r = self._run(["xdotool", "search", "--onlyvisible", "--name",
                       "^" + ere_escape(title) + "$"], check=False)
        return [int(w) for w in r.stdout.split()]

    def geometry(self, xid):
        """(x, y, width, height) of a window on the screen, or None."""
        r = self._run(["xwininfo", "-id", str(xid)], check=False)
        if r.returncode != 0:
            return None
        values = {}
        for key, label in (("x", "Absolute upper-left X"), ("y", "Absolute upper-left Y"),
                           ("w", "Width"), ("h", "Height")):
            m = re.search(label + r":\s+(-?\d+)", r.stdout)
            if not m:
                return None
            values[key] = int(m.group(1))
        return values["x"], values["y"], values["w"], values["h"]

    def window_for(self, title, client):
        """The X window that shows the client area `client` (x, y, w, h) of
        a window captioned `title`, or None."""
        candidates = self.windows_named(title)
        for xid in candidates:
            if self.geometry(xid) == tuple(client):
                return xid
        return None

    def activate(self, xid):
        """Gives the window the keyboard, as a click on it would."""
        self._run(["xdotool", "windowactivate", "--sync", str(xid)], check=False)
        active = wait_for(lambda: self._active() == xid, 30)
        if not active:
            raise Fatal(f"window {xid} does not take the focus (active: {self._active()})")

    def _active(self):
        r = self._run(["xdotool", "getactivewindow"], check=False)
        return int(r.stdout) if r.stdout.strip().isdigit() else None

    def key(self, name):
        """Presses and releases a key as a person does, through the X server."""
        self._run(["xdotool", "key", name])

    def click(self, x, y):
        self._run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"])
        self.rest_pointer()

    def rest_pointer(self):
        self._run(["xdotool", "mousemove", "--sync", str(POINTER_REST[0]), str(POINTER_REST[1])])

    def title_of(self, xid):
        return self._run(["xdotool", "getwindowname", str(xid)], check=False).stdout.rstrip("\n")

    def close_box(self, xid):
        """The middle of the close button that the window manager drew on the
        window's frame: the right-most button of the title bar, above the
        client area, in openbox's layout. None when there is none."""
        frame = xid
        while True:
            r = self._run(["xwininfo", "-tree", "-id", str(frame)], check=False)
            parent = re.search(r"Parent window id: (0x[0-9a-f]+)", r.stdout)
            root = re.search(r"Root window id: (0x[0-9a-f]+)", r.stdout)
            if not parent or not root:
                return None
            if parent.group(1) == root.group(1):
                break
            frame = int(parent.group(1), 16)
        client = self.geometry(xid)
        tree = self._run(["xwininfo", "-tree", "-id", str(frame)], check=False).stdout
        best = None
        for m in re.finditer(r"^\s*(0x[0-9a-f]+) .*?\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+"
                             r"\+(-?\d+)\+(-?\d+)\s*$", tree, re.M):
            child, w, h, ax, ay = (int(m.group(1), 16), int(m.group(2)), int(m.group(3)),
                                   int(m.group(4)), int(m.group(5)))
            if w != h or not 8 <= w <= 40 or client is None or ay + h > client[1]:
                continue
            if "IsViewable" not in self._run(["xwininfo", "-id", str(child)],
                                             check=False).stdout:
                continue
            if best is None or ax > best[0]:
                best = (ax, ay, w)
        if best is None:
            return None
        return best[0] + best[2] // 2, best[1] + best[2] // 2
