"""Wand as users and packagers meet it: the command line of both programs, and the .deb with the VR client
library found where SteamVR keeps it, and wandpointer registered to start with SteamVR."""
import json
import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

from wand import BIN, ROOT, XServer, config, start

USAGE = "Usage: {0} [--config FILE]{1} [--recommended] [--help] [--version]\n"
OWN = {"wandsetup": " [--reanchor]", "wandpointer": " [--wait] [--log FILE] [--autostart on|off]"}


@pytest.mark.parametrize("program", ["wandsetup", "wandpointer"])
@pytest.mark.parametrize("args, status, out, err", [
    (["--help"], 0, USAGE + "\n", ""),
    (["--version"], 0, "{0} 1.", ""),
    (["--config=a", "--bogus", "--help"], 2, "", "{0}: unknown option '--bogus'\n" + USAGE),
    (["--config"], 2, "", "{0}: option '--config' needs a file name\n" + USAGE),
    (["stray"], 2, "", "{0}: unexpected argument 'stray'\n" + USAGE),
    (["--wait", "--log=x", "--autostart", "maybe"], 2, "", {
        "wandsetup": "{0}: unknown option '--wait'\n" + USAGE,
        "wandpointer": "{0}: option '--autostart' needs 'on' or 'off'\n" + USAGE}),
], ids=["help", "version", "unknown", "no-file", "stray", "runner-options"])
def test_command_line(tmp_path, program, args, status, out, err):
    p = start(program, tmp_path, args=args)
    assert p.wait() == status
    err = err[program] if isinstance(err, dict) else err
    assert p.out.startswith(out.format(program, OWN[program])) and p.err == err.format(program, OWN[program])
    assert not (tmp_path / "sim.log").exists()  # the VR runtime was never started
    assert args != ["--help"] or all(w in p.out for w in ("default.config", "Exit status:", "libopenvr_api.so"))


@pytest.mark.parametrize("program", ["wandsetup", "wandpointer"])
def test_the_manual_pages_and_the_command_line_page_say_what_help_says(tmp_path, program):
    help = start(program, tmp_path, args=["--help"])
    assert help.wait() == 0
    usage, options, statuses = re.fullmatch(
        r"Usage: (.*?)\n.*\nOptions:\n(.*?)\n\nFiles:.*\nExit status:\n(.*?)\n\nVR client library.*", help.out,
        re.S).groups()
    # Each option's help starts in the column after the names', on the next line after a long name.
    names = re.findall(r"^  (--\S+(?: (?:FILE|on\|off))?)(?: {2,}(?<=^.{17})\S.*)?$", options, re.M)
    assert usage.split(" [")[1:] == [name + "]" for name in names]
    assert all(line.startswith(("  --", " " * 17)) for line in options.splitlines())
    numbers = re.findall(r"^  (\d)  ", statuses, re.M)
    # The manual page: its synopsis and options, and its exit statuses, alike.
    page = (ROOT / f"docs/man/{program}.1").read_text()
    section = {m[0]: m[1] for m in re.findall(r"^\.SH (.*)\n((?:(?!\.SH).*\n)*)", page, re.M)}
    synopsis = re.sub(r"\\f.|\\|^\.\w+ ?|\"", "", section["SYNOPSIS"], flags=re.M).replace("\n", " ")
    for name in names:
        assert "[ " + name.replace(" on|off", " on | off") + " ]" in synopsis and \
            re.search(r"^\.TP\n.*" + re.escape(name.split()[0].replace("-", "\\-")), section["OPTIONS"], re.M), name
    assert re.findall(r"^\.TP\n\.B (\d)$", section["EXIT STATUS"], re.M) == numbers
    # docs/command-line.md: the usage, a row for each option, and its one table of the exit statuses.
    doc = (ROOT / "docs/command-line.md").read_text()
    assert re.search(rf"^    {program} +" + re.escape(" ".join(usage.split(" ")[1:])) + "$", doc, re.M)
    assert all(f"| `{name}".replace("on|", "on\\|") in doc for name in names)
    column = ["wandsetup", "wandpointer"].index(program) + 1
    rows = [row.split(" | ") for row in re.findall(r"^\| (\d \|.*) \|$", doc, re.M)]
    assert [row[0] for row in rows if row[column] != "(not used)"] == numbers


