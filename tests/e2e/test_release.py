"""Wand as users and packagers meet it: the command line of both programs, and the .deb."""
import subprocess

import pytest

from wand import BIN, start

USAGE = "Usage: {0} [--config FILE]{1} [--help] [--version]\n"


@pytest.mark.parametrize("program", ["wandsetup", "wandpointer"])
@pytest.mark.parametrize("args, status, out, err", [
    (["--help"], 0, USAGE + "\n", ""),
    (["--version"], 0, "{0} 1.", ""),
    (["--config=a", "--bogus", "--help"], 2, "", "{0}: unknown option '--bogus'\n" + USAGE),
    (["--config"], 2, "", "{0}: option '--config' needs a file name\n" + USAGE),
    (["stray"], 2, "", "{0}: unexpected argument 'stray'\n" + USAGE),
], ids=["help", "version", "unknown", "no-file", "stray"])
def test_command_line(tmp_path, program, args, status, out, err):
    p = start(program, tmp_path, args=args)
    assert p.wait() == status
    reanchor = " [--reanchor]" if program == "wandsetup" else ""
    assert p.out.startswith(out.format(program, reanchor)) and p.err == err.format(program, reanchor)
    assert not (tmp_path / "sim.log").exists()  # the VR runtime was never started
    assert args != ["--help"] or all(w in p.out for w in ("default.config", "Exit status:", "libopenvr_api.so"))


def test_another_configuration_file(tmp_path):
    # No desktop: no monitors to calibrate, only the handedness question.
    setup = start("wandsetup", tmp_path, args=["--config", "other.json"], stdin="1\n")
    assert setup.wait() == 0 and "\nConfiguration file 'other.json' written\n" in setup.out
    assert (tmp_path / "other.json").is_file() and not (tmp_path / "default.config").exists()
    pointer = start("wandpointer", tmp_path, args=["--config=other.json"])  # the option's other spelling
    assert pointer.wait_output("SteamVR initialized!\n")
    pointer.stop()
    missing = start("wandpointer", tmp_path, args=["--config=missing.json"])
    assert missing.wait() == 1 and missing.out == "Could not open missing.json, run config first!\n\n"
    (tmp_path / "bad.json").write_text('{"stabilization": {"beta": -1}}')
    bad = start("wandpointer", tmp_path, args=["--config", "bad.json"])
    assert bad.wait() == 1 and '"stabilization" / "beta" in bad.json: expected' in bad.err


def test_the_deb_installs_programs_that_run(tmp_path):
    subprocess.run(["cpack", "-G", "DEB", "-B", tmp_path], cwd=BIN.parent, check=True, capture_output=True)
    deb, = tmp_path.glob("wand_*.deb")
    depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], capture_output=True, text=True).stdout
    assert all(p in depends for p in ("libjsoncpp", "libx11-6", "libxcb-xtest0", "libxrandr2", "libxinerama1"))
    subprocess.run(["dpkg-deb", "-x", deb, tmp_path / "root"], check=True)
    files = sorted(str(f.relative_to(tmp_path / "root")) for f in (tmp_path / "root").rglob("*") if f.is_file())
    assert files == ["usr/bin/wandpointer", "usr/bin/wandsetup", "usr/share/doc/wand/LICENSE",
                     "usr/share/doc/wand/README.md"]
    # The client library comes from the VR runtime; here the simulated one stands in for it.
    version = subprocess.run([tmp_path / "root/usr/bin/wandpointer", "--version"], capture_output=True,
                             text=True, env={"LD_LIBRARY_PATH": str(BIN)})
    assert version.returncode == 0 and version.stdout.startswith("wandpointer 1.")
