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

// One folder at a time, each opened beneath the last without following a
// link; at most two descriptors open at once, however deep.
OsError walk(int baseFd, const std::vector<std::string>& parts, bool missingEnds,
             UniqueFd& folder) {
  UniqueFd current(syscalls().openAt(baseFd, ".", kFolderFlags, 0));
  if (!current.valid()) return OsError::fromErrno("openat", ".");
  for (const std::string& part : parts) {
    UniqueFd next;
    if (OsError e = openSubfolder(current.get(), part, next)) {
      if (missingEnds && e.code() == ENOENT) break;
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
    if (errno == ENOSYS) return walk(baseFd, parts, false, folder);
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
  return walk(base.get(), parts, true, folder);
}

OsError SourceTree::open(const std::string& root) {
  UniqueFd fd(syscalls().open(root.c_str(), kFolderFlags, 0));
  if (!fd.valid()) return OsError::fromErrno("open", root);
  root_ = std::move(fd);
  prefix_ = root.ends_with('/') ? root : root + "/";
  return {};
}

OsError SourceTree::openFolderOf(const std::string& file, UniqueFd& folder) const {
  if (!root_.valid()) return OsError(EBADF, "openat2", file);
  if (!file.starts_with(prefix_)) return OsError(EXDEV, "openat2", file);
  const std::string_view beneath = std::string_view(file).substr(prefix_.size());
  const std::size_t slash = beneath.rfind('/');
  return openFolderBeneath(
      root_.get(), slash == std::string_view::npos ? std::string_view() : beneath.substr(0, slash),
      folder);
}

}  // namespace msifter::platform
