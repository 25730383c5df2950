"""Finding and working the program's widgets through its accessibility tree."""
import os
import re
import warnings
from collections import deque

import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

from harness import JourneyFailure, check, wait_for  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)  # the Action names keep their old getters
_bus = None


def _a11y_bus():
    global _bus
    if _bus is None:
        _bus = Gio.DBusConnection.new_for_address_sync(
            os.environ["AT_SPI_BUS_ADDRESS"],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    return _bus


def has_state(node, state):
    return node.get_state_set().contains(state)


def showing(node):
    return has_state(node, Atspi.StateType.SHOWING)


def enabled(node):
    return has_state(node, Atspi.StateType.ENABLED)


def checked(node):
    return has_state(node, Atspi.StateType.CHECKED)


def focused(node):
    return has_state(node, Atspi.StateType.FOCUSED)


def children(node):
    node.clear_cache()
    return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c is not None]


def find_all(root, role=None, name=None, visible=True):
    """Every node below root with that role and name (a callable name tests the text), in
    reading order, level by level. Tables and lists are not entered: their cells are read
    through the Table interface."""
    found = []
    queue = deque([root])
    while queue:
        for child in children(queue.popleft()):
            if visible and not showing(child):
                continue
            text = child.get_name()
            if (role is None or child.get_role_name() == role) and (
                    name is None or (name(text) if callable(name) else text == name)):
                found.append(child)
            if child.get_role_name() not in ("table", "tree", "tree table", "list", "combo box"):
                queue.append(child)
    return found


def find(root, role=None, name=None, timeout=10.0, visible=True):
    """The first node with that role and name, waited for."""
    return wait_for(lambda: next(iter(find_all(root, role, name, visible)), None),
                    f"a {role} " + ("as expected" if callable(name) else repr(name)), timeout)


def act(node, action="Press"):
    """Starts an action without waiting for its reply: Qt answers only after a modal
    dialog the action opens has closed."""
    names = [node.get_action_name(i) for i in range(node.get_n_actions())]
    check(action in names, f"{node.get_role_name()} {node.get_name()!r} has no action {action} ({names})")
    _a11y_bus().call(node.app.bus_name, node.path, "org.a11y.atspi.Action", "DoAction",
                     GLib.Variant("(i)", (names.index(action),)), None, Gio.DBusCallFlags.NONE, -1, None, None)


def popup(session, opener):
    """Opens a menu (a button's menu, a context menu) and waits until it shows: keys sent
    before it is up go to the window below it."""
    before = session.visible_windows()
    opener() if callable(opener) else act(opener)
    wait_for(lambda: session.visible_windows() - before, "the menu shown")


def press(root, name, role="push button", timeout=10.0):
    button = find(root, role, name, timeout)
    wait_for(lambda: enabled(button), f"{name!r} enabled", timeout)
    act(button)
    return button


def set_text(node, text):
    node.set_text_contents(text)
    # A password field shows bullets: its length is what can be compared.
    wait_for(lambda: node.get_character_count() == len(text), f"the text {text!r}")


def column(table, header):
    headers = [table.get_column_header(c).get_name() for c in range(table.get_n_columns())]
    check(header in headers, f"no column {header!r} in {headers}")
    return headers.index(header)


def choose(session, combo, text):
    """Opens a combo box and walks to the item with the keys (the popup's items do not
    tell their true place)."""
    items = [i.get_name() for i in children(children(combo)[0])]
    check(text in items, f"{text!r} is not offered: {items}")
    named_by_choice = combo.get_name() in items
    click(session, combo)
    wait_for(lambda: showing(children(combo)[0]), f"the choices of {combo.get_name()!r}")
    session.key("Home", *["Down"] * items.index(text), "Return")
    if named_by_choice:
        wait_for(lambda: combo.get_name() == text, f"{text!r} chosen")


def extents(node):
    r = node.get_extents(Atspi.CoordType.SCREEN)
    return r.x, r.y, r.width, r.height


