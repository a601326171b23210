// Settling a journal that its writer left open: each file planned or being
// undone is looked at where the journal says it may be, and what is found
// there is written down. Nothing is ever removed that the program did not
// make: only a second name or a copy of a file that is still whole at the
// place it came from.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "journal_file.h"

namespace msifter::engine::detail {

namespace {

using platform::syscalls;
using platform::UniqueFd;

struct Look {
  bool there = false;
  bool unknown = false;  // the look itself failed: nothing can be told now
  struct stat st {};
};

Look look(const std::string& path) {
  Look l;
  if (syscalls().lstat(path.c_str(), &l.st) == 0) {
    l.there = true;
  } else {
    l.unknown = errno != ENOENT && errno != ENOTDIR;
  }
  return l;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool sameTime(const struct stat& st, int64_t seconds, int32_t nanoseconds) {
  return st.st_mtim.tv_sec == seconds && st.st_mtim.tv_nsec == nanoseconds;
}

// The file at a path is the one the journal recorded: its size and time,
// and its inode where the transfer kept it (a rename within one file system).
bool asRecorded(const struct stat& st, int64_t size, int64_t seconds, int32_t nanoseconds,
                uint64_t device, uint64_t inode) {
  return st.st_size == size && sameTime(st, seconds, nanoseconds) &&
         (st.st_dev != device || st.st_ino == inode);
}

bool emptyFolder(const std::string& path) {
  const int fd = syscalls().open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  DIR* listing = fd < 0 ? nullptr : syscalls().fdopendir(fd);
  if (listing == nullptr) {
    if (fd >= 0) syscalls().close(fd);
    return false;
  }
  bool empty = true;
  while (const dirent* d = syscalls().readdir(listing)) {
    const std::string_view name = d->d_name;
    if (name != "." && name != "..") {
      empty = false;
      break;
    }
  }
  syscalls().closedir(listing);
  return empty;
}

// The folder at `path` is the root of a file system mounted there now.
bool mountedAt(const std::string& path) {
  struct stat here {
  }, above{};
  if (syscalls().lstat(path.c_str(), &here) != 0 || !S_ISDIR(here.st_mode)) return false;
  return path == "/" ||
         (syscalls().lstat(folderOf(path).c_str(), &above) == 0 && above.st_dev != here.st_dev);
}

// A source not seen at its path is gone from it only where its folder is
// the one the run took it from: not the bare mount point of a card taken
// out. A file system mounted again may come back under another device
// number: its root, as the run found it, is then mounted again, and holds
// the folder. (A journal without its roots: an empty folder on another file
// system counts as a mount point left bare.)
bool sourceFolderThere(const std::string& source, uint64_t device, const MountRoots& mounts) {
  const std::string folder = folderOf(source);
  struct stat st {};
  if (syscalls().lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_dev == device) return true;
  const auto root = mounts.find(device);
  if (root == mounts.end()) return !emptyFolder(folder);
  struct stat rootNow {};
  return mountedAt(root->second) && syscalls().lstat(root->second.c_str(), &rootNow) == 0 &&
         rootNow.st_dev == st.st_dev;
}

IntentOutcome left(const TransferIntent& i, LeftAs how) {
  IntentOutcome o;
  o.line = outcomeLine(i.number, how);
  o.how = how;
  return o;
}

IntentOutcome transferred(const TransferIntent& i, const struct stat& made,
                          const std::string& base) {
  IntentOutcome o;
  o.transferred = true;
  o.done = TransferredFile{i.copy ? TransferredFile::Kind::Copied : TransferredFile::Kind::Moved,
                           i.source,
                           i.destination,
                           i.size,
                           i.modifiedSeconds,
                           i.modifiedNanoseconds,
                           static_cast<uint64_t>(made.st_dev),
                           static_cast<uint64_t>(made.st_ino),
                           i.number};
  o.line = fileLine(i.number, o.done, base);
  return o;
}

// Removes `path` only while it is still the file that was looked at.
bool removeLooked(const std::string& path, const struct stat& looked) {
  struct stat now {};
  if (syscalls().lstat(path.c_str(), &now) != 0 || now.st_dev != looked.st_dev ||
      now.st_ino != looked.st_ino)
    return false;
  return syscalls().unlink(path.c_str()) == 0 || errno == ENOENT;
}

// A moved file found at both its source and its new path.
IntentOutcome bothThere(const TransferIntent& i, const Look& source, const Look& made) {
  // A second name made by a move without atomic renames, cut short: the new one goes.
  const bool secondName = source.st.st_dev == made.st.st_dev && source.st.st_ino == made.st.st_ino;
  // The run's own copy of a source that is still whole: the copy goes, so
  // that the file is in one place again and only what the run made is taken.
  const bool ownCopy =
      !secondName &&
      asRecorded(source.st, i.size, i.modifiedSeconds, i.modifiedNanoseconds, i.device, i.inode) &&
      S_ISREG(made.st.st_mode) && made.st.st_size == i.size &&
      sameTime(made.st, i.modifiedSeconds, i.modifiedNanoseconds) &&
      sameBytes(i.source, i.destination);
  if (!secondName && !ownCopy) return left(i, LeftAs::BothKept);
  if (!removeLooked(i.destination, made.st)) return {};
  return left(i, LeftAs::CopyDropped);
}

}  // namespace

bool sameBytes(const std::string& a, const std::string& b) {
  const UniqueFd fa(syscalls().open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  const UniqueFd fb(syscalls().open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  if (!fa.valid() || !fb.valid()) return false;
  constexpr std::size_t kChunk = 1 << 16;
  std::vector<char> x(kChunk), y(kChunk);
  const auto fill = [](int fd, char* buffer) {
    std::size_t got = 0;
    while (got < kChunk) {
      const ssize_t n = syscalls().read(fd, buffer + got, kChunk - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  };
  for (;;) {
    const std::size_t n = fill(fa.get(), x.data());
    if (n != fill(fb.get(), y.data()) || !std::equal(x.begin(), x.begin() + n, y.begin()))
      return false;
    if (n < kChunk) return true;
  }
}

IntentOutcome settleIntent(const TransferIntent& i, const std::string& base,
                           const MountRoots& mounts) {
  const Look made = look(i.destination);
  if (made.unknown) return {};
  if (i.copy) {
    // A copy is named only once it is whole.
    if (!made.there) return left(i, LeftAs::Untouched);
    if (S_ISLNK(made.st.st_mode) ||
        asRecorded(made.st, i.size, i.modifiedSeconds, i.modifiedNanoseconds, 0, 0))
      return transferred(i, made.st, base);
    return left(i, LeftAs::NotAsRecorded);
  }
  const Look source = look(i.source);
  if (source.unknown) return {};
  if (source.there && made.there) return bothThere(i, source, made);
  if (source.there) return left(i, LeftAs::Untouched);
  if (!sourceFolderThere(i.source, i.device, mounts)) return {};
  if (!made.there) return left(i, LeftAs::Missing);
  if (asRecorded(made.st, i.size, i.modifiedSeconds, i.modifiedNanoseconds, i.device, i.inode))
    return transferred(i, made.st, base);
  return left(i, LeftAs::NotAsRecorded);
}

std::string settleUndoing(const JournalEntry& e, const MountRoots& mounts) {
  const TransferredFile& f = e.file;
  const Look made = look(f.destination);
  if (made.unknown) return {};
  if (f.kind == TransferredFile::Kind::Copied)
    return made.there ? notUndoneLine(e.number) : undoneLine(e.number);
  const Look back = look(f.source);
  if (back.unknown) return {};
  const bool asMoved = back.there && asRecorded(back.st, f.size, f.modifiedSeconds,
                                                f.modifiedNanoseconds, f.device, f.inode);
  if (back.there && made.there) {
    // Undo's own second name, or its own copy of a file still whole at the
    // new path: taken away, the file stays where the run put it.
    const bool own = (back.st.st_dev == made.st.st_dev && back.st.st_ino == made.st.st_ino) ||
                     (asMoved && S_ISREG(back.st.st_mode) && sameBytes(f.source, f.destination));
    if (own && !removeLooked(f.source, back.st)) return {};
    return notUndoneLine(e.number);
  }
  if (back.there) return asMoved ? undoneLine(e.number) : notUndoneLine(e.number);
  if (!made.there && !sourceFolderThere(f.source, f.device, mounts)) return {};
  return notUndoneLine(e.number);
}

int settleRun(OpenedRun& run) {
  // A line cut short would swallow the first line added.
  if (run.wholeLines != run.size && syscalls().ftruncate(run.fd.get(), run.wholeLines) != 0)
    return errno;
  JournalFile file(run.fd.get(), run.wholeLines, false);
  int64_t files = run.record.summary.files;
  int64_t bytes = run.record.summary.bytes;
  bool pending = false;
  for (const auto& [number, intent] : run.open.intents) {
    const IntentOutcome o = settleIntent(intent, "", run.open.mounts);
    pending |= o.line.empty();
    file.add(o.line);
    if (o.transferred) {
      ++files;
      bytes += o.done.size;
    }
  }
  for (const int64_t number : run.open.undoing) {
    const auto entry = std::find_if(run.record.entries.begin(), run.record.entries.end(),
                                    [number](const JournalEntry& e) { return e.number == number; });
    const std::string line = entry == run.record.entries.end()
                                 ? notUndoneLine(number)
                                 : settleUndoing(*entry, run.open.mounts);
    pending |= line.empty();
    file.add(line);
  }
  if (!run.open.ended) file.add(endedLine(syscalls().now(), files, bytes, RunEnd::Interrupted));
  if (int e = file.sync()) return e;
  // Closed only once all that is on disk: a journal read as closed is never
  // looked at again.
  if (!pending) {
    file.add(kClosedLine);
    if (int e = file.sync()) return e;
  }
  const bool damaged = run.record.summary.damaged;
  if (int e = rereadRun(run)) return e;
  run.record.summary.damaged |= damaged;
  return 0;
}

}  // namespace msifter::engine::detail
