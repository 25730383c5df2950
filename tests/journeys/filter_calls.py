#!/usr/bin/python3
"""Ctrl+F and a few letters narrow a list to the calls that mention them; Esc shows
every call again."""
import harness
from harness import check, wait_for
from ui import click, column, find, focused, label_texts, open_demo_list, set_text


def journey(session):
    session.make_demo()
    app = session.launch()
    window, table = open_demo_list(session, app)
    callers = column(table, "Caller ID")

    def shown():
        return sorted(table.get_accessible_at(r, callers).get_name() for r in range(table.get_n_rows()))

    click(session, table.get_accessible_at(0, callers))
    session.key("ctrl+f")
    field = find(window, "text", "Filter calls")
    wait_for(lambda: focused(field), "the filter focused by Ctrl+F")

    # Typed in capitals, stored in small letters: two comments speak of a delivery.
    session.type_text("DELIV")
    wait_for(lambda: table.get_n_rows() == 2, "two calls left by the filter")
    check(shown() == ["+44 20 7946 0958", "+49 30 1234567"], f"calls shown: {shown()}")
    wait_for(lambda: "Calls: 2 of 9" in label_texts(window), "the summary counting the calls shown")
    session.screenshot("filtered")

    # A letter beyond ASCII in the other case, through the screen reader's text interface.
    set_text(field, "MÜLLER")
    wait_for(lambda: shown() == ["Müller GmbH"], "the caller with an umlaut")

    session.key("Escape")
    wait_for(lambda: table.get_n_rows() == 9, "every call shown again after Esc")
    check(field.get_character_count() == 0, "Esc left text in the filter")
    wait_for(lambda: "Calls: 9" in label_texts(window), "the summary of the whole list")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
