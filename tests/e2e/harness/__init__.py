"""The end-to-end tier: the Windows program and its virtual-stick build under
Wine on a private X display, driven with xdotool and checked by screenshot
pixels and the virtual stick's EEPROM. See tests/e2e/run."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
import traceback

from . import look, scenarios
from .display import Display
from .report import Checks, Fatal, wait_for
from .wine import WINE_FONTS, Wine

PROGRAMS = {
    "production": os.path.join("app", "Kx9JoystickCalibration.exe"),
    "sim": os.path.join("tests", "e2e", "Kx9JoystickCalibrationSim.exe"),
    "probe": os.path.join("tests", "e2e", "Kx9E2eProbe.exe"),
}
TARGETS = ("Kx9JoystickCalibration", "Kx9JoystickCalibrationSim", "Kx9E2eProbe")
CLEANUP_LIMIT = 60


def _arguments(argv, root):
    p = argparse.ArgumentParser(
        prog="tests/e2e/run",
        description="Runs the Windows programs end to end under Wine and checks what a person "
                    "would see. Screenshots go to BUILD/e2e/shots/.")
    p.add_argument("build", nargs="?",
                   default=os.environ.get("KX9_E2E_BUILD", os.path.join(root, "build", "windows")),
                   help="the Windows build folder (default: $KX9_E2E_BUILD or build/windows)")
    p.add_argument("--no-build", action="store_true",
                   help="use the programs as they are; do not bring the build up to date")
    return p.parse_args(argv)


def _build(root, build):
    """Brings the three programs up to date (scripts/test has built them
    already; a run of its own needs this)."""
    jobs = str(os.cpu_count() or 2)
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "--preset", "windows", "-B", build], cwd=root, check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", jobs, "--target", *TARGETS], cwd=root,
                   check=True, stdout=subprocess.DEVNULL)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(os.path.dirname(here)))
    args = _arguments(argv, root)
    build = os.path.abspath(args.build)
    e2e_dir = os.path.join(build, "e2e")
    shot_dir = os.path.join(e2e_dir, "shots")
    log_dir = os.path.join(e2e_dir, "logs")
    work_dir = os.path.join(e2e_dir, "runs")
    for d in (shot_dir, log_dir):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    os.makedirs(work_dir, exist_ok=True)

    # Stopped from outside, the run still takes its display and Wine down.
    def stop(signum, _frame):
        raise SystemExit(128 + signum)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)

    checks = Checks()
    started = time.monotonic()
    if not args.no_build:
        try:
            _build(root, build)
        except subprocess.CalledProcessError as e:
            checks.fatal("build the programs", str(e))
            checks.summary()
            return 1
    programs = {k: os.path.join(build, v) for k, v in PROGRAMS.items()}
    missing = [p for p in programs.values() if not os.path.exists(p)]
    if missing:
        checks.fatal("the programs exist", f"missing: {missing}")
        checks.summary()
        return 1

    display = Display(log_dir)
    wine = Wine(os.path.join(e2e_dir, "wineprefix"), log_dir,
                os.path.join(root, "cmake", "wine-fonts.reg"))
    probe = None
    try:
        display.start()
        print(f"display {display.name}; Wine prefix {wine.prefix}", flush=True)
        # A server of this prefix left over from an interrupted run goes first.
        wine.kill_server()
        if wine.prepare():
            print(f"made the Wine prefix ({time.monotonic() - started:.0f} s so far)", flush=True)
        if not wine.link_fonts():
            print(f"note: the pinned dialog font (Tahoma of fonts-wine, {WINE_FONTS}) is "
                  "missing: the layout follows this machine's fonts", flush=True)
        wine.start_server()
        probe = wine.probe(programs["probe"])
        pictures = look.load_pictures(os.path.join(root, "ui", "res"))
        template = look.Template(os.path.join(root, "ui"))
        session = scenarios.Session(checks, display, wine, probe, pictures, template, programs,
                                    work_dir, shot_dir)
        for scenario in scenarios.SCENARIOS:
            print(f"=== {scenario.__name__}", flush=True)
            try:
                scenario(session)
            except Fatal as e:
                checks.fatal(f"{scenario.__name__} runs to its end", str(e))
                session.shoot(f"{scenario.__name__}-stopped")
    except Fatal as e:
        checks.fatal("set up the display and Wine", str(e))
    except Exception:
        checks.fatal("the harness itself", traceback.format_exc())
    finally:
        if probe is not None:
            probe.quit()
        try:
            wine.kill_server()
        except Fatal as e:
            print(f"note: {e}", flush=True)
        left = wait_for(lambda: not wine.processes(), CLEANUP_LIMIT)
        checks.check("no Wine process is left behind", left,
                     "; ".join(f"{pid} {cmd}" for pid, cmd in wine.processes()))
        display.stop()

    print(f"screenshots: {shot_dir}")
    print(f"tier time: {time.monotonic() - started:.0f} s")
    checks.summary()
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
