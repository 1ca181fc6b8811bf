"""Wine for the end-to-end harness: one prefix of its own, made once and
reused, one persistent wineserver for all runs, the programs under test, and
the window probe (Kx9E2eProbe.exe) that reports what the window system knows
about their windows."""

import os
import queue
import re
import shutil
import subprocess
import threading

from .report import Fatal, wait_for

# Made once per prefix, on a fresh machine this takes a minute or two.
PREFIX_LIMIT = 600
PROBE_LIMIT = 120
# Wine's own fonts (fonts-wine): the pinned dialog font comes from here.
WINE_FONTS = "/usr/share/wine/fonts"


def _wine_tool(name):
    for candidate in (f"/usr/lib/wine/{name}", shutil.which(name)):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    raise Fatal(f"{name} not found (the wine64 package provides it)")


class Wine:
    def __init__(self, prefix, log_dir, fonts):
        self.prefix = os.path.abspath(prefix)
        self.log_dir = log_dir
        self.fonts = fonts      # the registry file that pins the dialog font
        self.wine = _wine_tool("wine64")
        self.server = _wine_tool("wineserver")
        os.makedirs(self.prefix + ".tmp", exist_ok=True)

    @property
    def env(self):
        """The environment of every Wine process, taken when it starts, so
        that it carries the display the harness made."""
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": "-all",
            # No Mono or Gecko prompts: nothing here needs them.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            # Wine picks its code page and font substitutes from the locale:
            # one locale for every run keeps the prefix as it was made.
            "LC_ALL": "C.UTF-8",
            # Wine leaves its server's socket folder under TMPDIR: beside
            # the prefix it stays out of the machine's /tmp.
            "TMPDIR": self.prefix + ".tmp",
        })
        return env

    def _run(self, args, limit, log_name):
        with open(os.path.join(self.log_dir, log_name), "ab") as log:
            try:
                return subprocess.run(args, env=self.env, stdout=log, stderr=subprocess.STDOUT,
                                      stdin=subprocess.DEVNULL, timeout=limit).returncode
            except subprocess.TimeoutExpired:
                raise Fatal(f"{' '.join(args)} did not finish within {limit} s "
                            f"(see {log.name})")

    def prepare(self):
        """Makes the prefix, with the dialog font pinned, unless an earlier
        run finished making it."""
        ready = os.path.join(self.prefix, ".kx9-e2e-ready-fonts")
        if os.path.exists(ready):
            return False
        os.makedirs(self.prefix, exist_ok=True)
        self._run([self.wine, "wineboot.exe", "--init"], PREFIX_LIMIT, "wineboot.log")
        pinned = self._run([self.wine, "reg.exe", "import", "Z:" + self.fonts], PREFIX_LIMIT,
                           "wineboot.log")
        self._run([self.server, "-w"], PREFIX_LIMIT, "wineboot.log")
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            raise Fatal(f"wineboot made no prefix in {self.prefix}")
        if pinned != 0:
            raise Fatal(f"could not pin the dialog font from {self.fonts} (see wineboot.log)")
        with open(ready, "w"):
            pass
        return True

    def link_fonts(self):
        """Links the pinned Tahoma into the prefix, which Wine does not find
        in its own font folder; False when this machine lacks it."""
        fonts_dir = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
        found = False
        for name in ("tahoma.ttf", "tahomabd.ttf"):
            source = os.path.join(WINE_FONTS, name)
            link = os.path.join(fonts_dir, name)
            if os.path.exists(source):
                found = True
                if not os.path.exists(link):
                    if os.path.lexists(link):
                        os.remove(link)
                    os.makedirs(fonts_dir, exist_ok=True)
                    os.symlink(source, link)
        return found

    def start_server(self):
        """One server for every run, so no program waits for a new one."""
        self._run([self.server, "-p"], 120, "wineserver.log")

    def kill_server(self):
        self._run([self.server, "-k"], 120, "wineserver.log")

    def processes(self):
        """(pid, command line) of every process running in this prefix."""
        marker = ("WINEPREFIX=" + self.prefix).encode()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit() or int(pid) == os.getpid():
                continue
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if marker not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    cmdline = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            except OSError:
                continue  # gone meanwhile, or not ours to read
            found.append((int(pid), cmdline))
        return found

    def start(self, exe, cwd, extra_env, log_name):
        env = dict(self.env)
        env.update(extra_env)
        log = open(os.path.join(self.log_dir, log_name), "wb")
        return Program(subprocess.Popen([self.wine, exe], cwd=cwd, env=env, stdout=log,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL),
                       os.path.basename(exe), log)

    def probe(self, exe):
        return Probe(subprocess.Popen(
            [self.wine, exe], env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=open(os.path.join(self.log_dir, "probe.log"), "wb")))


