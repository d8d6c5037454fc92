"""wandsetup as a user runs it: Xvfb with RandR monitors, the simulated runtime played by a scripted
controller, answers on standard input. Checked: the console transcript, the exit status, "default.config"
(its values here; its exact text in the unit tests), and, closing the loop, where wandpointer then points."""
import json
import math
import os
import stat
import subprocess
import warnings

import pytest

from wand import BIN, DEVICES, MON_A, MON_B, XServer, config, names, start

CORNERS = ["UPPER LEFT", "LOWER LEFT", "LOWER RIGHT", "UPPER RIGHT"]
POINT = "By aligning the application and system buttons, point the controller to:\n"
OLD = '{ "an older calibration" : true }'


def corner_lines(names=CORNERS):
    return "".join(f"the {c} corner of the screen and press the application button - OK\n" for c in names)


opening = ("SteamVR initialized!\n\n1 controller(s) needed..\n\nOne controller found, using that.\n"
           "{} monitors found.").format
done = "\nCalibration for monitor {}/{} done!\n".format
TOUCH = "\n\nCALIBRATION BY TOUCH\n\nWith the tip of the controller touch:\n" + corner_lines()
POINTING = "\n\nCALIBRATION BY POINTING\nUses two sets of intersecting lines to estimate display corners\n\n" + \
    POINT + corner_lines() + "\nNow move to a new position and repeat!\n" + POINT + corner_lines()
HANDEDNESS = "\nAre you:\n1: Right-handed\n2: Left-handed\n"
WRITTEN = "\nConfiguration file 'default.config' written\nYou can start the main program now\n\n"


def menu(i, count, ordinal, w, h):
    return f"\n\nCalibrating monitor {i}/{count} ({ordinal} from left)\nMonitor resolution: {w}x{h}\n\n" \
           "Select a calibration method:\n1: Calibrate by touch\n2: Calibrate by pointing\n"


def screen(ul, w, h):
    """An upright screen facing the user: its corners in the order upper left, lower left, lower right, upper right."""
    x, y, z = ul
    return [(x, y, z), (x, y - h, z), (x + w, y - h, z), (x + w, y, z)]


def press(pose, between=""):
    """The controller moved to `pose`, then the application button's press."""
    return between + f"step\n{pose}  1 buttons none\nstep\n  1 buttons menu\n"


def touch(corners):
    return "".join(press(f"  1 pose tip {x!r} {y!r} {z!r}\n") for x, y, z in corners)


def aim(at, corner):
    return press(f"  1 pose tip {' '.join(map(repr, at))} aim {' '.join(map(repr, corner))}\n")


def pointing(corners, first, second):
    return "".join(aim(at, c) for at in (first, second) for c in corners)


LEFT = screen((-0.9, 1.3, -0.6), 0.34, 0.27)
RIGHT = screen((-0.5, 1.35, -0.75), 0.51, 0.29)
FROM = [(-0.3, 1.2, 0.2), (0.25, 1.1, 0.1)]


def calibrate(folder, x, scenario, answers, old=OLD, env=None, args=(), devices=DEVICES):
    folder.mkdir(parents=True, exist_ok=True)
    if old is not None:
        (folder / "default.config").write_text(old)
    p = start("wandsetup", folder, devices + scenario, stdin=answers, x=x, env=env, args=args)
    status = p.wait(120)
    # The quality lines are checked by test_calibration_quality.
    out = "".join(line for line in p.out.splitlines(True) if not line.startswith("Measured "))
    written = folder / "default.config"
    return status, out, p.err, written.read_text() if written.is_file() else None


def values(text):
    return json.loads("\n".join(line for line in text.splitlines() if not line.strip().startswith("//")))


def assert_corners(entry, corners, within):
    for key, expected in zip(("v0", "v1", "v2", "v3"), corners):
        got = [entry[key][axis] for axis in "xyz"]
        assert all(abs(g - e) <= within for g, e in zip(got, expected)), (key, got, expected)


