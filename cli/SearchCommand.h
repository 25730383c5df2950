#pragma once
#include "cli/RecordingCommand.h"
#include "organiser/CSearchManager.h"

class CZelVelomarDoc;

// zelctl search: a folder search as a recording list window runs it.
class SearchCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "search"; }
  const char* Description() const override { return "Search folders for recordings as a list window does"; }
  const char* Usage() const override {
    return "[--subfolders] [--name MASK] [--caller MASK] [--comment MASK] [--dates all|2days|7days|30days|range] "
           "[--from YYYY-MM-DD] [--to YYYY-MM-DD] [--min-minutes N] [--sort COLUMN] [--ascending] "
           "[--save FILE.reclist] [--no-catalogue] [--json] [--passphrase P | --passphrase-file F] SOURCE...";
  }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override;
  PositionalSpec Positionals() const override { return {1, SIZE_MAX, "no SOURCE given"}; }
  int Validate(const ArgParser& args) override;
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;

 private:
  int ValidateDates(const ArgParser& args);
  // Waits for the search to end, with a progress line each second on a terminal.
  static void WaitForSearch(CSearchManager& manager);

  SearchCriteria criteria_;
  int column_ = 5;
};

namespace zel::cli {

// What a search adds to the printed summary.
struct SearchSummary {
  bool present = false;
  bool failed = false;
  int total = 0;
  int processed = 0;
  int masked = 0;  // missing source folders the catalogue keeps
};

// Prints the list in order: one JSON object per entry and a summary object, or a
// table with the list's columns and the summary line.
void PrintEntryList(const CZelVelomarDoc& document, bool json, const SearchSummary& search = SearchSummary());

}  // namespace zel::cli
