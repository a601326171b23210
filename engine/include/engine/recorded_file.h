#pragma once
// Whether a file is still the one a run recorded, told by what its file
// system keeps. A local disk keeps inode numbers and nanoseconds; a card or
// a NAS through sshfs keeps times to the second or two and makes inode
// numbers up at each mount, so there the size and the time to that step
// must do. A file that really changed has another size or a time of its
// change, and is refused everywhere.
#include <sys/stat.h>

#include <string>

#include "engine/mover.h"
#include "platform/mounts.h"

namespace msifter::engine {

// `now`: a look (lstat) at the recorded path; `keeps`: what the file
// system there keeps.
bool isRecordedFile(const struct stat& now, const TransferredFile& f,
                    const platform::FileSystemKeeps& keeps);
// The recorded modification time, to the file system's step.
bool hasRecordedTime(const struct stat& now, const TransferredFile& f,
                     const platform::FileSystemKeeps& keeps);

// The same for the file at `path` (which `now` shows), asking its file system.
bool isRecordedFile(const std::string& path, const struct stat& now, const TransferredFile& f);
bool hasRecordedTime(const std::string& path, const struct stat& now, const TransferredFile& f);

}  // namespace msifter::engine