def test_touch_on_one_monitor_and_pointing_on_the_other(tmp_path):
    # Invalid answers repeat the first menu; "1 2x" answers both menus; the blank line is skipped.
    with XServer(observe=False) as x:
        status, out, err, text = calibrate(tmp_path, x, touch(LEFT) + pointing(RIGHT, *FROM),
                                           "abc\n0\n3\nx1\n-1\n1 2x\n\n2\n")
    assert (status, err) == (0, "")
    assert out == opening(2) + menu(1, 2, "1st", 1280, 1024) * 6 + TOUCH + done(1, 2) + \
        menu(2, 2, "2nd", 1920, 1080) + POINTING + done(2, 2) + HANDEDNESS + WRITTEN
    document = values(text)
    assert document["displayhash"] == "3200108001280102401280320010800" and document["handedness"] == 2
    assert [[d[k] for k in ("left", "top", "right", "bottom")] for d in document["display"]] == \
        [[0, 0, 1280, 1024], [1280, 0, 3200, 1080]]
    assert_corners(document["display"][0], LEFT, 1e-6)  # the tip, to the float's last bits
    assert_corners(document["display"][1], RIGHT, 1e-4)  # two lines through each corner
    assert document == values(config(document["display"], displayhash=document["displayhash"], handedness=2))


PRESSED = "  1 buttons menu\n"
SAMPLING = {
    # Tracking returns while the button is still held: no new edge, no sample.
    "pose invalid while pressed": "step\n  1 buttons none\nstep polls=2\n  1 pose at 3 3 3\n  1 valid no\n" +
    PRESSED + "step polls=2\n  1 valid yes\n",
    # A disconnected controller reports no state: the press is gone by the time it returns.
    "disconnected while pressed": "step\n  1 buttons none\nstep polls=2\n  1 pose at 3 3 3\n  1 connected no\n" +
    PRESSED + "step polls=2\n  1 buttons none\nstep polls=2\n  1 connected yes\n",
    "other buttons and the trigger": "".join(
        f"step polls=2\n  1 pose at 3 3 3\n{change}step polls=2\n  1 buttons none\n  1 trigger 0\n  1 pad 0 0\n"
        for change in ("  1 buttons grip\n", "  1 buttons system\n", "  1 buttons pad\n",
                       "  1 trigger 1\n  1 buttons trigger-bit\n", "  1 pad 0.5 0.5\n")),
    # Held while the controller moves on to the next corner: each corner needs its own press.
    "held into the next corner": "step polls=3\n" + PRESSED + "step polls=3\n  1 pose at 3 3 3\n" + PRESSED,
}


@pytest.mark.parametrize("between", SAMPLING.values(), ids=SAMPLING.keys())
def test_only_a_fresh_application_button_press_while_tracked_takes_a_sample(tmp_path, between):
    corners = screen((-0.4, 1.3, -0.7), 0.5, 0.3)
    with XServer([(0, 0, 1920, 1080, True)], observe=False) as x:
        presses = "".join(press(f"  1 pose tip {c[0]!r} {c[1]!r} {c[2]!r}\n", between if i else "")
                          for i, c in enumerate(corners))
        status, out, _, text = calibrate(tmp_path, x, presses, "1 1")
    assert status == 0
    assert out == opening(1) + menu(1, 1, "1st", 1920, 1080) + TOUCH + done(1, 1) + HANDEDNESS + WRITTEN
    assert_corners(values(text)["display"][0], corners, 1e-6)


