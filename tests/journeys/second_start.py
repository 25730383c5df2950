#!/usr/bin/python3
"""Starting the program again with a call's file name hands the call to the running
program: the second process ends and the first shows the call."""
import os
import subprocess

import harness
from harness import check
from ui import find


def journey(session):
    session.make_demo()
    app = session.launch()
    path = session.demo["Reception"]
    second = subprocess.run([os.path.join(session.build, "zel-velomar"), path], env=session.env,
                            capture_output=True, timeout=20)
    check(second.returncode == 0, f"the second start ended with {second.returncode}: {second.stderr}")
    title = "File - " + os.path.splitext(os.path.basename(path))[0] + ".zel"
    find(app.player(), "label", title)
    check(session.app.poll() is None, "the first program ended")


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
