"""Both programs on a headless GNOME compositor (mutter) with two virtual monitors, on a session bus of its
own with PipeWire: the monitors from mutter's display configuration, the pointer through its remote desktop.
An override-redirect Xwayland window over the whole desktop sees the pointer's pixel and the buttons."""
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path

import pytest

from wand import CLICKS_SCROLLS_DRAG, DEVICES, XServer, at_pixel, names, start, touch_calibration, wait_until

pytestmark = pytest.mark.skipif(
    not all(map(shutil.which, ("mutter", "Xwayland", "pipewire", "wireplumber", "dbus-daemon"))),
    reason="needs mutter, Xwayland, PipeWire, WirePlumber and D-Bus (scripts/install-deps installs them)")
dbus = pytest.importorskip("dbus", reason="needs python3-dbus")

# (left, top, right, bottom): mutter puts its second virtual monitor, the primary, at 0,0 and the first right of it.
LEFT, RIGHT = (0, 0, 1920, 1080), (1920, 0, 3200, 1024)
REMOTE_DESKTOP = "org.gnome.Mutter.RemoteDesktop"


def session_bus(env):
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                              stdout=subprocess.PIPE, text=True)
    return daemon, daemon.stdout.readline().strip()


@pytest.fixture(scope="module")
def gnome():
    """PipeWire, WirePlumber and mutter in a runtime folder and on a bus of their own; yields the programs'
    environment, the test's connection to the bus, the observer on mutter's Xwayland and a function that
    restarts PipeWire."""
    folder = Path(tempfile.mkdtemp(prefix="wand-gnome-"))
    log = folder / "log"
    env = {"PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": str(folder), "HOME": str(folder)}
    daemon, env["DBUS_SESSION_BUS_ADDRESS"] = session_bus(env)
    processes = [daemon]
    try:
        def run(*command):
            processes.append(subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=log.open("a")))

        def restart_pipewire():
            processes[1].terminate(), processes[1].wait()
            run("pipewire")
            processes[1] = processes.pop()
        run("pipewire")
        assert wait_until((folder / "pipewire-0").exists, 20), log.read_text()
        run("wireplumber")
        # Mutter refuses to start Xwayland while /tmp/.X11-unix is not world-writable, as it is for a moment
        # when an X server of another test, started at the same time on a fresh machine, has just made it.
        os.makedirs("/tmp/.X11-unix", exist_ok=True)
        os.chmod("/tmp/.X11-unix", 0o1777)
        run("mutter", "--headless", "--wayland", "--wayland-display=wand", "--virtual-monitor", "1280x1024",
            "--virtual-monitor", "1920x1080")
        bus = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"])
        assert wait_until(lambda: bus.name_has_owner(REMOTE_DESKTOP), 30), log.read_text()
        display = wait_until(lambda: re.findall(r"Using public X11 display (:\d+)", log.read_text()), 30)
        xauthority = wait_until(lambda: list(folder.glob(".mutter-Xwaylandauth.*")), 30)
        assert display and xauthority, log.read_text()
        env.update(WAYLAND_DISPLAY="wand", DISPLAY=display[0], XAUTHORITY=str(xauthority[0]))
        with pytest.MonkeyPatch.context() as patch:
            patch.setenv("XAUTHORITY", env["XAUTHORITY"])
            with XServer([(0, 0, 3200, 1080)], display=display[0]) as x:
                yield env, bus, x, restart_pipewire
    finally:
        for process in reversed(processes):
            process.terminate()
            process.wait()
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture(scope="module")
def calibrated(gnome, tmp_path_factory):
    folder = tmp_path_factory.mktemp("calibrated")
    setup = touch_calibration((LEFT, RIGHT), folder, gnome[0])
    if "no GNOME support" in setup.out:
        pytest.skip("this build has no GNOME backend (it needs libsystemd-dev)")
    return folder / "default.config", setup.out


def aiming(runner, x, aims, first=0):
    """Waits for the pointer on each aim in turn, letting the runner go on to the next."""
    for i, (px, py) in enumerate(aims, first):
        assert x.wait_pointer(px, py), f"aim {i} at {px},{py}: pointer at {x.pointer()}; {runner.out}{runner.err}"
        runner.go(f"a{i}")


def seeing(x, seen, expected):
    """Whether the buttons seen, gathered in `seen`, come to be `expected`."""
    return wait_until(lambda: seen.extend(x.events()) or names(seen) == expected, 20)


def aims_scenario(aims):
    return "".join(f"step wait=a{i}\n" + at_pixel(px, py) for i, (px, py) in enumerate(aims))


def test_setup_lists_the_monitors_left_to_right_with_their_sizes_and_hash(calibrated):
    path, out = calibrated
    assert re.findall(r"Monitor resolution: (\d+x\d+)", out) == ["1920x1080", "1280x1024"]
    assert "Wayland" not in out
    written = json.loads(re.sub(r"^\s*//.*$", "", path.read_text(), flags=re.M))
    # The same hash as X11 and Windows give for this layout: the bounding box, then each monitor.
    assert written["displayhash"] == "32001080" "0192010800" "1920320010240"
    assert [tuple(d[k] for k in ("left", "top", "right", "bottom")) for d in written["display"]] == [LEFT, RIGHT]


def test_a_killed_runner_has_its_drag_let_go_by_mutter(gnome, calibrated, tmp_path):
    # Mutter closes the session of a client that left the bus, and lets go of what the session held (keys
    # too, but this Xwayland does not always have the keyboard focus to see them).
    env, _, x, _ = gnome
    scenario = DEVICES + "step wait=go\n" + at_pixel(300, 300) + "step\n  1 trigger 1\n"
    runner = start("wandpointer", tmp_path, scenario, config=calibrated[0].read_text(), env=env)
    assert x.wait_pointer(300, 300)
    runner.go("go")
    assert wait_until(lambda: x.held()[0] == [1], 10), x.held()
    runner.signal(signal.SIGKILL)
    assert wait_until(lambda: x.held()[0] == [], 0.6), x.held()


