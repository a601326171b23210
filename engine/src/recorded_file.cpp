#include "engine/recorded_file.h"

namespace msifter::engine {

namespace {

constexpr int64_t kSecond = 1000000000;

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

platform::FileSystemKeeps keepsAt(const std::string& path, const struct stat& now) {
  // The folder's file system: the entry itself may be a link.
  return platform::fileSystemKeeps(folderOf(path), static_cast<uint64_t>(now.st_dev));
}

}  // namespace

bool hasRecordedTime(const struct stat& now, const TransferredFile& f,
                     const platform::FileSystemKeeps& keeps) {
  const int64_t seconds = static_cast<int64_t>(now.st_mtim.tv_sec) - f.modifiedSeconds;
  // Far apart: no step of any file system bridges that (and no overflow below).
  const int64_t reach = keeps.timeStep / kSecond + 1;
  if (seconds > reach || seconds < -reach) return false;
  const int64_t apart = seconds * kSecond + (now.st_mtim.tv_nsec - f.modifiedNanoseconds);
  return apart < keeps.timeStep && apart > -keeps.timeStep;
}

bool isRecordedFile(const struct stat& now, const TransferredFile& f,
                    const platform::FileSystemKeeps& keeps) {
  return now.st_size == f.size && hasRecordedTime(now, f, keeps) &&
         (!keeps.device || now.st_dev == f.device) && (!keeps.inodes || now.st_ino == f.inode);
}

bool isRecordedFile(const std::string& path, const struct stat& now, const TransferredFile& f) {
  return isRecordedFile(now, f, keepsAt(path, now));
}

bool hasRecordedTime(const std::string& path, const struct stat& now, const TransferredFile& f) {
  return hasRecordedTime(now, f, keepsAt(path, now));
}

}  // namespace msifter::engine
