#!/usr/bin/python3
"""A hold set with zelctl shows in Tools > Audit Trail, whose Verify finds the trail
intact; a retention rule set on the Retention page previews the held call as kept,
and is what zelctl then shows."""
import json
import os
import re

import harness
from harness import check, wait_for
from ui import act, click, column, find, label_texts, press, set_text


def journey(session):
    folder = session.make_demo()
    call = session.demo["Reception"]
    session.zelctl("hold", "add", call, "--reason", "Claim 17")
    app = session.launch()

    app.menu("Tools", "Audit Trail...")
    dialog = app.dialog("Audit Trail")
    table = find(dialog, "table", "Audit trail entries")
    paths = lambda: [table.get_accessible_at(r, column(table, "Path")).get_name()  # noqa: E731
                     for r in range(table.get_n_rows())]
    wait_for(lambda: call in paths(), "the hold's line in the audit trail")
    row = paths().index(call)
    action = table.get_accessible_at(row, column(table, "Action")).get_name()
    check(action.startswith("hold"), f"the line's action is {action!r}")
    set_text(find(dialog, "text", "Path contains"), "no such call")
    wait_for(lambda: table.get_n_rows() == 0, "the filter to hide the line")
    set_text(find(dialog, "text", "Path contains"), os.path.basename(call))
    wait_for(lambda: paths() == [call], "the filter to show only the line")
    press(dialog, "Verify")
    wait_for(lambda: "The audit trail is intact" in label_texts(dialog), "Verify to say the trail is intact")
    session.screenshot("audit")
    press(dialog, "Close")
    app.gone(dialog)

    app.menu("Diza Didurido", "Settings...")
    sheet = app.dialog("Diza Didurido Settings and Logs")
    click(session, find(sheet, "page tab", "Retention"))
    enable = find(sheet, "check box", lambda n: n.startswith("Remove calls by this rule"))
    act(enable, "Toggle")
    press(sheet, "Add Folder")
    chooser = app.dialog_with("Choose")
    set_text(find(chooser, "text", lambda n: n.startswith("Directory")), folder)
    press(chooser, "Choose")
    app.gone(chooser)
    for name, value in (("Older than days", 30), ("Shorter than seconds", 3)):
        spin = find(sheet, "spin button", name)
        spin.set_current_value(value)
        wait_for(lambda: spin.get_current_value() == value, f"{name} {value}")
    press(sheet, "Preview")
    summary = wait_for(lambda: next((t for t in [label_texts(sheet)] if "A run would remove" in t), None),
                       "the preview's summary")
    check(re.search(r"remove [1-9]\d* calls? and keep 1 call\.", summary), f"the preview says: {summary}")
    outcome = find(sheet, "tree", "Calls the rule selects")
    rows = {outcome.get_accessible_at(r, 0).get_name(): outcome.get_accessible_at(r, 1).get_name()
            for r in range(outcome.get_n_rows())}
    check(rows.get(call) == "keep", f"the held call is not kept in the preview: {rows}")
    session.screenshot("retention")
    press(sheet, "OK")
    app.gone(sheet)
    shown = json.loads(session.zelctl("retention", "show", "--json"))
    check(shown["Enabled"] is True and shown["OlderThanDays"] == 30 and shown["ShorterThanSeconds"] == 3
          and shown["Folders"] == [folder],
          f"zelctl shows {shown}")
    check(os.path.exists(call), "the held call is gone")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
