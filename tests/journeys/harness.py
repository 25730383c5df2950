"""Runs the built zel-velomar under a private X server, session bus, accessibility
bus and sound server, and drives it from outside through AT-SPI and the keyboard.

One Session per test process: libatspi keeps a single global connection. A journey runs
alone as `/usr/bin/python3 tests/journeys/<journey>.py --build build`.
"""
import argparse
import array
import ctypes
import json
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

SKIP = 77  # CTest's SKIP_RETURN_CODE for the journeys
TOOLS = ["Xvfb", "dbus-daemon", "/usr/libexec/at-spi-bus-launcher", "xdotool", "xwininfo", "import",
         "pulseaudio", "parec", "pactl", "soxi"]
SCREEN = (1280, 1024)


class JourneyFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise JourneyFailure(message)


def wait_for(probe, what, timeout=10.0, interval=0.05):
    """Polls probe() until it returns something true; fails with `what` after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except Exception:  # a widget vanishing mid-walk is an ordinary moment
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise JourneyFailure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def settle(seconds=0.3):
    """A short pause for layouts that give no sign when they are done, before a screenshot."""
    time.sleep(seconds)


def missing_tools():
    missing = [t for t in TOOLS if not shutil.which(t) and not os.access(t, os.X_OK)]
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F401  (only whether it loads)
    except (ImportError, ValueError):
        missing.append("python3-gi/gir1.2-atspi-2.0")
    return missing


def reap_orphans():
    """Ends the children left to this process (it is a child subreaper) and reaps them."""
    me = str(os.getpid())
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                ppid = f.read().rsplit(")", 1)[1].split()[1]
        except OSError:
            continue
        if ppid == me:
            try:
                os.kill(int(pid), signal.SIGKILL)
            except ProcessLookupError:
                pass
    while True:
        try:
            if os.waitpid(-1, os.WNOHANG) == (0, 0):
                break
        except ChildProcessError:
            break


class Session:
    """Private folders, Xvfb, session bus, accessibility bus and PulseAudio for one journey."""

    def __init__(self, name, build):
        self.name = name
        self.build = os.path.abspath(build)
        self.shots = os.path.join(self.build, "journeys")
        os.makedirs(self.shots, exist_ok=True)
        self.root = tempfile.mkdtemp(prefix=f"zel-{name}-")
        self.procs = []
        self.app = self.ui = None
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("XDG_", "DBUS_", "AT_SPI", "PULSE", "QT_", "DISPLAY", "WAYLAND"))}
        for key, sub in [("HOME", "home"), ("XDG_RUNTIME_DIR", "run"), ("XDG_CONFIG_HOME", "config"),
                         ("XDG_DATA_HOME", "data"), ("XDG_CACHE_HOME", "cache"), ("TMPDIR", "tmp")]:
            self.env[key] = self.path(sub)
            os.makedirs(self.env[key], mode=0o700, exist_ok=True)
        self.env.update(LANG="C.UTF-8", QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.mailbox = self.path("mailbox")
        self._install_mail_client()

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def _install_mail_client(self):
        """An xdg-email ahead on PATH that keeps what it is handed: a copy of each attachment
        in mailbox/, then its arguments in mailbox/args."""
        bin_dir = self.path("bin")
        os.makedirs(bin_dir)
        script = os.path.join(bin_dir, "xdg-email")
        with open(script, "w") as f:
            f.write(f"""#!/bin/sh
