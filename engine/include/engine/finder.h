// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file finder: searches a folder (and on request its subtree) depth
// first, pre-order, for files matching a pattern list.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/search_bounds.h"

namespace msifter::engine {

// The label that shows the folder being searched.
class ProgressLabel {
 public:
  virtual ~ProgressLabel() = default;
  virtual void setCaption(const std::string& caption) = 0;
};

// A folder the search could not enter, or a file it could not list: its
// path (a folder's with its trailing separator) and the reason, an errno:
// EACCES, ELOOP for a link put in a folder's place since the listing,
// ENAMETOOLONG for a path longer than the system takes.
struct NotSearched {
  std::string path;
  int error = 0;
};

// A listed file as the search's own look saw it, so that a run need not look
// at it again: its length, and what tells it from every other file and from
// itself rewritten.
struct FoundFile {
  int64_t size = -1;
  int64_t modifiedSeconds = 0;
  int32_t modifiedNanoseconds = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  // False for a folder entry, and for a link: the look saw what the link
  // leads to, where a move takes the link itself.
  bool known = false;
};

// One search. Paths are the file system's raw bytes; entries reach the
// result unchanged. Folders below the one given are entered beneath their
// parents without following links.
struct FindRequest {
  std::string folder;       // with or without a trailing separator
  std::string patternList;  // ";"-separated wildcard items, see target_list.h
  bool subFolders = false;
  // Each entry is appended to resultList; without a list, to resultText
  // followed by CR LF; without either, nowhere.
  std::vector<std::string>* resultList = nullptr;
  // With a list: each file's length as the search found it, one per entry
  // (-1 for a folder entry).
  std::vector<int64_t>* resultSizes = nullptr;
  // With a list: each file as the search saw it, one per entry.
  std::vector<FoundFile>* resultFiles = nullptr;
  std::string* resultText = nullptr;
  ProgressLabel* progressLabel = nullptr;  // shows each folder entered
  bool fullPath = true;                    // else the bare file name
  SearchBounds bounds{};
  bool listFolders = false;  // also an entry per subfolder entered
  bool tagged = false;       // entries begin with their kind, level and "*"
  int32_t depth = 0;         // level of the calling search; 0 for a first one
  // Left out wherever it lies in the tree, itself included, told by its
  // identity rather than by its path: the destination of a run inside its
  // own source. "" for none.
  std::string excludedFolder{};
  // Receives what could not be searched (a missing folder is nothing to
  // search). Each is also written to the error log, asked for or not.
  std::vector<NotSearched>* notSearched = nullptr;
  // Takes each entry with its length in place of the list and the text, as
  // it is found: a caller that handles files one at a time keeps none.
  std::function<void(std::string&& entry, int64_t length)> entrySink{};
};

// What a search accepted.
struct FindTotals {
  int32_t fileCount = 0;
  int64_t byteTotal = 0;
};

// Searches as asked and adds every accepted file to `totals`, so a caller's
// running totals carry on. False after a failure, reported under "gFindFile"
// by every level the failure passed through.
bool findFiles(const FindRequest& request, FindTotals& totals);

// Wildcard match of an already upper-cased name against an upper-cased
// pattern: * ? # [list] [!list] with ranges. Throws RuntimeFailure (invalid
// argument) on an unclosed "[" or a range that runs downwards ("[Z-A]").
bool matchesPattern(std::string_view name, std::string_view pattern);

}  // namespace msifter::engine
