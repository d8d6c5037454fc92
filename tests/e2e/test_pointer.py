"""wandpointer as a whole: the real program on Xvfb with two RandR monitors, driven by the simulated VR
runtime. What counts is what the desktop sees (where the pointer lands, the button events the server
produced), what the program prints, how it ends, and that it leaves "default.config" as it was."""
import math
import os
import re
import signal
import subprocess

import pytest

from wand import (CRASHABLE, DEVICES, LAYOUT_HASH, MIDDLE_MARK, MON_A, MON_B, at_pixel, config, names, plane_entry,
                  running_in, start, straight_at, wait_until)

CLICK, MARK = ["1+", "1-"], ["2+", "2-"]


def run(tmp_path, xs, scenario, text=None, **members):
    return start("wandpointer", tmp_path, scenario, text if text is not None else config(**members), x=xs)


def test_rays_land_on_their_pixels_and_are_pinned_to_the_current_monitor(tmp_path, xs):
    aims = [(640, 512), (0, 0), (1279, 1023), (1280, 0), (3199, 1079), (1281, 1079), (17, 1000)]
    steps = [(f"a{i}", at_pixel(px, py), px, py) for i, (px, py) in enumerate(aims)]
    # From beside and below B, aimed through the centre of pixel (2900, 300): the runtime makes the rotation.
    steps.append(("tilted", f"  1 pose aim 0.3 0.2 0.4 {2900.5 / 1024!r} {1 - 300.5 / 1024!r} -2\n", 2900, 300))
    # Past the edges of the monitor entered last (left, above, below, below left); then B and past its edges.
    steps += [("in-a", at_pixel(600, 500), 600, 500), ("left", straight_at(-0.5, 0.5), 0, 512),
              ("above", straight_at(0.6, 1.7), 614, 0), ("below", straight_at(0.6, -0.03), 614, 1023),
              ("corner", straight_at(-4.0, -4.0), 0, 1023), ("in-b", at_pixel(2000, 100), 2000, 100),
              ("right", straight_at(5.0, 1 - 512.5 / 1024), 3199, 512),
              ("under", straight_at(2048.5 / 1024, -1.0), 2048, 1079), ("back", at_pixel(1024, 512), 1024, 512)]
    p = run(tmp_path, xs, DEVICES + "".join(f"step wait={n}\n{pose}" for n, pose, _, _ in steps))
    for name, _, px, py in steps:
        assert xs.wait_pointer(px, py), f"before {name}: pointer at {xs.pointer()}, expected {px},{py}"
        p.go(name)
    assert p.out == "SteamVR initialized!\n\n1 controller(s) needed..\n\nOne controller found, using that."


@pytest.mark.parametrize("handedness, expected", [
    (1, ["1+", "1-", "1+", "1-", "1+", "1-", "1+", "1-", "3+", "3-"]),
    (2, ["3+", "3-", "3+", "3-", "1+", "1-", "3+", "3-", "3+", "3-"]),
    (0, ["1+", "1-", "3+", "3-"])])
def test_trigger_clicks_and_drags_and_the_touchpad_clicks_by_handedness(tmp_path, xs, handedness, expected):
    # A short pull that moves before its release, a long one (a drag, moved on the way), then presses on
    # the touchpad's halves: the trigger drives the primary button, the primary half double-clicks.
    p = run(tmp_path, xs, DEVICES + "step wait=ready\n" + at_pixel(300, 300) +
            "step polls=2\n  1 trigger 1\nstep polls=2\n" + at_pixel(310, 300) + "step polls=2\n  1 trigger 0\n"
            "step ms=600\n  1 trigger 0.8\nstep polls=2\n" + at_pixel(400, 350) + "step polls=2\n  1 trigger 0.05\n"
            "step polls=2\n  1 pad -0.7 0.2\n  1 buttons pad\nstep polls=2\n  1 buttons none\n  1 pad 0 0\n"
            "step polls=2\n  1 pad 0.8 -0.4\n  1 buttons pad\nstep polls=2\n  1 buttons none\n  1 pad 0 0\n" +
            MIDDLE_MARK, handedness=handedness, trigger={"dragging_threshold_ms": 300})
    assert xs.wait_pointer(300, 300)
    p.go("ready")
    events = xs.wait_events()
    assert names(events) == expected + MARK
    if handedness == 1:
        # The click comes at the release, where the pointer is then; the drag's press once the threshold
        # has passed since the pull, its release where the drag ended.
        assert [e[:3] for e in events[:4]] == [("1+", 310, 300), ("1-", 310, 300), ("1+", 310, 300),
                                               ("1-", 400, 350)]
        assert events[0].t >= p.step_ms(4) - 1 and events[2].t - p.step_ms(5) >= 299
        assert events[2].t <= p.step_ms(6)