def test_another_configuration_file(tmp_path, x):
    # Each monitor's corners touched at one point: a warning, and the calibration kept.
    presses = "step\n  1 buttons menu\nstep\n  1 buttons none\n" * 8
    setup = start("wandsetup", tmp_path, "device 1 controller\n" + presses,
                  args=["--config", "other.json", "--recommended"], stdin="1 1 1 1 1\n", x=x)
    assert setup.wait() == 0 and "\nConfiguration file 'other.json' written\n" in setup.out
    assert '\t\t"rest_seconds" : 2,\n' in (tmp_path / "other.json").read_text()  # and the other recommended ones
    assert not (tmp_path / "default.config").exists()
    pointer = start("wandpointer", tmp_path, args=["--config=other.json"], x=x)  # the option's other spelling
    assert pointer.wait_output("SteamVR initialized!\n")
    pointer.stop()
    missing = start("wandpointer", tmp_path, args=["--config=missing.json"], x=x)
    assert missing.wait() == 1 and missing.out == "Could not open missing.json, run config first!\n\n"
    (tmp_path / "bad.json").write_text('{"stabilization": {"beta": -1}}')
    bad = start("wandpointer", tmp_path, args=["--config", "bad.json"], x=x)
    assert bad.wait() == 1 and '"stabilization" / "beta" in bad.json: expected' in bad.err


def test_the_deb_finds_the_client_library_when_needed_and_registers_with_steamvr(tmp_path):
    subprocess.run(["cpack", "-G", "DEB", "-B", tmp_path], cwd=BIN.parent, check=True, capture_output=True)
    deb, = tmp_path.glob("wand_*.deb")
    depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], capture_output=True, text=True).stdout
    assert all(p in depends for p in ("libjsoncpp", "libx11-6", "libxcb-xtest0", "libxrandr2", "libxinerama1"))
    root, home, libs, steamvr = (tmp_path / name for name in ("root", "home", "libs", "SteamVR"))
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    files = sorted(str(f.relative_to(root)) for f in root.rglob("*") if f.is_file())
    docs = root / "usr/share/doc/wand"
    assert [f for f in files if not f.startswith("usr/share/doc/")] == [
        "usr/bin/wandpointer", "usr/bin/wandsetup", "usr/share/man/man1/wandpointer.1.gz",
        "usr/share/man/man1/wandsetup.1.gz"]
    assert {"LICENSE", "README.md", "docs/command-line.md"} <= {str(f.relative_to(docs)) for f in docs.rglob("*")}
    # Every page the installed README leads to is installed beside it.
    for page in docs.rglob("*.md"):
        for link in re.findall(r"\]\(([^)#:]+)[)#]", page.read_text()):
            assert (page.parent / link).is_file(), f"{page.relative_to(docs)} links to {link}, not installed"
    libs.mkdir(), home.mkdir()
    registry, manifest = home / ".config/openvr/openvrpaths.vrpath", home / ".config/wand/wandpointer.vrmanifest"
    registry.parent.mkdir(parents=True)
    registry.write_text(json.dumps({"config": ["x"], "runtime": [str(steamvr), "/elsewhere"], "version": 1}))
    (home / "default.config").write_text(config())

    def run(*args, scenario=""):
        (home / "scenario").write_text(scenario)
        return subprocess.run([root / "usr/bin/wandpointer", *args], cwd=home, capture_output=True, text=True,
                              env={"HOME": str(home), "LD_LIBRARY_PATH": str(libs), "WAND_SIM_LOG": str(home / "log"),
                                   "WAND_SIM_SCENARIO": str(home / "scenario")})

    # No client library anywhere: the help, then every place searched, in order, once the runtime is needed.
    assert run("--help").returncode == 0
    missing = run("--autostart", "on")
    assert missing.returncode == 1 and not manifest.exists() and missing.stdout == "" and missing.stderr == (
        "The VR client library libopenvr_api.so could not be loaded. Searched, in this order:\n"
        f"  {libs} (LD_LIBRARY_PATH): not there\n  {root}/usr/bin (the program's folder): not there\n"
        "  the system's library folders: not found\n"
        f"  {steamvr}/bin/linux64 (SteamVR's own copy, from {registry}): not there\n"
        "It comes with SteamVR, and with the OpenVR SDK (bin/linux64/libopenvr_api.so): put it beside the\n"
        "program or in a folder of LD_LIBRARY_PATH, or install SteamVR.\n")
    # SteamVR's own copy, through which wandpointer registers to start with SteamVR, and unregisters.
    (steamvr / "bin/linux64").mkdir(parents=True)
    shutil.copy(BIN / "libopenvr_api.so", steamvr / "bin/linux64")
    on = run("--autostart", "on", "--recommended")
    assert (on.returncode, on.stderr) == (0, "") and on.stdout == \
        f"SteamVR now starts wandpointer with itself: {manifest} is registered, auto-launch on.\n"
    application, = json.loads(manifest.read_text())["applications"]
    assert application == {
        "app_key": "wand.wandpointer", "launch_type": "binary", "binary_path_linux": str(root / "usr/bin/wandpointer"),
        "arguments": f"--config {home}/default.config --recommended --wait --log {home}/.config/wand/wandpointer.log",
        "is_dashboard_overlay": True, "strings": {"en_us": {"name": "Wand", "description": application["strings"][
            "en_us"]["description"]}}}
    off = run("--autostart=off")
    assert (off.returncode, off.stderr, manifest.exists()) == (0, "", False)
    calls = [line.split(maxsplit=1)[1] for line in (home / "log").read_text().splitlines()
             if "Application" in line and "VR_" not in line]
    assert calls == [f"AddApplicationManifest {manifest} 0 -> 0", "SetApplicationAutoLaunch wand.wandpointer 1 -> 0",
                     "SetApplicationAutoLaunch wand.wandpointer 0 -> 0", f"RemoveApplicationManifest {manifest} -> 0"]
    refused = run("--autostart", "on", scenario="applications-error 107\n")
    assert refused.returncode == 1 and refused.stdout == "" and not manifest.exists() and \
        refused.stderr == f"SteamVR refused to register {manifest}: VRApplicationError_InvalidManifest\n"
    # LD_LIBRARY_PATH's copy comes first, before the program's folder and SteamVR's.
    for folder in (libs, root / "usr/bin"):
        shutil.copy(BIN / "libopenvr_api.so", folder)
    with XServer(observe=False) as x:
        p = start("wandpointer", tmp_path / "run", "", config(), binary=root / "usr/bin/wandpointer", x=x,
                  env={"LD_LIBRARY_PATH": str(libs)})
        assert p.wait_output("SteamVR initialized!\n")
        maps = (Path(f"/proc/{p.process.pid}/maps")).read_text()
        assert {line.split()[-1] for line in maps.splitlines() if "libopenvr_api" in line} == \
            {str(libs / "libopenvr_api.so")}
        p.stop()


