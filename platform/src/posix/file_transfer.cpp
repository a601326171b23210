#include "platform/file_transfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "common/ui_services.h"
#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "posix/file_copy.h"

namespace msifter::platform {

namespace {

TransferResult failed(int error) { return {TransferStatus::Failed, error}; }
TransferResult done() { return {TransferStatus::Done, 0}; }
TransferResult exists() { return {TransferStatus::TargetExists, EEXIST}; }

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool entryExists(const std::string& path) {
  struct stat st {};
  return syscalls().lstat(path.c_str(), &st) == 0;
}

// The one name given, then none: a taken name is refused, not replaced.
DestinationFolder::NameSource onlyName(const std::string& name) {
  return [name, given = false]() mutable {
    if (given) return std::string();
    given = true;
    return name;
  };
}

// One file through the destination folder that holds `to`.
TransferResult transferFile(bool copy, const std::string& from, const std::string& to) {
  DestinationFolder folder;
  if (int e = folder.open(folderOf(to))) return failed(e);
  const TransferResult r =
      copy ? folder.copy(from, onlyName(nameOf(to))) : folder.move(from, onlyName(nameOf(to)));
  if (!r.done()) return r;
  const int e = folder.settle();
  if (e == 0) return done();
  return e == EEXIST ? exists() : failed(e);
}

// Opens a source for copying; non-blocking, so that a pipe among the files
// cannot stall the run. Only regular files are copied.
int openSource(const std::string& from, UniqueFd& in, struct stat& source) {
  in = UniqueFd(syscalls().open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!in.valid()) return errno;
  if (syscalls().fstat(in.get(), &source) != 0) return errno;
  if (!S_ISREG(source.st_mode)) return S_ISDIR(source.st_mode) ? EISDIR : EINVAL;
  return 0;
}

int removeTree(const std::string& path);
TransferResult copyFolder(const std::string& from, const std::string& to, bool flush);

// Makes the new name itself durable, before the source may go.
int syncFolder(const std::string& folder) {
  UniqueFd fd(syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!fd.valid()) return errno;
  // Some file systems cannot sync a folder; they keep no separate entry state.
  if (syscalls().fsync(fd.get()) != 0 && errno != EINVAL) return errno;
  return 0;
}

TransferResult moveFolderAcross(const std::string& from, const std::string& to) {
  const TransferResult placed = copyFolder(from, to, true);
  if (!placed.done()) return placed;
  if (int e = syncFolder(folderOf(to))) {
    removeTree(to);
    return failed(e);
  }
  // From here the copy is whole: a source that cannot be removed
  // completely is reported, and the copy stays.
  if (int e = removeTree(from)) return failed(e);
  return done();
}

int removeTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  return ec.value();
}

// Copies the tree at `from` to `to`, which must not exist yet: folders,
// files and links, with modes and times. Leaves whatever it made on failure.
int copyTree(const std::string& from, const std::string& to, bool flush) {
  struct stat st {};
  if (syscalls().lstat(from.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) {
    std::string target(4096, '\0');
    const ssize_t n = syscalls().readlink(from.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    if (static_cast<size_t>(n) >= target.size()) return ENAMETOOLONG;
    target.resize(static_cast<size_t>(n));
    return syscalls().symlink(target.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  if (S_ISREG(st.st_mode)) {
    UniqueFd in;
    struct stat source {};
    if (int e = openSource(from, in, source)) return e;
    UniqueFd out(syscalls().open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) return errno;
    if (int e = fillCopy(in.get(), source, out.get(), true)) return e;
    if (flush && syscalls().fsync(out.get()) != 0) return errno;
    return out.reset() == 0 ? 0 : errno;
  }
  if (!S_ISDIR(st.st_mode)) return EINVAL;
  if (syscalls().mkdir(to.c_str(), 0700) != 0) return errno;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (int e = copyTree(from + "/" + name, to + "/" + name, flush)) return e;
    keepUiAlive();
  }
  if (ec) return ec.value();
  UniqueFd folder(syscalls().open(to.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder.valid()) return errno;
  if (syscalls().fchmod(folder.get(), st.st_mode & 07777) != 0) return errno;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (syscalls().futimens(folder.get(), times) != 0) return errno;
  if (flush && syscalls().fsync(folder.get()) != 0 && errno != EINVAL) return errno;
  return 0;
}

// A folder copied under a temporary name beside `to` and renamed into place.
TransferResult copyFolder(const std::string& from, const std::string& to, bool flush) {
  if (entryExists(to)) return exists();
  const std::string tempPath = folderOf(to) + "/" + temporaryName("d");
  if (int e = copyTree(from, tempPath, flush)) {
    removeTree(tempPath);
    return failed(e);
  }
  if (syscalls().renameNoReplace(tempPath.c_str(), to.c_str()) == 0) return done();
  const int e = errno;
  removeTree(tempPath);
  return e == EEXIST ? exists() : failed(e);
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

int makeFolders(const std::string& folder) {
  if (folder.empty() || folder == "/" || folder == ".") return 0;
  struct stat st {};
  if (syscalls().stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (int e = makeFolders(folderOf(folder))) return e;
  if (syscalls().mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return errno;
  return 0;
}

std::string trimTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

TransferResult moveFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (syscalls().lstat(from.c_str(), &st) != 0) return failed(errno);
  if (!S_ISDIR(st.st_mode)) return transferFile(false, from, to);
  if (syscalls().renameNoReplace(from.c_str(), to.c_str()) == 0) return done();
  const int e = errno;
  if (e == EEXIST) return exists();
  if (e == EXDEV) return moveFolderAcross(from, to);
  return failed(e);
}

TransferResult copyFile(const std::string& from, const std::string& to) {
  struct stat st {};
  if (syscalls().stat(from.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return copyFolder(from, to, false);
  return transferFile(true, from, to);
}

int fileOperation(FileFunction function, const std::string& fromIn, const std::string& toIn,
                  uint32_t flags, FileOperationReport* report) {
  FileOperationReport scratch;
  FileOperationReport& out = report ? *report : scratch;
  out = {};
  if (fromIn.empty()) return EINVAL;
  // The path goes to the system as given; the name is taken without the
  // trailing separators.
  const std::string& from = fromIn;
  const std::string fromName = nameOf(trimTrailingSlashes(from));

  if (function == FileFunction::Delete) {
    struct stat st {};
    if (syscalls().lstat(from.c_str(), &st) != 0) return errno;
    if (flags & fof::AllowUndo) return moveToTrash(from) ? 0 : (errno ? errno : EIO);
    // "link/" resolves to the folder behind a link; only the link itself goes.
    const std::string entry = trimTrailingSlashes(from);
    struct stat link {};
    if (syscalls().lstat(entry.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
      return syscalls().unlink(entry.c_str()) == 0 ? 0 : errno;
    if (S_ISDIR(st.st_mode)) return removeTree(from);
    return syscalls().unlink(from.c_str()) == 0 ? 0 : errno;
  }

  if (toIn.empty()) return EINVAL;
  std::string target = trimTrailingSlashes(toIn);
  if (toIn.back() == '/' && function != FileFunction::Rename) target = toIn + fromName;

  auto attempt = [&](const std::string& candidate) -> TransferResult {
    switch (function) {
      case FileFunction::Move: return moveFile(from, candidate);
      case FileFunction::Copy: return copyFile(from, candidate);
      case FileFunction::Rename:
        if (syscalls().renameNoReplace(from.c_str(), candidate.c_str()) == 0) return done();
        return errno == EEXIST ? exists() : failed(errno);
      default: return failed(EINVAL);
    }
  };

  // The transfer is tried first and the reason looked for only when it fails:
  // a run of many files pays one call per file, not three.
  bool foldersMade = false;
  std::string candidate = target;
  for (int n = 2;;) {
    const TransferResult r = attempt(candidate);
    if (r.done()) {
      out.finalPath = candidate;
      return 0;
    }
    if (r.status == TransferStatus::Failed) {
      const int error = r.error ? r.error : EIO;
      if (error != ENOENT || foldersMade) return error;
      // Missing: the source, or the destination folder.
      struct stat st {};
      if (syscalls().lstat(from.c_str(), &st) != 0) return errno;
      const std::string folder = folderOf(target);
      if (syscalls().stat(folder.c_str(), &st) == 0) return error;
      if (errno != ENOENT) return errno;
      if (!(flags & (fof::NoConfirmMkdir | fof::NoConfirmation))) return ENOENT;
      if (int e = makeFolders(folder)) return e;
      foldersMade = true;
      continue;
    }
    out.targetExisted = true;
    if (!(flags & fof::RenameOnCollision) || n > 9999) return EEXIST;
    candidate = collisionName(target, n++);
  }
}

void keepUiAlive() {
  static int64_t last = 0;
  const int64_t now = syscalls().monotonicMilliseconds();
  if (now >= last && now - last < 100) return;
  last = now;
  common::ui().processEvents();
}

}  // namespace msifter::platform
