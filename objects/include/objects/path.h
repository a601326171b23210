// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// cPath: one path text and the questions the program asks about it, by
// text rules alone. They never change FileName; failures reach the caller's
// guard. The platform look-ups of the class (short path, system and special
// folders, the associated program) are the test-only legacy::cPath.
#include <string>
#include <utility>

namespace msifter::objects {

class cPath {
 public:
  cPath() = default;
  explicit cPath(std::string FileName) : fileName_(std::move(FileName)) {}

  void setFileName(const std::string& New_FileName) { fileName_ = New_FileName; }
  const std::string& FileName() const { return fileName_; }

  // The last path component ("" when the path ends in a separator).
  std::string GetFileName() const;
  // The extension of the last component without its dot.
  std::string GetExt() const;
  // The folder part, ending in a separator; "" for a bare name.
  std::string GetPath() const;
  // The path in double quotes when it holds a space or a comma (always
  // with NotCheckSpace); quotes already at either end are not doubled.
  std::string AddDblQuot(bool NotCheckSpace = false) const;
  // PathName and FileName joined with exactly one separator.
  std::string GetFullPathName(const std::string& PathName, const std::string& FileName = "") const;
  // The last component without its extension (and without a final dot).
  std::string GetFileNameOnly() const;
  // Name "." extension, each all-capital part written as a capitalised word.
  std::string GetCleanFileName() const;

 private:
  static std::string Capitalise(const std::string& text);

  std::string fileName_;
};

}  // namespace msifter::objects
