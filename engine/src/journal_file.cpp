#include "journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_system.h"

namespace msifter::engine::detail {

namespace {

using platform::syscalls;
using platform::UniqueFd;

// XDG: a relative XDG_STATE_HOME is to be ignored.
std::string stateHome() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return state;
  const char* home = std::getenv("HOME");
  return home && *home ? std::string(home) + "/.local/state" : std::string();
}

bool validId(const std::string& id) {
  return !id.empty() && id.front() != '.' && id.find('/') == std::string::npos;
}

// Opens, locks and reads the journal of run `id`, without settling it.
int loadRun(int folderFd, const std::string& id, Access access, OpenedRun& out) {
  if (!validId(id)) return ENOENT;
  const std::string name = id + std::string(kSuffix);
  const int flags = access == Access::Undo ? O_RDWR : O_RDONLY;
  // Not blocking: a pipe put in a journal's place must not hang the look.
  out.fd = UniqueFd(
      syscalls().openAt(folderFd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
  if (!out.fd.valid()) return errno;
  struct stat st {};
  if (syscalls().fstat(out.fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  // The writer of a run, and an undo, hold the lock for as long as they write.
  const int lock = access == Access::Undo ? LOCK_EX : LOCK_SH;
  // A file system without locks cannot tell; the journal counts as free.
  const bool inUse = syscalls().flock(out.fd.get(), lock | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  if (inUse && access == Access::Undo) return EWOULDBLOCK;
  out.record.summary.id = id;
  out.record.summary.inUse = inUse;
  return rereadRun(out);
}

thread_local int folderLocksHeld = 0;

}  // namespace

int JournalFile::reserve(std::size_t bytes) {
  const off_t needed = end_ + static_cast<off_t>(bytes);
  if (!reserveAhead_ || needed <= reserved_) return 0;
  constexpr off_t kStep = 1 << 20;
  const off_t room = (needed / kStep + 1) * kStep;
  if (syscalls().fallocate(fd_, reserved_, room - reserved_) == 0) {
    reserved_ = room;
    return 0;
  }
  // A disk nearly full: the room that is still there, as long as it lasts.
  if (errno == ENOSPC && syscalls().fallocate(fd_, reserved_, needed - reserved_) == 0) {
    reserved_ = needed;
    return 0;
  }
  // A file system that cannot reserve room gets plain appends.
  if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
  reserveAhead_ = false;
  return 0;
}

int JournalFile::write() {
  if (error_ != 0 || queued_.empty()) return error_;
  if ((error_ = reserve(queued_.size())) != 0) return error_;
  std::size_t done = 0;
  while (done < queued_.size()) {
    const ssize_t n =
        syscalls().pwrite(fd_, queued_.data() + done, queued_.size() - done, end_ + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return error_ = n < 0 ? errno : ENOSPC;
    done += static_cast<std::size_t>(n);
  }
  end_ += static_cast<off_t>(done);
  queued_.clear();
  return 0;
}

int JournalFile::sync() {
  if (write() != 0) return error_;
  if (syscalls().fdatasync(fd_) != 0) error_ = errno;
  return error_;
}

int JournalFile::finish() {
  if (write() != 0) return error_;
  if (reserved_ > end_ && syscalls().ftruncate(fd_, end_) != 0) return error_ = errno;
  reserved_ = end_;
  if (syscalls().fsync(fd_) != 0) error_ = errno;
  return error_;
}

int openJournalFolder(bool create, UniqueFd& out) {
  const std::string base = stateHome();
  if (base.empty()) return ENOENT;
  // A failure to make a folder that exists anyway (a read-only file
  // system) matters only if it cannot be opened either.
  int made = create ? platform::makeFolders(base, 0700).code() : 0;
  UniqueFd folder(syscalls().open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder.valid()) return made ? made : errno;
  std::string path = base;
  for (const char* name : {"m_sifter", "journal"}) {
    path += std::string("/") + name;
    if (create && syscalls().mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) made = errno;
    UniqueFd next(
        syscalls().openAt(folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!next.valid()) return made ? made : errno;
    folder = std::move(next);
  }
  out = std::move(folder);
  return 0;
}

FolderLock::~FolderLock() {
  if (taken_) --folderLocksHeld;
}

int FolderLock::take(int folderFd) {
  if (taken_) return 0;
  if (folderLocksHeld == 0) {
    fd_ = UniqueFd(
        syscalls().openAt(folderFd, "runs.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd_.valid()) return errno;
    while (syscalls().flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return errno;
    }
  }
  taken_ = true;
  ++folderLocksHeld;
  return 0;
}

int openRun(int folderFd, const std::string& id, Access access, OpenedRun& out) {
  if (int e = loadRun(folderFd, id, access, out)) return e;
  if (out.record.summary.inUse || out.open.closed) return 0;
  if (access == Access::Undo) return settleRun(out);
  // A look that finds something to settle settles it, if it may write
  // there; otherwise it shows the journal as it is.
  FolderLock lock;
  OpenedRun held;
  // Our own shared lock would keep us from the exclusive one.
  out.fd.reset();
  if (lock.take(folderFd) != 0 || loadRun(folderFd, id, Access::Undo, held) != 0) return 0;
  if (!held.open.closed && settleRun(held) != 0) return 0;
  held.record.summary.inUse = false;
  out = std::move(held);
  return 0;
}

int rereadRun(OpenedRun& run) {
  std::string text;
  if (int e = readAll(run.fd.get(), text)) return e;
  const std::string id = run.record.summary.id;
  const bool inUse = run.record.summary.inUse;
  run.record = RunRecord{};
  run.open = OpenWork{};
  if (!parseJournal(text, run.record, run.open)) return ENOENT;
  run.record.summary.id = id;
  run.record.summary.path = journalFolder() + "/" + id + std::string(kSuffix);
  run.record.summary.inUse = inUse;
  run.size = static_cast<off_t>(text.size());
  run.wholeLines = static_cast<off_t>(text.rfind('\n') + 1);
  return 0;
}

int readAll(int fd, std::string& out) {
  out.clear();
  if (syscalls().lseek(fd, 0, SEEK_SET) < 0) return errno;
  char buffer[65536];
  for (;;) {
    const ssize_t n = syscalls().read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace msifter::engine::detail

namespace msifter::engine {

std::string journalFolder() {
  const std::string base = detail::stateHome();
  return base.empty() ? base : base + "/m_sifter/journal";
}

}  // namespace msifter::engine