def test_wheel_grip_menu_and_lost_tracking(tmp_path, xs):
    # The thumb at the strip's top edge gives 30 units a frame, 120 make a notch: 20 frames, 5 notches. The
    # remainder is kept: 7 frames of 15 and one of -15 leave 90, so 20 frames of -30 then give 4 notches down.
    # The menu button stops the pointer (clicks go on); while the pose is invalid or the controller is
    # reported disconnected nothing at all happens.
    p = run(tmp_path, xs, DEVICES + "step polls=3\n" + at_pixel(2500, 200) +
            "step polls=20\n  1 pad 0 1\nstep polls=7\n  1 pad 0 0.5\nstep polls=1\n  1 pad 0 -0.5\n"
            "step polls=20\n  1 pad 0.2 -1\nstep polls=2\n  1 pad 0 0\n"
            "step polls=10\n  1 buttons grip\nstep polls=3\n  1 buttons none\n"
            "step polls=3\n  1 buttons menu\nstep polls=20\n  1 buttons none\n" + at_pixel(500, 700) +
            "step polls=2\n  1 trigger 0.6\nstep polls=2\n  1 trigger 0\n" + MIDDLE_MARK +
            "step wait=lose\n  1 buttons menu\n"
            "step polls=5\n  1 valid no\n  1 buttons grip\n  1 pad 0 1\n  1 trigger 0.9\n" + at_pixel(900, 900) +
            "step polls=5\n  1 valid yes\n  1 connected no\n  1 buttons menu\n  1 trigger 0\n"
            "step polls=5\n  1 buttons pad\n  1 trigger 1\nstep polls=5\n  1 buttons none\n  1 trigger 0\n"
            "  1 pad 0 0\nstep polls=3\n  1 connected yes\n  1 pose matrix 1 0 0 5 0 1 0 5 0 0 1 0\n" + MIDDLE_MARK)
    assert names(xs.wait_events()) == ["4+", "4-"] * 5 + ["5+", "5-"] * 4 + MARK
    assert names(xs.wait_events()) == CLICK + MARK
    assert xs.pointer() == (2500, 200) and p.out.endswith("\nCursor disabled")
    p.go("lose")
    assert names(xs.wait_events()) == MARK
    # B is current, so the last ray beside everything is pinned to its corner; 900,900 never shows.
    assert xs.wait_pointer(3199, 0)
    assert p.out.endswith("using that.\nCursor disabled\nCursor enabled")


THUMBS = {
    # A stick drifting or pushed to its dead zone scrolls nothing (without one, 30 frames at 0.15 and 20 at
    # 0.2 would be two notches); beyond it, the strip's rate, pushed up scrolling up; pressed, its halves click.
    "touch-right": ("oculus_touch", "oculus_cv1_controller_right",
                    "step polls=30\n  1 pad 0.05 0.15\nstep polls=20\n  1 pad -0.1 0.2\nstep polls=8\n  1 pad 0.1 1\n"
                    "step polls=4\n  1 pad 0.2 -1\nstep polls=2\n  1 pad -0.7 0.1\n  1 buttons pad\n"
                    "step polls=2\n  1 buttons none\n  1 pad 0 0\nstep polls=2\n  1 pad 0.7 0\n  1 buttons pad\n"
                    "step polls=2\n  1 buttons none\n  1 pad 0 0\n",
                    ["4+", "4-"] * 2 + ["5+", "5-"] + CLICK * 2 + ["3+", "3-"]),
    # The trackpad on axis 2 is the thumb control; the joystick on axis 0 and the press of axis 0 do nothing.
    "wmr-right": ("holographic_controller", "{holographic}holographic_controller_right",
                  "step polls=8\n  1 pad 0 1\nstep polls=4\n  1 pad 0 0\n  1 axis 2 0 -1\n"
                  "step polls=2\n  1 axis 2 -0.7 0.1\n  1 buttons pad\n"
                  "step polls=2\n  1 buttons axis2\nstep polls=2\n  1 buttons none\n  1 axis 2 0 0\n",
                  ["5+", "5-"] + CLICK * 2)}


@pytest.mark.parametrize("model", THUMBS.keys())
def test_the_thumb_control_by_its_kind_and_axis_scrolls_and_clicks(tmp_path, xs, model):
    kind, render_model, steps, expected = THUMBS[model]
    p = run(tmp_path, xs, f"device 0 hmd\ndevice 1 controller model={model}\nstep polls=2\n" + steps + MIDDLE_MARK,
            controller={"type": kind, "render_model": render_model})
    assert names(xs.wait_events()) == expected + MARK
    assert p.out.endswith(f"using that.\nController: {kind} ({render_model}), aiming from its tip")


