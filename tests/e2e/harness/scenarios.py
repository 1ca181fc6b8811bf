"""The runs a person would make with the two Windows programs, each step
checked on the screen and, for the virtual-stick build, in the stick's
EEPROM."""

import os
import shutil

from . import look
from .report import Fatal, wait_for
from .wine import wait_gone

TITLE = "Vormlark Joystick Calibration (Version 1.10)"
CONFIG_NAME = "kx9JoystickCalibration.txt"
LOAD_ERROR = "Error loading kx9JoystickCalibration.txt file."
COMPLETED = "You have completed calibration."
WRITE_ERROR = "Cannot write EEPROM!"

# Waits on the screen and on files: generous, a busy machine only waits longer.
START_LIMIT = 180       # a program's first window (a new prefix starts slowly)
CHANGE_LIMIT = 60       # the screen or a file follows a key or a stick move
EXIT_LIMIT = 60         # a program ends after its dialog closed
SETTLE_SHOTS = 3        # screenshots that must all show "nothing changed"

# The configuration of the virtual-stick run: every file-only value distinct,
# 16-bit ones with distinct bytes, so a swapped or shifted byte shows.
CONFIG = """/*
  End-to-end configuration: the values the stick must receive unchanged.
*/
Edge_Size     = 0x0412; // 114..115
Edge_Reduc    = 0x20;   // 116
Edge_Shift    = 0x03;   // 117
Edge_BM       = 0x07;   // 118
Center_Area   = 0x0234; // 123..124
Center_Reduc  = 0x10;   // 125
Center_Shift  = 0x02;   // 126
Center_BM     = 0x05;   // 127
"""

# The worked calibration: centre 8000/7F80, up 0080, right FF00 (after a
# press at BF00 that is not far enough), down FFFF, left 0000.
EXPECTED_BLOCK = bytes([0x00, 0x40, 0xC0, 0x3F,        # Initial_Pos_X, Initial_Pos_Y
                        0x12, 0x04, 0x20, 0x03, 0x07,  # Edge_Size lo/hi, Reduc, Shift, BM
                        0x81, 0x82, 0x82, 0x80,        # MultInit XN, XP, YN, YP
                        0x34, 0x02, 0x10, 0x02, 0x05])  # Center_Area lo/hi, Reduc, Shift, BM
EXPECTED_DATA_TEXT = (
    "DATA\n"
    "Center X:8000, Y:7F80\n"
    "Min X=0000, Max X = FF00\n"
    "Min Y=0080 Max Y=FFFF\n"
    "\n"
    "InitPosX = 4000, InitPosY = 3FC0\n"
    "EdgeSize=0412\n"
    "EdgeReduc=20, EdgeShift=03, EdgeBM=07\n"
    "MultInit XN=81,XP=82,YN=82,YP=80\n"
    "CenterArea=0234\n"
    "Center Reduc=10,Shift=02,BM=05\n"
    "\n"
    "00 40 C0 3F 12 04 20 03 \n"
    "07 81 82 82 80 34 02 10 \n"
    "02 05 ")
CALIB_BASE = 110

# (what the person does, stick X, Y, the step the dialog shows afterwards)
WALK = (
    ("centre", 0x8000, 0x7F80, 2),
    ("up", 0x8000, 0x0080, 3),
    ("right too early", 0xBF00, 0x7F80, 3),
    ("right", 0xFF00, 0x7F80, 4),
    ("down", 0x8000, 0xFFFF, 5),
    ("left", 0x0000, 0x7F80, 6),
)


