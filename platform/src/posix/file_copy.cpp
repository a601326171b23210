#include "posix/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

constexpr std::string_view kTemporaryPrefix = ".m_sifter-";
constexpr std::string_view kTemporarySuffix = ".part";

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Copies `length` bytes from the current offset of `in` to that of `out`.
// `inKernel` turns false for good once the kernel cannot copy these files.
OsError copyRange(int in, int out, uint64_t length, bool& inKernel, std::vector<char>& buffer) {
  constexpr size_t kChunk = 8u << 20;
  uint64_t copied = 0;
  while (copied < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - copied, kChunk));
    ssize_t n = 0;
    if (inKernel) {
      n = syscalls().copyFileRange(in, out, want);
      if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        inKernel = false;
        continue;
      }
      if (n < 0 && errno != EINTR) return OsError::fromErrno("copy_file_range");
    } else {
      if (buffer.empty()) buffer.resize(1u << 20);
      n = syscalls().read(in, buffer.data(), std::min(want, buffer.size()));
      if (n < 0 && errno != EINTR) return OsError::fromErrno("read");
      if (n > 0) {
        if (OsError e = writeAll(out, std::string_view(buffer.data(), static_cast<size_t>(n))))
          return e;
      }
    }
    if (n < 0) continue;  // interrupted
    // The source ended early: it was cut while we read it.
    if (n == 0) return OsError(EAGAIN, "read");
    copied += static_cast<uint64_t>(n);
  }
  return {};
}

// The data of `in` into `out`, holes left as holes: a sparse file stays sparse.
OsError copyContents(int in, int out, const struct stat& source) {
  const auto end = static_cast<off_t>(source.st_size);
  if (end == 0) return {};
  // Shared blocks: instant, and holes come along.
  if (syscalls().cloneFile(out, in) == 0) return {};
  bool inKernel = true;
  // Kept from file to file: a run copies thousands.
  static thread_local std::vector<char> buffer;
  // Blocks for every byte: no hole to look for (both files are at offset 0).
  if (source.st_blocks * 512 >= end)
    return copyRange(in, out, static_cast<uint64_t>(end), inKernel, buffer);
  for (off_t pos = 0; pos < end;) {
    off_t data = syscalls().lseek(in, pos, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // only a hole is left
      data = pos;                 // no hole information: all data
    }
    if (data >= end) break;
    off_t hole = syscalls().lseek(in, data, SEEK_HOLE);
    if (hole < 0 || hole > end) hole = end;
    if (syscalls().lseek(in, data, SEEK_SET) < 0 || syscalls().lseek(out, data, SEEK_SET) < 0)
      return OsError::fromErrno("lseek");
    if (OsError e = copyRange(in, out, static_cast<uint64_t>(hole - data), inKernel, buffer))
      return e;
    pos = hole;
  }
  // A trailing hole has no data to write; the length makes it.
  if (syscalls().ftruncate(out, end) != 0) return OsError::fromErrno("ftruncate");
  return {};
}

bool attributeNotAccepted(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM;
}

// Reads through `call(buffer, size)` into `out`, growing it while the value grows.
template <class Call>
OsError readSized(const char* operation, Call call, std::vector<char>& out) {
  for (;;) {
    const ssize_t size = call(nullptr, 0);
    if (size < 0) return OsError::fromErrno(operation);
    out.resize(static_cast<size_t>(size));
    if (size == 0) return {};
    const ssize_t n = call(out.data(), out.size());
    if (n >= 0) {
      out.resize(static_cast<size_t>(n));
      return {};
    }
    if (errno != ERANGE) return OsError::fromErrno(operation);
  }
}

// Every extended attribute of `in` that the destination accepts; `set`
// counts them.
OsError copyAttributes(int in, int out, int& set) {
  std::vector<char> names;
  if (OsError e = readSized(
          "flistxattr", [&](char* b, size_t n) { return syscalls().flistxattr(in, b, n); }, names))
    return attributeNotAccepted(e.code()) ? OsError() : e;
  std::vector<char> value;
  for (size_t at = 0; at < names.size();) {
    const std::string name(names.data() + at);
    at += name.size() + 1;
    if (name.empty()) continue;
    if (OsError e = readSized(
            "fgetxattr",
            [&](char* b, size_t n) { return syscalls().fgetxattr(in, name.c_str(), b, n); },
            value)) {
      // Gone meanwhile, or not ours to read.
      if (e.code() == ENODATA || attributeNotAccepted(e.code())) continue;
      return e;
    }
    if (syscalls().fsetxattr(out, name.c_str(), value.data(), value.size(), 0) == 0)
      ++set;
    else if (!attributeNotAccepted(errno))
      return OsError::fromErrno("fsetxattr");
  }
  return {};
}

}  // namespace

bool isTransferTemporary(std::string_view name) {
  return name.size() > kTemporaryPrefix.size() + kTemporarySuffix.size() &&
         name.starts_with(kTemporaryPrefix) && name.ends_with(kTemporarySuffix);
}

std::string temporaryName(const char* kind) {
  static std::atomic<unsigned> counter{0};
  return std::string(kTemporaryPrefix) + std::to_string(syscalls().getpid()) + "-" + kind +
         std::to_string(counter++) + std::string(kTemporarySuffix);
}

mode_t newFileMode(const struct stat& source) { return (source.st_mode & 0777) | S_IWUSR; }

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

OsError fillCopy(int in, const struct stat& source, int out, bool keepOwner) {
  if (OsError e = copyContents(in, out, source)) return e;
  struct stat made {};
  if (syscalls().fstat(out, &made) != 0) return OsError::fromErrno("fstat");
  if (made.st_size != source.st_size) return OsError(EIO, "fstat");
  // Only root may give a file away; anybody else keeps it. Before the mode:
  // a change of owner clears the set-id bits.
  const bool giveAway = keepOwner && (made.st_uid != source.st_uid || made.st_gid != source.st_gid);
  if (giveAway && syscalls().fchown(out, source.st_uid, source.st_gid) != 0 && errno != EPERM)
    return OsError::fromErrno("fchown");
  // Before the mode: an access list sets the group bits, and a read-only
  // mode would refuse the user's own attributes.
  int attributes = 0;
  if (OsError e = copyAttributes(in, out, attributes)) return e;
  if ((giveAway || attributes > 0 || (made.st_mode & 07777) != (source.st_mode & 07777)) &&
      syscalls().fchmod(out, source.st_mode & 07777) != 0)
    return OsError::fromErrno("fchmod");
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  if (syscalls().futimens(out, times) != 0) return OsError::fromErrno("futimens");
  // A source that changed while it was read is not a faithful copy.
  struct stat after {};
  if (syscalls().fstat(in, &after) != 0) return OsError::fromErrno("fstat");
  return sameFile(after, source) ? OsError() : OsError(EAGAIN, "fstat");
}

}  // namespace msifter::platform