def test_pointer_hits_edge_pixels_clicks_scrolls_and_releases_a_drag_on_ctrl_c(gnome, calibrated, tmp_path):
    env, _, x, _ = gnome
    aims = []
    for left, top, right, bottom in (LEFT, RIGHT):
        right, bottom, middle = right - 1, bottom - 1, (top + bottom) // 2
        aims += [(right, top), (left, top), (left, bottom), (right, bottom), (left, middle), (right, middle)]
    scenario = DEVICES + aims_scenario(aims) + CLICKS_SCROLLS_DRAG
    x.events()
    runner = start("wandpointer", tmp_path, scenario, config=calibrated[0].read_text(), env=env)
    aiming(runner, x, aims)
    seen, expected = [], ["2+", "2-", "1+", "1-", "1+", "1-", "3+", "3-", "4+", "4-", "5+", "5-", "1+"]
    assert seeing(x, seen, expected), names(seen)
    runner.signal(signal.SIGINT)
    assert runner.wait() == 0, runner.out + runner.err
    assert seeing(x, seen, expected + ["1-"]), names(seen)
    # Neither a refusal (and X11 through Xwayland) nor a warning that the monitors have changed.
    assert runner.out == "SteamVR initialized!\n\n1 controller(s) needed..\n\nOne controller found, using that."


def test_without_mutter_on_the_bus_the_runner_says_so_and_uses_xwayland_with_the_same_monitors(
        gnome, calibrated, tmp_path):
    env = dict(gnome[0])
    daemon, env["DBUS_SESSION_BUS_ADDRESS"] = session_bus(env)
    try:
        runner = start("wandpointer", tmp_path, DEVICES, config=calibrated[0].read_text(), env=env)
        assert runner.wait_output("One controller found"), runner.out + runner.err
        runner.stop()
    finally:
        daemon.terminate()
        daemon.wait()
    assert "This Wayland desktop offers neither zwlr_virtual_pointer_manager_v1 (sway, Hyprland, river) nor " \
        "org_kde_kwin_fake_input (KDE Plasma 5.27 and later), and org.gnome.Mutter.RemoteDesktop (GNOME) is not " \
        "on the session bus: Wand has no way to move the pointer under Wayland.\nUsing X11 through Xwayland " \
        "instead" in runner.out
    # Xwayland's monitors are mutter's: the display hash that wandsetup wrote still fits.
    assert "have changed" not in runner.out


def test_new_streams_for_a_new_layout_and_after_a_pipewire_restart_then_a_session_ended_otherwise_ends_the_runner(
        gnome, calibrated, tmp_path):
    env, bus, x, restart_pipewire = gnome
    # Before the change, then the new layout's edges: RIGHT's monitor moved to 0,0 and LEFT's right of it; a
    # drag; after PipeWire's restart the trigger let go and the pointer placed again.
    aims = [(100, 100), (1279, 1023), (1280, 0), (3199, 1023), (200, 200)]
    scenario = DEVICES + aims_scenario(aims[:4]) + "step wait=a4\n  1 trigger 1\nstep\n  1 trigger 0\n" + \
        at_pixel(*aims[4])
    runner = start("wandpointer", tmp_path, scenario, config=calibrated[0].read_text(), env=env)
    aiming(runner, x, aims[:1])
    config = dbus.Interface(bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig"),
                            "org.gnome.Mutter.DisplayConfig")
    serial, monitors = config.GetCurrentState()[:2]
    mode = {m[0][0]: next(mode[0] for mode in m[1] if mode[6].get("is-current")) for m in monitors}
    config.ApplyMonitorsConfig(serial, 1, [(0, 0, 1.0, 0, True, [("Meta-0", mode["Meta-0"], {})]),
                                           (1280, 0, 1.0, 0, False, [("Meta-1", mode["Meta-1"], {})])], {})
    aiming(runner, x, aims[1:4], 1)
    seen = []
    assert seeing(x, seen, ["1+"]), names(seen)
    # Mutter closes the session when the streams' PipeWire goes away, and lets the button go.
    restart_pipewire()
    assert seeing(x, seen, ["1+", "1-"]), names(seen)
    assert runner.wait_output("\nPipeWire went away, and GNOME closed the remote desktop session with it: a new "
                              "one starts when PipeWire is back.\n"), runner.out + runner.err
    runner.go("a4")
    assert x.wait_pointer(*aims[4]), f"pointer at {x.pointer()}; {runner.out}{runner.err}"
    # A session that mutter closes for another reason with PipeWire still there (here: PipeWire drops one of
    # mutter's stream connections), as when the user stops it from GNOME's screen-sharing indicator (a
    # session's Stop is refused to all but its maker): the runner ends.
    dump = json.loads(subprocess.run(["pw-dump"], env=env, capture_output=True, text=True, check=True).stdout)
    stream = next(o for o in dump if (o.get("info") or {}).get("props", {}).get("node.name") == "mutter")
    subprocess.run(["pw-cli", "destroy", str(stream["info"]["props"]["client.id"])], env=env, check=True)
    assert runner.wait(10) == 1, runner.out + runner.err
    assert runner.out.endswith("\nGNOME ended the remote desktop session that moves the pointer (stopped from "
                               "the screen-sharing indicator, or by GNOME itself). Start wandpointer again to "
                               "go on.\n")
