#!/usr/bin/python3
"""Four list windows tiled and cascaded (not tabbed): the main window stays on the screen."""
import harness
from harness import SCREEN, check, wait_for
from ui import checked, extents, find, find_all


def on_screen(app):
    x, y, w, h = extents(app.main)
    return x >= 0 and y >= 0 and x + w <= SCREEN[0] and y + h <= SCREEN[1]


def journey(session):
    app = session.launch()
    area = find(app.main, "layered pane", "Recording lists")
    for _ in range(3):
        app.menu("File", "New")
    wait_for(lambda: len(find_all(area, "frame", visible=False)) == 4, "four list windows")
    tabbed = find(app.main, "menu item", "Tabbed Windows", visible=False)
    if checked(tabbed):
        app.menu("Window", "Tabbed Windows")
        wait_for(lambda: not checked(tabbed), "windowed mode")
    for layout in ["Tile", "Cascade"]:
        app.menu("Window", layout)
        harness.settle()
        session.screenshot(layout.lower())
        check(on_screen(app), f"after {layout} the main window is at {extents(app.main)}, "
                              f"beyond the {SCREEN[0]}x{SCREEN[1]} screen")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
