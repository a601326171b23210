// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_transfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/destination_folder.h"
#include "platform/directory.h"
#include "platform/file_system.h"
#include "platform/syscalls.h"
#include "posix/entries.h"
#include "posix/file_copy.h"

namespace msifter::platform {

namespace {

// One file through the destination folder that holds `to`.
OsError transferFile(bool copy, const std::string& from, const std::string& to) {
  DestinationFolder folder;
  if (OsError e = folder.open(folderOf(to))) return e;
  if (OsError e =
          copy ? folder.copy(from, onlyName(nameOf(to))) : folder.move(from, onlyName(nameOf(to))))
    return e;
  return folder.settle();
}

// Opens a source for copying; non-blocking, so that a pipe among the files
// cannot stall the run. Only regular files are copied.
OsError openSource(const std::string& from, UniqueFd& in, struct stat& source) {
  in = UniqueFd(syscalls().open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!in.valid()) return OsError::fromErrno("open", from);
  if (syscalls().fstat(in.get(), &source) != 0) return OsError::fromErrno("fstat", from);
  if (!S_ISREG(source.st_mode))
    return OsError(S_ISDIR(source.st_mode) ? EISDIR : EINVAL, "open", from);
  return {};
}

OsError copyFolder(const std::string& from, const std::string& to, bool flush);

// Makes the new name itself durable, before the source may go.
OsError syncFolder(const std::string& folder) {
  UniqueFd fd(syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!fd.valid()) return OsError::fromErrno("open", folder);
  // Some file systems cannot sync a folder; they keep no separate entry state.
  if (syscalls().fsync(fd.get()) != 0 && errno != EINVAL)
    return OsError::fromErrno("fsync", folder);
  return {};
}

OsError moveFolderAcross(const std::string& from, const std::string& to) {
  if (OsError e = copyFolder(from, to, true)) return e;
  if (OsError e = syncFolder(folderOf(to))) {
    static_cast<void>(removeTree(to));
    return e;
  }
  // From here the copy is whole: a source that cannot be removed
  // completely is reported, and the copy stays.
  return removeTree(from);
}

// Copies the tree at `from` to `to`, which must not exist yet: folders,
// files and links, with modes and times. Leaves whatever it made on failure.
OsError copyTree(const std::string& from, const std::string& to, bool flush) {
  struct stat st {};
  if (syscalls().lstat(from.c_str(), &st) != 0) return OsError::fromErrno("lstat", from);
  if (S_ISLNK(st.st_mode)) {
    std::string target;
    if (OsError e = readLink(from, target)) return e;
    if (syscalls().symlink(target.c_str(), to.c_str()) != 0)
      return OsError::fromErrno("symlink", to);
    return {};
  }
  if (S_ISREG(st.st_mode)) {
    UniqueFd in;
    struct stat source {};
    if (OsError e = openSource(from, in, source)) return e;
    UniqueFd out(syscalls().open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return OsError::fromErrno("open", to);
    if (OsError e = fillCopy(in.get(), source, out.get(), true)) return e;
    if (flush && syscalls().fsync(out.get()) != 0) return OsError::fromErrno("fsync", to);
    if (out.reset() != 0) return OsError::fromErrno("close", to);
    return {};
  }
  if (!S_ISDIR(st.st_mode)) return OsError(EINVAL, "lstat", from);
  if (syscalls().mkdir(to.c_str(), 0700) != 0) return OsError::fromErrno("mkdir", to);
  UniqueFd folder(syscalls().open(from.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder.valid()) return OsError::fromErrno("open", from);
  std::vector<std::string> names;
  if (OsError e =
          forEachEntry(folder.get(), [&](const dirent& d) { names.emplace_back(d.d_name); }))
    return OsError(e.code(), e.operation(), from);
  folder.reset();
  for (const std::string& name : names) {
    if (OsError e = copyTree(from + "/" + name, to + "/" + name, flush)) return e;
  }
  folder = UniqueFd(syscalls().open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder.valid()) return OsError::fromErrno("open", to);
  if (syscalls().fchmod(folder.get(), st.st_mode & 07777) != 0)
    return OsError::fromErrno("fchmod", to);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (syscalls().futimens(folder.get(), times) != 0) return OsError::fromErrno("futimens", to);
  if (flush && syscalls().fsync(folder.get()) != 0 && errno != EINVAL)
    return OsError::fromErrno("fsync", to);
  return {};
}

// A folder copied under a temporary name beside `to` and renamed into place.
OsError copyFolder(const std::string& from, const std::string& to, bool flush) {
  if (entryExists(to)) return OsError(EEXIST, "lstat", to);
  const std::string tempPath = folderOf(to) + "/" + temporaryName("d");
  if (OsError e = copyTree(from, tempPath, flush)) {
    static_cast<void>(removeTree(tempPath));
    return e;
  }
  if (syscalls().renameNoReplace(tempPath.c_str(), to.c_str()) == 0) return {};
  const OsError e = OsError::fromErrno("renameat2", to);
  static_cast<void>(removeTree(tempPath));
  return e;
}

// Appends " (n)" before the extension: "photo.jpg" -> "photo (2).jpg".
std::string collisionName(const std::string& path, int n) {
  const std::string folder = folderOf(path);
  const std::string name = nameOf(path);
  const auto dot = name.find_last_of('.');
  const bool hasExt = dot != std::string::npos && dot != 0;
  const std::string stem = hasExt ? name.substr(0, dot) : name;
  const std::string ext = hasExt ? name.substr(dot) : "";
  const std::string prefix = path.find('/') == std::string::npos ? "" : folder + "/";
  return prefix + stem + " (" + std::to_string(n) + ")" + ext;
}

std::string trimTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

OsError removeEntry(const std::string& from, uint32_t flags) {
  struct stat st {};
  if (syscalls().lstat(from.c_str(), &st) != 0) return OsError::fromErrno("lstat", from);
  if (flags & FOF_ALLOWUNDO) return moveToTrash(from);
  // "link/" resolves to the folder behind a link; only the link itself goes.
  const std::string entry = trimTrailingSlashes(from);
  struct stat link {};
  if (syscalls().lstat(entry.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (syscalls().unlink(entry.c_str()) != 0) return OsError::fromErrno("unlink", entry);
    return {};
  }
  if (S_ISDIR(st.st_mode)) return removeTree(from);
  if (syscalls().unlink(from.c_str()) != 0) return OsError::fromErrno("unlink", from);
  return {};
}

}  // namespace

OsError moveFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (syscalls().lstat(from.c_str(), &st) != 0) return OsError::fromErrno("lstat", from);
  if (!S_ISDIR(st.st_mode)) return transferFile(false, from, to);
  if (syscalls().renameNoReplace(from.c_str(), to.c_str()) == 0) return {};
  if (errno == EXDEV) return moveFolderAcross(from, to);
  return OsError::fromErrno("renameat2", to);
}

OsError copyFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (syscalls().stat(from.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return copyFolder(from, to, false);
  return transferFile(true, from, to);
}

OsError fileOperation(FileFunction function, const std::string& fromIn, const std::string& toIn,
                      uint32_t flags, FileOperationReport* report) {
  FileOperationReport scratch;
  FileOperationReport& out = report ? *report : scratch;
  out = {};
  if (fromIn.empty()) return OsError(EINVAL, "fileOperation");
  // The path goes to the system as given; the name is taken without the
  // trailing separators.
  const std::string& from = fromIn;
  const std::string fromName = nameOf(trimTrailingSlashes(from));

  if (function == FO_DELETE) return removeEntry(from, flags);

  if (toIn.empty()) return OsError(EINVAL, "fileOperation");
  std::string target = trimTrailingSlashes(toIn);
  if (toIn.back() == '/' && function != FO_RENAME) target = toIn + fromName;

  auto attempt = [&](const std::string& candidate) -> OsError {
    switch (function) {
      case FO_MOVE: return moveFile(from, candidate);
      case FO_COPY: return copyFile(from, candidate);
      case FO_RENAME:
        if (syscalls().renameNoReplace(from.c_str(), candidate.c_str()) == 0) return {};
        return OsError::fromErrno("renameat2", candidate);
      default: return OsError(EINVAL, "fileOperation");
    }
  };

  // The transfer is tried first and the reason looked for only when it fails:
  // a run of many files pays one call per file, not three.
  bool foldersMade = false;
  std::string candidate = target;
  for (int n = 2;;) {
    OsError r = attempt(candidate);
    if (!r) {
      out.finalPath = candidate;
      return {};
    }
    if (!r.nameTaken()) {
      if (r.code() != ENOENT || foldersMade) return r;
      // Missing: the source, or the destination folder.
      struct stat st {};
      if (syscalls().lstat(from.c_str(), &st) != 0) return OsError::fromErrno("lstat", from);
      const std::string folder = folderOf(target);
      if (syscalls().stat(folder.c_str(), &st) == 0) return r;
      if (errno != ENOENT) return OsError::fromErrno("stat", folder);
      if (!(flags & (FOF_NOCONFIRMMKDIR | FOF_NOCONFIRMATION)))
        return OsError(ENOENT, "stat", folder);
      if (OsError e = makeFolders(folder, 0777)) return e;
      foldersMade = true;
      continue;
    }
    out.targetExisted = true;
    if (!(flags & FOF_RENAMEONCOLLISION) || n > 9999) return r;
    candidate = collisionName(target, n++);
  }
}

}  // namespace msifter::platform