def test_stabilization_averages_and_unusable_lengths_warn(tmp_path, xs):
    # With N = 3 the empty history pulls the first placements toward 0,0, then the mean settles on the aimed
    # pixel. 0 and -4 cannot be used: a warning, and direct placement. 100,000,000 (the fuzzer found
    # 2,000,000,000, 16 GB of history) is cut to 1000 with a warning, and kept nowhere with averaging off.
    for n, enable, path, warning in [(3, 1, [(375, 200), (750, 400), (1125, 600), (1500, 800)], None),
                                     (0, 1, [(1500, 800)], "needs average_of_N_previous_positions of 1 or more"),
                                     (-4, 1, [(1500, 800)], "needs average_of_N_previous_positions of 1 or more"),
                                     (100000000, 1, [], "averages at most 1000 previous positions"),
                                     (100000000, 0, [(1500, 800)], None)]:
        p = run(tmp_path / f"{n}-{enable}", xs, DEVICES + "step wait=next\n" + at_pixel(1500, 800) + "step\n" +
                at_pixel(1501, 801), stabilization={"enable": enable, "average_of_N_previous_positions": n})
        assert xs.wait_pointer(1500, 800, 20)
        p.go("next")
        assert xs.wait_pointer(1501, 801, 20)
        assert xs.motions()[:len(path)] == path
        assert (warning in p.out if warning else "Warning" not in p.out), p.out
        p.stop()
        xs.motions()


def test_bindings_press_keys_and_buttons_with_a_tick_each_and_let_go_when_tracking_is_lost_and_on_ctrl_c(tmp_path, xs):
    # A presenter's pad halves, a shortcut on the grip, the trigger as the left button at once (the drag
    # threshold is never reached), the menu button as a double click; a haptic tick for each press. Presses
    # are two frames apart at least: the runtime takes one pulse per 5 ms, so one frame later may get none.
    bindings = {"pad_left": "key:page_up", "pad_right": "key:page_down", "grip": "key:ctrl+alt+t",
                "trigger": "left", "menu": "double"}

    def press(buttons, pad="0 0"):
        return f"step polls=2\n  1 pad {pad}\n  1 buttons {buttons}\nstep polls=2\n  1 buttons none\n  1 pad 0 0\n"
    p = run(tmp_path, xs, DEVICES + "step polls=3\n" + at_pixel(300, 300) + press("pad", "-0.6 0.1") +
            press("pad", "0.6 0.1") + press("grip") + "step wait=pulled\n  1 trigger 1\nstep polls=2\n  1 trigger 0\n" +
            press("menu") + "step wait=lose\n  1 buttons grip\nstep\nstep polls=2\n  1 trigger 1\n"
            "step polls=3\n  1 valid no\nstep\n  1 valid yes\n  1 pad -0.6 0.1\n  1 buttons grip pad\n",
            bindings=bindings, haptics={"click_us": 1500}, trigger={"dragging_threshold_ms": 100000})
    shortcut, released = ["Control_L+", "Alt_L+", "t+"], ["t-", "Alt_L-", "Control_L-"]
    assert names(xs.wait_events(last="1+")) == ["Page_Up+", "Page_Up-", "Page_Down+", "Page_Down-"] + shortcut + \
        released + ["1+"]
    p.go("pulled")
    assert names(xs.wait_events(last="t+")) == ["1-"] + CLICK * 2 + shortcut
    # Tracking lost with the trigger held: the left button and the shortcut are let go, and the grip and the
    # trigger, still held when it returns, press nothing.
    p.go("lose")
    assert names(xs.wait_events(last="Page_Up+")) == ["1+", "1-"] + released + ["Page_Up+"]
    p.signal(signal.SIGINT)
    assert p.wait() == 0 and names(xs.wait_events(last="Page_Up-")) == ["Page_Up-"]
    assert p.sim_log().count(" TriggerHapticPulse 1 0 1500\n") == 8
    # A key that the X server's keymap lacks stops the start, naming it.
    subprocess.run(["xmodmap", "-display", xs.display, "-e", "keycode 123 ="], check=True)
    try:
        p = run(tmp_path / "lacking", xs, DEVICES, bindings={"grip": "key:volume_up"})
        assert p.wait() == 1 and p.err == 'Cannot press the key "volume_up" that "bindings" / "grip" names: the ' \
            "X server's keymap has no key with the keysym XF86AudioRaiseVolume.\n"
    finally:
        subprocess.run(["xmodmap", "-display", xs.display, "-e", "keycode 123 = XF86AudioRaiseVolume"], check=True)


def test_a_key_or_button_held_twice_goes_up_with_its_last_hold_exactly_as_it_went_down(tmp_path, xs):
    # The grip (Ctrl+A) and the pad's left half (Ctrl+V) share Ctrl; the layout turns French (A moves) while A is
    # held; the menu holds the left button during the trigger's drag, and a right click on the pad marks its end.
    bindings = {"grip": "key:ctrl+a", "pad_left": "key:ctrl+v", "menu": "left"}
    p = run(tmp_path, xs, DEVICES + "step polls=3\n" + at_pixel(300, 300) + "step wait=fr\n  1 buttons grip\n"
            "step polls=2\n  1 pad -0.6 0.1\n  1 buttons grip pad\nstep polls=2\n  1 buttons pad\n"
            "step polls=2\n  1 buttons none\nstep ms=100\n  1 pad 0 0\n  1 trigger 1\nstep polls=2\n"
            "  1 trigger 1\n  1 buttons menu\nstep polls=2\n  1 buttons none\nstep polls=2\n  1 pad 0.6 0.1\n"
            "  1 buttons pad\nstep polls=2\n  1 buttons none\n  1 pad 0 0\n  1 trigger 0\n" + MIDDLE_MARK.replace(
                "grip", "pad"), bindings=bindings, trigger={"dragging_threshold_ms": 50})
    try:
        assert names(xs.wait_events(last="a+")) == ["Control_L+", "a+"]
        subprocess.run(["setxkbmap", "-display", xs.display, "fr"], check=True)
        p.go("fr")
        assert names(xs.wait_events(last="3-")) == ["v+", "a-", "v-", "Control_L-", "1+", "3+", "3-"]
        assert names(xs.wait_events(last="1-")) == ["1-"] and xs.held() == ([], [])
    finally:
        subprocess.run(["setxkbmap", "-display", xs.display, "us"], check=True)


