"""The simulated runtime as the programs and a real-headset user rely on it: a drop-in library with the client
library's file name, SONAME and exports, and scenario mistakes stopped at start-up with file, line and problem."""
import subprocess

import pytest

from wand import BIN, DEVICES, start

EXPORTS = ["VR_GetGenericInterface", "VR_GetInitToken", "VR_GetVRInitErrorAsEnglishDescription",
           "VR_GetVRInitErrorAsSymbol", "VR_InitInternal", "VR_InitInternal2", "VR_IsHmdPresent",
           "VR_IsInterfaceVersionValid", "VR_IsRuntimeInstalled", "VR_ShutdownInternal"]


def test_the_library_is_a_drop_in_for_the_client_library():
    symbols = subprocess.run(["nm", "-D", "--defined-only", BIN / "libopenvr_api.so"], capture_output=True,
                             text=True, check=True).stdout.split("\n")
    assert sorted(line.split()[-1] for line in symbols if line) == EXPORTS
    assert all(line.split()[1] == "T" for line in symbols if line)
    assert "Library soname: [libopenvr_api.so]" in subprocess.run(["readelf", "-d", BIN / "libopenvr_api.so"],
                                                                  capture_output=True, text=True).stdout


@pytest.mark.parametrize("text, error", [
    (DEVICES + "step\n  1 buttons menu gripp\n", 'scenario:4: unknown button "gripp"'),
    (DEVICES + "step\n  1 pose aim 0 1 0 0 1 0\n",
     "scenario:4: the aim target must be a finite point away from the position"),
    (DEVICES + "step polls=two\n", 'scenario:3: polls "two" is not a whole number from 0 to 4294967295'),
    ("device 16 controller\n", 'scenario:1: device index "16" is not a whole number from 0 to 15'),
    ("device 1 controller\r\nstep\r\n  1 trigger nope\r\n", 'scenario:3: "nope" is not a number'),
    ("absent sec=3\n", 'scenario:1: unknown absent condition "sec" (ms, wait or error)'),
    ("device 1 controller model=quest\n",
     'scenario:1: unknown model "quest" (vive, index-left, index-right, touch-left, touch-right, wmr-left, '
     'wmr-right, no-tip, unnamed)'),
    (DEVICES + "quit\n", "scenario:3: quit must follow a step line")])
def test_a_malformed_scenario_stops_the_program_naming_file_line_and_problem(tmp_path, x, text, error):
    p = start("wandsetup", tmp_path, text, x=x)
    assert p.wait() == 3 and p.err == f"simulated VR runtime: {tmp_path}/{error}\n"