class Program:
    def __init__(self, popen, name, log):
        self.popen = popen
        self.name = name
        self.log = log

    def running(self):
        return self.popen.poll() is None

    def wait(self, limit):
        """The exit status, or None while it still runs after `limit` s."""
        try:
            return self.popen.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()
        self.log.close()


class Window:
    """A top-level window and its controls as the probe reports them."""

    def __init__(self, hwnd, visible, cls, outer, client):
        self.hwnd = hwnd
        self.visible = visible
        self.cls = cls
        self.outer = outer      # left, top, right, bottom on the screen
        self.client = client    # x, y of the client origin on the screen, width, height
        self.children = []

    def child(self, control_id):
        for c in self.children:
            if c.id == control_id:
                return c
        return None

    def texts(self):
        return [c.text for c in self.children]


class Control:
    def __init__(self, hwnd, control_id, cls, visible, rect, text):
        self.hwnd = hwnd
        self.id = control_id
        self.cls = cls
        self.visible = visible
        self.rect = rect        # x, y, width, height in the window's client area
        self.text = text


def _unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x" and i + 3 < len(text):
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


_WINDOW = re.compile(r"^window (0x[0-9a-f]+) visible=(\d) class=(\S*) "
                     r"window=(-?\d+),(-?\d+),(-?\d+),(-?\d+) "
                     r"client=(-?\d+),(-?\d+),(-?\d+),(-?\d+)$")
_CHILD = re.compile(r"^child (0x[0-9a-f]+) id=(-?\d+) class=(\S*) visible=(\d) "
                    r"rect=(-?\d+),(-?\d+),(-?\d+),(-?\d+) text=(.*)$")


class Probe:
    def __init__(self, popen):
        self.popen = popen
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.popen.stdout:
            self.lines.put(raw.decode("utf-8", errors="replace").rstrip("\r\n"))
        self.lines.put(None)

    def request(self, line):
        try:
            self.popen.stdin.write((line + "\n").encode("utf-8"))
            self.popen.stdin.flush()
        except OSError as e:
            raise Fatal(f"the window probe is gone ({e})")
        answer = []
        while True:
            try:
                got = self.lines.get(timeout=PROBE_LIMIT)
            except queue.Empty:
                raise Fatal(f"the window probe did not answer '{line}' within {PROBE_LIMIT} s")
            if got is None:
                raise Fatal("the window probe ended")
            if got == "end":
                return answer
            answer.append(got)

    def windows(self, title):
        found = []
        for line in self.request("list " + title):
            m = _WINDOW.match(line)
            if m:
                g = m.groups()
                found.append(Window(int(g[0], 16), g[1] == "1", g[2],
                                    tuple(int(v) for v in g[3:7]),
                                    tuple(int(v) for v in g[7:11])))
                continue
            m = _CHILD.match(line)
            if m and found:
                g = m.groups()
                found[-1].children.append(Control(int(g[0], 16), int(g[1]), g[2], g[3] == "1",
                                                  tuple(int(v) for v in g[4:8]),
                                                  _unescape(g[8])))
        return found

    def font(self, hwnd, points, face):
        """What the probe finds of the dialog's font: its face and base units."""
        answer = [line for line in self.request(f"font {hwnd:#x} {points} {face}")
                  if line.startswith("font ")]
        return answer[0][len("font "):] if answer else "unknown"

    def idle(self, hwnd):
        return self.request(f"idle {hwnd:#x}") in (["idle ok"], ["idle gone"])

    def quit(self):
        if self.popen.poll() is None:
            try:
                self.popen.stdin.write(b"quit\n")
                self.popen.stdin.close()
            except OSError:
                pass
            try:
                self.popen.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()


def wait_gone(wine, name, limit):
    """True once no process of the prefix runs a program called `name`."""
    return wait_for(lambda: not [p for p in wine.processes() if name.lower() in p[1].lower()],
                    limit)