def test_a_runner_killed_crashed_or_aborted_has_every_button_and_key_it_held_let_go(tmp_path, xs):
    # A drag and a bound key held (grip: Shift+A): the watchdog lets go of both within 600 ms, then ends. After
    # an orderly end (SIGTERM) the runner has let go itself, and the watchdog sends nothing more. Before the
    # abort the grip lets go of its keys while the drag goes on: the watchdog then lets go of the drag alone.
    for sig in (signal.SIGKILL, signal.SIGSEGV, signal.SIGABRT, signal.SIGTERM):
        p = start("wandpointer", tmp_path / sig.name, DEVICES + "step polls=3\n" + at_pixel(300, 300) +
                  "step wait=let\n  1 buttons grip\n  1 trigger 1\nstep\n  1 buttons none\n", env=CRASHABLE, x=xs,
                  config=config(bindings={"grip": "key:shift+a"}, trigger={"dragging_threshold_ms": 50}))
        assert names(xs.wait_events(last="1+")) == ["Shift_L+", "a+", "1+"] and xs.held() == ([1], [38, 50])
        let_go = sig == signal.SIGABRT
        if let_go:
            p.go("let")
            assert names(xs.wait_events(last="Shift_L-")) == ["a-", "Shift_L-"]
        p.signal(sig)
        assert wait_until(lambda: xs.held() == ([], []), 0.6), f"{sig.name}: {xs.held()} still held"
        orderly = sig == signal.SIGTERM
        assert names(xs.events()) == (["1-"] if let_go else ["a-", "Shift_L-", "1-"] if orderly
                                      else ["1-", "a-", "Shift_L-"])
        assert p.wait() == (0 if orderly else -sig)
        assert wait_until(lambda: not running_in(tmp_path / sig.name), 5) and not xs.events(), "the watchdog stays"


def test_every_pull_around_the_drag_threshold_is_one_press_and_one_release(tmp_path, xs):
    # Pulls held from 10 ms under to 10 ms over the threshold: each is a click or a drag, whichever frame
    # sees the release, never a release alone (a pull let go in the frame after the threshold passed).
    for threshold in (200, 0, 5):
        holds = range(max(threshold - 10, 0), threshold + 11)
        p = run(tmp_path / str(threshold), xs, DEVICES + "step polls=3\n" + at_pixel(300, 300) + "".join(
            f"step ms={hold}\n  1 trigger 1\nstep polls=2\n  1 trigger 0\n" for hold in holds) + MIDDLE_MARK,
            trigger={"dragging_threshold_ms": threshold})
        assert names(xs.wait_events()) == CLICK * len(holds) + MARK, threshold
        p.stop()


def test_nothing_stays_held_whatever_ends_a_drag(tmp_path, xs):
    # A drag is under way when the runner is signalled, when its output's reader has gone and it prints, when
    # the controller goes, or when the trigger is let go while the pose is lost: the button is let go every
    # time, and a signal ends the runner with status 0. A stop during the controller's selection ends it so.
    for how in [signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT, signal.SIGUSR1, signal.SIGALRM, signal.SIGRTMAX,
                "closed stdout", "reader gone", "disconnect", "untracked", "selection"]:
        scenario = DEVICES + "step polls=3\n" + at_pixel(300, 300) + "step wait=go\n  1 trigger 1\n" + {
            "reader gone": "step polls=2\n  1 buttons menu\nstep polls=2\n  1 trigger 0\n",
            "disconnect": "step polls=0\n  1 connected no\n",
            "untracked": "step polls=5\n  1 valid no\nstep\n  1 trigger 0\n"}.get(how, "")
        p = start("wandpointer", tmp_path / str(how), DEVICES + "device 2 controller\n" if how == "selection"
                  else scenario, config(trigger={"dragging_threshold_ms": 50}), x=xs,
                  stdout={"closed stdout": "closed", "reader gone": subprocess.PIPE}.get(how))
        if how == "selection":
            assert p.wait_output("Press trigger to select primary controller")
            p.signal(signal.SIGINT)
        else:
            assert names(xs.wait_events(last="1+")) == ["1+"]
        if how == "reader gone":
            p.process.stdout.close()
        if how in ("reader gone", "disconnect", "untracked"):
            p.go("go")
            assert names(xs.wait_events(last="1-")) == ["1-"], f"{how}: the left button stays held"
            p.stop()
        elif how != "selection":
            p.signal(signal.SIGTERM if how == "closed stdout" else how)
            assert p.wait() == 0 and names(xs.wait_events(last="1-")) == ["1-"], how
        assert p.wait() == 0 and "VR_ShutdownInternal" in p.sim_log(), how
    assert xs.events() == []