@pytest.mark.parametrize("spelling, registered", [
    ("link/../default.config", "--config {0}/real/default.config"),  # the file read, not the link's folder
    ("a b/default.config", '--config "{0}/a b/default.config"'),
    ('a"b/default.config', None), ("a\nb/default.config", None)], ids=["link", "blank", "quote", "newline"])
def test_autostart_registers_the_file_read_as_one_argument_or_refuses(tmp_path, spelling, registered):
    settings = tmp_path / "settings"
    (tmp_path / "real/dir").mkdir(parents=True), (tmp_path / "link").symlink_to("real/dir")
    file = tmp_path / ("real/default.config" if spelling.startswith("link") else spelling)
    file.parent.mkdir(exist_ok=True), file.write_text(config())
    p = start("wandpointer", tmp_path, "", args=["--autostart", "on", "--config", spelling],
              env={"XDG_CONFIG_HOME": str(settings)})
    manifest = settings / "wand/wandpointer.vrmanifest"
    if registered is None:
        assert p.wait() == 1 and not manifest.exists() and not (tmp_path / "sim.log").exists() and p.err == \
            f"wandpointer: SteamVR could not be given the path {file}: it holds a double quote or a line break; " \
            "move or rename it.\n"
        return
    assert p.wait() == 0 and json.loads(manifest.read_text())["applications"][0]["arguments"] == \
        registered.format(tmp_path) + f" --wait --log {settings}/wand/wandpointer.log"
    # Undoing it needs no configuration; a settings folder that cannot be made is reported with its reason.
    off = start("wandpointer", tmp_path / "elsewhere", "", args=["--autostart=off"],
                env={"XDG_CONFIG_HOME": str(settings)})
    assert off.wait() == 0 and not manifest.exists()
    try:
        os.mkdir("/sys/wand")
    except OSError as error:
        reason = error.strerror
    on = start("wandpointer", tmp_path, "", args=["--autostart", "on", "--config", spelling],
               env={"XDG_CONFIG_HOME": "/sys"})
    assert on.wait() == 1 and on.err == f"wandpointer: could not write /sys/wand/wandpointer.vrmanifest: {reason}\n"


