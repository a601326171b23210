// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folder_levels.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/source_tree.h"
#include "platform/syscalls.h"

namespace msifter::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool oneLevel(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

OsError openFolderLevel(int parentFd, const std::string& name, bool make, UniqueFd& folder,
                        bool& made) {
  made = false;
  if (!oneLevel(name)) return OsError(EXDEV, "openat", name);
  if (make) {
    if (syscalls().mkdirAt(parentFd, name.c_str(), 0777) == 0) {
      made = true;
    } else if (errno != EEXIST) {
      return OsError::fromErrno("mkdirat", name);
    }
  }
  folder = UniqueFd(syscalls().openAt(parentFd, name.c_str(), kFolderFlags, 0));
  if (folder.valid()) return {};
  OsError e = OsError::fromErrno("openat", name);
  // The kernel tells a link in the level's place (O_NOFOLLOW) as no folder:
  // said as the link it is, whatever it leads to.
  struct stat st {};
  if (e.code() == ENOTDIR &&
      syscalls().fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(st.st_mode))
    e = OsError(ELOOP, "openat", name);
  return e;
}

OsError removeEmptyFolderBeneath(const std::string& root, std::string_view relative) {
  const std::size_t slash = relative.rfind('/');
  const std::string name(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
  if (!oneLevel(name)) return OsError(EXDEV, "unlinkat", std::string(relative));
  const UniqueFd base(syscalls().open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!base.valid()) return OsError::fromErrno("open", root);
  UniqueFd parent;
  if (OsError e = openFolderBeneath(
          base.get(),
          slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash), parent))
    return e;
  // Never a link that took the folder's place: unlinkat would not follow it,
  // but neither is a link ours to remove.
  struct stat st {};
  if (syscalls().fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return OsError::fromErrno("fstatat", std::string(relative));
  if (!S_ISDIR(st.st_mode)) return OsError(ENOTDIR, "fstatat", std::string(relative));
  if (syscalls().unlinkAt(parent.get(), name.c_str(), AT_REMOVEDIR) != 0)
    return OsError::fromErrno("unlinkat", std::string(relative));
  return {};
}

}  // namespace msifter::platform
