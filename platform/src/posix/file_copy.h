#pragma once
// Filling a new file from an open source: contents (holes kept, blocks
// shared where the file system can), then owner, extended attributes, mode
// and times. Shared by single files and folder trees.
#include <sys/stat.h>

#include <string>

#include "platform/os_error.h"

namespace msifter::platform {

// Fills `out` from `in`, whose state when opened is `source`. The owner is
// kept on request (where permitted). Fails with EAGAIN when the source
// changed while it was read. Creating `out` with newFileMode() mostly spares
// changing its mode.
OsError fillCopy(int in, const struct stat& source, int out, bool keepOwner);

// The mode to create a copy with: the source's, writable by its owner
// until it is filled.
mode_t newFileMode(const struct stat& source);

// A fresh name for a temporary beside the final names:
// ".m_sifter-PID-<kind>N.part" (isTransferTemporary knows it).
std::string temporaryName(const char* kind);

// Whether two looks at a name show the very same file, unchanged.
bool sameFile(const struct stat& a, const struct stat& b);

}  // namespace msifter::platform
