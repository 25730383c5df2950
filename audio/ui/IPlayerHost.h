#pragma once
#include <string>
#include <vector>

class QWidget;

// What the Player Panel asks of the main window: the dialogs of the call lists, which
// live above the player.
class IPlayerHost {
 public:
  virtual ~IPlayerHost() = default;
  // Asks over `parent` for the group of the calls for review that a call goes into,
  // with `groupId` chosen first; on OK stores the chosen group there and returns true.
  virtual bool PickReviewGroup(QWidget* parent, int& groupId) = 0;
  // Shows the calls played, newest first, over `parent` for the user to prune or to
  // pick one. On OK `history` is the list as edited and `play` the call to play (empty
  // for none); false when cancelled, with both left alone.
  virtual bool EditHistory(QWidget* parent, std::vector<std::string>& history, std::string& play) = 0;
};