mkdir -p '{self.mailbox}'
printf '%s\\n' "$@" > '{self.mailbox}/message'
while [ $# -gt 0 ]; do
  if [ "$1" = --attach ]; then cp "$2" '{self.mailbox}/'; fi
  shift
done
mv '{self.mailbox}/message' '{self.mailbox}/args'
""")
        os.chmod(script, 0o755)
        self.env["PATH"] = bin_dir + ":" + self.env.get("PATH", "/usr/bin:/bin")

    # -- bring-up and teardown ------------------------------------------------
    def spawn(self, argv, **kw):
        p = subprocess.Popen(argv, env=kw.pop("env", self.env), start_new_session=True,
                             stdin=subprocess.DEVNULL, **kw)
        self.procs.append(p)
        return p

    def start(self):
        ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER: orphans come to us
        rfd, wfd = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(wfd), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                    "-nolisten", "tcp", "-noreset"], pass_fds=(wfd,), stderr=subprocess.DEVNULL)
        os.close(wfd)
        with os.fdopen(rfd) as f:
            self.env["DISPLAY"] = ":" + f.readline().strip()
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        self.spawn(["/usr/libexec/at-spi-bus-launcher"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        sock = self.path("run", "pulse.sock")
        self.spawn(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                    "--disable-shm", "-L", "module-null-sink sink_name=journey",
                    "-L", f"module-native-protocol-unix auth-anonymous=1 socket={sock}"],
                   stderr=subprocess.DEVNULL)
        self.env["PULSE_SERVER"] = "unix:" + sock
        wait_for(lambda: subprocess.run(["pactl", "info"], env=self.env, capture_output=True).returncode == 0,
                 "the sound server")
        self._connect_atspi()
        return self

    def _connect_atspi(self):
        from gi.repository import Gio, GLib
        bus = Gio.DBusConnection.new_for_address_sync(
            self.env["DBUS_SESSION_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)

        def call(name, path, iface, method, args=None):
            return bus.call_sync(name, path, iface, method, args, None, 0, 5000, None).unpack()
        wait_for(lambda: call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "NameHasOwner", GLib.Variant("(s)", ("org.a11y.Bus",)))[0],
                 "the accessibility bus")
        call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
             GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))))
        os.environ["AT_SPI_BUS_ADDRESS"] = call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress")[0]
        os.environ["DISPLAY"] = self.env["DISPLAY"]
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
        Atspi.init()
        Atspi.set_timeout(5000, -1)

    def stop(self):
        if self.app and self.app.poll() is None:
            self.app.terminate()
            try:
                self.app.wait(5)
            except subprocess.TimeoutExpired:
                pass
        for p in reversed(self.procs):
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for p in self.procs:
            p.wait()
        reap_orphans()
        time.sleep(0.1)
        reap_orphans()
        shutil.rmtree(self.root, ignore_errors=True)

    # -- the program ----------------------------------------------------------
    def zelctl(self, *args):
        out = subprocess.run([os.path.join(self.build, "zelctl"), *args], env=self.env,
                             capture_output=True, text=True)
        check(out.returncode == 0, f"zelctl {' '.join(args)} failed: {out.stderr}")
        return out.stdout

    def make_demo(self):
        """The demo calls in the folder the program offers on its first start; returns
        their paths by caller."""
        folder = self.path("data", "Merovane", "Ostrel Manager", "Demo Recordings")
        self.zelctl("make-demo", folder)
        files = sorted(os.path.join(folder, f) for f in os.listdir(folder))
        out = subprocess.run([os.path.join(self.build, "zelctl"), "entry", *files], env=self.env,
                             capture_output=True, text=True).stdout
        self.demo = {e["callerId"]: e["path"] for e in map(json.loads, out.splitlines())}
        return folder

    def info(self, path):
        """The header of a recording as zelctl reads it."""
        return json.loads(self.zelctl("info", path))

    def seconds(self, path):
        """The length of a WAV or MP3 file as soxi reads it."""
        out = subprocess.run(["soxi", "-D", path], capture_output=True, text=True)
        check(out.returncode == 0, f"soxi cannot read {path}: {out.stderr}")
        return float(out.stdout)

    def launch(self, *args):
        self.app = self.spawn([os.path.join(self.build, "zel-velomar"), *args],
                              stdout=open(self.path("app.log"), "ab"), stderr=subprocess.STDOUT)
        from ui import App, Atspi
        root = wait_for(self._find_app, "zel-velomar on the accessibility bus", 20)
        root.set_cache_mask(Atspi.Cache.NONE)  # every read asks the program, so no main loop is needed
        self.ui = App(self, root)
        return self.ui

    def _find_app(self):
        from gi.repository import Atspi
        desktop = Atspi.get_desktop(0)
        desktop.clear_cache()
        for i in range(desktop.get_child_count()):
            child = desktop.get_child_at_index(i)
            if child is not None and child.get_process_id() == self.app.pid and child.get_child_count() > 0:
                return child
        return None

    def screenshot(self, label=None):
        name = self.name + (f"-{label}" if label else "") + ".png"
        subprocess.run(["import", "-window", "root", os.path.join(self.shots, name)],
                       env=self.env, capture_output=True, timeout=20)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=30)

    def visible_windows(self):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "."], env=self.env,
                               capture_output=True, text=True, timeout=30)
        return set(found.stdout.split())

    def key(self, *keys):
        self.xdotool("key", "--delay", "60", *keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", "20", text)

    def focus_window(self, title="Zel Velomar"):
        """Gives the window whose title matches the pattern the keyboard, as a window manager
        would when it is shown or when the window above it closes (there is none here)."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                               env=self.env, capture_output=True, text=True).stdout.split()
        root = subprocess.run(["xwininfo", "-root"], env=self.env, capture_output=True, text=True).stdout
        # Through the root window: a window that kept the X focus under a closed dialog
        # is only made active again by a fresh focus change.
        self.xdotool("windowfocus", str(int(root.split("Window id: ")[1].split()[0], 16)))
        for wid in found:
            self.xdotool("windowfocus", wid)
        return bool(found)

    # -- sound ------------------------------------------------------------------
    def record(self):
        """Starts recording what the null sink plays; returns a Recording."""
        path = self.path(f"sound-{len(self.procs)}.raw")
        with open(path, "wb") as out:
            proc = self.spawn(["parec", "-d", "journey.monitor", "--raw", "--format=s16le",
                               "--rate=8000", "--channels=1", "--latency-msec=50"], stdout=out)
        # The monitor gives zeros while nothing plays: data in the file means it listens.
        wait_for(lambda: os.path.getsize(path) > 0, "the recorder to listen")
        return Recording(proc, path)


class Recording:
    def __init__(self, proc, path):
        self.proc, self.path = proc, path

    def stop(self):
        """Ends the recording; returns the RMS of each second."""
        self.proc.send_signal(signal.SIGINT)
        self.proc.wait()
        with open(self.path, "rb") as f:
            data = f.read()
        samples = array.array("h", data[:len(data) // 2 * 2])
        return [math.sqrt(sum(s * s for s in samples[i:i + 8000]) / 8000)
                for i in range(0, len(samples) - 7999, 8000)]


def sounding_seconds(rms, floor=20.0):
    """How many seconds carried sound; the null sink gives exact zeros when nothing plays."""
    return sum(1 for r in rms if r > floor)


def run(journey):
    """The main of a journey file: parses --build, skips without tools, runs, screenshots."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    args = parser.parse_args()
    missing = missing_tools()
    if missing:
        print("skipped, missing: " + ", ".join(missing))
        return SKIP
    name = os.path.splitext(os.path.basename(sys.modules["__main__"].__file__))[0]
    session = Session(name, args.build)
    stale = os.path.join(session.shots, f"{name}-failed.png")
    if os.path.exists(stale):
        os.remove(stale)
    code = 0
    try:
        session.start()
        journey(session)
        session.screenshot()
        print(f"{name}: passed")
    except Exception:
        traceback.print_exc()
        try:
            session.screenshot("failed")
            from ui import children, dump
            for window in children(session.ui.root)[1:]:  # the dialogs and message boxes left open
                print(dump(window))
        except Exception:
            pass
        log = session.path("app.log")
        if os.path.exists(log):
            print("--- program output ---\n" + open(log, errors="replace").read()[-4000:])
        code = 1
    finally:
        session.stop()
    return code
