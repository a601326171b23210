// SPDX-License-Identifier: GPL-3.0-or-later
#include "posix/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/destination_folder.h"
#include "platform/syscalls.h"
#include "platform/transfer_meter.h"
#include "posix/entries.h"

namespace msifter::platform {

namespace {

constexpr std::string_view kTemporaryPrefix = ".m_sifter-";
constexpr std::string_view kTemporarySuffix = ".part";
// A temporary's token: a per-process salt and the check, 8 hex digits each.
constexpr size_t kCheckDigits = 8;
constexpr size_t kTokenDigits = 2 * kCheckDigits;

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string hexDigits(uint32_t value) {
  std::string out(kCheckDigits, '0');
  for (size_t i = kCheckDigits; i-- > 0; value >>= 4) out[i] = "0123456789abcdef"[value & 0xf];
  return out;
}

// FNV-1a: the check only has to tell our names from names typed by hand.
std::string checkOf(std::string_view body) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (const unsigned char c : std::string_view("m_sifter temporary "))
    h = (h ^ c) * 0x100000001b3ull;
  for (const unsigned char c : body) h = (h ^ c) * 0x100000001b3ull;
  return hexDigits(static_cast<uint32_t>(h ^ (h >> 32)));
}

// Different in every process, so that two programs whose process numbers
// meet (in two containers sharing a folder) do not share names.
const std::string& processSalt() {
  static const std::string salt = [] {
    uint64_t x = static_cast<uint64_t>(syscalls().now()) * 0x9e3779b97f4a7c15ull ^
                 static_cast<uint64_t>(syscalls().monotonicMilliseconds()) << 21 ^
                 static_cast<uint64_t>(syscalls().getpid());
    x = (x ^ (x >> 31)) * 0xbf58476d1ce4e5b9ull;
    return hexDigits(static_cast<uint32_t>(x ^ (x >> 29)));
  }();
  return salt;
}

bool allOf(std::string_view text, bool (*test)(char)) {
  return !text.empty() && std::all_of(text.begin(), text.end(), test);
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLowerHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); }

// ---- Contents

// Moves bytes from the current offset of `in` to that of `out`.
struct Pump {
  int in = -1;
  int out = -1;
  bool inKernel = true;  // false for good once the kernel cannot copy these files
  std::vector<char>* buffer = nullptr;
  uint64_t copied = 0;  // by the last run: fewer than asked when the source ended
  TransferMeter* meter = threadMeter();
  // Bytes of the file passed over, told with the next chunk: holes and
  // shared blocks are done too.
  void passed(uint64_t bytes) const {
    if (meter != nullptr) meter->add(static_cast<int64_t>(bytes));
  }
};

OsError pumpRange(Pump& p, uint64_t length) {
  constexpr size_t kChunk = 8u << 20;
  p.copied = 0;
  while (p.copied < length) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length - p.copied, kChunk));
    ssize_t n = 0;
    if (p.inKernel) {
      n = syscalls().copyFileRange(p.in, p.out, want);
      if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        p.inKernel = false;
        continue;
      }
      if (n < 0 && errno != EINTR) return OsError::fromErrno("copy_file_range");
    } else {
      if (p.buffer->empty()) p.buffer->resize(1u << 20);
      n = syscalls().read(p.in, p.buffer->data(), std::min(want, p.buffer->size()));
      if (n < 0 && errno != EINTR) return OsError::fromErrno("read");
      if (n > 0) {
        if (OsError e = writeAll(p.out, std::string_view(p.buffer->data(), static_cast<size_t>(n))))
          return e;
      }
    }
    if (n < 0) continue;  // interrupted
    if (n == 0) break;
    p.copied += static_cast<uint64_t>(n);
    p.passed(static_cast<uint64_t>(n));
  }
  return {};
}

// The source ended at `at`, before its reported length. A file that claims
// no blocks and has not changed holds no more (sysfs reports a page for a
// few bytes); any other was cut while it was read.
OsError endedEarly(const Pump& p, const struct stat& source, uint64_t at, uint64_t& length) {
  struct stat now {};
  if (source.st_blocks != 0 || syscalls().fstat(p.in, &now) != 0 || !sameFile(now, source))
    return OsError(EAGAIN, "read");
  if (syscalls().ftruncate(p.out, static_cast<off_t>(at)) != 0)
    return OsError::fromErrno("ftruncate");
  length = at;
  return {};
}

