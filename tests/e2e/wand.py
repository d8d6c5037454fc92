"""What the end-to-end tests share: a throwaway X server with RandR monitors that reports where the pointer
is and which button events it produced, the programs run with the simulated VR runtime, and the pieces of
scenarios and config files the tests are made of."""
import json
import os
import signal
import subprocess
import time
from collections import namedtuple
from pathlib import Path

from Xlib import X, XK, display as xdisplay

ROOT = Path(__file__).resolve().parents[2]
BIN = Path(os.environ.get("WAND_BIN", ROOT / "build/bin"))

# Monitor A 1280x1024 at the left, primary monitor B 1920x1080 right of it: (x, y, width, height[, primary]).
LAYOUT = [(0, 0, 1280, 1024), (1280, 0, 1920, 1080, True)]
LAYOUT_HASH = "3200108001280102401280320010800"


def plane_entry(left, top, right, bottom, x0, y0, x1, y1):
    """A display entry whose screen spans (x0, y0) to (x1, y1) of the plane z = -2 (upper left, lower right)."""
    def corner(x, y):
        return {"x": x, "y": y, "z": -2}
    return {"left": left, "top": top, "right": right, "bottom": bottom, "v0": corner(x0, y0),
            "v1": corner(x0, y1), "v2": corner(x1, y1), "v3": corner(x1, y0)}


# Both screens lie in the plane z = -2 m facing the user at z = 0, 1024 pixels per metre, their top rows at
# y = 1 m: point (x, y) of the plane is desktop pixel (1024 x, 1024 (1 - y)) on either monitor.
MON_A = plane_entry(0, 0, 1280, 1024, 0, 1, 1.25, 0)
MON_B = plane_entry(1280, 0, 3200, 1080, 1.25, 1, 3.125, -0.0546875)


def config(displays=(MON_A, MON_B), **members):
    """A config file's text: what wandsetup writes for `displays`, with `members` merged in (None removes)."""
    document = {"controller_angle_offset": {"x": 0, "y": 0}, "display": list(displays),
                "displayhash": LAYOUT_HASH, "handedness": 1,
                "stabilization": {"average_of_N_previous_positions": 5, "enable": 0},
                "trigger": {"click_detection_threshold": 10, "dragging_threshold_ms": 200}}
    for key, value in members.items():
        if value is None:
            document.pop(key, None)
        elif isinstance(value, dict) and isinstance(document.get(key), dict):
            document[key].update(value)
        else:
            document[key] = value
    return json.dumps(document, indent=1)


DEVICES = "device 0 hmd\ndevice 1 controller\n"
# Grip: middle click. Touchpad halves: a left double click (right-handed), a right click. The thumb on the
# centre strip: 4 frames of +30 are one notch up, then one down. Then the trigger held: a drag.
CLICKS_SCROLLS_DRAG = "step polls=2\n  1 buttons grip\nstep polls=2\n  1 buttons none\n" \
    "step polls=2\n  1 pad -0.6 0.1\n  1 buttons pad\nstep polls=2\n  1 buttons none\n  1 pad 0 0\n" \
    "step polls=2\n  1 pad 0.6 0.1\n  1 buttons pad\nstep polls=2\n  1 buttons none\n  1 pad 0 0\n" \
    "step polls=4\n  1 pad 0 1\nstep polls=4\n  1 pad 0 -1\nstep polls=2\n  1 pad 0 0\nstep\n  1 trigger 1\n"
# A grip (middle) click: once it arrives, every step before it has run.
MIDDLE_MARK = "step polls=3\n  1 buttons grip\nstep polls=3\n  1 buttons none\n"


def straight_at(x, y, device=1):
    """The controller level at (x, y, 0), looking down -Z: its ray meets the screens' plane at (x, y)."""
    return f"  {device} pose matrix 1 0 0 {x!r} 0 1 0 {y!r} 0 0 1 0\n"


def at_pixel(px, py, device=1):
    """Aimed at the centre of a desktop pixel, so that the pixel does not hang on the last bit."""
    return straight_at((px + 0.5) / 1024, 1 - (py + 0.5) / 1024, device)


def touch_calibration(rects, folder, env):
    """wandsetup run in `folder` on monitors `rects` (left, top, right, bottom), their corners touched where
    desktop pixel (px, py) is the point (px / 1024, 1 - py / 1024) of the plane z = -2 m, as at_pixel aims;
    right-handed. Returns the program, ended with status 0."""
    scenario = DEVICES + "step polls=2\n"
    for left, top, right, bottom in rects:
        for px, py in ((left, top), (left, bottom), (right, bottom), (right, top)):
            scenario += f"step polls=2\n  1 pose tip {px / 1024!r} {1 - py / 1024!r} -2\n  1 buttons menu\n" \
                "step polls=2\n  1 buttons none\n"
    setup = start("wandsetup", folder, scenario, stdin="1\n1\n1\n", env=env)
    assert setup.wait() == 0, setup.out + setup.err
    return setup


