#!/usr/bin/python3
"""The whole call and its bookmarked span saved as WAV and MP3 through the save dialog,
one call saved by the list's Export..., and the call mailed as a recording; each file
has the call's length."""
import os

import harness
from harness import check, wait_for
from ui import choose_call, find, open_demo_list, popup, press

# Positions in the Player Panel's export menu (Down presses from the top): the whole call
# as WAV, Recording, MP3, OPUS, FLAC, then the bookmarked span the same way.
MENU = {("whole", "wav"): 1, ("whole", "mp3"): 3, ("span", "wav"): 6, ("span", "mp3"): 8}


def export(session, app, what, kind):
    path = session.path(f"{what}.{kind}")
    popup(session, find(app.player(), "push button", "Export the call"))
    session.key(*["Down"] * MENU[(what, kind)], "Return")
    app.save_as(path)
    return path


def journey(session):
    session.make_demo()
    app = session.launch()
    window, table = open_demo_list(session, app)
    choose_call(session, app, table, "Reception")  # 18 s, bookmarked from 2 s to 7 s
    for what, seconds in [("whole", 18), ("span", 5)]:
        for kind, padding in [("wav", 0.0), ("mp3", 0.4)]:  # MP3 frames add the encoder's delay
            length = session.seconds(export(session, app, what, kind))
            check(seconds - 0.05 <= length <= seconds + padding + 0.05, f"{what} {kind}: {length} s, not {seconds} s")

    press(window, "Export...")
    path = session.path("listed.zel")
    app.save_as(path)
    check(session.info(path)["duration"] == 18, f"the exported recording: {session.info(path)}")

    popup(session, find(app.player(), "push button", "Mail the call"))
    session.key("Down", "Down", "Return")  # Mail Whole Call as Recording...
    args = wait_for(lambda: open(os.path.join(session.mailbox, "args")).read(), "the mail client called")
    check("A free player is available from" in args, f"the mail's text: {args}")
    attached = os.path.join(session.mailbox, os.path.basename(session.demo["Reception"]))
    check(session.info(attached)["duration"] == 18, f"the mailed recording: {session.info(attached)}")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
