// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/recorded_file.h"

namespace msifter::engine {

namespace {

constexpr int64_t kSecond = 1000000000;

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

platform::FileSystemKeeps keepsAt(const std::string& path, const platform::FileIdentity& now) {
  // The folder's file system: the entry itself may be a link.
  return platform::fileSystemKeeps(folderOf(path), now.device);
}

}  // namespace

bool hasRecordedTime(const platform::FileIdentity& now, const TransferredFile& f,
                     const platform::FileSystemKeeps& keeps) {
  const int64_t seconds = now.modifiedSeconds - f.modifiedSeconds;
  // Far apart: no step of any file system bridges that (and no overflow below).
  const int64_t reach = keeps.timeStep / kSecond + 1;
  if (seconds > reach || seconds < -reach) return false;
  const int64_t apart = seconds * kSecond + (now.modifiedNanoseconds - f.modifiedNanoseconds);
  return apart < keeps.timeStep && apart > -keeps.timeStep;
}

bool isRecordedFile(const platform::FileIdentity& now, const TransferredFile& f,
                    const platform::FileSystemKeeps& keeps) {
  return now.size == f.size && hasRecordedTime(now, f, keeps) &&
         (!keeps.device || now.device == f.device) && (!keeps.inodes || now.inode == f.inode);
}

bool isRecordedFile(const std::string& path, const platform::FileIdentity& now,
                    const TransferredFile& f) {
  return isRecordedFile(now, f, keepsAt(path, now));
}

bool hasRecordedTime(const std::string& path, const platform::FileIdentity& now,
                     const TransferredFile& f) {
  return hasRecordedTime(now, f, keepsAt(path, now));
}

}  // namespace msifter::engine