def test_a_trigger_not_seen_pulled_neither_clicks_nor_drags(tmp_path, xs):
    # The pull that selects the second controller is held past the threshold, and a pull made while the
    # pose is invalid is still held when tracking returns: neither acts. Poses that are not finite place
    # nothing; the pulls made then click where the pointer is.
    run(tmp_path, xs, "device 0 hmd\ndevice 1 controller\ndevice 2 controller\n" +
        "step ms=500\n  2 trigger 0.9\n" + at_pixel(512, 512, 2) + "step polls=3\n  2 trigger 0\n"
        "step polls=3\n  2 valid no\nstep polls=3\n  2 trigger 1\nstep polls=5 ms=200\n  2 valid yes\n"
        "step polls=3\n  2 trigger 0\n"
        "step polls=5\n  2 pose matrix nan nan nan nan nan nan nan nan nan nan nan nan\n  2 trigger 1\n"
        "step polls=5\n  2 pose matrix 1 0 0 inf 0 1 0 -inf 0 0 1 0\nstep polls=5\n  2 trigger 0\n"
        "step polls=2\n  2 pose matrix 1 0 0 nan 0 1 0 0.5 0 0 1 0\n  2 trigger 0.5\n"
        "step polls=2\n  2 trigger 0\nstep polls=3\n  2 buttons grip\nstep polls=3\n  2 buttons none\n",
        trigger={"dragging_threshold_ms": 100})
    events = xs.wait_events()
    assert names(events) == CLICK + CLICK + MARK
    assert {e[1:3] for e in events} == {(512, 512)} and xs.pointer() == (512, 512)


def test_controllers_come_and_go_during_selection(tmp_path, xs):
    # The second controller drops out while the user chooses; its trigger chooses nothing. The first one's
    # pull chooses it and it points.
    p = run(tmp_path / "drop", xs, "device 0 hmd\ndevice 1 controller\ndevice 2 controller\n"
            "step polls=0 wait=asked\n" + at_pixel(400, 400) + at_pixel(1200, 200, 2) +
            "step polls=6\n  2 connected no\n  2 trigger 0.9\nstep polls=3\n  1 trigger 0.9\n"
            "step polls=3\n  1 trigger 0\n  2 connected yes\nstep\n")
    assert p.wait_output("Press trigger to select primary controller")
    p.go("asked")
    assert xs.wait_pointer(400, 400)
    p.stop()
    # No controller at start is waited for; one at index 15 works, and no index above 15 is ever asked for.
    p = run(tmp_path / "late", xs, "device 0 hmd\ndevice 15 controller disconnected\nstep polls=0 wait=plug\n"
            "step polls=0\n  15 connected yes\n" + at_pixel(800, 600, 15) +
            "step polls=3\nstep polls=3\n  15 buttons grip\nstep polls=3\n  15 buttons none\n")
    assert p.wait_output("1 controller(s) needed..")
    p.go("plug")
    assert names(xs.wait_events()) == MARK and xs.pointer() == (800, 600)
    calls = [line.split() for line in p.sim_log().splitlines()]
    asked = [c for c in calls if c[1] in ("GetControllerState", "IsTrackedDeviceConnected", "GetTrackedDeviceClass")]
    assert len(asked) > 15 and all(0 <= int(c[2]) <= 15 for c in asked)


