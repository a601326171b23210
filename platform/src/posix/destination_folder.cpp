// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/destination_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "platform/folder_levels.h"
#include "platform/mounts.h"
#include "platform/source_tree.h"
#include "posix/destination_folder_impl.h"
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

// File systems that write a rename, both folders' entries of it, in one
// journal commit, which a flush of either folder forces: there a batch of
// renames needs no flush of the whole file system, whose other writers'
// data would hold it up.
bool renamesInOneCommit(int dirFd) {
  constexpr long kExt4 = 0xEF53;
  constexpr long kXfs = 0x58465342;
  struct statfs fs {};
  return syscalls().fstatfs(dirFd, &fs) == 0 &&
         (static_cast<long>(fs.f_type) == kExt4 || static_cast<long>(fs.f_type) == kXfs);
}

// A source whose folder cannot be written to (a card locked or mounted
// read-only, a folder of another user) could not be removed after its copy:
// seen before anything is copied.
OsError removable(const SourceFile& from) {
  if (syscalls().accessAt(from.at(), ".", W_OK, 0) == 0) return {};
  if (errno != EROFS && errno != EACCES && errno != EPERM) return {};
  return OsError::fromErrno("faccessat", from.folder->path());
}

}  // namespace

DestinationFolder::NameSource onlyName(const std::string& name) {
  return [name, given = false]() mutable {
    if (given) return std::string();
    given = true;
    return name;
  };
}

DestinationFolder::Impl::Impl() = default;

DestinationFolder::Impl::~Impl() { dropUnsettled(); }

// Takes back every copy whose source is still there. A rename, and a copy
// whose source is gone, stay as they are, unreported.
void DestinationFolder::Impl::dropUnsettled() {
  for (Pending& p : batch_) {
    if (p.step == Step::Staged) {
      discard(p.staged);
    } else if (p.step == Step::Named && !p.keep) {
      removeCopy(p);
      takeBackSecond(p);
    }
  }
  batch_.clear();
  openFiles_ = 0;
  heldFolders_ = 0;
  lastHeld_ = nullptr;
}

OsError DestinationFolder::Impl::open(const std::string& folder) {
  UniqueFd opened(syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!opened.valid()) return OsError::fromErrno("open", folder);
  return adopt(std::move(opened), folder);
}

OsError DestinationFolder::Impl::open(UniqueFd opened, const std::string& folder) {
  if (!opened.valid()) return OsError(EBADF, "open", folder);
  return adopt(std::move(opened), folder);
}

OsError DestinationFolder::Impl::adopt(UniqueFd opened, const std::string& folder) {
  dir_ = std::move(opened);
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
  renamesInOneCommit_ = renamesInOneCommit(dir_.get());
  return {};
}

// The path still names the folder that was opened: not removed, renamed,
// unmounted or replaced (by another folder or a link elsewhere).
OsError DestinationFolder::Impl::checkFolder() const {
  if (!dir_.valid()) return OsError(EBADF, "stat", path_);
  struct stat st {};
  if (syscalls().stat(path_.c_str(), &st) != 0) return OsError::fromErrno("stat", path_);
  if (st.st_dev == device_ && st.st_ino == inode_) return {};
  return OsError(ENOTDIR, "stat", path_);
}

