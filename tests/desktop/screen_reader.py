"""What a screen reader finds in the real application under Xvfb: the AT-SPI tree, read with
pyatspi (the library Orca uses) over the real accessibility bus, from the first launch to a
signature shown in the preview and in the code editor.

usage: screen_reader.py VELTRIN_BINARY EXAMPLES_HOME"""

import os
import sys
import time

from desktop_session import DesktopSession, require, skip_or_fail, wait_for

# A signature of our own with an image, so that its text and the image's alternative text can be
# looked for in the preview.
FIXTURE_ID = "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"
FIXTURE_TEXT = "Quinn Harlow"
FIXTURE_ALT = "Harlow and Sons logo"
PIXEL = ("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC")
FIXTURE = (
    "Content-Transfer-Encoding: 7bit\n"
    "Content-Type: text/html;\n\tcharset=us-ascii\n"
    f"Message-Id: <{FIXTURE_ID}@veltrin.example>\n"
    "Mime-Version: 1.0\n\n"
    f'<div><p>{FIXTURE_TEXT}</p><img alt="{FIXTURE_ALT}" width="40" height="40" '
    f'src="data:image/png;base64,{PIXEL}"></div>')

INTERACTIVE_ROLES = {
    "push button", "toggle button", "check box", "radio button", "combo box", "spin button",
    "list", "list box", "list item", "tree", "tree item", "table", "table cell", "tree table",
    "text", "entry", "password text", "menu item", "check menu item", "radio menu item",
    "popup menu", "page tab", "page tab list", "link", "document web", "document frame",
}


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    binary, examples_home = sys.argv[1], sys.argv[2]
    require(binary, "/usr/libexec/at-spi-bus-launcher")

    with DesktopSession(examples_home) as desktop:
        with open(os.path.join(desktop.signatures, FIXTURE_ID + ".mailsignature"), "w") as fixture:
            fixture.write(FIXTURE)
        # pyatspi finds the accessibility bus through the session bus it is imported with.
        os.environ.update({k: desktop.env[k] for k in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY")})
        try:
            import pyatspi
        except ImportError:
            skip_or_fail("python3-pyatspi is not installed (scripts/ensure-deps.sh installs it)")
        # What a screen reader does when it starts: tell the desktop's applications to expose
        # their trees.
        desktop.run("gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
                    "--method", "org.freedesktop.DBus.Properties.Set", "org.a11y.Status",
                    "ScreenReaderEnabled", "<true>")
        app = desktop.start_app(binary, "-disableTelemetry")
        Walk(pyatspi, app).run()


class Walk:
    def __init__(self, pyatspi, process):
        self.pyatspi = pyatspi
        self.process = process
        self.failures = []

    def application(self):
        if self.process.poll() is not None:
            sys.exit(f"FAIL: the application ended with {self.process.returncode}")
        desktop = self.pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            child = desktop.getChildAtIndex(index)
            if child is not None and child.name.lower() == "veltrin":
                return child
        return None

    def elements(self, root, path="", depth=0):
        """Every showing element below root, depth first, with its path for messages."""
        S = self.pyatspi
        out = []
        try:
            states = root.getState()
            role = root.getRoleName()
            name = root.name or ""
        except Exception:
            return out
        if depth > 0 and not states.contains(S.STATE_SHOWING):
            return out
        here = f"{path} > {role}" + (f' "{name}"' if name else "")
        out.append((root, role, name, states, here))
        if depth > 64:
            return out
        for index in range(root.childCount):
            child = root.getChildAtIndex(index)
            if child is not None:
                out.extend(self.elements(child, here, depth + 1))
        return out

    def showing_window(self, roles=None):
        """The first of the application's windows that is showing, of one of `roles` if given; a
        window that closes while it is asked counts as not showing."""
        application = self.application()
        if application is None:
            return None
        for index in range(application.childCount):
            try:
                window = application.getChildAtIndex(index)
                if window is not None and (roles is None or window.getRoleName() in roles) \
                        and window.getState().contains(self.pyatspi.STATE_SHOWING):
                    return window
            except Exception:  # a window that closed while we looked
                continue
        return None

    def window(self):
        return self.showing_window()

    def find(self, role, name, root=None, timeout=60):
        def search():
            top = root if root is not None else self.application()
            if top is None:
                return None
            for element, element_role, element_name, states, _ in self.elements(top):
                if element_role == role and element_name == name:
                    return element
            return None
        return wait_for(search, timeout, 0.02)

    def check_named(self, stage, root=None):
        top = root if root is not None else self.application()
        elements = self.elements(top)
        interactive = [e for e in elements if e[1] in INTERACTIVE_ROLES
                       or e[3].contains(self.pyatspi.STATE_FOCUSABLE)]
        if not interactive:
            self.failures.append(f"{stage}: nothing a user can act on")
        unnamed = [e[4] for e in interactive if not e[2].strip() and not self.named_by_its_view(e)]
        for path in unnamed:
            self.failures.append(f"{stage}: without a name: {path}")
        print(f"{stage}: {len(elements)} elements, {len(interactive)} interactive, {len(unnamed)} unnamed",
              flush=True)

    def named_by_its_view(self, element):
        # A page without a title gives its document no name; the web view that holds it has one,
        # which is what is read on entering it (the Qt-side walk, too, reads the view by its name).
        if element[1] != "document web":
            return False
        try:
            return bool(element[0].parent.name.strip())
        except Exception:
            return False

    def press(self, element):
        action = element.queryAction()
        for index in range(action.nActions):
            if action.getName(index) in ("press", "click", "Press", "activate", "toggle", "SetFocus"):
                action.doAction(index)
                return
        action.doAction(0)

    def require(self, element, what):
        if element is None:
            self.failures.append(f"not found: {what}")
            self.finish()
        return element

    def finish(self):
        if self.failures:
            sys.exit("FAIL:\n" + "\n".join(self.failures))
        print("every state is named")
        sys.exit(0)

    def run(self):
        if not wait_for(self.window, 90, 0.2):
            sys.exit("FAIL: the application's window never appeared on the accessibility bus")

        continue_button = self.require(self.find("push button", "Continue"), "the welcome step's Continue")
        self.check_named("welcome")
        self.press(continue_button)
        grant = self.require(self.find("push button", "Grant Access"), "the Grant Access button")
        time.sleep(0.5)  # the step's slide-in
        self.check_named("grant access")
        self.press(self.require(self.find("push button", "Why do I need to grant access?"), "the help button"))
        got_it = self.require(self.find("push button", "Got it"), "the help sheet's Got it")
        self.check_named("help sheet")
        self.press(got_it)
        if not wait_for(lambda: self.showing_dialog() is None, 30, 0.1):
            self.failures.append("the help sheet stays open after Got it")
            self.finish()
        self.press(grant)
        # The loading state lasts until the first recomputation, half a second.
        if self.find("label", "Scanning for signatures...", timeout=5) is None:
            self.failures.append("the loading state was not seen")
        else:
            self.check_named("loading", self.window())
        panel = self.folder_dialog()
        dialog_accept = self.require(self.find("push button", "Grant Access", panel), "the panel's button")
        self.check_named("empty (folder panel open)", self.window())
        self.press(dialog_accept)
        if not wait_for(lambda: self.showing_dialog() is None, 30, 0.1):
            self.failures.append("the folder panel stays open after its button")
            self.finish()
        self.require(self.find_row(), "the fixture's row")
        self.check_named("list, nothing selected")
        self.check_no_editor_before_a_pick()
        # The list may be built anew after a rescan: select what is there at that moment.
        if not wait_for(self.select_fixture, 30, 0.2):
            self.failures.append("the fixture's row could not be selected")
            self.finish()
        self.check_preview()
        self.check_named("list, Preview")
        self.press(self.require(self.find("radio button", "Code"), "the Code choice"))
        time.sleep(0.5)
        self.check_named("list, Code")
        self.finish()

    def showing_dialog(self):
        return self.showing_window(("dialog", "file chooser"))

    def folder_dialog(self):
        return self.require(wait_for(self.showing_dialog, 60, 0.1), "the folder panel")

    def check_no_editor_before_a_pick(self, seconds=2.0):
        """The editor made ahead for the first pick lies under the placeholder: nothing of it may
        be read before a signature is picked, while it is prepared or after."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            for _, role, name, _, path in self.elements(self.application()):
                if role == "push button" and name == "Save to Mail":
                    self.failures.append(f"list, nothing selected: an editor is read: {path}")
                    return
            time.sleep(0.02)

    def find_row(self):
        def search():
            for element, role, name, states, _ in self.elements(self.window()):
                if role in ("list item", "table cell", "tree item") and FIXTURE_ID in name:
                    return element
            return None
        return wait_for(search, 60, 0.1)

    def select_fixture(self):
        try:
            row = self.find_row()
            parent = row.parent
            try:
                return parent.querySelection().selectChild(row.getIndexInParent())
            except NotImplementedError:
                self.press(row)
                return True
        except Exception:  # an element that went away while we looked
            return False

    def check_preview(self):
        def document():
            for element, role, name, states, _ in self.elements(self.application()):
                if role in ("document web", "document frame"):
                    return element
            return None
        doc = self.require(wait_for(document, 60, 0.2), "the preview's web document")

        def read():
            texts = []
            alts = []
            for element, role, name, states, _ in self.elements(doc):
                if role == "image" or role == "graphic":
                    alts.append(name)
                try:
                    text = element.queryText()
                    texts.append(text.getText(0, text.characterCount))
                except NotImplementedError:
                    pass
                if name:
                    texts.append(name)
            joined = "\n".join(texts)
            return (FIXTURE_TEXT in joined and FIXTURE_ALT in alts, joined, alts)
        found = wait_for(lambda: read()[0] and read(), 30, 0.2)
        if found:
            print(f"the preview reads {FIXTURE_TEXT!r} and an image {FIXTURE_ALT!r}", flush=True)
        else:
            _, joined, alts = read()
            self.failures.append(f"the preview does not read the signature: {doc.childCount} children, "
                                 f"text {joined[:200]!r}, images {alts!r}")


if __name__ == "__main__":
    main()