def test_nearly_parallel_rays_ask_for_that_corner_again(tmp_path):
    corners = screen((-0.4, 1.3, -0.7), 0.5, 0.3)
    first, second = FROM
    # At the lower left the user did not move between the sets; at the lower right moved straight towards
    # the corner. The first retry of the lower left is parallel again, the second is good.
    toward = tuple(f + (c - f) * 0.3 for f, c in zip(first, corners[2]))
    scenario = "".join(aim(first, c) for c in corners) + aim(second, corners[0]) + aim(first, corners[1]) + \
        aim(toward, corners[2]) + aim(second, corners[3]) + aim((-0.2, 1.0, 0.1), corners[1]) * 2 + \
        aim((-0.2, 1.0, 0.1), corners[1]) + aim((0.4, 1.3, 0.2), corners[1]) + \
        aim((-0.1, 1.2, 0.3), corners[2]) + aim((0.5, 1.15, 0.0), corners[2])
    with XServer([(0, 0, 1920, 1080, True)], observe=False) as x:
        status, out, _, text = calibrate(tmp_path, x, scenario, "2\n1\n")

    def again(c):
        return f"\nThe two lines to the {c} corner are too close to parallel to give a corner.\n" \
            f"Point at it again, from two positions further apart.\n{POINT}{corner_lines([c])}" \
            f"\nNow move to a new position and repeat!\n{POINT}{corner_lines([c])}"
    assert status == 0 and out == opening(1) + menu(1, 1, "1st", 1920, 1080) + POINTING + again("LOWER LEFT") * 2 + \
        again("LOWER RIGHT") + done(1, 1) + HANDEDNESS + WRITTEN
    assert_corners(values(text)["display"][0], corners, 1e-4)


def test_end_of_input_and_hostile_answers(tmp_path):
    first, second = menu(1, 2, "1st", 1280, 1024), menu(2, 2, "2nd", 1920, 1080)
    endings = [("", opening(2) + first), ("abc 7\n\n", opening(2) + first * 3),
               ("1\n", opening(2) + first + TOUCH + done(1, 2) + second),
               ("1 1\n3\n", opening(2) + first + TOUCH + done(1, 2) + second + TOUCH + done(2, 2) + HANDEDNESS * 2)]
    with XServer(observe=False) as x:
        for i, (answers, transcript) in enumerate(endings):
            status, out, err, text = calibrate(tmp_path / str(i), x, touch(LEFT) + touch(RIGHT), answers)
            assert (status, out, text) == (2, transcript, OLD)
            assert err == "\nwandsetup: standard input ended before the answer; nothing was written\n"
        # A megabyte-long token, numbers beyond 32 bits and binary bytes are invalid answers, asked again.
        answers = b"x" * 1000000 + b" 99999999999999999999 \x00\x80\xff\x1b[2J 1 " + b"7" * 1000000 + b" 1 1\n"
        status, out, err, text = calibrate(tmp_path / "hostile", x, touch(LEFT) + touch(RIGHT), answers)
        assert status == 0 and out.count("monitor 1/2 (") == 4 and out.count("monitor 2/2 (") == 2
        assert values(text)["handedness"] == 1


