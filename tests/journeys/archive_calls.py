#!/usr/bin/python3
"""The archive wizard writes two chosen calls into a ZIP archive and deletes only those
originals, logs the run once and says truly what it did; a run into a path that cannot be
written touches nothing and says so."""
import json
import os
import re
import zipfile

import harness
from harness import check, wait_for
from ui import (choose, choose_call, click, column, enabled, find, find_all, label_texts, open_demo_list, press,
                row_of, set_text)


def run_wizard(session, app, window, path, calls):
    """Archive Calls: the calls ("Only selected calls" or "All calls in the Call List")
    into a ZIP at path, deleting the originals; returns the wizard once the run ended."""
    press(window, "Archive...")
    wizard = app.dialog("Archive Calls")
    click(session, find(wizard, "radio button", calls))
    press(wizard, "Next >")
    click(session, find(wizard, "radio button", "ZIP"))
    set_text(find(wizard, "text", "Archive path"), path)
    modification, structure = find_all(wizard, "combo box")
    choose(session, modification, "Delete calls")
    choose(session, structure, "Unstructured")
    press(wizard, "Next >")
    wait_for(lambda: app.alerts() or find_all(wizard, "label", lambda n: "calls archived" in n),
             "the end of the run", 30)
    return wizard


def journey(session):
    session.make_demo()
    app = session.launch()
    window, table = open_demo_list(session, app)
    chosen = ["Anonymous", "Reception"]
    choose_call(session, app, table, chosen[0])
    caller = column(table, "Caller ID")
    click(session, table.get_accessible_at(row_of(table, "Caller ID", chosen[1]), caller), holding="ctrl")
    wait_for(lambda: table.get_n_selected_rows() == 2, "two calls selected")

    archive = session.path("calls.zip")
    wizard = run_wizard(session, app, window, archive, "Only selected calls")
    press(wizard, "Next >")
    click(session, find(wizard, "radio button", "Start Delete"))
    press(wizard, "Next >")
    find(wizard, "push button", "Finish")
    text = label_texts(wizard)
    check(re.search(r"(All|\b2\b)[^.]*deleted", text), f"the last page does not say both were deleted: {text}")
    session.screenshot("complete")
    press(wizard, "Finish")
    app.gone(wizard)

    gone = [session.demo[c] for c in chosen]
    kept = [p for p in session.demo.values() if p not in gone]
    check(not any(map(os.path.exists, gone)), "an archived original is still there")
    check(all(map(os.path.exists, kept)), "an original that was not archived is gone")
    names = {n for n in zipfile.ZipFile(archive).namelist() if n.endswith(".zel")}
    check(names == {os.path.basename(p) for p in gone}, f"the archive holds {names}")
    log = [json.loads(line) for line in session.zelctl("archive-log", "--json").splitlines()]
    check(len(log) == 1 and log[0]["callCount"] == 2, f"the archive log: {log}")

    blocker = session.path("a-file")
    open(blocker, "w").close()
    sizes = {p: os.path.getsize(p) for p in kept}
    wizard = run_wizard(session, app, window, os.path.join(blocker, "calls.zip"), "All calls in the Call List")
    for box in app.alerts():
        press(box, "OK")
    # The run fails on its worker thread; the page says so once the result is back.
    failed = lambda: re.search(r"fail|could not|cannot|not written", label_texts(wizard), re.I)
    wait_for(failed, "the wizard saying the run failed")
    check(enabled(find(wizard, "push button", "< Back")), "no way Back to mend the path")
    check({p: os.path.getsize(p) for p in kept if os.path.exists(p)} == sizes, "the failed run changed originals")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
