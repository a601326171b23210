// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/source_tree.h"

#include <fcntl.h>
#include <linux/openat2.h>

#include <cerrno>
#include <vector>

#include "platform/syscalls.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// A rename elsewhere on the file system while the path is resolved makes
// openat2 ask for another try; it never asks for long.
constexpr int kTries = 8;

// The folders named by `relative`, in order; false for a path that would
// leave the base. Empty and "." components name no folder.
bool componentsBeneath(std::string_view relative, std::vector<std::string>& parts) {
  if (relative.starts_with('/')) return false;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t slash = relative.find('/', start);
    if (slash == std::string_view::npos) slash = relative.size();
    const std::string_view part = relative.substr(start, slash - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = slash + 1;
  }
  return true;
}

// What a walk does at a folder that is not there.
enum class Missing { Fails, Ends, IsMade };

// One folder at a time, each opened beneath the last without following a
// link; at most two descriptors open at once, however deep.
OsError walk(int baseFd, const std::vector<std::string>& parts, Missing missing, mode_t mode,
             UniqueFd& folder) {
  UniqueFd current(syscalls().openAt(baseFd, ".", kFolderFlags, 0));
  if (!current.valid()) return OsError::fromErrno("openat", ".");
  for (const std::string& part : parts) {
    UniqueFd next;
    OsError e = openSubfolder(current.get(), part, next);
    if (e.code() == ENOENT && missing == Missing::IsMade) {
      // Made meanwhile by somebody else is as good, if it is a folder.
      if (syscalls().mkdirAt(current.get(), part.c_str(), mode) != 0 && errno != EEXIST)
        return OsError::fromErrno("mkdirat", part);
      e = openSubfolder(current.get(), part, next);
    }
    if (e) {
      if (missing == Missing::Ends && e.code() == ENOENT) break;
      return e;
    }
    current = std::move(next);
  }
  folder = std::move(current);
  return {};
}

}  // namespace

OsError openFolderBeneath(int baseFd, std::string_view relative, UniqueFd& folder) {
  std::vector<std::string> parts;
  const std::string path = relative.empty() ? std::string(".") : std::string(relative);
  if (!componentsBeneath(relative, parts)) return OsError(EXDEV, "openat2", path);
  for (int attempt = 0; attempt < kTries; ++attempt) {
    const int fd = syscalls().openAt2(baseFd, path.c_str(), kFolderFlags,
                                      RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS);
    if (fd >= 0) {
      folder = UniqueFd(fd);
      return {};
    }
    if (errno == ENOSYS) return walk(baseFd, parts, Missing::Fails, 0, folder);
    if (errno != EAGAIN) return OsError::fromErrno("openat2", path);
  }
  return OsError(EAGAIN, "openat2", path);
}

OsError checkFoldersBeneath(const std::string& root, std::string_view relative) {
  const UniqueFd base(syscalls().open(root.c_str(), kFolderFlags, 0));
  if (!base.valid()) return OsError::fromErrno("open", root);
  UniqueFd folder;
  const OsError whole = openFolderBeneath(base.get(), relative, folder);
  if (whole.code() != ENOENT) return whole;
  std::vector<std::string> parts;
  componentsBeneath(relative, parts);
  return walk(base.get(), parts, Missing::Ends, 0, folder);
}

OsError SourceTree::open(const std::string& root) {
  UniqueFd fd(syscalls().open(root.c_str(), kFolderFlags, 0));
  if (!fd.valid()) return OsError::fromErrno("open", root);
  root_ = std::move(fd);
  prefix_ = root.ends_with('/') ? root : root + "/";
  return {};
}

// The folders between the root and `file`.
OsError SourceTree::beneath(const std::string& file, std::string_view& relative) const {
  if (!root_.valid()) return OsError(EBADF, "openat2", file);
  if (!file.starts_with(prefix_)) return OsError(EXDEV, "openat2", file);
  const std::string_view below = std::string_view(file).substr(prefix_.size());
  const std::size_t slash = below.rfind('/');
  relative = slash == std::string_view::npos ? std::string_view() : below.substr(0, slash);
  return {};
}

OsError SourceTree::openFolderOf(const std::string& file, UniqueFd& folder) const {
  std::string_view relative;
  if (OsError e = beneath(file, relative)) return e;
  return openFolderBeneath(root_.get(), relative, folder);
}

OsError SourceTree::reach(const std::string& file, SourceFile& out) {
  const std::size_t slash = file.rfind('/');
  const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  const std::string_view folder(file.data(), nameAt);
  if (!last_ || last_->path() != folder) {
    last_.reset();
    UniqueFd fd;
    if (root_.valid()) {
      if (OsError e = openFolderOf(file, fd)) return e;
    } else {
      const std::string named = nameAt == 0 ? std::string(".") : folderOf(file);
      fd = UniqueFd(syscalls().open(named.c_str(), kFolderFlags, 0));
      if (!fd.valid()) return OsError::fromErrno("open", named);
    }
    last_ = std::make_shared<const SourceFolder>(std::move(fd), std::string(folder));
  }
  out.folder = last_;
  out.name.assign(file, nameAt);
  return {};
}

OsError SourceTree::makeFolderOf(const std::string& file, unsigned mode, UniqueFd& folder) const {
  std::string_view relative;
  if (OsError e = beneath(file, relative)) return e;
  std::vector<std::string> parts;
  if (!componentsBeneath(relative, parts)) return OsError(EXDEV, "mkdirat", std::string(relative));
  return walk(root_.get(), parts, Missing::IsMade, static_cast<mode_t>(mode), folder);
}

}  // namespace msifter::platform