def wait_until(predicate, timeout):
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(0.01)
    return value


# what: "1+" button 1 pressed, "1-" released, "Page_Up+" a key by its keysym; x, y: the root position; t: the
# server's time (CLOCK_MONOTONIC ms).
Event = namedtuple("Event", "what x y t")
KEYSYMS = {}
for name in dir(XK):  # of a keysym's names the longest, which says the most: Page_Up, not Prior
    if name.startswith("XK_") and len(name) - 3 > len(KEYSYMS.get(getattr(XK, name), "")):
        KEYSYMS[getattr(XK, name)] = name[3:]


class XServer:
    """Xvfb at the monitors' bounding box with the monitors as RandR user monitors, and a window over the
    whole root that sees every pointer and key event (XTest's included) with the position where it happened. With
    `display`, the window goes on that running server (Xwayland) instead, whose monitors are `monitors`."""

    def __init__(self, monitors=LAYOUT, observe=True, display=None):
        width, height = max(m[0] + m[2] for m in monitors), max(m[1] + m[3] for m in monitors)
        self.server, self.display = None, display
        for number in range(60 + os.getpid() % 100, 400) if not display else ():
            read, write = os.pipe()
            self.server = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp", "-noreset",
                 "-displayfd", str(write)], pass_fds=[write], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            os.close(write)
            with os.fdopen(read) as ready:
                if ready.read().strip():
                    break
            self.server.wait()
        self.display = self.display or f":{number}"
        self.env = {"DISPLAY": self.display}
        for i, (x, y, w, h, *primary) in enumerate(monitors if not display else ()):
            name = ("*" if primary else "") + f"M{i}"
            subprocess.run(["xrandr", "-d", self.display, "--setmonitor", name, f"{w}/300x{h}/200+{x}+{y}",
                            "screen" if i == 0 else "none"], check=True, capture_output=True)
        self.x = xdisplay.Display(self.display)
        self.root = self.x.screen().root
        self.window, self._buttons, self._motions = None, [], []
        if observe:
            # Drawn (InputOutput): under Xwayland only a drawn window has a surface for the pointer to enter.
            self.window = self.root.create_window(
                0, 0, width, height, 0, self.x.screen().root_depth, X.InputOutput, X.CopyFromParent,
                background_pixel=0, override_redirect=True,
                event_mask=X.ButtonPressMask | X.ButtonReleaseMask | X.PointerMotionMask | X.KeyPressMask |
                X.KeyReleaseMask)
            self.window.map()
            self.window.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
            self.move(7, 7)
            self.events(), self.motions()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.x.close()
        if self.server:
            # Xvfb may miss a SIGTERM that arrives just before it waits for its clients (seen once in
            # hundreds of runs): then it is killed.
            self.server.terminate()
            try:
                self.server.wait(5)
            except subprocess.TimeoutExpired:
                self.server.kill(), self.server.wait()

    def pointer(self):
        p = self.root.query_pointer()
        return p.root_x, p.root_y

    def held(self):
        """The buttons and the key codes the server holds down now: ([1, 3], [37]) while the left and the right
        button and Control_L are down."""
        mask, keymap = self.root.query_pointer().mask, self.x.query_keymap()
        keys = [8 * i + b for i in range(32) for b in range(8) if keymap[i] >> b & 1]
        return [n for n in range(1, 6) if mask >> (7 + n) & 1], keys

    def wait_pointer(self, px, py, timeout=10):
        return wait_until(lambda: self.pointer() == (px, py), timeout)

    def move(self, px, py):
        self.root.warp_pointer(px, py)
        self.x.sync()

    def _pump(self):
        self.x.sync()
        while self.x.pending_events():
            e = self.x.next_event()
            if e.type in (X.ButtonPress, X.ButtonRelease):
                what = f"{e.detail}{'+' if e.type == X.ButtonPress else '-'}"
                self._buttons.append(Event(what, e.root_x, e.root_y, e.time))
            elif e.type in (X.KeyPress, X.KeyRelease):
                keysym = self.x.keycode_to_keysym(e.detail, 0)
                what = f"{KEYSYMS.get(keysym, keysym)}{'+' if e.type == X.KeyPress else '-'}"
                self._buttons.append(Event(what, e.root_x, e.root_y, e.time))
            elif e.type == X.MotionNotify:
                self._motions.append((e.root_x, e.root_y))

    def events(self):
        """The button and key events seen since the last call."""
        self._pump()
        seen, self._buttons = self._buttons, []
        return seen

    def motions(self):
        """The pointer positions the server reported since the last call."""
        self._pump()
        seen, self._motions = self._motions, []
        return seen

    def wait_events(self, last="2-", timeout=20):
        """Every event up to and including the first one named `last` (the end of MIDDLE_MARK by default)."""
        seen = []
        wait_until(lambda: seen.extend(self.events()) or last in names(seen), timeout)
        assert last in names(seen), f"no {last} within {timeout} s; seen {names(seen)}"
        return seen[:names(seen).index(last) + 1]


