#!/usr/bin/python3
"""A saved list holding an encrypted call: after the passphrase is given through
Tools > Encryption, Refresh shows the call's details."""
import harness
from harness import wait_for
from ui import column, find, press, set_text

PASSPHRASE = "Velomar-Demo-2026"  # the one zelctl make-demo encrypts with


def journey(session):
    folder = session.make_demo()
    reclist = session.path("calls.reclist")
    session.zelctl("search", "--dates", "all", "--save", reclist, folder)
    app = session.launch()

    app.menu("File", "Open...")
    app.file_dialog(reclist, "Open")
    window = app.list_window()
    table = find(window, "table")
    wait_for(lambda: table.get_n_rows() == 9, "nine calls in the opened list")
    callers = lambda: [table.get_accessible_at(r, column(table, "Caller ID")).get_name()  # noqa: E731
                       for r in range(table.get_n_rows())]
    wait_for(lambda: "Decryption error!" in callers(), "the encrypted call shown as undecryptable")

    app.menu("Tools", "Encryption")
    dialog = app.dialog("Decryption")
    set_text(find(dialog, "password text"), PASSPHRASE)
    press(dialog, "OK")
    app.gone(dialog)
    press(window, "Refresh")
    wait_for(lambda: "Dr. Sch\u00e4fer" in callers() and "Decryption error!" not in callers(),
             "the encrypted call's caller after Refresh")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