@pytest.mark.parametrize("kind, problem", [
    ("fifo", "{0} cannot be read: it is a FIFO, not a regular file"),
    ("zero", "{0} cannot be read: it is a character device, not a regular file"),
    ("folder", "{0} cannot be read: it is a folder, not a regular file"),
    ("loop", "{0} cannot be read: Too many levels of symbolic links"),
    ("large", "{0} cannot be read: it is larger than 1048576 bytes"),
    ("malformed", "{0} is not JSON"), ("missing", "no runtime is registered in {0}")])
def test_a_path_registry_that_is_not_a_small_json_file_is_reported_as_what_it_is(tmp_path, kind, problem):
    registry, alone = tmp_path / kind, tmp_path / "alone/wandpointer"
    alone.parent.mkdir(), shutil.copy(BIN / "wandpointer", alone)  # no client library beside it
    {"fifo": lambda: os.mkfifo(registry), "zero": lambda: registry.symlink_to("/dev/zero"),
     "folder": registry.mkdir, "loop": lambda: registry.symlink_to(registry),
     "large": lambda: registry.write_text(" " * 2**20 + "{}"),
     "malformed": lambda: registry.write_text('{"runtime": ['), "missing": lambda: None}[kind]()
    (tmp_path / "default.config").write_text(config())
    p = start("wandpointer", tmp_path, "", args=["--autostart", "on"], binary=alone,
              env={"VR_PATHREG_OVERRIDE": str(registry), "LD_LIBRARY_PATH": "", "XDG_CONFIG_HOME": str(tmp_path)})
    assert p.wait() == 1 and f"\n  SteamVR's own copy: {problem.format(registry)}\nIt comes with" in p.err


def test_the_windows_build_finds_the_package_sources_in_either_format(tmp_path):
    # Where scripts/build-windows fetches JsonCpp's source package from: the system's sources as deb-src,
    # from one-line entries (sources.list, sources.list.d/*.list) or deb822 ones (sources.list.d/*.sources).
    one_line = {"sources.list": "# a mirror\ndeb [arch=amd64] http://mirror.invalid/debian bookworm main\n"
                "deb-src http://mirror.invalid/debian bookworm main\n",
                "sources.list.d/security.list": "deb http://mirror.invalid/security bookworm-security main\n"}
    deb822 = {"sources.list.d/debian.sources": "Types: deb\nURIs: http://mirror.invalid/debian\nSuites: bookworm\n\n"
              "Types: deb deb-src\nURIs: http://mirror.invalid/security\n"}
    for number, (files, written) in enumerate([
            (one_line, {"sources.list": "deb-src [arch=amd64] http://mirror.invalid/debian bookworm main\n"
                        "deb-src http://mirror.invalid/security bookworm-security main\n"}),
            (deb822, {"sources.list.d/debian.sources": "Types: deb-src\nURIs: http://mirror.invalid/debian\n"
                      "Suites: bookworm\n\nTypes: deb-src\nURIs: http://mirror.invalid/security\n"}),
            ({}, None)]):
        etc, out = tmp_path / f"etc{number}", tmp_path / f"out{number}"
        (etc / "sources.list.d").mkdir(parents=True)
        for name, text in files.items():
            (etc / name).write_text(text)
        run = subprocess.run([ROOT / "scripts/apt-source-entries", out, etc], capture_output=True, text=True)
        if written is None:
            assert run.returncode == 1 and "no package sources" in run.stderr
        else:
            assert run.returncode == 0 and {name: (out / name).read_text() for name in written} == written
