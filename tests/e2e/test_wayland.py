"""Both programs on a headless sway with two outputs, the left one at a negative offset, as native Wayland
programs see them: a layer-shell observer covering both outputs reports the pointer's pixel, buttons and
wheel. wandsetup calibrates the layout, and wandpointer points with that very calibration."""
import contextlib
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
from pathlib import Path

import pytest

from wand import BIN, CLICKS_SCROLLS_DRAG, CRASHABLE, DEVICES, at_pixel, start, touch_calibration, wait_until

pytestmark = pytest.mark.skipif(not shutil.which("sway") or not (BIN / "wayland_observer").exists(),
                                reason="needs sway and a build with the Wayland backend")

# (left, top, right, bottom): HEADLESS-2 left of and lower than HEADLESS-1. Their boundary, 1920 of 3520,
# is one where the left edge of pixel 0 scaled to the layout's width and back falls a hair short of it.
LEFT, RIGHT = (-1920, 200, 0, 1280), (0, 0, 1600, 900)
OUTPUTS = "output HEADLESS-1 mode 1600x900 position 0 0\noutput HEADLESS-2 mode 1920x1080 position -1920 200\n"


class Observer:
    def __init__(self, env):
        self.process = subprocess.Popen([str(BIN / "wayland_observer")], env=dict(os.environ, **env),
                                        stdout=subprocess.PIPE, text=True)
        self.lines = []
        threading.Thread(target=lambda: [self.lines.append(line) for line in self.process.stdout], daemon=True).start()

    def wait_pointer(self, px, py, timeout=10):
        return wait_until(lambda: [m for m in self.lines if m.startswith("motion")][-1:] == [f"motion {px} {py}\n"],
                          timeout)

    def inputs(self):
        return [line.strip() for line in self.lines if line.startswith(("button", "axis", "key"))]


@contextlib.contextmanager
def sway():
    """Headless sway with its own runtime folder (as `nobody` when run as root, which sway refuses), and
    the observer on it, whose own virtual pointer stands for the desktop's mouse; yields the programs'
    environment, the observer and sway."""
    folder = Path(tempfile.mkdtemp(prefix="wand-sway-"))
    (folder / "config").write_text("xwayland disable\n" + OUTPUTS)
    command = ["sway", "-c", str(folder / "config")]
    if os.geteuid() == 0:
        os.chown(folder, 65534, 65534)
        command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", *command]
    env = {"PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": str(folder), "HOME": str(folder), "WLR_BACKENDS": "headless",
           "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman", "WLR_HEADLESS_OUTPUTS": "2"}
    server = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=open(folder / "log", "w"))
    observer = None
    try:
        assert wait_until((folder / "wayland-1").exists, 20), (folder / "log").read_text()
        env = {"WAYLAND_DISPLAY": str(folder / "wayland-1")}
        observer = Observer(env)
        assert wait_until(lambda: "ready\n" in observer.lines, 20), observer.lines
        yield env, observer, server
    finally:
        for process in (observer.process if observer else None, server):
            if process:
                process.kill()
                process.wait()
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="module")
def desktop():
    with sway() as (env, observer, _):
        yield env, observer


@pytest.fixture(scope="module")
def calibrated(desktop, tmp_path_factory):
    folder = tmp_path_factory.mktemp("calibrated")
    return folder, touch_calibration((LEFT, RIGHT), folder, desktop[0]).out


def test_setup_lists_the_outputs_left_to_right_with_their_sizes_and_hash(calibrated):
    folder, out = calibrated
    assert re.findall(r"Calibrating monitor (\d/2) \((\w+) from left\)\nMonitor resolution: (\d+x\d+)", out) == \
        [("1/2", "1st", "1920x1080"), ("2/2", "2nd", "1600x900")]
    written = json.loads(re.sub(r"^\s*//.*$", "", (folder / "default.config").read_text(), flags=re.M))
    # The virtual screen is the bounding box, 3520 x 1280, as X11 and Windows report it.
    assert written["displayhash"] == "35201280" "-192001280200" "016009000"
    assert [tuple(d[k] for k in ("left", "top", "right", "bottom")) for d in written["display"]] == [LEFT, RIGHT]