class Session:
    """What every run needs: the checks, the display, Wine, the probe, the
    step pictures, the dialog template and the folders."""

    def __init__(self, checks, display, wine, probe, pictures, template, programs, work_dir,
                 shot_dir):
        self.checks = checks
        self.display = display
        self.wine = wine
        self.probe = probe
        self.pictures = pictures
        self.template = template
        self.programs = programs
        self.work_dir = work_dir
        self.shot_dir = shot_dir
        self.told_geometry = False

    def run_dir(self, name, config):
        path = os.path.join(self.work_dir, name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        if config is not None:
            with open(os.path.join(path, CONFIG_NAME), "w", newline="\n") as f:
                f.write(config)
        return path

    def shoot(self, name):
        shot = self.display.screenshot()
        shot.save(os.path.join(self.shot_dir, name + ".png"))
        return shot

    # --- the windows of the program under test ---

    def windows(self, title=TITLE):
        return self.probe.windows(title)

    def main_dialog(self, windows):
        for w in windows:
            if w.child(look.STEP_TEXTS[0]) is not None:
                return w
        return None

    def message_boxes(self, windows):
        return [w for w in windows if w.child(look.STEP_TEXTS[0]) is None]

    def xwindow(self, window, title=TITLE):
        # The window is looked up again each time: a dialog first seen at the
        # screen's corner is placed a moment later, and its first rectangle
        # then matches no X window.
        def find():
            now = next((w for w in self.windows(title) if w.hwnd == window.hwnd), window)
            return self.display.window_for(title, now.client)

        xid = wait_for(find, CHANGE_LIMIT)
        if not xid:
            raise Fatal(f"no X window shows '{title}' at {window.client}")
        return xid

    def press(self, window, key, title=TITLE):
        """Gives the window the keyboard and presses `key`, then waits until
        the program has handled it."""
        self.display.activate(self.xwindow(window, title))
        self.display.key(key)
        if not self.probe.idle(window.hwnd):
            raise Fatal(f"'{title}' does not take messages after {key}")

    # --- looks ---

    def geometry(self, dialog):
        """The dialog's geometry, told in the log the first time it is seen."""
        geometry = look.Geometry(dialog, self.pictures)
        if not self.told_geometry:
            self.told_geometry = True
            points, face = self.template.font
            base = self.template.base_units(geometry)
            print(f"dialog client {geometry.size[0]} x {geometry.size[1]} pixels, base units "
                  + (f"{base[0]:.2f} x {base[1]:.2f}" if base else "unknown")
                  + " as measured from the instructions' rectangles", flush=True)
            print(f"dialog font {points} pt \"{face}\" draws as "
                  f"{self.probe.font(dialog.hwnd, points, face)}", flush=True)
            for line in geometry.overlaps():
                print(f"dialog geometry: {line}", flush=True)
        return geometry

    def wait_step(self, geometry, step, shot_name):
        """Polls the screen until it shows `step`; checks and keeps the shot."""
        state = {}

        def shows_step():
            state["shot"] = self.display.screenshot()
            state["problems"] = look.step_problems(state["shot"], geometry, self.pictures, step)
            return not state["problems"]

        ok = wait_for(shows_step, CHANGE_LIMIT, interval=0.1)
        state["shot"].save(os.path.join(self.shot_dir, shot_name + ".png"))
        self.checks.check(f"{shot_name}: the dialog shows step {step}", ok,
                          "; ".join(state["problems"]))
        return state["shot"]

    def unchanged(self, name, geometry, before):
        """After a key the program has handled: the client area stays as it
        was. A window that Wine repaints (the activation before the key can
        make it) is caught half drawn now and then on a busy machine, so what
        counts is the screen once it is still: SETTLE_SHOTS shots in a row
        as it was before the key. A change that stays fails."""
        state = {"still": 0, "differ": 0, "passing": 0}

        def settled():
            state["shot"] = self.display.screenshot()
            differ = look.client_changes(before, state["shot"], geometry)
            state["differ"] = differ
            state["passing"] = max(state["passing"], differ)
            state["still"] = state["still"] + 1 if differ == 0 else 0
            return state["still"] >= SETTLE_SHOTS

        ok = wait_for(settled, CHANGE_LIMIT, interval=0.1)
        state["shot"].save(os.path.join(self.shot_dir, name + ".png"))
        if ok and state["passing"]:
            print(f"{name}: a repaint was caught half drawn ({state['passing']} client pixels)"
                  " and the dialog came back as it was", flush=True)
        self.checks.check(f"{name}: nothing on the dialog changes", ok,
                          f"{state['differ']} client pixels changed")

    def wait_exit(self, name, program, window):
        status = program.wait(EXIT_LIMIT)
        self.checks.check(f"{name}: the program ends", status is not None,
                          f"still running {EXIT_LIMIT} s after its dialog closed")
        gone = not [w for w in self.windows() if w.hwnd == window.hwnd]
        self.checks.check(f"{name}: its window is gone", gone)
        self.checks.check(f"{name}: no process of it is left",
                          wait_gone(self.wine, program.name, EXIT_LIMIT),
                          "; ".join(p[1] for p in self.wine.processes()))
        return status


def _wait_dialog_or_box(session):
    """The first visible window titled TITLE: (all windows, the visible one)."""
    state = {}

    def visible():
        state["windows"] = session.windows()
        shown = [w for w in state["windows"] if w.visible]
        return shown[0] if shown else None

    shown = wait_for(visible, START_LIMIT, interval=0.3)
    if shown is None:
        raise Fatal(f"no window '{TITLE}' appeared within {START_LIMIT} s")
    return state["windows"], shown


def production_without_config(session):
    """The shipped program, no stick, no configuration file: the error box
    comes before the dialog; after it the dialog shows step 1, Space does
    nothing visible and Esc closes it."""
    checks = session.checks
    name = "prod-no-config"
    cwd = session.run_dir(name, None)
    program = session.wine.start(session.programs["production"], cwd, {}, name + ".log")
    try:
        windows, shown = _wait_dialog_or_box(session)
        session.shoot(f"{name}-1-error-box")
        dialog = session.main_dialog(windows)
        checks.check(f"{name}: the first window is the error box, not the dialog",
                     shown is not dialog,
                     "the dialog became visible first")
        checks.check(f"{name}: the dialog is not visible while the box is up",
                     dialog is None or not dialog.visible)
        checks.check(f"{name}: the box says '{LOAD_ERROR}'", LOAD_ERROR in shown.texts(),
                     f"its texts: {shown.texts()!r}")
        checks.check(f"{name}: the box has only an OK button",
                     [c.text for c in shown.children if c.cls.lower() == "button"
                      and c.visible] == ["OK"],
                     f"buttons: {[c.text for c in shown.children if c.cls.lower() == 'button']}")
        session.press(shown, "Return")

        def dialog_alone():
            ws = session.windows()
            d = session.main_dialog(ws)
            return d if d and d.visible and not session.message_boxes(ws) else None

        dialog = wait_for(dialog_alone, CHANGE_LIMIT, interval=0.3)
        if dialog is None:
            raise Fatal("the dialog did not appear alone after the error box was dismissed")
        xid = session.xwindow(dialog)
        checks.equal(f"{name}: the window title", session.display.title_of(xid), TITLE)
        geometry = session.geometry(dialog)
        before = session.wait_step(geometry, 1, f"{name}-2-step1")

        session.press(dialog, "space")
        session.unchanged(f"{name}-3-after-space", geometry, before)

        session.press(dialog, "Escape")
        session.wait_exit(f"{name}: Esc", program, dialog)
    finally:
        program.kill()


def production_with_config(session):
    """The shipped program with its configuration file: no error box; the
    dialog comes straight up at step 1 and Esc closes it."""
    checks = session.checks
    name = "prod-config"
    cwd = session.run_dir(name, CONFIG)
    program = session.wine.start(session.programs["production"], cwd, {}, name + ".log")
    try:
        windows, shown = _wait_dialog_or_box(session)
        dialog = session.main_dialog(windows)
        checks.check(f"{name}: the first window is the dialog", shown is dialog,
                     f"a box came first; its texts: {shown.texts()!r}")
        checks.check(f"{name}: no error box", not session.message_boxes(windows),
                     f"boxes: {[b.texts() for b in session.message_boxes(windows)]!r}")
        if dialog is None:
            raise Fatal("the dialog is missing")
        session.wait_step(session.geometry(dialog), 1, f"{name}-1-step1")
        session.press(dialog, "Escape")
        session.wait_exit(f"{name}: Esc", program, dialog)
    finally:
        program.kill()


class StickControl:
    """The control file of the virtual-stick build and its acknowledgement."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "control.txt")
        self.lines = 0
        open(self.path, "w").close()

    def send(self, line):
        with open(self.path, "a", newline="\n") as f:
            f.write(line + "\n")
        self.lines += 1
        want = self.lines

        def acknowledged():
            try:
                with open(self.path + ".ack") as f:
                    ack = f.read().splitlines()
            except OSError:
                return None
            if not ack or not ack[0].isdigit() or int(ack[0]) < want:
                return None
            return ack

        ack = wait_for(acknowledged, CHANGE_LIMIT, interval=0.05)
        if ack is None:
            raise Fatal(f"the program did not take control line {want} ('{line}')")
        if len(ack) > 1:
            raise Fatal(f"the program rejected control lines: {ack[1:]}")


def _eeprom(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    return data if len(data) == 256 else None


def _block(eeprom):
    return eeprom[CALIB_BASE:CALIB_BASE + len(EXPECTED_BLOCK)] if eeprom else None


def _hex(data):
    return " ".join(f"{b:02X}" for b in data) if data is not None else "none"


def _debug_box(session):
    shown = [w for w in session.windows("Debug") if w.visible]
    return shown[0] if shown else None


def _walk_to_the_write(session, name, control, dialog, geometry):
    """Steps 1 to 5 of the worked calibration, each picture checked, then
    the "Debug" DATA box checked and dismissed. Returns the step-1 shot."""
    checks = session.checks
    first = session.wait_step(geometry, 1, f"{name}-01-step1")
    last = first
    for number, (what, x, y, step) in enumerate(WALK, start=2):
        control.send(f"axes {x:04X} {y:04X}")
        session.press(dialog, "space")
        if step == 6:
            break
        shot_name = f"{name}-{number:02d}-{what.replace(' ', '-')}"
        if what == "right too early":
            # The press has been handled: the step stays as it was.
            session.unchanged(shot_name, geometry, last)
        last = session.wait_step(geometry, step, shot_name)

    # The left step passed: the values and the bytes are shown first.
    box = wait_for(lambda: _debug_box(session), CHANGE_LIMIT, interval=0.3)
    session.shoot(f"{name}-07-debug-box")
    if box is None:
        raise Fatal("no \"Debug\" box after the left step")
    texts = [t for t in box.texts() if t.startswith("DATA")]
    checks.equal(f"{name}: the Debug box shows the DATA text",
                 texts[0] if texts else box.texts(), EXPECTED_DATA_TEXT)
    session.press(box, "Return", title="Debug")
    wait_for(lambda: not _debug_box(session), CHANGE_LIMIT, interval=0.3)
    return first


def _close_by_the_close_box(session, name, program, dialog):
    """Clicks the frame's close box; the first box that comes, or "ended"
    when the program ended without one, or None."""
    xid = session.xwindow(dialog)
    spot = session.display.close_box(xid)
    if spot is None:
        raise Fatal("found no close box on the dialog's frame")
    session.display.click(*spot)

    def box_or_end():
        if not program.running():
            return "ended"
        boxes = [w for w in session.message_boxes(session.windows()) if w.visible]
        return boxes[0] if boxes else None

    box = wait_for(box_or_end, CHANGE_LIMIT, interval=0.3)
    session.shoot(f"{name}-11-closed")
    return box


def _start_virtual_stick(session, name):
    """The virtual-stick build on an erased stick whose EEPROM is a file:
    (its control file, the EEPROM file's path, the program)."""
    cwd = session.run_dir(name, CONFIG)
    control = StickControl(cwd)
    eeprom_path = os.path.join(cwd, "eeprom.bin")
    with open(eeprom_path, "wb") as f:
        f.write(b"\xFF" * 256)  # an erased stick
    program = session.wine.start(session.programs["sim"], cwd,
                                 {"KX9_SIM_CONTROL": "control.txt",
                                  "KX9_SIM_EEPROM": "eeprom.bin"}, name + ".log")
    return control, eeprom_path, program


def virtual_stick_walk(session):
    """The virtual-stick build walked through the worked calibration with
    Space presses while the stick moves: every step's picture, the "Debug"
    DATA box, the bytes in the stick's EEPROM, the return to step 1 on
    unplug, a new stick found by the next Space, and the close box."""
    checks = session.checks
    name = "sim"
    control, eeprom_path, program = _start_virtual_stick(session, name)
    try:
        windows, shown = _wait_dialog_or_box(session)
        dialog = session.main_dialog(windows)
        checks.check(f"{name}: the dialog comes up without a box", shown is dialog,
                     f"a box came first; its texts: {shown.texts()!r}")
        if dialog is None:
            raise Fatal("the dialog is missing")
        geometry = session.geometry(dialog)
        first = _walk_to_the_write(session, name, control, dialog, geometry)

        written = wait_for(lambda: _block(_eeprom(eeprom_path)) == EXPECTED_BLOCK and
                           _eeprom(eeprom_path), CHANGE_LIMIT, interval=0.1)
        eeprom = _eeprom(eeprom_path)
        checks.check(f"{name}: EEPROM 110..127 holds the calibration block", bool(written),
                     f"actual {_hex(_block(eeprom))}, expected {_hex(EXPECTED_BLOCK)}")
        outside = (eeprom[:CALIB_BASE] + eeprom[CALIB_BASE + 18:]) if eeprom else b""
        checks.check(f"{name}: nothing else of the EEPROM was written",
                     outside == b"\xFF" * (256 - 18),
                     f"{sum(1 for b in outside if b != 0xFF)} bytes outside 110..127 changed")
        session.wait_step(geometry, 6, f"{name}-08-unplug-now")

        control.send("unplug")
        back = session.wait_step(geometry, 1, f"{name}-09-unplugged")
        checks.check(f"{name}: after the unplug the dialog looks as it did at the start",
                     look.same_client(back, first, geometry))

        # The next stick: plugged in centred, found by the next Space press,
        # which is judged at once if the stick reported within the program's
        # half-second wait; a busy machine may need a second press.
        control.send("plug")
        control.send("axes 8000 7F80")
        for _ in range(3):
            session.press(dialog, "space")
            if wait_for(lambda: not look.step_problems(session.display.screenshot(), geometry,
                                                       session.pictures, 2), 5):
                break
        session.wait_step(geometry, 2, f"{name}-10-next-stick")

        # The close box of the window frame ends the program, which first
        # says that a calibration was completed in this run.
        box = _close_by_the_close_box(session, name, program, dialog)
        checks.check(f"{name}: closing shows '{COMPLETED}'",
                     box not in (None, "ended") and COMPLETED in box.texts(),
                     "the program ended without it" if box == "ended" else
                     f"box texts: {box.texts()!r}" if box else "no box, and still running")
        if box not in (None, "ended"):
            session.press(box, "Return")
        status = session.wait_exit(f"{name}: close box", program, dialog)
        checks.equal(f"{name}: exit status", status, 0)
        checks.equal(f"{name}: the EEPROM file after the end",
                     _hex(_block(_eeprom(eeprom_path))), _hex(EXPECTED_BLOCK))
    finally:
        program.kill()


def virtual_stick_keeps_nothing(session):
    """A stick that takes every write and keeps none: after the DATA box
    the dialog says "Cannot write EEPROM!", and closing it does not claim
    that a calibration was completed."""
    checks = session.checks
    name = "sim-no-keep"
    control, eeprom_path, program = _start_virtual_stick(session, name)
    try:
        windows, _ = _wait_dialog_or_box(session)
        dialog = session.main_dialog(windows)
        if dialog is None:
            raise Fatal("the dialog is missing")
        control.send("ignore-writes on")
        _walk_to_the_write(session, name, control, dialog, session.geometry(dialog))

        def error_box():
            boxes = [w for w in session.message_boxes(session.windows()) if w.visible]
            return boxes[0] if boxes else None

        box = wait_for(error_box, CHANGE_LIMIT, interval=0.3)
        session.shoot(f"{name}-08-error-box")
        checks.check(f"{name}: the dialog says '{WRITE_ERROR}'",
                     box is not None and WRITE_ERROR in box.texts(),
                     f"box texts: {box.texts()!r}" if box else "no box after the DATA box")
        if box is not None:
            session.press(box, "Return")
            wait_for(lambda: not error_box(), CHANGE_LIMIT, interval=0.3)
        checks.equal(f"{name}: the stick kept nothing", _block(_eeprom(eeprom_path)),
                     b"\xFF" * 18)

        box = _close_by_the_close_box(session, name, program, dialog)
        checks.check(f"{name}: closing does not claim '{COMPLETED}'",
                     box is not None and (box == "ended" or COMPLETED not in box.texts()),
                     f"box texts: {box.texts()!r}" if box not in (None, "ended") else
                     "no box, and still running")
        if box not in (None, "ended"):
            session.press(box, "Return")
        status = session.wait_exit(f"{name}: close box", program, dialog)
        checks.equal(f"{name}: exit status", status, 0)
    finally:
        program.kill()


SCENARIOS = (production_without_config, production_with_config, virtual_stick_walk,
             virtual_stick_keeps_nothing)
