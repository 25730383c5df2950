#pragma once
#include <memory>

#include "organiser/SearchCriteria.h"

class CPlayerForm;
class CZelVelomarDoc;
class CZelVelomarView;

// What a recording list window asks of the main window: the player lives there, new
// list windows are opened there and searches run there (with their progress window).
class IListWindowHost {
 public:
  virtual ~IListWindowHost() = default;
  // The Player Panel's form; null when there is none (tests).
  virtual CPlayerForm* Player() = 0;
  // Opens a new list window showing `document` and activates it; returns its view.
  virtual CZelVelomarView* OpenListWindow(std::unique_ptr<CZelVelomarDoc> document) = 0;
  // Runs the search flow for `criteria` and puts the results into `target` (a new
  // list window when null), replacing its entries (Refresh of a list built by a
  // search) or adding to them (folders dropped on a list).
  virtual void RunSearch(const SearchCriteria& criteria, CZelVelomarView* target, bool replace) = 0;
  // The archive wizard over the list's calls (or its selection).
  virtual void ArchiveList(CZelVelomarView* list) = 0;
};
