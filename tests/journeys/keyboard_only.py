#!/usr/bin/python3
"""Without the mouse: from the start to a listed call that plays and an exported file,
and Tab reaches every button of the list window."""
import harness
from harness import check, wait_for
from ui import find, find_all, focused, showing


def focused_button(window):
    return next((b.get_name() for b in find_all(window, "push button") if focused(b)), None)


def journey(session):
    folder = session.make_demo()
    app = session.launch()
    app.activate(app.main)
    session.key("alt+f", "c")
    dialog = app.dialog("Create Recording List")
    session.key("alt+a")
    picker = app.dialog_with("Choose")
    session.key("ctrl+a")
    session.type_text(folder)
    session.key("alt+c")  # Choose
    app.gone(picker)
    app.activate(dialog)
    session.key("alt+d", "alt+c")  # All dates, Compile
    app.gone(dialog)
    app.activate(app.main)
    window = app.list_window()
    table = find(window, "table")
    wait_for(lambda: table.get_n_rows() == 9, "nine calls in the list")

    for _ in range(10):
        if focused(table):
            break
        session.key("Tab")
        harness.settle(0.2)
    check(focused(table), "Tab never reached the list of calls")
    session.key("ctrl+Home")
    find(app.player(), "label", lambda n: n.startswith("File - "))
    pause = find(app.player(), "push button", "Pause playback of the call", visible=False)
    recording = session.record()
    session.key("space")
    wait_for(lambda: showing(pause), "the call playing after Space in the list")
    harness.settle(2)
    session.key("space")
    wait_for(lambda: not showing(pause), "the call paused after Space")
    rms = recording.stop()
    check(harness.sounding_seconds(rms) >= 1, f"nothing was heard: RMS per second {[round(r) for r in rms]}")

    buttons = {b.get_name() for b in find_all(window, "push button")}
    reached = set()
    for _ in range(60):  # round the whole main window twice at most
        session.key("Tab")
        harness.settle(0.1)
        reached.add(focused_button(window))
        if buttons <= reached and focused_button(window) == "Export...":
            break
    check(buttons <= reached, f"Tab never reached {sorted(buttons - reached)}")

    target = session.path("call.zel")
    session.key("space")
    saver = app.dialog_with("Save")
    session.key("ctrl+a")
    session.type_text(target)
    session.key("Return")
    app.gone(saver)
    wait_for(lambda: session.info(target)["duration"] > 0, "the exported call", 30)


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