// Best effort: a temporary that cannot be looked at stays for a later run.
// Only names that carry our check go: a user's file that merely looks like
// a temporary is the user's.
void DestinationFolder::Impl::removeStaleTemporaries() {
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

OsError DestinationFolder::Impl::stage(int in, const struct stat& source, Staged& out) {
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
bool DestinationFolder::Impl::flushEachFile() {
  if (!flushEachFile_) flushEachFile_ = !fileSystemKeepsOf(dir_.get(), device_).syncfs;
  return *flushEachFile_;
}

void DestinationFolder::Impl::discard(Staged& staged) {
  if (!staged.tempName.empty()) syscalls().unlinkAt(dir_.get(), staged.tempName.c_str(), 0);
  staged.tempName.clear();
  staged.fd.reset();
}

// Gives the staged file its name; a taken name is never replaced, the next
// one is tried.
OsError DestinationFolder::Impl::link(Staged& staged, std::string& name, const NameSource& names) {
  for (;;) {
    OsError e;
    if (staged.tempName.empty()) {
      const std::string self = "/proc/self/fd/" + std::to_string(staged.fd.get());
      const At to = at(name);
      if (syscalls().linkAt(AT_FDCWD, self.c_str(), to.fd, to.name, AT_SYMLINK_FOLLOW) != 0) {
        e = OsError::fromErrno("linkat");
        // Without /proc: the descriptor itself, where the capability allows.
        if (e.code() == ENOENT &&
            syscalls().linkAt(staged.fd.get(), "", to.fd, to.name, AT_EMPTY_PATH) == 0)
          e = {};
        else if (e.code() == ENOENT && errno == EEXIST)
          e = OsError(EEXIST, "linkat");
      }
    } else {
      const At to = at(name);
      e = renameNoReplaceAt(dir_.get(), staged.tempName.c_str(), to.fd, to.name);
      if (!e) staged.tempName.clear();
    }
    if (!e && flushEachFile()) return flushNamed(staged, name);
    if (!e.nameTaken()) return e;
    name = names();
    if (name.empty()) return e;
  }
}

bool DestinationFolder::Impl::taken(const std::string& name) {
  const std::hash<std::string_view> hash;
  const auto slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash);
  const At place = at(name);
  // A folder not made yet holds nothing.
  if (place.fd < 0) return false;
  auto [listing, first] = listings_.try_emplace(folder);
  if (first) {
    // A folder that cannot be listed has every name looked at instead.
    listing->second.lookAtEach = static_cast<bool>(forEachEntry(
        place.fd, [&](const dirent& d) { listing->second.names.insert(hash(d.d_name)); }));
  }
  if (!listing->second.lookAtEach && !listing->second.names.contains(hash(place.name)))
    return false;
  struct stat st {};
  return syscalls().fstatat(place.fd, place.name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

DestinationFolder::Impl::At DestinationFolder::Impl::at(const std::string& name) const {
  // Asked twice for every file of a run: memrchr reads the name a word at a time.
  const auto* slash = static_cast<const char*>(memrchr(name.data(), '/', name.size()));
  if (slash == nullptr) return {dir_.get(), name.c_str()};
  const auto length = static_cast<std::size_t>(slash - name.data());
  return {folderFd(name.substr(0, length)), slash + 1};
}

// Opened beneath this folder, no link followed on the way, when it was let
// go or not opened yet.
int DestinationFolder::Impl::folderFd(const std::string& folder) const {
  if (folder.empty()) return dir_.get();
  if (const auto open = below_.find(folder); open != below_.end()) return open->second.get();
  UniqueFd fd;
  if (openFolderBeneath(dir_.get(), folder, fd)) return -1;
  return below_.emplace(folder, std::move(fd)).first->second.get();
}

OsError DestinationFolder::Impl::missingFolders(const std::string& folder,
                                                std::vector<std::string>& missing) {
  return walkFolders(folder, false, &missing);
}

OsError DestinationFolder::Impl::makeFolders(const std::string& folder) {
  return walkFolders(folder, true, nullptr);
}

// Level by level from this folder down, each opened beneath the one above.
OsError DestinationFolder::Impl::walkFolders(const std::string& folder, bool make,
                                             std::vector<std::string>* missing) {
  // A run over years of photos meets many folders: their descriptors are
  // let go in between, never while a call holds one.
  if (below_.size() > 256) below_.clear();
  int parent = dir_.get();
  for (std::size_t end = 0; end != std::string::npos;) {
    end = folder.find('/', end + 1);
    const std::string level = folder.substr(0, end);
    if (const auto open = below_.find(level); open != below_.end()) {
      parent = open->second.get();
      continue;
    }
    const auto slash = level.rfind('/');
    const std::string name = slash == std::string::npos ? level : level.substr(slash + 1);
    UniqueFd fd;
    bool made = false;
    if (OsError e = openFolderLevel(parent, name, make, fd, made)) {
      if (e.code() != ENOENT || make) return OsError(e.code(), e.operation(), level);
      // Missing: so is every level below it.
      for (; end != std::string::npos; end = folder.find('/', end + 1))
        missing->push_back(folder.substr(0, end));
      missing->push_back(folder);
      return {};
    }
    // Made now, it holds no names yet.
    if (made) listings_.try_emplace(level);
    parent = below_.emplace(level, std::move(fd)).first->second.get();
  }
  return {};
}

// Where each file is flushed on its own (FUSE), its new name reaches the
// disk with it. A name that cannot be flushed is taken back: the file stays
// unnamed and fails. FAT through FUSE stamps a renamed file with the present,
// so its times are given again first.
OsError DestinationFolder::Impl::flushNamed(Staged& staged, const std::string& name) {
  OsError e;
  if (syscalls().futimens(staged.fd.get(), staged.times) != 0)
    e = OsError::fromErrno("futimens", path_);
  else if (syscalls().fsync(staged.fd.get()) == 0)
    return {};
  else
    e = OsError::fromErrno("fsync", path_);
  const At named = at(name);
  syscalls().unlinkAt(named.fd, named.name, 0);
  return e;
}

// Skips names that are plainly taken before anything is copied; the link
// still refuses a name taken meanwhile.
OsError DestinationFolder::Impl::firstFreeName(std::string& name, const NameSource& names) const {
  for (;;) {
    if (name.empty()) return OsError(EEXIST, "fstatat");
    struct stat st {};
    const At place = at(name);
    if (syscalls().fstatat(place.fd, place.name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      return errno == ENOENT ? OsError() : OsError::fromErrno("fstatat");
    name = names();
  }
}

OsError DestinationFolder::Impl::failed(OsError error, const std::string& source) {
  failedSource_ = source;
  failureKeptCopy_ = false;
  failedInSecond_ = false;
  return error;
}

OsError DestinationFolder::Impl::move(const std::string& from, const NameSource& names) {
  SourceFile source;
  if (OsError e = sources_->reach(from, source)) return failed(std::move(e), from);
  std::string name = names();
  for (;;) {
    if (name.empty()) return failed(OsError(EEXIST, "renameat2", from), from);
    const At to = at(name);
    OsError e = renameNoReplaceAt(source.at(), source.name.c_str(), to.fd, to.name);
    if (!e) return renamed(std::move(source), std::move(name));
    if (e.code() == EXDEV) {
      struct stat entry {};
      if (syscalls().fstatat(source.at(), source.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(OsError::fromErrno("fstatat", from), from);
      // Listed as a file, a folder by its turn: its tree was never searched.
      if (S_ISDIR(entry.st_mode)) return failed(OsError(EISDIR, "fstatat", from), from);
      return moveAcross(std::move(source), entry, std::move(name), names);
    }
    if (!e.nameTaken()) return failed(std::move(e), from);
    name = names();
  }
}

// A file renamed into the folder, looked at under its new name (a short
// look, where the source's path is a long one). A folder that took a listed
// file's place is never moved: it goes straight back.
OsError DestinationFolder::Impl::renamed(SourceFile from, std::string name) {
  // Made in its place in the batch: a rename is the run's commonest step.
  Pending& p = batch_.emplace_back();
  p.tag = nextTag_;
  p.step = Step::Renamed;
  p.source = std::move(from);
  p.name = std::move(name);
  OsError e;
  const At place = at(p.name);
  if (syscalls().fstatat(place.fd, place.name, &p.copied, AT_SYMLINK_NOFOLLOW) != 0)
    e = OsError::fromErrno("fstatat", p.name);
  else if (S_ISDIR(p.copied.st_mode))
    e = OsError(EISDIR, "renameat2", p.source.path());
  if (e) {
    renameBack(p);
    const std::string path = p.source.path();
    batch_.pop_back();
    return failed(std::move(e), path);
  }
  p.device = p.copied.st_dev;
  p.inode = p.copied.st_ino;
  named(p);
  return added();
}

OsError DestinationFolder::Impl::moveAcross(SourceFile from, const struct stat& entry,
                                            std::string name, const NameSource& names) {
  if (OsError e = removable(from)) return failed(std::move(e), from.path());
  Pending p;
  p.tag = nextTag_;
  p.source = std::move(from);
  p.names = names;
  const SourceFile& source = p.source;
  if (S_ISLNK(entry.st_mode)) {
    if (OsError e = moveLinkAcross(entry, std::move(name), p))
      return failed(std::move(e), source.path());
  } else if (!S_ISREG(entry.st_mode)) {
    // Pipes, sockets and devices are not copied between file systems.
    return failed(OsError(EXDEV, "renameat2", source.path()), source.path());
  } else {
    if (OsError e = firstFreeName(name, names)) return failed(std::move(e), source.path());
    // Not following: a link that replaced the file by now is not what was listed.
    UniqueFd in(syscalls().openAt(source.at(), source.name.c_str(),
                                  O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0));
    if (!in.valid()) return failed(OsError::fromErrno("openat", source.path()), source.path());
    if (syscalls().fstat(in.get(), &p.copied) != 0)
      return failed(OsError::fromErrno("fstat", source.path()), source.path());
    if (!S_ISREG(p.copied.st_mode))
      return failed(OsError(S_ISDIR(p.copied.st_mode) ? EISDIR : EXDEV, "openat", source.path()),
                    source.path());
    p.linkToCopy = linkToEarlierCopy(p);
    if (!p.linkToCopy) {
      if (OsError e = stageCopy(in.get(), p)) return failed(std::move(e), source.path());
    }
    p.name = std::move(name);
  }
  return addToBatch(std::move(p));
}

// Another name of a source whose copy this folder has, unchanged since: it
// becomes a second name of that copy, as mv keeps hard links.
bool DestinationFolder::Impl::linkToEarlierCopy(Pending& p) const {
  if (p.copy || p.copied.st_nlink < 2) return false;
  const auto earlier = copiesOf_.find({p.copied.st_dev, p.copied.st_ino});
  return earlier != copiesOf_.end() && earlier->second.size == p.copied.st_size &&
         earlier->second.modified.tv_sec == p.copied.st_mtim.tv_sec &&
         earlier->second.modified.tv_nsec == p.copied.st_mtim.tv_nsec;
}

// A link like the one at `from`, under the first free name.
OsError DestinationFolder::Impl::makeLink(const SourceFile& from, std::string& name,
                                          const NameSource& names) {
  std::string target;
  if (OsError e = readLinkAt(from.at(), from.name.c_str(), target)) return e;
  for (;;) {
    if (name.empty()) return OsError(EEXIST, "symlinkat");
    const At place = at(name);
    if (syscalls().symlinkAt(target.c_str(), place.fd, place.name) == 0) return {};
    if (errno != EEXIST) return OsError::fromErrno("symlinkat");
    name = names();
  }
}

// A link is made anew at once, owner and times as mv keeps them: it has no
// contents that could be cut short. Its source goes with the batch.
OsError DestinationFolder::Impl::moveLinkAcross(const struct stat& entry, std::string name,
                                                Pending& out) {
  if (OsError e = makeLink(out.source, name, out.names)) return e;
  out.copied = entry;
  out.name = std::move(name);
  out.step = Step::Named;
  const struct timespec times[2] = {entry.st_atim, entry.st_mtim};
  struct stat made {};
  OsError e;
  const At place = at(out.name);
  if (syscalls().fchownAt(place.fd, place.name, entry.st_uid, entry.st_gid, AT_SYMLINK_NOFOLLOW) !=
          0 &&
      errno != EPERM)
    e = OsError::fromErrno("fchownat");
  if (!e && syscalls().utimensAt(place.fd, place.name, times, AT_SYMLINK_NOFOLLOW) != 0)
    e = OsError::fromErrno("utimensat");
  if (!e && syscalls().fstatat(place.fd, place.name, &made, AT_SYMLINK_NOFOLLOW) != 0)
    e = OsError::fromErrno("fstatat");
  if (e) {
    syscalls().unlinkAt(place.fd, place.name, 0);
    return e;
  }
  out.device = made.st_dev;
  out.inode = made.st_ino;
  named(out);
  return {};
}

OsError DestinationFolder::Impl::copy(const std::string& from, const NameSource& names) {
  SourceFile source;
  if (OsError e = sources_->reach(from, source)) return failed(std::move(e), from);
  std::string name = names();
  UniqueFd in(
      syscalls().openAt(source.at(), source.name.c_str(),
                        O_RDONLY | O_CLOEXEC | O_NONBLOCK | (linksAsLinks_ ? O_NOFOLLOW : 0), 0));
  if (!in.valid()) {
    const OsError e = OsError::fromErrno("openat", from);
    struct stat entry {};
    if ((e.code() == ENOENT || (linksAsLinks_ && e.code() == ELOOP)) &&
        syscalls().fstatat(source.at(), source.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(entry.st_mode))
      return copyLink(std::move(source), std::move(name), names);
    return failed(e, from);
  }
  Pending p;
  p.tag = nextTag_;
  p.copy = true;
  p.source = std::move(source);
  p.names = names;
  if (syscalls().fstat(in.get(), &p.copied) != 0)
    return failed(OsError::fromErrno("fstat", from), from);
  if (!S_ISREG(p.copied.st_mode))
    return failed(OsError(S_ISDIR(p.copied.st_mode) ? EISDIR : EINVAL, "open", from), from);
  if (OsError e = firstFreeName(name, names)) return failed(std::move(e), from);
  if (OsError e = stageCopy(in.get(), p)) return failed(std::move(e), from);
  p.name = std::move(name);
  return addToBatch(std::move(p));
}

// The contents of `in` (as `p.copied` describes it) into a new unnamed file,
// whose identity `p` keeps.
OsError DestinationFolder::Impl::stageCopy(int in, Pending& p) {
  if (OsError e = stage(in, p.copied, p.staged)) return e;
  struct stat made {};
  if (syscalls().fstat(p.staged.fd.get(), &made) != 0) {
    const OsError e = OsError::fromErrno("fstat");
    discard(p.staged);
    return e;
  }
  p.device = made.st_dev;
  p.inode = made.st_ino;
  if (!p.copy && p.copied.st_nlink > 1)
    copiesOf_[{p.copied.st_dev, p.copied.st_ino}] = {"", p.copied.st_size, p.copied.st_mtim};
  return {};
}

// A link that leads nowhere is copied as the link itself, named at once; its
// name is made durable with the batch.
OsError DestinationFolder::Impl::copyLink(SourceFile from, std::string name,
                                          const NameSource& names) {
  if (OsError e = makeLink(from, name, names)) return failed(std::move(e), from.path());
  Pending p;
  p.tag = nextTag_;
  p.step = Step::Named;
  p.copy = true;
  p.source = std::move(from);
  p.name = std::move(name);
  const At place = at(p.name);
  if (syscalls().fstatat(place.fd, place.name, &p.copied, AT_SYMLINK_NOFOLLOW) != 0) {
    const OsError e = OsError::fromErrno("fstatat");
    syscalls().unlinkAt(place.fd, place.name, 0);
    return failed(e, p.source.path());
  }
  p.device = p.copied.st_dev;
  p.inode = p.copied.st_ino;
  named(p);
  return addToBatch(std::move(p));
}

OsError DestinationFolder::Impl::addToBatch(Pending p) {
  if (batch_.capacity() == 0) batch_.reserve(std::min<std::size_t>(limits_.files, 1024));
  batch_.push_back(std::move(p));
  return added();
}

// The batch's last file joins it; the batch is settled when full.
OsError DestinationFolder::Impl::added() {
  const Pending& p = batch_.back();
  if (added_ == 0) batchStart_ = syscalls().monotonicMilliseconds();
  ++added_;
  if (p.step != Step::Renamed) ++copied_;
  if (p.step == Step::Staged) {
    pendingBytes_ += static_cast<uint64_t>(p.copied.st_size);
    if (p.staged.fd.valid()) ++openFiles_;
  }
  if (p.source.folder.get() != lastHeld_) {
    lastHeld_ = p.source.folder.get();
    ++heldFolders_;
  }
  if (batchFull()) return flush();
  return {};
}

// The source folders the batch holds open; the files of one folder come
// one after another, so a change of folder is a folder more (or one counted
// twice, which only ends the batch sooner).
void DestinationFolder::Impl::countHeldFolders() {
  heldFolders_ = 0;
  lastHeld_ = nullptr;
  for (const Pending& p : batch_) {
    if (p.source.folder.get() == lastHeld_) continue;
    lastHeld_ = p.source.folder.get();
    ++heldFolders_;
  }
}

// The clock is looked at for every copy, and every 64th rename (a rename
// takes microseconds).
bool DestinationFolder::Impl::batchFull() const {
  const bool lookAtClock = openFiles_ > 0 || pendingBytes_ > 0 || added_ % 64 == 0;
  return copied_ >= limits_.files || added_ - copied_ >= limits_.renames ||
         openFiles_ + heldFolders_ >= fileBudget_ || pendingBytes_ >= limits_.bytes ||
         (lookAtClock && syscalls().monotonicMilliseconds() - batchStart_ >= limits_.milliseconds);
}

// Takes back a copy whose source stays, unless its name has been taken by
// another file meanwhile.
void DestinationFolder::Impl::removeCopy(const Pending& p) {
  struct stat st {};
  const At place = at(p.name);
  if (syscalls().fstatat(place.fd, place.name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      st.st_dev == p.device && st.st_ino == p.inode)
    syscalls().unlinkAt(place.fd, place.name, 0);
}

// A rename taken back, never over a file that took the old name meanwhile.
// One that cannot be taken back stays moved (its journal finds it there).
void DestinationFolder::Impl::renameBack(const Pending& p) {
  struct stat st {};
  const At place = at(p.name);
  if (syscalls().fstatat(place.fd, place.name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      st.st_dev != p.device || st.st_ino != p.inode)
    return;
  static_cast<void>(renameNoReplaceAt(place.fd, place.name, p.source.at(), p.source.name.c_str()));
}

// The files from `first` on leave the batch as if they had never been
// handed over, as far as that can be: the run ends before them.
void DestinationFolder::Impl::rollBackFrom(std::size_t first) {
  for (std::size_t i = first; i < batch_.size(); ++i) {
    Pending& p = batch_[i];
    switch (p.step) {
      case Step::Staged: discard(p.staged); break;
      case Step::Named:
        if (!p.keep) {
          removeCopy(p);
          takeBackSecond(p);
        }
        break;
      case Step::Renamed:
        renameBack(p);
        takeBackSecond(p);
        break;
      // The copy is the only one now.
      case Step::SourceGone: break;
    }
  }
  batch_.erase(batch_.begin() + static_cast<std::ptrdiff_t>(first), batch_.end());
  countHeldFolders();
}

OsError DestinationFolder::Impl::settle() {
  OsError error;
  while (!batch_.empty()) {
    OsError e = flush();
    if (e && !error) error = std::move(e);
  }
  return error;
}

// One flush puts on disk what the batch's files did since the last one:
// contents, names and renames in the destination's file system (syncfs:
// renames also touched their source folders, on the same file system; or,
// for renames alone where one commit holds them, a flush of the folder),
// and removed sources on theirs (one syncfs for each).
OsError DestinationFolder::Impl::makeDurable() {
  bool written = false, renamed = false;
  std::map<dev_t, int> removedFrom;  // a folder of each file system
  // The folders renames went into ("" for this one): each is flushed, where
  // that is enough. Files come folder by folder, so a repeat is mostly the
  // last one seen.
  std::vector<std::string_view> renamedInto;
  for (const Pending& p : batch_) {
    if (p.step == Step::SourceGone) {
      removedFrom.emplace(p.copied.st_dev, p.source.at());
    } else if (p.step == Step::Renamed) {
      renamed = true;
      const auto* slash = static_cast<const char*>(memrchr(p.name.data(), '/', p.name.size()));
      const std::string_view folder(
          p.name.data(), slash == nullptr ? 0 : static_cast<std::size_t>(slash - p.name.data()));
      if (renamedInto.empty() || renamedInto.back() != folder) renamedInto.push_back(folder);
    } else {
      written = true;
    }
  }
  if (!written && renamed && renamesInOneCommit_) {
    std::sort(renamedInto.begin(), renamedInto.end());
    renamedInto.erase(std::unique(renamedInto.begin(), renamedInto.end()), renamedInto.end());
    for (const std::string_view folder : renamedInto) {
      const int fd = folderFd(std::string(folder));
      if (syscalls().fsync(fd) != 0)
        return OsError::fromErrno("fsync",
                                  folder.empty() ? path_ : path_ + "/" + std::string(folder));
    }
  } else if ((written || renamed) && syscalls().syncfs(dir_.get()) != 0) {
    return OsError::fromErrno("syncfs", path_);
  }
  for (const auto& [device, folder] : removedFrom) {
    if (syscalls().syncfs(folder) != 0) return OsError::fromErrno("syncfs");
  }
  return {};
}

// One flush, then every file of the batch one step on: a file whose step
// is on disk now is complete, or takes its next step. A failure ends the
// batch at that file; the files before it go on at the next flush.
OsError DestinationFolder::Impl::flush() {
  added_ = 0;
  copied_ = 0;
  pendingBytes_ = 0;
  if (batch_.empty()) return {};
  OsError error = checkFolder();
  if (!error) error = makeDurable();
  if (error) {
    // Nothing of the batch is known to be on disk.
    failedSource_.clear();
    failureKeptCopy_ = false;
    failedInSecond_ = false;
    rollBackFrom(0);
    openFiles_ = 0;
    return error;
  }
  // A failure of a second copy has ended the batch at its file already.
  const OsError secondFailure = second_ != nullptr ? makeSecondCopies() : OsError();
  // Files complete in the order they came: a file waits for every file
  // before it, which may still fail and end the batch before it.
  bool earlierOpen = false;
  for (std::size_t i = 0; i < batch_.size(); ++i) {
    if (OsError e = advance(batch_[i], earlierOpen)) {
      error = failed(std::move(e), batch_[i].source.path());
      failureKeptCopy_ = batch_[i].keep;
      rollBackFrom(i);
      break;
    }
    earlierOpen |= !batch_[i].done;
  }
  if (!error) error = secondFailure;
  std::erase_if(batch_, [](const Pending& p) { return p.done; });
  openFiles_ = static_cast<std::size_t>(std::count_if(
      batch_.begin(), batch_.end(), [](const Pending& p) { return p.staged.fd.valid(); }));
  countHeldFolders();
  return error;
}

// The files whose new names are on disk now (a rename, a name) get their
// second copies before a source is removed or a file told complete.
OsError DestinationFolder::Impl::makeSecondCopies() {
  std::vector<NamedFile> files;
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < batch_.size(); ++i) {
    const Pending& p = batch_[i];
    if (p.secondMade || (p.step != Step::Renamed && p.step != Step::Named)) continue;
    files.push_back({p.name, p.tag});
    at.push_back(i);
  }
  if (files.empty()) return {};
  std::size_t made = 0;
  OsError e = second_->make(files, made);
  for (std::size_t k = 0; k < made && k < at.size(); ++k) batch_[at[k]].secondMade = true;
  if (!e) return {};
  const std::size_t first = made < at.size() ? at[made] : at.back();
  e = failed(std::move(e), batch_[first].source.path());
  failedInSecond_ = true;
  rollBackFrom(first);
  return e;
}

void DestinationFolder::Impl::takeBackSecond(const Pending& p) {
  if (second_ != nullptr && p.secondMade) second_->takeBack(p.tag);
}

OsError DestinationFolder::Impl::advance(Pending& p, bool earlierOpen) {
  switch (p.step) {
    case Step::Staged: return giveName(p);
    case Step::Named:
      if (!p.copy) return removeSource(p);
      break;
    case Step::Renamed:
    case Step::SourceGone: break;
  }
  if (!earlierOpen) {
    p.done = true;
    report(p);
  }
  return {};
}

// The copy's contents are on disk: it takes its name.
OsError DestinationFolder::Impl::giveName(Pending& p) {
  if (p.linkToCopy) return linkName(p);
  if (OsError e = link(p.staged, p.name, p.names)) return e;
  p.staged.fd.reset();
  p.step = Step::Named;
  if (!p.copy && p.copied.st_nlink > 1) {
    const auto earlier = copiesOf_.find({p.copied.st_dev, p.copied.st_ino});
    if (earlier != copiesOf_.end()) earlier->second.name = p.name;
  }
  named(p);
  return {};
}

// Another name of a copy made here; a folder without hard links (FAT, many
// FUSE file systems) gets a copy of its own, named at the next flush.
OsError DestinationFolder::Impl::linkName(Pending& p) {
  const auto earlier = copiesOf_.find({p.copied.st_dev, p.copied.st_ino});
  if (earlier == copiesOf_.end() || earlier->second.name.empty())
    return OsError(ENOENT, "linkat", p.source.path());
  for (;;) {
    const At from = at(earlier->second.name);
    const At to = at(p.name);
    if (syscalls().linkAt(from.fd, from.name, to.fd, to.name, 0) == 0) break;
    const OsError e = OsError::fromErrno("linkat");
    if (e.nameTaken() && !(p.name = p.names()).empty()) continue;
    if (e.code() != EPERM && e.code() != EMLINK && e.code() != EOPNOTSUPP && e.code() != ENOSYS)
      return e;
    p.linkToCopy = false;
    UniqueFd in(syscalls().openAt(p.source.at(), p.source.name.c_str(),
                                  O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0));
    if (!in.valid()) return OsError::fromErrno("openat", p.source.path());
    if (OsError staged = stage(in.get(), p.copied, p.staged)) return staged;
    struct stat made {};
    if (syscalls().fstat(p.staged.fd.get(), &made) != 0) return OsError::fromErrno("fstat");
    p.device = made.st_dev;
    p.inode = made.st_ino;
    return {};
  }
  struct stat made {};
  const At place = at(p.name);
  if (syscalls().fstatat(place.fd, place.name, &made, AT_SYMLINK_NOFOLLOW) != 0)
    return OsError::fromErrno("fstatat");
  p.device = made.st_dev;
  p.inode = made.st_ino;
  p.linkToCopy = false;
  p.step = Step::Named;
  named(p);
  return {};
}

// Still the file that was copied. Removing another name of a file changes
// the change time of the names it keeps: that is no rewrite.
bool DestinationFolder::Impl::unchangedSinceCopy(const struct stat& now, const Pending& p) const {
  if (sameFile(now, p.copied)) return true;
  return unlinkedNamesOf_.contains({now.st_dev, now.st_ino}) && now.st_dev == p.copied.st_dev &&
         now.st_ino == p.copied.st_ino && now.st_size == p.copied.st_size &&
         now.st_mtim.tv_sec == p.copied.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == p.copied.st_mtim.tv_nsec;
}

// The copy's name is on disk: its source goes, if it is still the very file
// that was copied.
OsError DestinationFolder::Impl::removeSource(Pending& p) {
  const SourceFile& source = p.source;
  struct stat now {};
  if (syscalls().fstatat(source.at(), source.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
    const OsError e = OsError::fromErrno("fstatat", source.path());
    // Gone by somebody else's hand: the copy is the only one left, and stays.
    if (e.code() == ENOENT) p.keep = true;
    return e;
  }
  // A newer file under the source's name: both stay, the file failed.
  if (!unchangedSinceCopy(now, p)) {
    p.keep = true;
    return OsError(EAGAIN, "fstatat", source.path());
  }
  if (syscalls().unlinkAt(source.at(), source.name.c_str(), 0) != 0) {
    const OsError e = OsError::fromErrno("unlinkat", source.path());
    if (e.code() == ENOENT) p.keep = true;
    return e;
  }
  if (now.st_nlink > 1) unlinkedNamesOf_.insert({now.st_dev, now.st_ino});
  p.step = Step::SourceGone;
  return {};
}

void DestinationFolder::Impl::named(const Pending& p) {
  if (naming_) naming_(p.tag, p.name);
}

void DestinationFolder::Impl::report(const Pending& p) {
  if (!completion_) return;
  reported_.assign(p.source.folder->path()).append(p.source.name);
  completion_(TransferredFile{p.copy, reported_, p.name, static_cast<int64_t>(p.copied.st_size),
                              p.copied.st_mtim, p.device, p.inode, p.tag});
}

}  // namespace msifter::platform