// The data of `in` into `out`, holes left as holes: a sparse file stays
// sparse. `length` is the copy's.
OsError copyContents(int in, int out, const struct stat& source, uint64_t& length) {
  // Kept from file to file: a run copies thousands.
  static thread_local std::vector<char> buffer;
  Pump pump{.in = in, .out = out, .buffer = &buffer};
  const auto end = static_cast<off_t>(source.st_size);
  if (end == 0) {
    // No reported length, and perhaps bytes all the same (/proc): read to the end.
    pump.inKernel = false;
    if (OsError e = pumpRange(pump, UINT64_MAX)) return e;
    length = pump.copied;
    return {};
  }
  length = static_cast<uint64_t>(end);
  // Shared blocks: instant, and holes come along.
  if (syscalls().cloneFile(out, in) == 0) {
    pump.passed(length);
    return {};
  }
  // Blocks for every byte: no hole to look for (both files are at offset 0).
  if (source.st_blocks * 512 >= end) {
    if (OsError e = pumpRange(pump, length)) return e;
    return pump.copied < length ? endedEarly(pump, source, pump.copied, length) : OsError();
  }
  off_t pos = 0;
  while (pos < end) {
    off_t data = syscalls().lseek(in, pos, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // only a hole is left
      data = pos;                 // no hole information: all data
    }
    if (data >= end) break;
    pump.passed(static_cast<uint64_t>(data - pos));
    off_t hole = syscalls().lseek(in, data, SEEK_HOLE);
    if (hole < 0 || hole > end) hole = end;
    if (syscalls().lseek(in, data, SEEK_SET) < 0 || syscalls().lseek(out, data, SEEK_SET) < 0)
      return OsError::fromErrno("lseek");
    const auto want = static_cast<uint64_t>(hole - data);
    if (OsError e = pumpRange(pump, want)) return e;
    if (pump.copied < want)
      return endedEarly(pump, source, static_cast<uint64_t>(data) + pump.copied, length);
    pos = hole;
  }
  // A trailing hole has no data to write; the length makes it.
  if (syscalls().ftruncate(out, end) != 0) return OsError::fromErrno("ftruncate");
  if (pos < end) pump.passed(static_cast<uint64_t>(end - pos));
  return {};
}

// ---- Owner, attributes, mode

// The destination keeps no such thing (a card, a FUSE or network disk), or
// the caller may not give it (only root gives a file away).
bool refused(int error) {
  return error == EPERM || error == EINVAL || error == ENOSYS || error == ENOTSUP ||
         error == EOPNOTSUPP;
}

bool attributeNotAccepted(int error) {
  return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM;
}

// XFS lists its access lists a second time under these names, in its own
// format; the system.posix_acl_* names carry them already.
bool fileSystemInternal(const std::string& name) {
  return name.starts_with("trusted.SGI_") || name.starts_with("xfsroot.");
}

constexpr const char* kAccessAcl = "system.posix_acl_access";

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

struct CopiedAttributes {
  int set = 0;  // accepted by the destination
  bool accessAclAtSource = false;
};

// Every extended attribute of `in` that the destination accepts.
OsError copyAttributes(int in, int out, CopiedAttributes& copied) {
  std::vector<char> names;
  if (OsError e = readSized(
          "flistxattr", [&](char* b, size_t n) { return syscalls().flistxattr(in, b, n); }, names))
    return attributeNotAccepted(e.code()) ? OsError() : e;
  std::vector<char> value;
  for (size_t at = 0; at < names.size();) {
    const std::string name(names.data() + at);
    at += name.size() + 1;
    if (name.empty() || fileSystemInternal(name)) continue;
    if (OsError e = readSized(
            "fgetxattr",
            [&](char* b, size_t n) { return syscalls().fgetxattr(in, name.c_str(), b, n); },
            value)) {
      // Gone meanwhile, or not ours to read.
      if (e.code() == ENODATA || attributeNotAccepted(e.code())) continue;
      return e;
    }
    if (name == kAccessAcl) copied.accessAclAtSource = true;
    if (syscalls().fsetxattr(out, name.c_str(), value.data(), value.size(), 0) == 0)
      ++copied.set;
    else if (!attributeNotAccepted(errno))
      return OsError::fromErrno("fsetxattr");
  }
  return {};
}

// The access list that only repeats `mode`: setting it removes any list the
// file has (little-endian entries of tag, permissions and id).
std::string minimalAccessList(mode_t mode) {
  std::string bytes;
  const auto put = [&bytes](uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xff);
  };
  // The owner's, the group's and the others' entries.
  constexpr std::pair<uint32_t, int> kEntries[] = {{0x01, 6}, {0x04, 3}, {0x20, 0}};
  put(2, 4);  // the format's version
  for (const auto& [tag, shift] : kEntries) {
    put(tag, 2);
    put((mode >> shift) & 7, 2);
    put(0xffffffffu, 4);
  }
  return bytes;
}