def running_in(folder):
    """The processes whose working folder is `folder` (a program and any helper it started there)."""
    def cwd(pid):
        try:
            return os.readlink(f"/proc/{pid}/cwd")
        except OSError:
            return None
    return [pid for pid in os.listdir("/proc") if pid.isdigit() and cwd(pid) == str(folder)]


def names(events):
    return [e.what for e in events]


class Proc:
    """A program run in its own folder; its output goes to files there, so it never blocks on a pipe."""
    running = []

    def __init__(self, command, folder, env, stdin, stdout=None):
        self.folder = folder
        self.out_path, self.err_path = folder / "stdout.txt", folder / "stderr.txt"
        with open(self.out_path, "wb") as out, open(self.err_path, "wb") as err:
            self.process = subprocess.Popen(command, cwd=folder, env=env, stdin=stdin, stdout=stdout or out,
                                            stderr=err)
        Proc.running.append(self)

    out = property(lambda self: self.out_path.read_bytes().decode(errors="replace"))
    err = property(lambda self: self.err_path.read_bytes().decode(errors="replace"))

    def wait(self, timeout=30):
        return self.process.wait(timeout)

    def wait_output(self, text, timeout=10):
        return wait_until(lambda: text in self.out, timeout)

    def signal(self, sig=signal.SIGTERM):
        self.process.send_signal(sig)

    def go(self, name):
        (self.folder / name).touch()

    def sim_log(self):
        return (self.folder / "sim.log").read_text() if (self.folder / "sim.log").exists() else ""

    def step_ms(self, step):
        """When the scenario's step began, in CLOCK_MONOTONIC ms like the X server's event times."""
        line = next(line for line in self.sim_log().splitlines() if line.endswith(f" step {step}"))
        return int(line.split()[0]) // 1000

    def stop(self):
        """Ends a runner the orderly way; it must say so with status 0."""
        self.signal()
        assert self.wait() == 0, self.out + self.err


# For a program a test crashes on purpose with SIGSEGV: a sanitizer build would catch the signal itself and
# end with its own report and status.
CRASHABLE = {"ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":handle_segv=0"}


def start(program, folder, scenario=None, config=None, args=(), stdin=None, env=None, x=None, binary=None,
          stdout=None):
    """Runs BIN/program in `folder` against the simulated runtime playing `scenario`, with `config` as
    default.config and `stdin` (text) as its input; "closed" runs it with standard output closed."""
    folder.mkdir(parents=True, exist_ok=True)
    if config is not None:
        (folder / "default.config").write_text(config)
    environment = dict(os.environ, WAND_SIM_CONTROL=str(folder), WAND_SIM_LOG=str(folder / "sim.log"))
    environment.pop("DISPLAY", None), environment.pop("WAYLAND_DISPLAY", None)
    if scenario is not None:
        (folder / "scenario").write_text(scenario)
        environment["WAND_SIM_SCENARIO"] = str(folder / "scenario")
    environment.update(x.env if x else {}, **(env or {}))
    stdin_file = subprocess.DEVNULL
    if stdin is not None:
        (folder / "stdin.txt").write_bytes(stdin if isinstance(stdin, bytes) else stdin.encode())
        stdin_file = open(folder / "stdin.txt", "rb")
    command = [str(binary or BIN / program), *args]
    if stdout == "closed":
        command, stdout = ["sh", "-c", 'exec "$@" >&-', "sh", *command], None
    return Proc(command, folder, environment, stdin_file, stdout)


def stop_all():
    """Ends whatever a test left running (a runner never ends by itself)."""
    for p in Proc.running:
        p.process.kill(), p.process.wait()
    Proc.running.clear()
