#pragma once
#include <string>
#include <vector>

#include "organiser/DateMode.h"

// The limits of one search. Plain and copyable: the dialog, the document and the
// search manager each keep their own copy.
struct SearchCriteria {
  // Source folders; an item whose last three characters are "zel" (any case) is a
  // single recording file.
  std::vector<std::string> folders;
  int includeSubfolders = 0;
  std::string nameMask = "*";      // file name without folder and extension
  std::string callerIdMask = "*";  // caller ID of the recording
  // The comment the user wrote (without the bookmark line and the system block).
  std::string commentMask = "*";
  // A zel::DateMode; any other value: no date limit.
  int dateMode = static_cast<int>(zel::DateMode::Within30Days);
  int rangeEnd = -1;   // Unix seconds, last moment of the range
  int rangeStart = 0;  // Unix seconds, first moment of the range
  int limitByLength = 0;
  int minMinutes = 0;  // keep only calls longer than this many whole minutes
};
