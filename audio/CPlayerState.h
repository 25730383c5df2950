#pragma once
#include <string>

class CPlaybackManager;

// The player's rules on top of the playback manager, shared by the desktop player
// panel and "zelctl play": what the position and duration texts say, when playback
// has reached the end (the manager keeps playing silence until told to stop), and
// stepping back and forth. All calls come from the thread that owns the manager.
class CPlayerState {
 public:
  explicit CPlayerState(CPlaybackManager& manager) : manager_(manager) {}

  // "HH:MM:SS" of the loaded recording's Duration, or of its samples when the header
  // stores none; empty when nothing is loaded.
  std::string DurationText() const;
  // "HH:MM:SS" of the position being heard.
  std::string PositionText() const;

  // One tick of the display timer (every 200 ms): refreshes PositionText and, once it
  // equals DurationText while playing, stops and rewinds to the start. True when this
  // tick stopped playback at the end.
  bool Tick();
  // The texts as of the last Tick.
  const std::string& LastPositionText() const { return lastPosition_; }

  // Moves the position by `samples` (negative: back). Playback pauses for the move and
  // resumes afterwards; a move before the start or past the last sample stops and
  // rewinds instead.
  void Step(int samples);

 private:
  CPlaybackManager& manager_;
  std::string lastPosition_;
};
