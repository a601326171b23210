#pragma once
// Small shared procedures for single files, path pieces, folders, waiting
// and text handling.
#include <cstdint>
#include <string>

namespace msifter::engine {

// Transfers; never replace an existing destination file.
bool gMoveFile(const std::string& source, const std::string& destination, bool interactive);
bool gCopyFile(const std::string& source, const std::string& destination);

std::string gGetFileExt(const std::string& path);
std::string gGetFileNameOnly(const std::string& path);
bool gChkDirExists(std::string path, bool skipDriveTest);
std::string gUnRoot(std::string path);
bool gChkDriveMediaCondition(const std::string& drive);
bool gProcSleep(int32_t milliseconds);
bool gProcTransString(std::string& text, const std::string& findText,
                      const std::string& replaceText, int32_t maxCount, int32_t& doneCount);
std::string gGetSpaceString1(const std::string& text, int32_t width, const std::string& padChar,
                             int32_t side);
int32_t gGetByteLength(const std::string& text);
// Milliseconds from a monotonic clock.
int64_t gGetTickCount();
bool gProcNothing();

}  // namespace msifter::engine