def test_hostile_paths_are_refused_before_anything_is_asked_and_nothing_is_replaced(tmp_path):
    os.mkfifo(tmp_path / "fifo")
    (tmp_path / "folder").mkdir(), (tmp_path / "ro").write_text(OLD), (tmp_path / "ro").chmod(0o444)
    (tmp_path / "null").symlink_to("/dev/null")
    (tmp_path / "big").write_bytes(b"{" + b" " * 16 * 1024 * 1024 + b"}")
    no = ", not a regular file"
    refusals = {"fifo": "it is a FIFO" + no, "folder": "it is a folder" + no, "ro": "it is read-only",
                "null": "'/dev/null', where it leads, is a character device" + no,
                "missing/x": "No such file or directory", "n" * 240: "File name too long"}
    try:
        os.mknod(tmp_path / "device", 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        refusals["device"] = "it is a character device" + no
    except PermissionError:
        warnings.warn("no device node case: this machine allows no mknod")
    kinds = {name: os.lstat(tmp_path / name).st_mode for name in os.listdir(tmp_path)}
    with XServer([(0, 0, 1920, 1080, True)], observe=False) as x:
        # wandsetup: refused before the runtime starts, whatever the answers would have been.
        for name, reason in refusals.items():
            p = start("wandsetup", tmp_path, DEVICES, args=["--config", name], stdin="1 1\n", x=x)
            assert (p.wait(), p.out) == (3, "") and not (tmp_path / "sim.log").exists(), name
            assert p.err == f"\nwandsetup: could not write '{name}': {reason}\nThe previous file is unchanged.\n"
        # wandpointer: only a regular file up to 16 MiB is read; a FIFO without a writer does not hang it.
        for name, reason in [("fifo", "a FIFO" + no), ("/dev/zero", "a character device" + no),
                             ("folder", "a folder" + no), ("big", "larger than 16 MiB")]:
            p = start("wandpointer", tmp_path, DEVICES, args=["--config", name], x=x)
            assert (p.wait(), p.out, p.err) == (1, "", f"Cannot read {name}: it is {reason}.\n")
        assert {name: os.lstat(tmp_path / name).st_mode for name in kinds} == kinds
        assert (tmp_path / "ro").read_text() == OLD and not [n for n in os.listdir(tmp_path) if ".tmp-" in n]
        # Through a symbolic link the file it leads to is replaced and keeps its mode; the link stays. With
        # standard output closed (launchers do that) the run neither hangs nor writes into the X connection.
        real = tmp_path / "real/t.config"
        real.parent.mkdir(), real.write_text(OLD), real.chmod(0o600), (tmp_path / "link").symlink_to("real/t.config")
        p = start("wandsetup", tmp_path, DEVICES + touch(LEFT), args=["--config", "link"], stdin="1 1 1\n", x=x,
                  stdout="closed")
        assert p.wait(120) == 0 and os.readlink(tmp_path / "link") == "real/t.config", p.err
        assert values(real.read_text())["handedness"] == 1 and os.listdir(real.parent) == ["t.config"]
        assert stat.S_IMODE(real.stat().st_mode) == 0o600
    # No desktop at all: both programs say which one they tried; nothing is written.
    for program, env, tried in [("wandsetup", {}, "neither WAYLAND_DISPLAY nor DISPLAY is set"),
                                ("wandpointer", {"DISPLAY": ":4242"}, 'the X display ":4242" cannot be opened')]:
        p = start(program, tmp_path / program, DEVICES, config=OLD, stdin="1\n", env=env)
        assert (p.wait(), p.out, p.err) == (1, "", f"No desktop to work on: {tried}.\n")
        assert (tmp_path / program / "default.config").read_text() == OLD
        assert not (tmp_path / program / "sim.log").exists()


def test_a_disk_full_or_read_only_is_reported_and_the_old_file_kept(tmp_path):
    refused = subprocess.run(["unshare", "--map-root-user", "--mount", "true"], capture_output=True, text=True)
    if refused.returncode:
        pytest.skip(f"this machine allows no user namespaces (unshare --map-root-user): {refused.stderr.strip()}")
    with XServer([(0, 0, 1920, 1080, True)], observe=False) as x:
        # A read-only folder (found out before the first question) and a full disk (when the file is written):
        # a small tmpfs in a private mount namespace, where one is allowed.
        (tmp_path / "scenario").write_text(DEVICES + touch(RIGHT))
        for prepare in ["mount -o remount,ro /mnt", "dd if=/dev/zero of=filler bs=1k 2>/dev/null"]:
            copy = tmp_path / prepare[:5]
            script = f"mount -t tmpfs -o size=64k tmpfs /mnt || exit 99; cd /mnt; " \
                     f"printf %s '{OLD}' > default.config; " \
                     f'{prepare}; echo 1 1 | "$0"; status=$?; cp -a . "$1"; exit $status'
            run = subprocess.run(["unshare", "--map-root-user", "--mount", "sh", "-c", script, BIN / "wandsetup",
                                  copy],
                                 capture_output=True, text=True, timeout=120,
                                 env=dict(os.environ, WAND_SIM_SCENARIO=str(tmp_path / "scenario"), **x.env))
            if run.returncode == 99:
                pytest.skip("this machine allows no private tmpfs mounts (unshare --map-root-user --mount)")
            assert run.returncode == 3 and "could not write 'default.config'" in run.stderr, run.stderr
            assert ("Are you:" in run.stdout) == (prepare[0] == "d")  # a full disk is found out only at the end
            assert (copy / "default.config").read_text() == OLD
            assert set(os.listdir(copy)) <= {"default.config", "filler"}


PROMPT = "the LOWER RIGHT corner of the screen and press the application button"


@pytest.mark.parametrize("scenario, status, ending", [
    ("init-error 121\n", 1, "HMD not found! Please start SteamVR before running config.\n\n"),
    ("init-error 108\n", 1, "SteamVR init error: Hmd Not Found (108) \n\n"),
    # SteamVR quits while a corner is awaited, or while the controller is chosen: acknowledged, and the
    # calibration ends there, even though the user would have gone on.
    (touch(RIGHT[:2]) + "step\n  quit\n" + touch(RIGHT[2:]), 2, f" - OK\n{PROMPT}\nSteamVR is quitting\n"),
    ("device 2 controller\nstep polls=4\nstep\n  quit\nstep polls=2\n  1 trigger 1\n" + touch(RIGHT), 2,
     "\nPress trigger to select primary controller\nSteamVR is quitting\n")], ids=["121", "108", "corner", "choice"])
def test_a_runtime_that_cannot_start_or_quits_ends_the_run_and_leaves_the_file(tmp_path, scenario, status, ending):
    with XServer([(0, 0, 1920, 1080, True)], observe=False) as x:
        result, out, err, text = calibrate(tmp_path, x, scenario, "1 1\n")
    assert (result, text) == (status, OLD) and out.endswith(ending) and (out == ending) == (status == 1)
    assert ("AcknowledgeQuit_Exiting" in (tmp_path / "sim.log").read_text()) == (status == 2)


COS, SIN = math.cos(math.pi / 6), math.sin(math.pi / 6)
TURN = f"step\n  1 pose matrix {COS!r} 0 {SIN!r} 0 0 1 0 0 {-SIN!r} 0 {COS!r} 0\n"  # the controller turned too


def moved(p):
    """Where a point lies after the tracking space turned 30 degrees about the vertical and moved 0.4 m."""
    return (COS * p[0] + SIN * p[2] + 0.24, p[1], COS * p[2] - SIN * p[0] - 0.32)


def without_corners(document):
    return dict(document, display=[{k: v for k, v in d.items() if k[0] != "v"} for d in document["display"]])


def test_the_pointer_lands_where_the_calibration_says_also_after_the_tracking_space_moved(tmp_path):
    # wandsetup calibrates both monitors (touch, then pointing); the tracking space moves, and --reanchor has
    # three corners of the right monitor touched again, in a file edited by hand. wandpointer then aims from
    # another place at pixel centres of each monitor, as the two screens now lie in tracking space.
    monitors = [((0, 0, 1280, 1024), LEFT), ((1280, 0, 1920, 1080), RIGHT)]
    with XServer() as x:
        status, *_, text = calibrate(tmp_path, x, touch(LEFT) + pointing(RIGHT, *FROM), "1 2 1\n", old=None)
        assert status == 0
        edited = dict(values(text), displayhash="older", handedness=2, note=[1.5, "kept"],
                      stabilization={"enable": 0, "average_of_N_previous_positions": 7, "beta": 0.25},
                      trigger={"click_freeze_degrees": 0.6, "dragging_threshold_ms": 150.9})
        edited["display"][0]["name"] = "left"
        status, out, err, text = calibrate(tmp_path, x, TURN + touch(map(moved, RIGHT[:3])), "2\n",
                                           old=json.dumps(edited, indent=1), args=["--reanchor"])
        assert (status, err) == (0, "")
        assert out == opening(2)[:-len("\n2 monitors found.")] + \
            "\nWarning: the monitors have changed since they were calibrated; their corners are moved all the same.\n" \
            "\nWhich monitor will you touch?\n1: 1280x1024 at 0,0\n2: 1920x1080 at 1280,0\n" \
            "\n\nRE-ANCHORING BY TOUCH: monitor 2/2\n\nWith the tip of the controller touch:\n" + \
            corner_lines(CORNERS[:3]) + "\nMoved 141 mm, turned 30.0 degrees; the touched corners lie within 0 mm of " \
            "the stored ones moved\n" + WRITTEN
        assert text.startswith('{\n\t"controller_angle_offset" : \n\t{\n\t\t"x" : 0,\n\t\t"y" : 0\n\t\t// Used to')
        document = values(text)
        for entry, (_, corners) in zip(document["display"], monitors):
            assert_corners(entry, list(map(moved, corners)), 1e-3)
        assert without_corners(document) == without_corners(edited)
        targets = []
        for (left, top, w, h), (ul, ll, _, ur) in monitors:
            for px, py in [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (w // 2, h // 2)]:
                u, v = (px + 0.5) / w, (py + 0.5) / h
                point = [ul[i] + u * (ur[i] - ul[i]) + v * (ll[i] - ul[i]) for i in range(3)]
                targets.append((left + px, top + py, moved(point)))
        p = start("wandpointer", tmp_path, DEVICES + "".join(
            f"step wait=t{i}\n  1 pose aim {' '.join(map(repr, moved((0.1, 1.1, 0.4))))} {' '.join(map(repr, point))}\n"
            for i, (_, _, point) in enumerate(targets)), x=x)
        for i, (px, py, _) in enumerate(targets):
            assert x.wait_pointer(px, py), f"aimed at {px},{py}, landed on {x.pointer()}"
            p.go(f"t{i}")
        assert names(x.events()) == []


MODELS = {  # the model, its line, how the scenario aims the ray the programs use, the model written
    "index-right": (", aiming from its tip", "tip",
                    {"type": "knuckles", "render_model": "valve_controller_knu_1_0_right"}),
    "no-tip": (" has no tip in its model; touching and aiming as with a Vive controller", "aim",
               {"type": "wand_prototype", "render_model": "wand_prototype_1_0"})}


@pytest.mark.parametrize("model", MODELS.keys())
def test_another_model_touches_and_aims_with_its_tip_is_named_and_remembered_and_a_change_warned(tmp_path, model):
    # The controller turned 30 degrees, so that a tip taken for another lands centimetres off the corner.
    line, pose, written = MODELS[model]
    devices = f"device 0 hmd\ndevice 1 controller model={model}\n"
    monitors = [((0, 0, 1280, 1024), LEFT), ((1280, 0, 1920, 1080), RIGHT)]
    with XServer() as x:
        status, out, err, text = calibrate(tmp_path, x, TURN + touch(LEFT) + pointing(RIGHT, *FROM), "1 2 1\n",
                                           devices=devices)
        assert (status, err) == (0, "")
        assert out.startswith(opening(2).replace("\n2 monitors", f"\nController: {written['type']} "
                                                 f"({written['render_model']}){line}\n2 monitors"))
        document = values(text)
        assert document["controller"] == written
        for entry, (_, corners) in zip(document["display"], monitors):
            assert_corners(entry, corners, 1e-3)
        # Pointing with it lands on the aimed pixels, and no warning; with another model, a warning.
        targets = [(left + w // 2, top + h // 4, [ul[i] + (ur[i] - ul[i]) * (w // 2 + 0.5) / w +
                    (ll[i] - ul[i]) * (h // 4 + 0.5) / h for i in range(3)])
                   for (left, top, w, h), (ul, ll, _, ur) in monitors]
        p = start("wandpointer", tmp_path, devices + "".join(
            f"step wait=t{i}\n  1 pose {pose} 0.1 1.1 0.4 aim {' '.join(map(repr, point))}\n"
            if pose == "tip" else f"step wait=t{i}\n  1 pose aim 0.1 1.1 0.4 {' '.join(map(repr, point))}\n"
            for i, (_, _, point) in enumerate(targets)), x=x)
        for i, (px, py, _) in enumerate(targets):
            assert x.wait_pointer(px, py), f"aimed at {px},{py}, landed on {x.pointer()}"
            p.go(f"t{i}")
        p.stop()
        assert "Warning" not in p.out
        other = start("wandpointer", tmp_path, DEVICES + "step wait=never\n", x=x)
        assert other.wait_output("wandsetup --reanchor"), other.out
        other.stop()
        assert other.out.endswith(
            f"using that.\nWarning: default.config was calibrated with {written['type']} ({written['render_model']}), "
            "and this controller is a Vive controller: their tips and aims differ, so the pointer lands off where you "
            "point. Run wandsetup again (or wandsetup --reanchor to touch three corners with this controller).")


A = [(0, 1, -2), (0, 0, -2), (1.25, 0, -2), (1.25, 1, -2)]  # monitor A, 1.25 x 1 m, as wand.MON_A
B = [(1.25, 1, -2), (1.25, -0.0546875, -2), (3.125, -0.0546875, -2), (3.125, 1, -2)]  # as wand.MON_B
BEZEL = [A[0], A[1], (1.28, -0.028, -2), A[3]]  # the lower right corner 41 mm out, onto the bezel
QUESTION = "Calibrate this monitor again?\n1: Keep this calibration\n2: Calibrate again\n"


def test_a_corner_off_and_aims_apart_warn_and_the_monitor_can_be_calibrated_again(tmp_path, x):
    # wandsetup judges each calibration: a summary, warnings naming the corner, the offer to calibrate again.
    # Pointed at B from two places level with its top; the second aim at the upper left passes 66 mm above.
    aims = [("2.0 1 0", c) for c in B] + [("0.8 1.066 0", (1.25, 1.066, -2))] + [("0.8 1 0", c) for c in B[1:]]
    scenario = touch(BEZEL) + touch(A) + "".join(press(f"  1 pose tip {at} aim %r %r %r\n" % c) for at, c in aims)
    p = start("wandsetup", tmp_path, DEVICES + scenario, stdin="1\n7\n2\n1\n2\nx\n1\n1\n", x=x)
    assert p.wait(120) == 0, p.out + p.err
    shown = ("Calibrating monitor", "Measured", "Warning", "Calibrate this", "Configuration")
    assert [line for line in p.out.splitlines() if line.startswith(shown)] == [
        "Calibrating monitor 1/2 (1st from left)",
        "Measured 1265 x 1014 mm (63.8 in), aspect 1.25 (pixels 1.25), corners within 20 mm of a rectangle",
        "Warning: the LOWER RIGHT corner lies 41 mm off the rectangle of the other three.",
        "Calibrate this monitor again?", "Calibrate this monitor again?",
        "Calibrating monitor 1/2 (1st from left)",
        "Measured 1250 x 1000 mm (63.0 in), aspect 1.25 (pixels 1.25), corners within 0 mm of a rectangle",
        "Calibrating monitor 2/2 (2nd from left)",
        "Measured 1875 x 1071 mm (85.0 in), aspect 1.75 (pixels 1.78), corners within 11 mm of a rectangle, "
        "the two aims at each corner within 66 mm",
        "Warning: the UPPER LEFT corner lies 33 mm off the rectangle of the other three.",
        "Warning: the two aims at the UPPER LEFT corner pass 66 mm apart.",
        "Calibrate this monitor again?", "Calibrate this monitor again?",
        "Configuration file 'default.config' written"]
    entry = values((tmp_path / "default.config").read_text())["display"][0]
    assert all(abs(entry[f"v{i}"][k] - A[i][j]) < 1e-6 for i in range(4) for j, k in enumerate("xyz"))


def test_the_input_ending_at_the_question_writes_nothing(tmp_path, x):
    p = start("wandsetup", tmp_path, DEVICES + touch(BEZEL), config="older", stdin="1\n", x=x)
    assert p.wait(60) == 2 and p.out.endswith("Warning: the LOWER RIGHT corner lies 41 mm off the rectangle "
                                              "of the other three.\n\n" + QUESTION)
    assert (tmp_path / "default.config").read_text() == "older"


def test_a_corner_touched_off_warns_and_the_input_ending_writes_nothing(tmp_path, x):
    p = start("wandsetup", tmp_path / "none", args=["--reanchor"], x=x)
    assert p.wait(30) == 1 and p.out == "Could not open default.config, run config first!\n\n"
    # Re-anchoring on B, whose lower right corner is touched 40 mm out, onto the bezel: twice, then no answer.
    p = start("wandsetup", tmp_path, DEVICES + touch(B[:2] + [(3.165, B[2][1], -2)]) * 2, config=config(),
              stdin="2\n2\n", args=["--reanchor"], x=x)
    assert p.wait(60) == 2
    touched = "With the tip of the controller touch:\n" + corner_lines(CORNERS[:3]) + \
        "\nMoved 13 mm, turned 0.3 degrees; the touched corners lie within 26 mm of the stored ones moved\n" \
        "Warning: a touched corner lies 26 mm off the stored corners moved (a corner missed, or the monitor moved).\n" \
        "Warning: the LOWER LEFT and LOWER RIGHT corners lie 40 mm further apart than stored (a corner missed, " \
        "or the monitor moved).\n\nTouch the three corners again?\n1: Keep\n2: Touch again\n"
    assert p.out.endswith("monitor 2/2\n\n" + touched + "\n" + touched)
    assert (tmp_path / "default.config").read_text() == config()
    # Its corners touched last first (LOWER RIGHT, UPPER RIGHT, UPPER LEFT) fit exactly, turned half round.
    p = start("wandsetup", tmp_path, DEVICES + touch([B[2], B[3], B[0]]), stdin="2\n", args=["--reanchor"], x=x)
    assert p.wait(60) == 2 and p.out.endswith(
        "\nMoved 0 mm, turned 180.0 degrees; the touched corners lie within 0 mm of the stored ones moved\n"
        "Warning: the space turned 180.0 degrees; were the corners touched in the order UPPER LEFT, LOWER LEFT, "
        "LOWER RIGHT?\n\nTouch the three corners again?\n1: Keep\n2: Touch again\n")


@pytest.mark.parametrize("text, problem", [
    (config(note="\u00e9 \u2603").replace("\\u00e9 \\u2603", "\u00e9 \u2603").encode("latin-1", "replace"),
     'the string at "note" holds bytes that are not UTF-8'),
    (config([dict(MON_A, v0={"x": "X", "y": 1, "z": -2}), MON_B]).replace('"X"', "1e400").encode(),
     '"display" / 0 / "v0" / "x" is not a finite number within a float\'s range')], ids=["latin-1", "1e400"])
def test_reanchor_refuses_a_file_whose_other_values_it_could_not_write_back(tmp_path, x, text, problem):
    (tmp_path / "default.config").write_bytes(text)
    p = start("wandsetup", tmp_path, DEVICES, args=["--reanchor"], x=x)
    assert p.wait(30) == 1 and p.err == f"wandsetup: default.config cannot be rewritten as it is: {problem}, " \
        f"which {'would not be written back as they are' if 'UTF' in problem else 'no motion can move'}.\n"
    assert (tmp_path / "default.config").read_bytes() == text and not (tmp_path / "sim.log").exists()
