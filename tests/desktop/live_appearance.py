"""The real application under Xvfb follows the desktop's colour scheme, flipped with gsettings,
through the real settings portal (xdg-desktop-portal with its GTK back-end) on a private bus.

usage: live_appearance.py VELTRIN_BINARY EXAMPLES_HOME [FLIPS]"""

import sys
import time

from desktop_session import DesktopSession, require, skip_or_fail, wait_for

try:
    from Xlib import X, Xatom, display as xdisplay
except ImportError:
    skip_or_fail("python3-xlib is not installed (scripts/ensure-deps.sh installs it)")

SCHEMA = "org.gnome.desktop.interface"
# How long the window may take to follow a flip.
FOLLOW_SECONDS = 1.0


def application_window(connection, pid):
    """The mapped top-level window of the process, with its place on the screen."""
    root = connection.screen().root
    pid_atom = connection.intern_atom("_NET_WM_PID")
    for window in root.query_tree().children:
        try:
            attributes = window.get_attributes()
            if attributes.map_state != X.IsViewable:
                continue
            property = window.get_full_property(pid_atom, Xatom.CARDINAL)
            if property is None or pid not in property.value:
                continue
            geometry = window.get_geometry()
            if geometry.width < 200 or geometry.height < 200:
                continue
            return window, geometry
        except Exception:  # a window that went away while we looked
            continue
    return None


def window_lightness(connection, window, geometry):
    """The mean lightness (0-255) of the window's pixels, read from the screen."""
    root = connection.screen().root
    origin = root.translate_coords(window, 0, 0)
    image = root.get_image(origin.x, origin.y, geometry.width, geometry.height, X.ZPixmap, 0xFFFFFFFF)
    data = image.data
    total = 0
    count = 0
    # Every 7th pixel of 32-bit BGRX is plenty for a mean.
    for offset in range(0, len(data) - 3, 28):
        b, g, r = data[offset], data[offset + 1], data[offset + 2]
        total += (max(r, g, b) + min(r, g, b)) // 2
        count += 1
    return total / max(count, 1)


def scheme_on_screen(connection, window, geometry):
    return "dark" if window_lightness(connection, window, geometry) < 128 else "light"


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    binary, examples_home = sys.argv[1], sys.argv[2]
    flips = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    require(binary)

    with DesktopSession(examples_home) as desktop:
        desktop.gsettings_set(SCHEMA, "color-scheme", "prefer-dark")
        app = desktop.start_app(binary, "-disableTelemetry")
        connection = xdisplay.Display(desktop.env["DISPLAY"])
        found = wait_for(lambda: app.poll() is not None or application_window(connection, app.pid), 90)
        if app.poll() is not None:
            sys.exit(f"FAIL: the application ended with {app.returncode} before showing its window")
        if not found:
            sys.exit("FAIL: no window appeared")
        window, geometry = found

        # Started on a dark desktop, the window is dark once the portal has answered.
        if not wait_for(lambda: scheme_on_screen(connection, window, geometry) == "dark", 30):
            sys.exit("FAIL: started on a dark desktop, the window is not dark")

        failures = []
        timings = []
        for flip in range(flips):
            for value, expected in (("default", "light"), ("prefer-dark", "dark")):
                started = time.monotonic()
                desktop.gsettings_set(SCHEMA, "color-scheme", value)
                followed = wait_for(
                    lambda: scheme_on_screen(connection, window, geometry) == expected, FOLLOW_SECONDS)
                elapsed = time.monotonic() - started
                timings.append(elapsed)
                print(f"flip {flip + 1} {value}: {'followed' if followed else 'missed'} in {elapsed:.3f} s", flush=True)
                if not followed:
                    failures.append(f"flip {flip + 1}: {value} left the window "
                                    f"{scheme_on_screen(connection, window, geometry)}")
                    # Let a late change land before the next flip, so one miss is not counted twice.
                    wait_for(lambda: scheme_on_screen(connection, window, geometry) == expected, 3)
        print(f"{2 * flips - len(failures)} of {2 * flips} changes followed within {FOLLOW_SECONDS} s; "
              f"slowest {max(timings):.3f} s, mean {sum(timings) / len(timings):.3f} s")
        if app.poll() is not None:
            sys.exit(f"FAIL: the application ended with {app.returncode} during the flips")
        if failures:
            sys.exit("FAIL:\n" + "\n".join(failures))


if __name__ == "__main__":
    main()
