#!/usr/bin/python3
"""A new user lists the demo calls, plays the 12 s call to its end at normal and at double
speed, and hears all of it; the player then stops and rewinds."""
import harness
from harness import check, wait_for
from ui import act, choose, choose_call, find, open_demo_list, player_text, showing


def play_through(session, app, expected_seconds):
    player = app.player()
    play = find(player, "push button", "Play the call")
    pause = find(player, "push button", "Pause playback of the call", visible=False)
    recording = session.record()
    act(play)
    wait_for(lambda: showing(pause), "Pause shown while playing")
    wait_for(lambda: showing(play) and not showing(pause), "Play shown again at the end",
             timeout=expected_seconds * 2 + 10)
    rms = recording.stop()
    sounding = harness.sounding_seconds(rms)
    check(expected_seconds - 1 <= sounding <= expected_seconds + 1,
          f"{sounding} s of sound for a {expected_seconds} s stretch; RMS per second {[round(r) for r in rms]}")
    wait_for(lambda: player_text(app, "Position") == "00:00:00", "the position back at 00:00:00")


def journey(session):
    session.make_demo()
    app = session.launch()
    window, table = open_demo_list(session, app)
    choose_call(session, app, table, "Anonymous")
    play_through(session, app, 12)
    check(player_text(app, "Duration") == "00:00:12", f"duration {player_text(app, 'Duration')!r}")
    choose(session, find(app.player(), "combo box"), "2.0\u00d7")
    play_through(session, app, 6)


if __name__ == "__main__":
    raise SystemExit(harness.run(journey))
