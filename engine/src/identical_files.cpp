#include "engine/identical_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/destination_folder.h"

namespace msifter::engine {

using platform::OsError;
using platform::syscalls;
using platform::UniqueFd;

namespace {

struct ListingCloser {
  void operator()(DIR* dir) const { syscalls().closedir(dir); }
};
using Listing = std::unique_ptr<DIR, ListingCloser>;

struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// SHA-256 of the next `count` bytes of `fd`. False when they cannot all be
// read: a file shorter than it was is not the file that was indexed.
bool digestNext(int fd, int64_t count, std::array<unsigned char, 32>& out) {
  std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return false;
  unsigned char buffer[64 * 1024];
  while (count > 0) {
    const auto want = static_cast<size_t>(std::min<int64_t>(count, sizeof buffer));
    const ssize_t n = syscalls().read(fd, buffer, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(n)) != 1) return false;
    count -= n;
  }
  unsigned int length = 0;
  return EVP_DigestFinal_ex(context.get(), out.data(), &length) == 1 && length == out.size();
}

}  // namespace

std::size_t IdenticalFiles::DigestHash::operator()(const Digest& d) const {
  std::size_t h = 0;
  std::memcpy(&h, d.data(), sizeof h);
  return h;
}

OsError IdenticalFiles::open(const std::string& folder) {
  bySize_.clear();
  folder_ = UniqueFd(syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!folder_.valid()) return OsError::fromErrno("open", folder);
  struct stat st {};
  if (syscalls().fstat(folder_.get(), &st) != 0) return OsError::fromErrno("fstat", folder);
  device_ = st.st_dev;

  // The listing reads through a descriptor of its own; folder_ stays for the
  // look-ups of the whole run.
  const int listFd = syscalls().openAt(folder_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (listFd < 0) return OsError::fromErrno("openat", folder);
  Listing listing(syscalls().fdopendir(listFd));
  if (!listing) {
    const OsError e = OsError::fromErrno("fdopendir", folder);
    syscalls().close(listFd);
    return e;
  }
  for (;;) {
    errno = 0;
    const dirent* d = syscalls().readdir(listing.get());
    if (d == nullptr) {
      if (errno != 0) return OsError::fromErrno("readdir", folder);
      return {};
    }
    if (d->d_type != DT_REG && d->d_type != DT_UNKNOWN) continue;
    if (platform::isTransferTemporary(d->d_name)) continue;
    // An entry that cannot be looked at now is left out: it is not a match.
    if (syscalls().fstatat(folder_.get(), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode)) continue;
    SameSize& files = bySize_[static_cast<int64_t>(st.st_size)];
    files.headsUnread.push_back(files.entries.size());
    files.entries.push_back(Entry{
        .name = d->d_name, .identityKnown = true, .inode = st.st_ino, .modified = st.st_mtim});
  }
}

void IdenticalFiles::add(const std::string& name, int64_t size) {
  SameSize& files = bySize_[size];
  files.headsUnread.push_back(files.entries.size());
  files.entries.push_back(Entry{.name = name});
}

bool IdenticalFiles::sameIdentity(Entry& entry, const struct stat& now, int64_t size) const {
  if (!S_ISREG(now.st_mode) || static_cast<int64_t>(now.st_size) != size) return false;
  if (!entry.identityKnown) {
    entry.identityKnown = true;
    entry.inode = now.st_ino;
    entry.modified = now.st_mtim;
    return true;
  }
  return now.st_ino == entry.inode && now.st_mtim.tv_sec == entry.modified.tv_sec &&
         now.st_mtim.tv_nsec == entry.modified.tv_nsec;
}

bool IdenticalFiles::stillThere(Entry& entry, int64_t size) {
  struct stat now {};
  if (syscalls().fstatat(folder_.get(), entry.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      !sameIdentity(entry, now, size))
    entry.gone = true;
  return !entry.gone;
}

void IdenticalFiles::readCandidate(Entry& entry, int64_t size, const Digest* restOnlyAfter) {
  UniqueFd fd(syscalls().openAt(folder_.get(), entry.name.c_str(),
                                O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0));
  struct stat st {};
  if (!fd.valid() || syscalls().fstat(fd.get(), &st) != 0 || !sameIdentity(entry, st, size)) {
    entry.gone = true;
    return;
  }
  const int64_t head = std::min(size, kHeadBytes);
  if (!entry.headRead) {
    if (!digestNext(fd.get(), head, entry.head)) {
      entry.gone = true;
      return;
    }
    entry.headRead = true;
  }
  const bool wantRest =
      size > head && !entry.restRead && (restOnlyAfter == nullptr || entry.head == *restOnlyAfter);
  if (wantRest) {
    if (syscalls().lseek(fd.get(), head, SEEK_SET) != head ||
        !digestNext(fd.get(), size - head, entry.rest)) {
      entry.gone = true;
      return;
    }
    entry.restRead = true;
  }
  // Bytes read while the file was being written are no digest of it.
  if (syscalls().fstat(fd.get(), &st) != 0 || !sameIdentity(entry, st, size)) entry.gone = true;
}

std::string IdenticalFiles::findIdentical(const std::string& path, int64_t size) {
  const auto found = bySize_.find(size);
  if (found == bySize_.end()) return {};
  SameSize& files = found->second;

  UniqueFd source(syscalls().open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0));
  struct stat st {};
  if (!source.valid() || syscalls().fstat(source.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<int64_t>(st.st_size) != size)
    return {};
  const int64_t head = std::min(size, kHeadBytes);
  Digest sourceHead{};
  if (!digestNext(source.get(), head, sourceHead)) return {};

  // Heads are read once per file; a file whose head matches this source's is
  // read to its end in the same pass, as it will be compared next.
  for (const std::size_t i : files.headsUnread) {
    Entry& entry = files.entries[i];
    readCandidate(entry, size, &sourceHead);
    if (entry.headRead) files.byHead.emplace(entry.head, i);
  }
  files.headsUnread.clear();

  bool sourceRestRead = false;
  Digest sourceRest{};
  const auto [first, last] = files.byHead.equal_range(sourceHead);
  for (auto it = first; it != last; ++it) {
    Entry& entry = files.entries[it->second];
    // A file is never a copy of itself (the source may lie in the folder).
    if (entry.gone || (st.st_dev == device_ && st.st_ino == entry.inode)) continue;
    if (size > head) {
      if (!entry.restRead) readCandidate(entry, size, nullptr);
      if (entry.gone) continue;
      if (!sourceRestRead) {
        if (!digestNext(source.get(), size - head, sourceRest)) return {};
        sourceRestRead = true;
      }
      if (entry.rest != sourceRest) continue;
    }
    if (stillThere(entry, size)) return entry.name;
  }
  return {};
}

}  // namespace msifter::engine
