"""wandsetup judges each calibration: a summary, warnings naming the corner, the offer to calibrate again."""
import json

from wand import DEVICES, start

A = [(0, 1, -2), (0, 0, -2), (1.25, 0, -2), (1.25, 1, -2)]  # monitor A, 1.25 x 1 m, as wand.MON_A
B = [(1.25, 1, -2), (1.25, -0.0546875, -2), (3.125, -0.0546875, -2), (3.125, 1, -2)]  # as wand.MON_B
BEZEL = [A[0], A[1], (1.28, -0.028, -2), A[3]]  # the lower right corner 41 mm out, onto the bezel
QUESTION = "Calibrate this monitor again?\n1: Keep this calibration\n2: Calibrate again\n"
press = lambda pose: f"step\n  1 pose tip {pose}\n  1 buttons none\nstep\n  1 buttons menu\n"  # noqa: E731
touch = lambda corners: "".join(press("%r %r %r" % c) for c in corners)  # noqa: E731


def test_a_corner_off_and_aims_apart_warn_and_the_monitor_can_be_calibrated_again(tmp_path, x):
    # Pointed at B from two places level with its top; the second aim at the upper left passes 66 mm above.
    aims = [("2.0 1 0", c) for c in B] + [("0.8 1.066 0", (1.25, 1.066, -2))] + [("0.8 1 0", c) for c in B[1:]]
    scenario = touch(BEZEL) + touch(A) + "".join(press(f"{at} aim %r %r %r" % c) for at, c in aims)
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
    entry = json.loads("".join(l for l in (tmp_path / "default.config").open() if "//" not in l))["display"][0]
    assert all(abs(entry[f"v{i}"][k] - A[i][j]) < 1e-6 for i in range(4) for j, k in enumerate("xyz"))


def test_the_input_ending_at_the_question_writes_nothing(tmp_path, x):
    p = start("wandsetup", tmp_path, DEVICES + touch(BEZEL), config="older", stdin="1\n", x=x)
    assert p.wait(60) == 2 and p.out.endswith("Warning: the LOWER RIGHT corner lies 41 mm off the rectangle "
                                              "of the other three.\n\n" + QUESTION)
    assert (tmp_path / "default.config").read_text() == "older"
