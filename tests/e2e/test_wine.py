"""The Windows build under Wine on Xvfb, with the 1280x1024 monitor left of the 1920x1080 primary one, so
that Windows sees it at negative coordinates. SendInput's buttons and wheel stay inside Wine: the
project's low-level hooks (mousehook.exe), in the same prefix, report them one line per event."""
import json
import os
import shutil
import signal
import subprocess

import pytest

from wand import BIN, LAYOUT_HASH, Proc, ROOT, XServer, config, names, plane_entry, wait_until

WIN = ROOT / "build-win/bin"
PREFIX = WIN.parent / "wineprefix"
ENV = dict(os.environ, WINEPREFIX=str(PREFIX), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=")
WINDOWS_HASH = "32001080-12800102400192010800"
# Both monitors in the plane z = -1, binary-exact: a controller at (x, y, 0) looking down -Z lands on a known
# pixel: (-1.875, 1.5) on the left monitor's (-960, 256), (2.75, 0.5) on the primary's (1440, 810).
CONFIG = config([plane_entry(-1280, 0, 0, 1024, -2.5, 2, 0, 0), plane_entry(0, 0, 1920, 1080, 0.5, 2, 3.5, 0)],
                displayhash=WINDOWS_HASH)
LEFT, PRIMARY = "  1 pose matrix 1 0 0 -1.875 0 1 0 1.5 0 0 1 0\n", "  1 pose matrix 1 0 0 2.75 0 1 0 0.5 0 0 1 0\n"
DEVICES = "device 0 hmd\ndevice 1 controller\n"
# Both monitors calibrated by touch, right-handed: the answers keep the 3rd monitor's 3 x 2 m at 16:9.
CORNERS = [(-2.5, 2, -1), (-2.5, 0, -1), (0, 0, -1), (0, 2, -1), (0.5, 2, -1), (0.5, 0, -1), (3.5, 0, -1), (3.5, 2, -1)]
CALIBRATION = DEVICES + "".join(f"step polls=2\n  1 buttons none\n  1 pose tip {x} {y} {z}\n"
                                "step polls=2\n  1 buttons menu\n" for x, y, z in CORNERS) + "step\n  1 buttons none\n"

pytestmark = pytest.mark.skipif(not (WIN / "mousehook.exe").exists(), reason="no Windows build (scripts/build-windows)")


@pytest.fixture(scope="module")
def desk():
    subprocess.run([ROOT / "scripts/wine-prefix", PREFIX], check=True, capture_output=True)
    with XServer() as x:
        yield x
        subprocess.run(["wineserver", "-k"], env=ENV)
        subprocess.run(["wineserver", "-w"], env=ENV)


def windows(path):
    """A Linux path as the Windows programs see it under Wine."""
    return "Z:" + str(path).replace("/", "\\")


def run(desk, folder, program, scenario, text=None, answers="1\n1\n1\n", trace=False, linux=False, args=(),
        closed=False):
    folder.mkdir(parents=True, exist_ok=True)
    if text is not None:
        (folder / "default.config").write_text(text)
    (folder / "scenario").write_text(scenario)
    stdin = open(folder / "answers", "w+")
    stdin.write(answers), stdin.seek(0)
    where = str if linux else windows
    env = dict(ENV, **desk.env, WAND_SIM_SCENARIO=where(folder / "scenario"), WAND_SIM_CONTROL=where(folder),
               WAND_SIM_LOG=where(folder / "sim.log"), WINEDEBUG="+relay" if trace else "-all")
    command = [str(BIN / program)] if linux else ["wine", str(WIN / (program + ".exe"))]
    command = ["sh", "-c", 'exec "$@" >&-', "sh"] * closed + command
    return Proc(command + [where(a) if "/" in a else a for a in args], folder, env, stdin)


def crlf(text):
    return text.replace("\n", "\r\n")


@pytest.mark.parametrize("program, with_config, scenario", [
    ("wandpointer", False, DEVICES), ("wandpointer", True, "init-error 121\n"),
    ("wandsetup", False, "init-error 108\n")])
def test_start_up_failures_read_as_on_linux(tmp_path, desk, program, with_config, scenario):
    p = run(desk, tmp_path / "win", program, scenario, CONFIG if with_config else None, trace=scenario == DEVICES)
    q = run(desk, tmp_path / "linux", program, scenario, CONFIG.replace(WINDOWS_HASH, LAYOUT_HASH)
            if with_config else None, linux=True)
    assert p.wait(120) == q.wait() == 1 and q.out and p.out == crlf(q.out)
    if scenario == DEVICES:
        # The process set-up first thing: per-monitor DPI awareness (v2) and a 1 ms timer. Wine makes every
        # process per-monitor aware on its own, so only its call trace can tell.
        trace = p.err
        dpi = trace.find("Call user32.SetProcessDpiAwarenessContext(fffffffffffffffc)")
        assert dpi >= 0 and "Call winmm.timeBeginPeriod(00000001)" in trace


@pytest.fixture
def hook(desk, tmp_path):
    (tmp_path / "hook").mkdir()
    h = Proc(["wine", str(WIN / "mousehook.exe")], tmp_path / "hook", dict(ENV, **desk.env), subprocess.DEVNULL)
    assert h.wait_output("ready", 60), h.out + h.err
    # Wine sees the layout: the primary at the origin, the other monitor at negative x.
    assert "monitor -1280 0 0 1024" in h.out and "virtual -1280 0 3200 1080" in h.out
    h.buttons = lambda: [line.split()[:4] for line in h.out.splitlines() if line.startswith("WM_")
                         and not line.startswith("WM_MOUSEMOVE") and line.endswith(" 1")]
    h.keys = lambda: [line.split()[1:5] for line in h.out.splitlines()
                      if line.startswith("key ") and line.endswith(" 1")]
    return h


def test_the_cursor_clicks_drags_wheel_and_keys_reach_windows_desktop(tmp_path, desk, hook):
    # The menu button bound to a shortcut: keyboard records with the virtual key, the layout's scan code and,
    # for Page Down, the extended flag. A click is one SendInput record (Wine's call trace counts them).
    p = run(desk, tmp_path, "wandpointer", DEVICES + "step wait=left\n" + PRIMARY + "step wait=click\n" + LEFT +
            "step ms=40\n  1 trigger 1\nstep polls=2\n  1 trigger 0\nstep ms=600\n  1 trigger 1\n"
            "step polls=2\n  1 trigger 0\nstep polls=3\n  1 pad 0 0.5\nstep polls=2\n  1 pad 0 0\n"
            "step polls=3\n  1 buttons menu\nstep polls=3\n  1 buttons grip\nstep\n  1 buttons none\n",
            CONFIG.replace("{", '{"bindings": {"menu": "key:ctrl+page_down"},', 1), trace=True)
    assert desk.wait_pointer(1440 + 1280, 810, 30), (desk.pointer(), p.out)  # Windows x + 1280 = X's x
    p.go("left")
    assert desk.wait_pointer(-960 + 1280, 256, 30)
    p.go("click")
    at = ["-960", "256", "0"]
    expected = [["WM_LBUTTONDOWN", *at], ["WM_LBUTTONUP", *at]] * 2 + [["WM_MOUSEWHEEL", "-960", "256", "15"]] * 3 + \
        [["WM_MBUTTONDOWN", *at], ["WM_MBUTTONUP", *at]]
    assert wait_until(lambda: len(hook.buttons()) >= 9, 30) and hook.buttons() == expected, hook.out
    ctrl, page_down = ["a2", "1d", "0"], ["22", "51", "1"]
    assert wait_until(lambda: len(hook.keys()) >= 4, 30), hook.out
    assert hook.keys() == [["down", *ctrl], ["down", *page_down], ["up", *page_down], ["up", *ctrl]], hook.out
    assert names(desk.events()) == []  # nothing reached the X server's buttons or keys
    p.signal(signal.SIGINT)
    assert p.wait(30) == 0
    sent = [line for line in p.err.splitlines() if "Call user32.SendInput(" in line]
    assert len(sent) == 2 + 1 + 3 + 4 + 1 and all("SendInput(00000001," in line for line in sent), sent


@pytest.mark.parametrize("program, ending", [("wandpointer", "ctrl-c"), ("wandpointerw", "quit")])
def test_ctrl_c_or_steamvr_quitting_during_a_drag_releases_the_button(tmp_path, desk, hook, program, ending):
    # SteamVR's quit is met by the program it starts, the one without a console, whose lines go to the log.
    scenario = DEVICES + "step polls=3\n" + LEFT + "step wait=quit\n  1 trigger 1\nstep\n  quit\n"
    # Standard output closed, as some launchers start programs: the program runs all the same.
    p = run(desk, tmp_path, program, scenario, CONFIG, args=["--log", str(tmp_path / "wand.log")], closed=True)
    assert wait_until(lambda: hook.buttons() == [["WM_LBUTTONDOWN", "-960", "256", "0"]], 30), hook.out
    if ending == "quit":
        p.go("quit")
    else:
        p.signal(signal.SIGINT)  # Wine turns it into CTRL_C_EVENT for the console handler
    assert p.wait(30) == 0
    assert wait_until(lambda: len(hook.buttons()) == 2, 30) and hook.buttons()[1][0] == "WM_LBUTTONUP"
    last = (tmp_path / "wand.log").read_text().splitlines()[-1][24:]
    assert last == ("SteamVR is quitting" if ending == "quit" else "One controller found, using that.")
    assert ("AcknowledgeQuit_Exiting" in p.sim_log()) == (ending == "quit")


def test_a_runner_killed_during_a_drag_and_a_held_key_has_both_let_go(tmp_path, desk, hook):
    # Killed as TerminateProcess ends a program: its watchdog lets go of the left button and of Shift+A.
    p = run(desk, tmp_path, "wandpointer", DEVICES + "step polls=3\n" + LEFT + "step\n  1 buttons grip\n"
            "  1 trigger 1\n", CONFIG.replace("{", '{"bindings": {"grip": "key:shift+a"},', 1))
    assert wait_until(lambda: len(hook.buttons()) == 1 and len(hook.keys()) == 2, 30), hook.out
    p.process.kill()
    assert wait_until(lambda: len(hook.buttons()) == 2 and len(hook.keys()) == 4, 0.6), hook.out
    released = [["up", "41", "1e", "0"], ["up", "a0", "2a", "0"]]  # A, then Shift
    assert hook.buttons()[1][0] == "WM_LBUTTONUP" and hook.keys()[2:] == released


def test_another_program_moving_the_pointer_takes_it_from_a_trembling_controller(tmp_path, desk):
    p = run(desk, tmp_path, "wandpointer", DEVICES + "step\n" + PRIMARY + "  1 tremor 0.3\n", CONFIG,
            args=["--recommended"])
    assert wait_until(lambda: desk.pointer()[0] == 1440 + 1280, 30), (desk.pointer(), p.out)
    # Its own placements, read back, are its own: 40 frames of tremor take nothing from it. Then SetCursorPos
    # from another process, until one lands between two of the runner's placements, and 40 frames more.
    assert wait_until(lambda: p.sim_log().count("GetControllerState") > 40, 30) and "took over" not in p.out
    assert any(subprocess.run(["wine", WIN / "mousehook.exe", "move", "-500", "300"], env=dict(ENV, **desk.env))
               .returncode == 0 and p.wait_output("the mouse took over", 3) for _ in range(5)), p.out
    seen = p.sim_log().count("GetControllerState")
    assert wait_until(lambda: p.sim_log().count("GetControllerState") > seen + 40, 30)
    assert desk.pointer() == (-500 + 1280, 300)
    p.signal(signal.SIGINT)
    assert p.wait(30) == 0


def test_wandsetup_writes_the_file_as_windows_does(tmp_path, desk):
    p = run(desk, tmp_path, "wandsetup", CALIBRATION, answers="1\n1\n1\n1\n")
    assert p.wait(120) == 0, p.out + p.err
    assert crlf("\nCalibrating monitor 1/2 (1st from left)\nMonitor resolution: 1280x1024") in p.out
    assert p.out.endswith(crlf("\nConfiguration file 'default.config' written\nYou can start the main program now\n\n"))
    text = (tmp_path / "default.config").read_bytes().decode()
    assert text.count("\n") > 40 and text.count("\n") == text.count("\r\n") == text.count("\r")
    assert text.startswith("{\r\n\t\"controller_angle_offset\" : \r\n\t{\r\n") and text.endswith("\r\n}")
    assert "\t\t\t\"left\" : -1280,\r\n" in text and f'\t"displayhash" : "{WINDOWS_HASH}",\r\n' in text


def shortcut_arguments(link):
    """The command line arguments a Windows shortcut (.lnk) passes to its target."""
    data = link.read_bytes()
    flags, at = int.from_bytes(data[20:24], "little"), 76
    if flags & 1:  # the target as an item list
        at += 2 + int.from_bytes(data[at:at + 2], "little")
    if flags & 2:  # the target's location
        at += int.from_bytes(data[at:at + 4], "little")
    for bit in (4, 8, 16, 32):  # name, relative path, working folder, arguments: counted UTF-16 strings
        if flags & bit:
            size = 2 * int.from_bytes(data[at:at + 2], "little")
            if bit == 32:
                return data[at + 2:at + 2 + size].decode("utf-16-le").rstrip("\0")  # Wine counts the end too
            at += 2 + size
    return ""


def test_the_installer_its_start_menu_and_the_uninstaller(tmp_path, desk):
    installer, = WIN.parent.glob("wand-*-setup.exe")
    drive = PREFIX / "drive_c"
    user = next((drive / "users").glob("*/AppData")).parent
    documents, settings = user / "Documents/Wand", user / "AppData/Roaming/Wand"
    for folder in (documents, settings):
        shutil.rmtree(folder, ignore_errors=True)
    # Where the installed programs find the simulated runtime, which the installer does not ship.
    env = dict(ENV, **desk.env, WINEPATH=windows(WIN), WAND_SIM_LOG=windows(tmp_path / "sim.log"))
    assert subprocess.run(["wine", installer, "/S"], env=env, timeout=120).returncode == 0
    installed, menu = drive / "Program Files/Wand", drive / "ProgramData/Microsoft/Windows/Start Menu/Programs/Wand"
    files = {str(f.relative_to(installed)) for f in installed.rglob("*") if f.is_file()}
    assert {"wandsetup.exe", "wandpointer.exe", "wandpointerw.exe", "LICENSE", "README.md", "docs/platforms.md",
            "Uninstall.exe"} <= files and not [f for f in files if f.endswith(".dll")], files
    for program in ("wandsetup", "wandpointer"):
        run = subprocess.run(["wine", f"C:\\Program Files\\Wand\\{program}.exe", "--help"], env=env,
                             capture_output=True, text=True, timeout=120)
        assert run.returncode == 0 and run.stdout.startswith(f"Usage: {program} "), run.stdout + run.stderr
    assert sorted(link.name for link in menu.iterdir()) == [
        "Calibrate.lnk", "Point.lnk", "Start with SteamVR off.lnk", "Start with SteamVR on.lnk", "Uninstall.lnk"]

    def entry(name, scenario, answers):
        # The entry's command line, which its target cmd.exe runs after "/c", run the same way from a batch file.
        arguments = shortcut_arguments(menu / f"{name}.lnk")
        assert arguments.startswith("/c ") and b"cmd.exe" in (menu / f"{name}.lnk").read_bytes(), arguments
        folder = tmp_path / name.replace(" ", "_")
        folder.mkdir()
        (folder / "entry.bat").write_text("@" + arguments[3:] + "\r\n")
        (folder / "scenario").write_text(scenario)
        (folder / "answers").write_text(answers)
        p = Proc(["wine", "cmd.exe", "/c", windows(folder / "entry.bat")], folder,
                 dict(env, WAND_SIM_SCENARIO=windows(folder / "scenario")), open(folder / "answers"))
        assert p.wait(120) == 0, p.out + p.err
        return p

    # Calibrate makes the user's folder and writes default.config there; the registration names that file.
    assert "Configuration file 'default.config' written" in entry("Calibrate", CALIBRATION, "1\n1\n1\n1\n\n").out
    assert f'"displayhash" : "{WINDOWS_HASH}"' in (documents / "default.config").read_text()
    assert "SteamVR now starts wandpointer" in entry("Start with SteamVR on", DEVICES, "\n").out
    manifest = json.loads((settings / "wandpointer.vrmanifest").read_text())["applications"][0]
    assert manifest["arguments"].startswith(f"--config C:\\users\\{user.name}\\Documents\\Wand\\default.config --wait")
    assert manifest["binary_path_windows"] == "C:\\Program Files\\Wand\\wandpointerw.exe"
    # The uninstaller (it runs from a copy of itself) undoes the registration and removes everything it
    # installed; the calibration stays.
    subprocess.run(["wine", "C:\\Program Files\\Wand\\Uninstall.exe", "/S"], env=env, timeout=120)
    assert wait_until(lambda: not installed.exists() and not menu.exists(), 60), list(installed.rglob("*"))
    assert "RemoveApplicationManifest" in (tmp_path / "sim.log").read_text()
    assert not settings.exists() and [f.name for f in documents.iterdir()] == ["default.config"]