def test_pointer_hits_edge_pixels_presses_keys_clicks_scrolls_and_releases_a_drag_on_ctrl_c(desktop, calibrated):
    env, observer = desktop
    folder = calibrated[0] / "runner"
    folder.mkdir()
    # The menu button bound to a shortcut, which comes through the virtual keyboard.
    text = (calibrated[0] / "default.config").read_text()
    (folder / "default.config").write_text(text.replace("{", '{ "bindings" : { "menu" : "key:ctrl+page_down" },', 1))
    aims = []
    for left, top, right, bottom in (LEFT, RIGHT):
        middle = (top + bottom) // 2
        aims += [(right - 1, top), (left, top), (left, bottom - 1), (right - 1, bottom - 1), (left, middle),
                 (right - 1, middle)]
    # The runner truncates toward zero: left of the origin the centre of pixel x - 1 gives x (and for the
    # first column, outside the monitor, the current monitor's clamp does).
    scenario = DEVICES + "".join(f"step wait=a{i}\n" + at_pixel(px - (px < 0), py) for i, (px, py) in enumerate(aims))
    scenario += "step polls=2\n  1 buttons menu\nstep polls=2\n  1 buttons none\n" + CLICKS_SCROLLS_DRAG
    runner = start("wandpointer", folder, scenario, env=env)
    for i, (px, py) in enumerate(aims):
        assert observer.wait_pointer(px, py), f"aim {i} at {px},{py}: {observer.lines[-3:]} {runner.err}"
        runner.go(f"a{i}")
    click = ["button {} 1", "button {} 0"]
    expected = ["key 29 1", "key 109 1", "key 109 0", "key 29 0"] + [c.format(274) for c in click] + \
        [c.format(272) for c in click * 2] + \
        [c.format(273) for c in click] + ["axis -15", "axis 15", "button 272 1"]
    assert wait_until(lambda: observer.inputs() == expected, 20), observer.inputs()
    runner.signal(signal.SIGINT)
    assert runner.wait() == 0, runner.out + runner.err
    assert wait_until(lambda: observer.inputs() == expected + ["button 272 0"], 10), observer.inputs()
    assert "Warning" not in runner.out and "Wayland" not in runner.out


def test_a_killed_runner_has_its_drag_and_keys_let_go_and_a_killed_compositor_ends_the_runner(desktop, calibrated):
    # Sway lets go of a dead client's virtual keyboard keys itself, but not of its virtual pointer's button:
    # the watchdog's own virtual pointer lets go of that.
    env, observer = desktop
    text = (calibrated[0] / "default.config").read_text().replace("{", '{ "bindings" : { "grip" : "key:shift+a" },', 1)

    # The keys once the observer has the new virtual keyboard: after the pointer it sees placed.
    def scenario(px):
        return DEVICES + "step wait=go\n" + at_pixel(px, 300) + "step\n  1 buttons grip\n  1 trigger 1\n"

    held = ["key 42 1", "key 30 1", "button 272 1"]
    for px, sig in ((300, signal.SIGKILL), (400, signal.SIGSEGV)):
        seen = len(observer.inputs())
        runner = start("wandpointer", calibrated[0] / sig.name, scenario(px), config=text, env={**env, **CRASHABLE})
        assert observer.wait_pointer(px, 300)
        runner.go("go")
        assert wait_until(lambda: observer.inputs()[seen:] == held, 20), observer.inputs()[seen:]
        runner.signal(sig)
        assert wait_until(lambda: sorted(observer.inputs()[seen + 3:]) == ["button 272 0", "key 30 0", "key 42 0"],
                          0.6), observer.inputs()[seen:]
        assert runner.wait() == -sig
    # Sway killed under a runner: it says the desktop went away and ends with status 1.
    with sway() as (env, observer, server):
        runner = start("wandpointer", calibrated[0] / "gone", scenario(300), config=text, env=env)
        assert observer.wait_pointer(300, 300)
        runner.go("go")
        assert wait_until(lambda: "button 272 1" in observer.inputs(), 20), observer.inputs()
        server.kill()
        assert runner.wait(10) == 1, runner.out + runner.err
        assert runner.out.endswith("\nWayland: the desktop went away (the compositor closed the connection), and with "
                                   "it every button and key Wand held. Start wandpointer again to go on.\n")