class App:
    """The running program as seen through its accessibility tree."""

    def __init__(self, session, root):
        self.session = session
        self.root = root

    @property
    def main(self):
        return self.dialog(None, "frame")

    def dialog(self, title, role="dialog", timeout=10.0):
        """A top-level window of the program by its title (a callable tests it)."""
        return wait_for(lambda: next((c for c in children(self.root) if c.get_role_name() == role and (
            title is None or (title(c.get_name()) if callable(title) else c.get_name() == title))), None),
                        f"the {role} {title!r}", timeout)

    def activate(self, window):
        """Gives a top-level window the keyboard and waits until the program takes it."""
        title = window.get_name()
        for _ in range(5):
            self.session.focus_window(re.escape(title))
            try:
                return wait_for(lambda: has_state(window, Atspi.StateType.ACTIVE), f"{title!r} active", 1)
            except JourneyFailure:
                pass
        raise JourneyFailure(f"{title!r} never became the active window")

    def alerts(self):
        """The message boxes open now."""
        return [c for c in children(self.root) if c.get_role_name() == "alert"]

    def gone(self, node, timeout=10.0):
        """Waits for a window to close."""
        def closed():
            try:
                return not showing(node)
            except GLib.Error:  # the program dropped it
                return True
        wait_for(closed, "the window to close", timeout)

    def menu(self, *path):
        """Chooses a menu bar command, e.g. menu("File", "Create...")."""
        item = find(self.main, "menu bar")
        for name in path:
            item = find(item, "menu item", name, visible=False)
        wait_for(lambda: enabled(item), f"menu item {path} enabled")
        act(item)

    def dialog_with(self, button, timeout=10.0):
        """The dialog showing that button (Qt's file dialogs have no fixed title)."""
        return wait_for(lambda: next((c for c in children(self.root) if c.get_role_name() == "dialog"
                                      and find_all(c, "push button", button)), None),
                        f"a dialog with {button}", timeout)

    def file_dialog(self, path, button, timeout=10.0):
        """Answers Qt's file dialog with a full file name and its Save or Open button."""
        dialog = self.dialog_with(button, timeout)
        set_text(find(dialog, "text", "File name:"), path)
        press(dialog, button)
        self.gone(dialog)

    def save_as(self, path, timeout=10.0):
        """Answers the save dialog and waits for the file."""
        self.file_dialog(path, "Save", timeout)
        wait_for(lambda: os.path.exists(path), f"the file {path}", 30)

    def list_window(self, title=lambda n: n != "Play History", timeout=20.0):
        """The MDI frame of a list window (by default any but the Play History)."""
        area = find(self.main, "layered pane", "Recording lists")
        return find(area, "frame", title, timeout, visible=False)

    def player(self):
        return find(self.main, "filler", "Player Panel")


def click(session, node, button=1, holding=None):
    """A mouse click in the middle of the node, optionally holding a key (e.g. "ctrl")."""
    x, y, w, h = extents(node)
    hold = ["keydown", holding] if holding else []
    release = ["keyup", holding] if holding else []
    session.xdotool(*hold, "mousemove", str(x + w // 2), str(y + h // 2), "click", str(button), *release)


def label_texts(root):
    """Everything the labels below root tell a screen reader: names and descriptions."""
    return " ".join(f"{n.get_name()} {n.get_description()}" for n in find_all(root, "label"))


def player_text(app, name):
    """The text of the Player Panel label for `name` ("Caller", "Duration", "Position"):
    a label either shows its text as its name and says what it is in its description, or
    carries the text in its description under a fixed name."""
    for label in find_all(app.player(), "label"):
        text, description = label.get_name(), label.get_description()
        if description.startswith(name):
            return text
        if text == name:
            return description
    return None


def open_demo_list(session, app):
    """My Shortcuts > Demo Recordings > Create Recording List... > All dates > Compile;
    returns the new list window and its table once every call is listed."""
    tree = find(app.main, "tree", "My Shortcuts")
    row = wait_for(lambda: next((r for r in range(tree.get_n_rows())
                                 if tree.get_accessible_at(r, 0).get_name() == "Demo Recordings"), None),
                   "the demo shortcut")
    popup(session, lambda: click(session, tree.get_accessible_at(row, 0), 3))
    session.key("Down", "Return")
    dialog = app.dialog("Create Recording List")
    act(find(dialog, "radio button", "All dates"), "Toggle")
    press(dialog, "Compile")
    window = app.list_window()
    table = find(window, "table")
    wait_for(lambda: table.get_n_rows() == 9, "nine calls in the list")
    return window, table


def row_of(table, header, text):
    col = column(table, header)
    return wait_for(lambda: next((r for r in range(table.get_n_rows())
                                  if table.get_accessible_at(r, col).get_name() == text), None),
                    f"the row with {header} {text!r}")


def choose_call(session, app, table, caller):
    """Clicks the call of that caller in the list and waits for the Player Panel's title
    to name its file."""
    row = row_of(table, "Caller ID", caller)
    user = table.get_accessible_at(row, column(table, "User ID")).get_name()
    click(session, table.get_accessible_at(row, column(table, "Caller ID")))
    find(app.player(), "label", lambda n: n.startswith(f"File - {user}-"))


def dump(node, depth=0):
    """The tree below node as text, for reading a failure."""
    mark = "" if showing(node) else " (hidden)"
    lines = ["  " * depth + f"{node.get_role_name()} {node.get_name()!r}{mark}"]
    if node.get_role_name() not in ("table", "tree", "tree table"):
        for child in children(node):
            lines.append(dump(child, depth + 1))
    return "\n".join(lines)
