// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a file is still the one a run recorded, told by what its file
// system keeps. A local disk keeps inode numbers and nanoseconds; a card or
// a NAS through sshfs keeps times to the second or two and makes inode
// numbers up at each mount, so there the size and the time to that step
// must do. A file that really changed has another size or a time of its
// change, and is refused everywhere.
#include <string>

#include "engine/mover.h"
#include "platform/file_identity.h"
#include "platform/mounts.h"

namespace msifter::engine {

// `now`: a look at the recorded path (its last link not followed);
// `keeps`: what the file system there keeps.
bool isRecordedFile(const platform::FileIdentity& now, const TransferredFile& f,
                    const platform::FileSystemKeeps& keeps);
// The recorded modification time, to the file system's step.
bool hasRecordedTime(const platform::FileIdentity& now, const TransferredFile& f,
                     const platform::FileSystemKeeps& keeps);

// The same for the file at `path` (which `now` shows), asking its file system.
bool isRecordedFile(const std::string& path, const platform::FileIdentity& now,
                    const TransferredFile& f);
bool hasRecordedTime(const std::string& path, const platform::FileIdentity& now,
                     const TransferredFile& f);

}  // namespace msifter::engine
