"""A desktop of its own for starting the real application as a user would: Xvfb, a private
session bus on which the settings portal, dconf and the accessibility bus are D-Bus activated,
and a scratch home folder holding a copy of the sample Mail signatures folder."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# ctest counts this exit code as a skip.
SKIP = 77


def skip_or_fail(reason):
    """Skips where a package is missing; in CI, where everything must be installed, fails."""
    if os.environ.get("CI") == "true":
        print(f"FAIL (CI): {reason}", file=sys.stderr)
        sys.exit(1)
    print(f"SKIP: {reason}", file=sys.stderr)
    sys.exit(SKIP)


def require(*programs):
    for program in programs:
        if shutil.which(program) is None and not os.path.exists(program):
            skip_or_fail(f"{program} is not installed (scripts/ensure-deps.sh installs it)")


def wait_for(condition, timeout, interval=0.02):
    """Polls condition until it returns something true or timeout seconds pass."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


class DesktopSession:
    def __init__(self, examples_home, desktop="GNOME"):
        require("Xvfb", "dbus-daemon", "/usr/libexec/xdg-desktop-portal",
                "/usr/libexec/xdg-desktop-portal-gtk", "gsettings", "dconf")
        self.root = tempfile.mkdtemp(prefix="veltrin-desktop-")
        self.home = os.path.join(self.root, "home")
        shutil.copytree(examples_home, self.home)
        self.runtime = os.path.join(self.root, "runtime")
        os.mkdir(self.runtime, 0o700)
        self.signatures = os.path.join(self.home, "Library/Mail/V11/MailData/Signatures")
        self._processes = []

        env = dict(os.environ)
        for leftover in ("DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY",
                         "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME", "XCTestConfigurationFilePath",
                         "GTK_MODULES", "NO_AT_BRIDGE", "QT_ACCESSIBILITY"):
            env.pop(leftover, None)
        env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_RUNTIME_DIR": self.runtime,
            # The portal chooses its back-end by the desktop's name (the GTK one serves GNOME).
            "XDG_CURRENT_DESKTOP": desktop,
            "GSETTINGS_BACKEND": "dconf",
            "VELTRIN_EVENTS_ENDPOINT": "http://127.0.0.1:9/v1/events",
        })
        if os.getuid() == 0:
            env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"

        # The display first: services activated on the bus inherit the daemon's environment.
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._processes.append(xvfb)
        os.close(write_end)
        with os.fdopen(read_end) as display_pipe:
            display = display_pipe.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        env["DISPLAY"] = ":" + display

        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self._processes.append(bus)
        address = bus.stdout.readline().strip()
        if not address:
            raise RuntimeError("dbus-daemon did not start")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.env = env
        self.app = None

    def run(self, *command, check=True):
        return subprocess.run(list(command), env=self.env, check=check, capture_output=True, text=True)

    def gsettings_set(self, schema, key, value):
        self.run("gsettings", "set", schema, key, value)

    def start_app(self, binary, *arguments, extra_env=None):
        env = dict(self.env)
        env["QT_QPA_PLATFORM"] = "xcb"
        env.update(extra_env or {})
        self.app = subprocess.Popen([binary, *arguments], env=env, start_new_session=True)
        self._processes.append(self.app)
        return self.app

    def close(self):
        for process in reversed(self._processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(30)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        # Activated services (the portal, dconf, the accessibility bus) end with their bus.
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
