#!/usr/bin/python3
"""A call bookmarked with the Player Panel's buttons, marked important and annotated with
a predefined phrase: the list shows it and the file keeps it."""
import harness
from harness import check, wait_for
from ui import choose, choose_call, column, find, open_demo_list, popup, press, row_of


def journey(session):
    session.make_demo()
    app = session.launch()
    window, table = open_demo_list(session, app)
    choose_call(session, app, table, "Anonymous")  # 12 s, no bookmark, no comment
    player = app.player()
    row = row_of(table, "Caller ID", "Anonymous")

    def cell(header):
        return table.get_accessible_at(row, column(table, header)).get_name()

    press(player, "Mark the start of the bookmark")
    press(player, "Step the call forward 10 seconds")
    press(player, "Mark the end of the bookmark")
    wait_for(lambda: cell("BM") == "Bookmark the call", "the bookmark in the list's BM column")

    popup(session, find(player, "push button", "Other commands"))
    session.key("Down", "Return")  # Mark Important
    wait_for(lambda: cell("!") == "Important", "the call marked important in the list")

    press(window, "Annotate...")
    dialog = app.dialog("Annotate the call")
    choose(session, find(dialog, "combo box"), "Follow Up")
    comment = find(dialog, "text", "Comment")
    wait_for(lambda: "Follow Up" in comment.get_text(0, -1), "the phrase in the comment field")
    press(dialog, "OK")
    app.gone(dialog)
    wait_for(lambda: cell("Comment") == "Follow Up", "the phrase in the list's Comment column")

    info = session.info(session.demo["Anonymous"])
    check(info["bookmark"] == {"start": 0, "end": 10}, f"bookmark in the file: {info['bookmark']}")
    check(info["important"] == 1, "the file is not marked important")
    check("Follow Up" in info["comment"], f"comment in the file: {info['comment']!r}")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