// A new file takes the folder's default access list. A moved or copied one
// keeps the source's permissions instead, as mv and cp -p do: a source
// without a list of its own leaves none on its copy. True when a list went.
bool dropInheritedList(int out, mode_t mode) {
  if (syscalls().fgetxattr(out, kAccessAcl, nullptr, 0) <= 0) return false;
  const std::string minimal = minimalAccessList(mode);
  return syscalls().fsetxattr(out, kAccessAcl, minimal.data(), minimal.size(), 0) == 0;
}

// Gives the copy the source's owner and group where it may; `made` then
// says which it has.
OsError keepOwnerOf(int out, const struct stat& source, struct stat& made) {
  if (made.st_uid == source.st_uid && made.st_gid == source.st_gid) return {};
  if (syscalls().fchown(out, source.st_uid, source.st_gid) != 0) {
    if (!refused(errno)) return OsError::fromErrno("fchown");
    // The group alone, where it is one of the user's own.
    if (made.st_gid != source.st_gid &&
        syscalls().fchown(out, static_cast<uid_t>(-1), source.st_gid) != 0 && !refused(errno))
      return OsError::fromErrno("fchown");
  }
  if (syscalls().fstat(out, &made) != 0) return OsError::fromErrno("fstat");
  return {};
}

// The source's mode, less the set-ID bits of an owner or group the copy
// does not have (a plain user's copy of a set-user-ID program is no
// set-user-ID program of that user).
mode_t keptMode(const struct stat& source, const struct stat& made) {
  mode_t mode = source.st_mode & 07777;
  if (made.st_uid != source.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
  if (made.st_gid != source.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
  return mode;
}

}  // namespace

bool isTransferTemporary(std::string_view name) {
  return name.size() > kTemporaryPrefix.size() + kTemporarySuffix.size() &&
         name.starts_with(kTemporaryPrefix) && name.ends_with(kTemporarySuffix);
}

bool isOwnTemporary(std::string_view name) {
  if (!isTransferTemporary(name)) return false;
  const std::string_view body = name.substr(
      kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - kTemporarySuffix.size());
  // PID "-" kind N "-" token
  const auto first = body.find('-');
  const auto last = body.rfind('-');
  if (first == std::string_view::npos || first == last) return false;
  const std::string_view middle = body.substr(first + 1, last - first - 1);
  const std::string_view token = body.substr(last + 1);
  const auto number = middle.find_first_of("0123456789");
  if (!allOf(body.substr(0, first), isDigit) || number == std::string_view::npos ||
      !allOf(middle.substr(number), isDigit) || token.size() != kTokenDigits ||
      !allOf(token, isLowerHex))
    return false;
  for (const char c : middle.substr(0, number))
    if (c < 'a' || c > 'z') return false;
  return token.substr(kCheckDigits) == checkOf(body.substr(0, body.size() - kCheckDigits));
}

std::string temporaryName(const char* kind) {
  static std::atomic<unsigned> counter{0};
  const std::string body = std::to_string(syscalls().getpid()) + "-" + kind +
                           std::to_string(counter++) + "-" + processSalt();
  return std::string(kTemporaryPrefix) + body + checkOf(body) + std::string(kTemporarySuffix);
}

mode_t newFileMode(const struct stat& source) { return (source.st_mode & 0777) | S_IWUSR; }

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

OsError fillCopy(int in, const struct stat& source, int out, bool keepOwner) {
  uint64_t length = 0;
  if (OsError e = copyContents(in, out, source, length)) return e;
  struct stat made {};
  if (syscalls().fstat(out, &made) != 0) return OsError::fromErrno("fstat");
  if (static_cast<uint64_t>(made.st_size) != length) return OsError(EIO, "fstat");
  // Before the mode: a change of owner clears the set-ID bits.
  if (keepOwner) {
    if (OsError e = keepOwnerOf(out, source, made)) return e;
  }
  const mode_t mode = keptMode(source, made);
  // Before the mode: an access list sets the group bits, and a read-only
  // mode would refuse the user's own attributes.
  CopiedAttributes attributes;
  if (OsError e = copyAttributes(in, out, attributes)) return e;
  const bool listDropped = !attributes.accessAclAtSource && dropInheritedList(out, mode);
  // A card or a FUSE disk that keeps no modes refuses: the copy keeps the
  // mode its mount gives every file.
  if ((attributes.set > 0 || listDropped || (made.st_mode & 07777) != mode) &&
      syscalls().fchmod(out, mode) != 0 && !refused(errno))
    return OsError::fromErrno("fchmod");
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  if (syscalls().futimens(out, times) != 0) return OsError::fromErrno("futimens");
  // A source that changed while it was read is not a faithful copy.
  struct stat after {};
  if (syscalls().fstat(in, &after) != 0) return OsError::fromErrno("fstat");
  return sameFile(after, source) ? OsError() : OsError(EAGAIN, "fstat");
}

}  // namespace msifter::platform
