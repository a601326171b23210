#pragma once
// cPath: one path text and the questions the program asks about it. The
// text rules never change FileName; failures reach the caller's guard.
#include <cstdint>
#include <string>

namespace msifter::objects {

class cPath {
 public:
  // Special-folder numbers for GetSpecialFolder.
  static constexpr int32_t Programs = 2;
  static constexpr int32_t Favorites = 6;
  static constexpr int32_t Startup = 7;
  static constexpr int32_t Recent = 8;
  static constexpr int32_t SendTo = 9;
  static constexpr int32_t StartMenu = 11;
  static constexpr int32_t Desktop = 0;
  static constexpr int32_t Fonts = 20;
  static constexpr int32_t MyDocuments = 5;

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
  std::string GetShortPathName() const;
  // PathName and FileName joined with exactly one separator.
  std::string GetFullPathName(const std::string& PathName, const std::string& FileName = "") const;
  // The last component without its extension (and without a final dot).
  std::string GetFileNameOnly() const;
  // Name "." extension, each all-capital part written as a capitalised word.
  std::string GetCleanFileName() const;
  // Platform folders, each ending in a separator.
  std::string GetWindowsDirectory() const;
  std::string GetSystemDirectory() const;
  std::string GetSpecialFolder(int32_t GetFolderType) const;
  // The program that opens FileName; "" when there is none.
  std::string GetExecFileFromDataFile() const;

 private:
  static std::string Capitalise(const std::string& text);

  std::string fileName_;
};

}  // namespace msifter::objects
