#!/usr/bin/python3
"""A call placed on legal hold from the list window's context menu with the keyboard:
the list marks it, Delete is refused naming the hold, the file stays, and the audit
trail lists the hold."""
import json
import os

import harness
from harness import check, wait_for
from ui import choose_call, column, label_texts, open_demo_list, popup, press, row_of


def journey(session):
    session.make_demo()
    app = session.launch()
    window, table = open_demo_list(session, app)
    choose_call(session, app, table, "Anonymous")
    path = session.demo["Anonymous"]
    caller_cell = lambda: table.get_accessible_at(row_of(table, "Caller ID", "Anonymous"), column(table, "Caller ID"))

    popup(session, lambda: session.key("Menu"))
    session.key("l")  # Place on Legal Hold...
    dialog = app.dialog("Place on Legal Hold")
    session.type_text("claim 17")
    press(dialog, "OK")
    app.gone(dialog)
    wait_for(lambda: "claim 17" in caller_cell().get_description(), "the hold described in the Caller ID cell")

    press(window, "Delete")
    question = wait_for(lambda: next(iter(app.alerts()), None), "the question before deleting")
    press(question, "Yes")
    refusal = wait_for(lambda: next((a for a in app.alerts() if "legal hold" in label_texts(a)), None),
                       "the refusal naming the hold")
    text = label_texts(refusal)
    check("claim 17" in text, f"the refusal does not name the hold: {text}")
    session.screenshot("refused")
    press(refusal, "OK")
    app.gone(refusal)
    check(os.path.exists(path), "the held call was deleted")
    row_of(table, "Caller ID", "Anonymous")  # still listed

    audit = [json.loads(line) for line in session.zelctl("audit", "show", "--json").splitlines()]
    check(any(a["action"] == "hold set" and a["path"] == path for a in audit), f"no hold in the audit trail: {audit}")
    check(not any(a["action"] == "delete" and a["path"] == path for a in audit), "a delete in the audit trail")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
