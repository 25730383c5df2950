#pragma once
#include <string>
#include <vector>

// The limits of one search. Plain and copyable: the dialog, the document and the
// search manager each keep their own copy.
struct SearchCriteria {
  // Source folders; an item whose last three characters are "zel" (any case) is a
  // single recording file.
  std::vector<std::string> folders;
  int includeSubfolders = 0;
  std::string nameMask = "*";      // file name without folder and extension
  std::string callerIdMask = "*";  // caller ID of the recording
  // 0 all dates, 1 yesterday and today, 2 within 7 days, 3 within 30 days,
  // 4 rangeStart..rangeEnd; any other value: no date limit.
  int dateMode = 3;
  int rangeEnd = -1;   // Unix seconds, last moment of the range
  int rangeStart = 0;  // Unix seconds, first moment of the range
  int limitByLength = 0;
  int minMinutes = 0;  // keep only calls longer than this many whole minutes
};
