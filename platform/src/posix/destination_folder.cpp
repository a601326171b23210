#include "platform/destination_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/mounts.h"
#include "posix/entries.h"
#include "posix/file_copy.h"

namespace msifter::platform {

namespace {

// A named temporary younger than this may still be waiting for its owner's
// lock (it is created, then locked).
constexpr std::time_t kStaleSeconds = 60;

// A file system that has neither RENAME_NOREPLACE nor hard links (FAT and
// exFAT, also through FUSE) refuses `link` with one of these.
bool noHardLinks(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

// Claims `to` with an empty file of our own (O_EXCL: never a file that is
// there) and renames `from` over it; a claim that is no longer ours (taken
// away and replaced meanwhile) is left alone. Killed between the two steps,
// the empty claim stays under the name, never a partial file.
OsError renameOverClaim(int fromDir, const char* from, int toDir, const char* to) {
  UniqueFd claim(syscalls().openAt(toDir, to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!claim.valid()) return OsError::fromErrno("openat");
  struct stat claimed {};
  OsError e;
  if (syscalls().fstat(claim.get(), &claimed) != 0) e = OsError::fromErrno("fstat");
  claim.reset();
  const auto stillOurs = [&] {
    struct stat named {};
    return syscalls().fstatat(toDir, to, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_size == 0 &&
           named.st_dev == claimed.st_dev && named.st_ino == claimed.st_ino;
  };
  if (!e) {
    if (!stillOurs()) return OsError(EEXIST, "openat");
    if (syscalls().renameAt(fromDir, from, toDir, to, 0) == 0) return {};
    e = OsError::fromErrno("renameat");
  }
  if (stillOurs()) syscalls().unlinkAt(toDir, to, 0);
  return e;
}

// Never replaces `to`.
OsError renameNoReplaceAt(int fromDir, const char* from, int toDir, const char* to) {
  if (syscalls().renameAt(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return OsError::fromErrno("renameat2");
  // File systems without the flag (NFS, FUSE): a hard link cannot replace either.
  if (syscalls().linkAt(fromDir, from, toDir, to, 0) != 0) {
    if (!noHardLinks(errno)) return OsError::fromErrno("linkat");
    return renameOverClaim(fromDir, from, toDir, to);
  }
  if (syscalls().unlinkAt(fromDir, from, 0) != 0) {
    const OsError e = OsError::fromErrno("unlinkat");
    syscalls().unlinkAt(toDir, to, 0);
    return e;
  }
  return {};
}

}  // namespace

DestinationFolder::NameSource onlyName(const std::string& name) {
  return [name, given = false]() mutable {
    if (given) return std::string();
    given = true;
    return name;
  };
}

DestinationFolder::DestinationFolder() = default;

DestinationFolder::~DestinationFolder() { dropUnsettled(); }

// Takes back every copy not settled yet: its source stays, alone.
void DestinationFolder::dropUnsettled() {
  for (Pending& p : named_) removeCopy(p);
  for (Pending& p : pending_) {
    if (p.linked)
      removeCopy(p);
    else
      discard(p.staged);
  }
  named_.clear();
  pending_.clear();
}

OsError DestinationFolder::open(const std::string& folder) {
  dir_ = UniqueFd(syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!dir_.valid()) return OsError::fromErrno("open", folder);
  struct stat st {};
  if (syscalls().fstat(dir_.get(), &st) != 0) {
    const OsError e = OsError::fromErrno("fstat", folder);
    dir_.reset();
    return e;
  }
  path_ = folder;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  // A batch holds a descriptor per file; half of them stay for the rest of
  // the program (the error log among them).
  struct rlimit files {};
  if (syscalls().getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
    fileBudget_ = std::max<std::size_t>(1, static_cast<std::size_t>(files.rlim_cur / 2));
  removeStaleTemporaries();
  return {};
}

// The path still names the folder that was opened: not removed, renamed,
// unmounted or replaced (by another folder or a link elsewhere).
OsError DestinationFolder::checkFolder() const {
  if (!dir_.valid()) return OsError(EBADF, "stat", path_);
  struct stat st {};
  if (syscalls().stat(path_.c_str(), &st) != 0) return OsError::fromErrno("stat", path_);
  if (st.st_dev == device_ && st.st_ino == inode_) return {};
  return OsError(ENOTDIR, "stat", path_);
}

// Best effort: a temporary that cannot be looked at stays for a later run.
// Only names that carry our check go: a user's file that merely looks like
// a temporary is the user's.
void DestinationFolder::removeStaleTemporaries() {
  std::vector<std::string> names;
  // A listing cut short still removes what it found.
  static_cast<void>(forEachEntry(dir_.get(), [&](const dirent& d) {
    if (isOwnTemporary(d.d_name)) names.emplace_back(d.d_name);
  }));
  if (names.empty()) return;
  const std::time_t now = syscalls().now();
  for (const std::string& name : names) {
    UniqueFd fd(syscalls().openAt(dir_.get(), name.c_str(),
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
    struct stat held {
    }, named{};
    if (!fd.valid() || syscalls().fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode) ||
        now - held.st_ctim.tv_sec < kStaleSeconds)
      continue;
    // The owner holds the lock as long as it lives, whatever became of its
    // process number.
    if (syscalls().flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    if (syscalls().fstatat(dir_.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino)
      syscalls().unlinkAt(dir_.get(), name.c_str(), 0);
  }
}

OsError DestinationFolder::stage(int in, const struct stat& source, Staged& out) {
  if (!unnamedUnsupported_) {
    out.fd = UniqueFd(
        syscalls().openAt(dir_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, newFileMode(source)));
    if (!out.fd.valid()) {
      // EISDIR: a kernel without unnamed files.
      if (errno != EOPNOTSUPP && errno != EISDIR) return OsError::fromErrno("openat", path_);
      unnamedUnsupported_ = true;
    }
  }
  if (!out.fd.valid()) {
    for (int attempt = 0; attempt < 100 && !out.fd.valid(); ++attempt) {
      out.tempName = temporaryName("");
      out.fd =
          UniqueFd(syscalls().openAt(dir_.get(), out.tempName.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode(source)));
      if (!out.fd.valid() && errno != EEXIST) break;
    }
    if (!out.fd.valid()) {
      const OsError e = OsError::fromErrno("openat", path_);
      out.tempName.clear();
      return e;
    }
    // Tells later runs that the owner still lives. Without it a later run
    // may take the file away, which only makes this transfer fail.
    syscalls().flock(out.fd.get(), LOCK_EX | LOCK_NB);
  }
  out.times[0] = source.st_atim;
  out.times[1] = source.st_mtim;
  OsError e = fillCopy(in, source, out.fd.get(), true);
  // Where the flush of the folder reaches no disk, each file is flushed
  // before it may get a name.
  if (!e && flushEachFile() && syscalls().fsync(out.fd.get()) != 0)
    e = OsError::fromErrno("fsync", path_);
  if (e) discard(out);
  return e;
}

// FUSE passes syncfs(2) to no file system: its files are flushed one by one.
bool DestinationFolder::flushEachFile() {
  if (!flushEachFile_) flushEachFile_ = !fileSystemKeepsOf(dir_.get(), device_).syncfs;
  return *flushEachFile_;
}

void DestinationFolder::discard(Staged& staged) {
  if (!staged.tempName.empty()) syscalls().unlinkAt(dir_.get(), staged.tempName.c_str(), 0);
  staged.tempName.clear();
  staged.fd.reset();
}

// Gives the staged file its name; a taken name is never replaced, the next
// one is tried.
OsError DestinationFolder::link(Staged& staged, std::string& name, const NameSource& names) {
  for (;;) {
    OsError e;
    if (staged.tempName.empty()) {
      const std::string self = "/proc/self/fd/" + std::to_string(staged.fd.get());
      if (syscalls().linkAt(AT_FDCWD, self.c_str(), dir_.get(), name.c_str(), AT_SYMLINK_FOLLOW) !=
          0) {
        e = OsError::fromErrno("linkat");
        // Without /proc: the descriptor itself, where the capability allows.
        if (e.code() == ENOENT &&
            syscalls().linkAt(staged.fd.get(), "", dir_.get(), name.c_str(), AT_EMPTY_PATH) == 0)
          e = {};
        else if (e.code() == ENOENT && errno == EEXIST)
          e = OsError(EEXIST, "linkat");
      }
    } else {
      e = renameNoReplaceAt(dir_.get(), staged.tempName.c_str(), dir_.get(), name.c_str());
      if (!e) staged.tempName.clear();
    }
    if (!e && flushEachFile()) return flushNamed(staged, name);
    if (!e.nameTaken()) return e;
    name = names();
    if (name.empty()) return e;
  }
}

// Where each file is flushed on its own (FUSE), its new name reaches the
// disk with it. A name that cannot be flushed is taken back: the file stays
// unnamed and fails. FAT through FUSE stamps a renamed file with the present,
// so its times are given again first.
OsError DestinationFolder::flushNamed(Staged& staged, const std::string& name) {
  OsError e;
  if (syscalls().futimens(staged.fd.get(), staged.times) != 0)
    e = OsError::fromErrno("futimens", path_);
  else if (syscalls().fsync(staged.fd.get()) == 0)
    return {};
  else
    e = OsError::fromErrno("fsync", path_);
  syscalls().unlinkAt(dir_.get(), name.c_str(), 0);
  return e;
}

// Skips names that are plainly taken before anything is copied; the link
// still refuses a name taken meanwhile.
OsError DestinationFolder::firstFreeName(std::string& name, const NameSource& names) const {
  for (;;) {
    if (name.empty()) return OsError(EEXIST, "fstatat");
    struct stat st {};
    if (syscalls().fstatat(dir_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      return errno == ENOENT ? OsError() : OsError::fromErrno("fstatat");
    name = names();
  }
}

OsError DestinationFolder::move(const std::string& from, const NameSource& names) {
  std::string name = names();
  if (OsError e = checkFolder()) return e;
  struct stat entry {};
  if (syscalls().lstat(from.c_str(), &entry) != 0) return OsError::fromErrno("lstat", from);
  // Listed as a file, a folder by its turn: its tree was never searched.
  if (S_ISDIR(entry.st_mode)) return OsError(EISDIR, "lstat", from);
  for (;;) {
    if (name.empty()) return OsError(EEXIST, "renameat2", from);
    OsError e = renameNoReplaceAt(AT_FDCWD, from.c_str(), dir_.get(), name.c_str());
    if (!e) {
      report(false, from, name, entry, entry.st_dev, entry.st_ino);
      return {};
    }
    if (e.code() == EXDEV) return moveAcross(from, entry, std::move(name), names);
    if (!e.nameTaken()) return e;
    name = names();
  }
}

OsError DestinationFolder::moveAcross(const std::string& from, const struct stat& entry,
                                      std::string name, const NameSource& names) {
  Pending p;
  p.source = from;
  p.names = names;
  if (S_ISLNK(entry.st_mode)) {
    if (OsError e = moveLinkAcross(from, entry, std::move(name), names, p)) return e;
  } else if (!S_ISREG(entry.st_mode)) {
    // Pipes, sockets and devices are not copied between file systems.
    return OsError(EXDEV, "renameat2", from);
  } else {
    if (OsError e = firstFreeName(name, names)) return e;
    // Not following: a link that replaced the file by now is not what was listed.
    UniqueFd in(syscalls().open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0));
    if (!in.valid()) return OsError::fromErrno("open", from);
    if (syscalls().fstat(in.get(), &p.copied) != 0) return OsError::fromErrno("fstat", from);
    if (!S_ISREG(p.copied.st_mode))
      return OsError(S_ISDIR(p.copied.st_mode) ? EISDIR : EXDEV, "open", from);
    if (OsError e = stageCopy(in.get(), p)) return e;
    p.name = std::move(name);
  }
  return addToBatch(std::move(p));
}

// A link like the one at `from`, under the first free name.
OsError DestinationFolder::makeLink(const std::string& from, std::string& name,
                                    const NameSource& names) {
  std::string target;
  if (OsError e = readLink(from, target)) return e;
  for (;;) {
    if (name.empty()) return OsError(EEXIST, "symlinkat");
    if (syscalls().symlinkAt(target.c_str(), dir_.get(), name.c_str()) == 0) return {};
    if (errno != EEXIST) return OsError::fromErrno("symlinkat");
    name = names();
  }
}

// A link is made anew at once, owner and times as mv keeps them: it has no
// contents that could be cut short. Its source goes with the batch.
OsError DestinationFolder::moveLinkAcross(const std::string& from, const struct stat& entry,
                                          std::string name, const NameSource& names, Pending& out) {
  if (OsError e = makeLink(from, name, names)) return e;
  out.copied = entry;
  out.name = std::move(name);
  out.linked = true;
  const struct timespec times[2] = {entry.st_atim, entry.st_mtim};
  struct stat made {};
  OsError e;
  if (syscalls().fchownAt(dir_.get(), out.name.c_str(), entry.st_uid, entry.st_gid,
                          AT_SYMLINK_NOFOLLOW) != 0 &&
      errno != EPERM)
    e = OsError::fromErrno("fchownat");
  if (!e && syscalls().utimensAt(dir_.get(), out.name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    e = OsError::fromErrno("utimensat");
  if (!e && syscalls().fstatat(dir_.get(), out.name.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0)
    e = OsError::fromErrno("fstatat");
  if (e) {
    syscalls().unlinkAt(dir_.get(), out.name.c_str(), 0);
    return e;
  }
  out.device = made.st_dev;
  out.inode = made.st_ino;
  return {};
}

OsError DestinationFolder::copy(const std::string& from, const NameSource& names) {
  std::string name = names();
  UniqueFd in(syscalls().open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!in.valid()) {
    const OsError e = OsError::fromErrno("open", from);
    struct stat entry {};
    if (e.code() == ENOENT && syscalls().lstat(from.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode))
      return copyLink(from, std::move(name), names);
    return e;
  }
  struct stat source {};
  if (syscalls().fstat(in.get(), &source) != 0) return OsError::fromErrno("fstat", from);
  if (!S_ISREG(source.st_mode))
    return OsError(S_ISDIR(source.st_mode) ? EISDIR : EINVAL, "open", from);
  if (OsError e = firstFreeName(name, names)) return e;
  Pending p;
  p.copy = true;
  p.source = from;
  p.copied = source;
  p.names = names;
  if (OsError e = stageCopy(in.get(), p)) return e;
  p.name = std::move(name);
  return addToBatch(std::move(p));
}

// The contents of `in` (as `p.copied` describes it) into a new unnamed file,
// whose identity `p` keeps.
OsError DestinationFolder::stageCopy(int in, Pending& p) {
  if (OsError e = stage(in, p.copied, p.staged)) return e;
  struct stat made {};
  if (syscalls().fstat(p.staged.fd.get(), &made) != 0) {
    const OsError e = OsError::fromErrno("fstat");
    discard(p.staged);
    return e;
  }
  p.device = made.st_dev;
  p.inode = made.st_ino;
  return {};
}

// A copy waits unnamed in the open batch until its contents are flushed, so
// that even a power cut never leaves a short file under a name.
OsError DestinationFolder::addToBatch(Pending p) {
  if (pending_.empty()) batchStart_ = syscalls().monotonicMilliseconds();
  pendingBytes_ += static_cast<uint64_t>(p.copied.st_size);
  pending_.push_back(std::move(p));
  if (batchFull()) return flush();
  return {};
}

// A link that leads nowhere is copied as the link itself.
OsError DestinationFolder::copyLink(const std::string& from, std::string name,
                                    const NameSource& names) {
  if (OsError e = makeLink(from, name, names)) return e;
  struct stat made {};
  if (syscalls().fstatat(dir_.get(), name.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0) return {};
  report(true, from, name, made, made.st_dev, made.st_ino);
  return {};
}

bool DestinationFolder::batchFull() const {
  return pending_.size() >= std::min(limits_.files, fileBudget_) ||
         pendingBytes_ >= limits_.bytes ||
         syscalls().monotonicMilliseconds() - batchStart_ >= limits_.milliseconds;
}

// Takes back a copy whose source stays, unless its name has been taken by
// another file meanwhile.
void DestinationFolder::removeCopy(const Pending& p) {
  struct stat st {};
  if (syscalls().fstatat(dir_.get(), p.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      st.st_dev == p.device && st.st_ino == p.inode)
    syscalls().unlinkAt(dir_.get(), p.name.c_str(), 0);
}

OsError DestinationFolder::settle() {
  OsError error = flush();
  // The names given by that flush reach the disk with one more.
  if (!named_.empty()) {
    OsError e = flush();
    if (!error) error = std::move(e);
  }
  return error;
}

// One flush of the destination makes the open batch's contents durable,
// and the names given at the flush before: those sources may go now. Then
// the open batch gets its names; a copy is done with that, a move's name
// is made durable by the next flush before its source goes.
OsError DestinationFolder::flush() {
  if (pending_.empty() && named_.empty()) return {};
  OsError error = checkFolder();
  if (!error && syscalls().syncfs(dir_.get()) != 0) error = OsError::fromErrno("syncfs", path_);
  if (error) {
    // Nothing is known to be on disk: every source stays, alone.
    dropUnsettled();
    pendingBytes_ = 0;
    return error;
  }
  std::vector<Pending> batch = std::move(pending_);
  std::vector<Pending> earlier = std::move(named_);
  pending_.clear();
  named_.clear();
  pendingBytes_ = 0;

  error = removeSources(earlier);
  std::vector<Pending> durable;  // links made before the flush
  for (Pending& p : batch) {
    if (p.linked) {
      durable.push_back(std::move(p));
    } else if (error) {
      // The files after a failure are dropped; their sources stay.
      discard(p.staged);
    } else if (OsError e = link(p.staged, p.name, p.names)) {
      error = std::move(e);
      discard(p.staged);
    } else if (p.copy) {
      p.staged.fd.reset();
      report(true, p.source, p.name, p.copied, p.device, p.inode);
    } else {
      p.linked = true;
      p.staged.fd.reset();
      named_.push_back(std::move(p));
    }
  }
  OsError e = removeSources(durable);
  return error ? error : e;
}

// Removes the sources of copies that are on disk under their names, each
// only if its name still names the very file that was copied.
OsError DestinationFolder::removeSources(const std::vector<Pending>& done) {
  OsError error;
  for (const Pending& p : done) {
    struct stat now {};
    if (syscalls().lstat(p.source.c_str(), &now) != 0) {
      // Somebody else removed the source meanwhile: the copy is now the
      // only one, so it stays.
      if (errno == ENOENT) {
        report(false, p.source, p.name, p.copied, p.device, p.inode);
        continue;
      }
      if (!error) error = OsError::fromErrno("lstat", p.source);
      removeCopy(p);
      continue;
    }
    // A newer file under the source's name: both stay, the file failed.
    if (!sameFile(now, p.copied)) {
      if (!error) error = OsError(EAGAIN, "lstat", p.source);
      continue;
    }
    if (syscalls().unlink(p.source.c_str()) != 0 && errno != ENOENT) {
      if (!error) error = OsError::fromErrno("unlink", p.source);
      removeCopy(p);
      continue;
    }
    report(false, p.source, p.name, p.copied, p.device, p.inode);
  }
  return error;
}

void DestinationFolder::report(bool copied, const std::string& source, const std::string& name,
                               const struct stat& contents, uint64_t device, uint64_t inode) {
  if (!completion_) return;
  completion_(TransferredFile{copied, source, name, static_cast<int64_t>(contents.st_size),
                              contents.st_mtim, device, inode});
}

}  // namespace msifter::platform
