"""The trigger's pull turns the controller down; with the recommended settings the click lands where aimed."""
import math

from wand import DEVICES, MIDDLE_MARK, at_pixel, config, start


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