GOOD = config()
REFUSED = [("", "Error from reader: "), ("calibration: left 1920x1080\n", "Error from reader: "),
           (GOOD[:len(GOOD) // 2], "Error from reader: "), ("\0\xff\xfe{\x01\x80", "Error from reader: "),
           ('{ "display" : ' + "[" * 5000 + "]" * 5000 + " }", "Error from reader: Exceeded stackLimit"),
           (config(handedness="left"), "Value is not convertible to Int."),
           (GOOD.replace('"x": 1.25', '"x": "1.25"', 1), "Value is not convertible to float."),
           (config(handedness=4294969216), "out of Int range"),
           (GOOD.replace('"handedness": 1', '"handedness": 1e400'), "out of Int range"),
           (config(bindings={"grip": "key:ctrl+cmd"}), 'Bad "bindings" / "grip" in default.config: "key:ctrl+cmd" '
            'names no key "cmd"'),
           (config(display=MON_A), 'Bad "display" in default.config: expected an array of monitors, found an object.'),
           (config(display=5), 'Bad "display" in default.config: expected an array of monitors, found a number.'),
           ("null", 'Bad file default.config: expected an object with "display" and the settings, found null.')]


@pytest.mark.parametrize("text, message", REFUSED, ids=range(len(REFUSED)))
def test_unusable_files_are_refused_before_the_runtime(tmp_path, xs, text, message):
    p = run(tmp_path, xs, DEVICES + "step\n" + at_pixel(300, 300), text)
    assert p.wait() == 1
    assert message in p.err and p.err.count(message) == 1
    assert p.out == "" and "VR_InitInternal" not in p.sim_log()
    assert (tmp_path / "default.config").read_bytes() == text.encode() and xs.pointer() == (7, 7)


def test_start_up_failures(tmp_path, xs):
    p = start("wandpointer", tmp_path / "none", DEVICES, x=xs)
    assert p.wait() == 1 and p.out == "Could not open default.config, run config first!\n\n"
    assert "VR_InitInternal" not in p.sim_log()
    for error in [100, 101, 105, 108, 109, 110, 121, 126, 301, 9999]:
        p = run(tmp_path / str(error), xs, f"init-error {error}\n" + DEVICES)
        assert p.wait() == 1
        if error == 121:
            assert p.out == "HMD not found! Please start SteamVR before running program.\n\n"
        else:
            assert p.out.startswith("SteamVR init error: ") and p.out.endswith(f"({error}) \n\n")
        assert "VR_ShutdownInternal" in p.sim_log()
    assert p.out == "SteamVR init error: Unknown error (9999) \n\n"
    assert (tmp_path / "108/stdout.txt").read_text() == "SteamVR init error: Hmd Not Found (108) \n\n"


def test_the_log_is_a_regular_file_and_never_the_configuration(tmp_path, xs):
    (tmp_path / "sub").mkdir(), (tmp_path / "up").symlink_to("sub/..")
    (tmp_path / "default.config").write_text(config()), os.link(tmp_path / "default.config", tmp_path / "hard")
    os.mkfifo(tmp_path / "fifo")
    for log, why in [("default.config", None), ("./sub/../default.config", None), ("up/default.config", None),
                     (str(tmp_path / "hard"), None), ("fifo", "it is a FIFO, not a regular file"),
                     ("/dev/zero", "it is a character device, not a regular file")]:
        p = start("wandpointer", tmp_path, DEVICES, args=["--log", log], x=xs)
        assert p.wait() == 1 and p.out == "" and p.err == (
            f"wandpointer: the log file {log} is the configuration file default.config; name another log file.\n"
            if why is None else f"wandpointer: cannot open the log file {log}: {why}\n")
    assert (tmp_path / "default.config").read_text() == config() and "VR_InitInternal" not in p.sim_log()
    p = start("wandpointer", tmp_path / "none", DEVICES, args=["--log", "default.config"], x=xs)
    assert p.wait() == 1 and "is the configuration file" in p.err and not (tmp_path / "none/default.config").exists()


def test_odd_but_valid_files_point_at_the_calibrated_monitor(tmp_path, xs):
    # B's calibration after entries that can never map a ray: 10,000 calibrated behind the user, null
    # corners, infinite corners. A byte-order mark and CR LF read like the plain file.
    behind = plane_entry(0, 0, 1920, 1080, 0, 1, 1, 0)
    for corner in ("v0", "v1", "v2", "v3"):
        behind[corner]["z"] = 40
    nulls = dict(behind, v0=None, v1={"x": None, "y": None, "z": None})
    infinite = plane_entry(0, 0, 1920, 1080, 12345.5, 1, 1.875, -54321.5)
    texts = ["\ufeff" + GOOD, GOOD.replace("\n", "\r\n"), "\ufeff" + GOOD.replace("\n", "\r\n"),
             config(displays=[behind] * 9999 + [MON_B]), config(displays=[nulls, MON_B]),
             config(displays=[infinite, MON_B]).replace("12345.5", "1e400").replace("-54321.5", "-1e+9999")]
    for i, text in enumerate(texts):
        p = run(tmp_path / str(i), xs, DEVICES + "step\n" + at_pixel(2500, 900), text)
        assert xs.wait_pointer(2500, 900), f"case {i}: {p.out} {p.err}"
        p.stop()
        assert (tmp_path / str(i) / "default.config").read_bytes() == text.encode()
        xs.move(7, 7)
    # No usable display at all: the program runs, never moves the pointer, and the buttons still click.
    for i, displays in enumerate([{}, [], None]):
        p = run(tmp_path / f"none{i}", xs, DEVICES + "step polls=5\n" + at_pixel(300, 300) + MIDDLE_MARK,
                display=displays if displays is not None else None)
        assert names(xs.wait_events()) == MARK and xs.pointer() == (7, 7)
        p.stop()


def test_a_changed_layout_is_warned_about_and_the_runner_goes_on(tmp_path, xs):
    warning = "\nWarning: the monitors have changed since they were calibrated. Run wandsetup again to " \
              "calibrate them.\n"
    for i, (recorded, warned) in enumerate([("192010800192010800", True), (LAYOUT_HASH, False), (None, False)]):
        p = run(tmp_path / str(i), xs, DEVICES + "step\n" + at_pixel(2000, 500), displayhash=recorded)
        assert xs.wait_pointer(2000, 500)
        assert p.out.startswith(warning + "SteamVR initialized!") == warned and (warning in p.out) == warned
        p.stop()
        xs.move(7, 7)


def test_frames_start_at_least_five_milliseconds_apart(tmp_path, xs):
    p = run(tmp_path, xs, DEVICES + "step polls=60\n" + at_pixel(300, 300) + MIDDLE_MARK)
    xs.wait_events()
    polls = [int(line.split()[0]) for line in p.sim_log().splitlines() if " GetControllerState " in line]
    # A millisecond tick lets one gap fall a little under 5 ms; ten frames take at least 50 ticks.
    assert len(polls) >= 60 and all(polls[i] - polls[i - 10] > 45000 for i in range(10, len(polls)))


# A pull of the trigger turns the controller down; with the recommended settings the click lands where aimed.
def test_a_pull_that_turns_the_controller_clicks_on_the_aimed_pixel(tmp_path, xs):
    x, y = 600.5 / 1024, 1 - 500.5 / 1024  # at_pixel(600, 500), then turned down by 0.1 to 0.4 degrees
    turns = "".join(f"step polls=2\n  1 pose aim {x} {y} 0 {x} {y - 2 * math.tan(math.radians(d))} -2\n"
                    for d in (0.1, 0.25, 0.4))
    steady = {"enable": 1, "filter": "one_euro", "min_cutoff_hz": 0.5, "beta": 2.5, "derivative_cutoff_hz": 1.0}
    start("wandpointer", tmp_path, DEVICES + "step polls=20\n" + at_pixel(600, 500) + "step polls=2\n"
          "  1 trigger 1\n" + turns + "step polls=2\n  1 trigger 0\n" + MIDDLE_MARK,
          config(stabilization=steady, trigger={"click_freeze_degrees": 0.6}), x=xs)
    clicks = [(e.what, e.x, e.y) for e in xs.wait_events() if e.what[0] == "1"]
    assert clicks == [("1+", 600, 500), ("1-", 600, 500)]
    assert xs.wait_pointer(600, 514), f"after the release the pointer follows again; it is at {xs.pointer()}"


def test_steamvr_waited_for_and_its_quit_obeyed(tmp_path, xs):
    # Without --wait, a quit during a drag lets the button go before it is acknowledged, and ends the run.
    drag = "step polls=3\n" + at_pixel(300, 300) + "step wait=go\n  1 trigger 1\nstep\n  quit\n"
    p = run(tmp_path / "quit", xs, DEVICES + drag, trigger={"dragging_threshold_ms": 50})
    assert names(xs.wait_events(last="1+")) == ["1+"]
    p.go("go")
    assert p.wait() == 0 and p.out.endswith("using that.\nSteamVR is quitting\n")
    release, = xs.wait_events(last="1-")
    log = p.sim_log()
    ack = next(int(line.split()[0]) for line in log.splitlines() if line.endswith(" AcknowledgeQuit_Exiting"))
    assert release.what == "1-" and release.t <= ack // 1000 and log.index("Acknowledge") < log.index("Shutdown")
    # With --wait: absent for 3 s (two tries 2 s apart), then the same quit; the runtime is back when the test
    # says so, and the controller is chosen again. Every line also goes to the log, with the time.
    p = start("wandpointer", tmp_path / "wait", "absent ms=3000\n" + DEVICES + drag + "  absent wait=back\n"
              "step polls=3\n  1 trigger 0\n" + at_pixel(600, 600) + MIDDLE_MARK,
              config(trigger={"dragging_threshold_ms": 50}), args=["--wait", "--log", "logs/wand.log"], x=xs)
    assert names(xs.wait_events(last="1+")) == ["1+"]
    tries = [line.split() for line in p.sim_log().splitlines() if " VR_InitInternal " in line]
    assert [t[-1] for t in tries] == ["121", "121", "0"]
    assert all(int(b[0]) - int(a[0]) >= 1990000 for a, b in zip(tries, tries[1:]))
    p.go("go")
    assert names(xs.wait_events(last="1-")) == ["1-"] and p.wait_output("quitting\nWaiting for SteamVR...\n")
    p.go("back")
    assert names(xs.wait_events()) == MARK and xs.pointer() == (600, 600)
    started = "SteamVR initialized!\n\n1 controller(s) needed..\n\nOne controller found, using that."
    assert p.out == f"Waiting for SteamVR...\n{started}\nSteamVR is quitting\nWaiting for SteamVR...\n{started}"
    lines = (tmp_path / "wait/logs/wand.log").read_text().splitlines()
    assert [line[24:] for line in lines] == [line for line in p.out.splitlines() if line]
    assert all(re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} .+", line) for line in lines)
    p.stop()
    # One waiting runner per file (SteamVR starts another when it starts again), and Ctrl+C ends the waiting.
    p = start("wandpointer", tmp_path / "stop", "absent wait=never\n" + DEVICES, config(), args=["--wait"], x=xs)
    assert p.wait_output("Waiting for SteamVR...\n")
    (tmp_path / "link").symlink_to("stop"), os.link(tmp_path / "stop/default.config", tmp_path / "hard.config")
    for spelling in ("../stop/default.config", "../link/default.config", "../link/../stop/default.config",
                     "../hard.config"):  # however the file is named, it is the same file
        second = start("wandpointer", tmp_path / "second", None, args=["--wait", "--config", spelling])
        assert second.wait() == 0 and second.out == f"Another wandpointer --wait runs with {spelling}; this one ends.\n"
    p.signal(signal.SIGINT)
    assert p.wait() == 0 and p.out == "Waiting for SteamVR...\n"
    # SteamVR starting (no headset yet, its server refusing) is waited through too; a broken installation is not.
    for error in (108, 301, 110):
        p = start("wandpointer", tmp_path / str(error), f"absent ms=1 error={error}\n" + DEVICES + "step\n" +
                  at_pixel(500, 500), config(), args=["--wait"], x=xs)
        if error == 110:
            assert p.wait() == 1 and p.out.startswith("SteamVR init error: ")
            continue
        assert xs.wait_pointer(500, 500) and p.out.startswith("Waiting for SteamVR...\nSteamVR initialized!")
        tries = [line.split()[-1] for line in p.sim_log().splitlines() if " VR_InitInternal " in line]
        assert tries == [str(error), "0"] and not p.stop() and not xs.move(7, 7)


def test_the_mouse_and_a_controller_at_rest_get_the_cursor_until_a_turn_or_a_pull_takes_it_back(tmp_path, xs):
    p = run(tmp_path / "off", xs, DEVICES + "step\n" + at_pixel(600, 500))
    assert xs.wait_pointer(600, 500) and not xs.move(100, 100)
    assert xs.wait_pointer(600, 500), "without handover the pointer is pulled back, as it always was"
    p.stop()
    # --recommended: a warp by another client takes the pointer from a 0.3 degree tremor and a 0.6 degree turn;
    # 2.8 degrees take it back. At rest (2 s still) 20 frames a second, a 0.3 degree turn moves nothing, a pull
    # clicks where it aims. Aims turn about (0.6, 0.5, 0), 2 m before the screens, through pixel (px, 500).
    aim = [f"  1 pose aim 0.6 0.5 0 {(px + 0.5) / 1024!r} {1 - 500.5 / 1024!r} -2\n" for px in (600, 620, 700, 710)]
    p = start("wandpointer", tmp_path / "on", DEVICES + "step wait=warped\n" + aim[0] + "  1 tremor 0.3\n"
              "step polls=40\n" + aim[1] + "step wait=turn\nstep wait=rest\n" + aim[2] + "  1 tremor 0\n"
              "step polls=10\n" + aim[3] + "step wait=pull\nstep polls=2\n  1 trigger 1\nstep polls=2\n"
              "  1 trigger 0\n" + MIDDLE_MARK + "step wait=drag\nstep wait=drop\n  1 trigger 1\nstep\n  1 trigger 0\n"
              + MIDDLE_MARK, config(), args=["--recommended"], x=xs)
    assert wait_until(lambda: xs.pointer()[0] == 600, 10)
    # A warp that lands between the runner's look at the pointer and its next placement is undone, as a
    # real mouse's single step may be; the next one is noticed.
    assert any(xs.move(100, 100) or p.wait_output("the mouse took over", 1) for _ in range(5)), p.out
    p.go("warped")
    assert wait_until(lambda: " step 3\n" in p.sim_log(), 10) and xs.pointer() == (100, 100)
    p.go("turn")
    assert xs.wait_pointer(700, 500) and p.wait_output("at rest")
    p.go("rest")
    assert wait_until(lambda: " step 6\n" in p.sim_log(), 10) and xs.pointer() == (700, 500)
    assert p.step_ms(6) - p.step_ms(5) >= 450
    p.go("pull")
    assert [e[:3] for e in xs.wait_events()] == [(what, 710, 500) for what in CLICK + MARK]
    assert "using that.\nCursor paused: the mouse took over\nCursor resumed\nCursor paused: the controller is at " \
        "rest\nCursor resumed" in p.out
    # A drag with a still aim keeps its cursor against the mouse: the move is undone, the button comes up
    # where the controller aims, and nothing pauses.
    p.go("drag")
    assert [e[:3] for e in xs.wait_events(last="1+")] == [("1+", 710, 500)]
    assert not xs.move(30, 40) and xs.wait_pointer(710, 500), "the mouse took the drag"
    p.go("drop")
    assert [e[:3] for e in xs.wait_events()] == [("1-", 710, 500)] + [(what, 710, 500) for what in MARK]
    assert p.out.count("Cursor paused") == 2, p.out
