#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "common/case_mapping.h"
#include "platform/destination_folder.h"
#include "platform/syscalls.h"

namespace msifter::platform {

namespace {

DIR* asDir(void* stream) { return static_cast<DIR*>(stream); }

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Names equal apart from case only occur on a case-sensitive file system;
// their raw bytes decide.
bool keyLess(std::string_view keyA, const std::string& nameA, std::string_view keyB,
             const std::string& nameB) {
  const int byKey = keyA.compare(keyB);
  return byKey != 0 ? byKey < 0 : nameA < nameB;
}

// Each name is upper-cased once, not at every comparison: the keys share one
// buffer and only small records are sorted before the entries move once.
// Names in one folder often share a long beginning (IMG_2024...), so each
// record carries the eight key bytes after the folder's common prefix as one
// number; most comparisons end there. Names hold no NUL byte, so the zero
// padding of a short key sorts it first, as a shorter key should.
void sortByName(std::vector<DirEntry>& entries) {
  struct Key {
    uint64_t word;
    std::size_t offset, length, index;
  };
  std::size_t total = 0;
  for (const auto& entry : entries) total += entry.name.size();
  std::string keys;
  keys.reserve(total + total / 8);
  std::vector<Key> order;
  order.reserve(entries.size());
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const std::size_t offset = keys.size();
    common::appendUpperCase(entries[k].name, keys);
    order.push_back(Key{0, offset, keys.size() - offset, k});
  }
  const std::string_view all = keys;
  auto keyOf = [&](const Key& key) { return all.substr(key.offset, key.length); };

  const std::string_view first = order.empty() ? std::string_view() : keyOf(order.front());
  std::size_t shared = first.size();
  for (const Key& key : order) {
    const std::string_view k = keyOf(key);
    const auto end = first.begin() + static_cast<std::ptrdiff_t>(std::min(shared, k.size()));
    shared = static_cast<std::size_t>(std::mismatch(first.begin(), end, k.begin()).first -
                                      first.begin());
  }
  constexpr std::size_t kWord = sizeof(uint64_t);
  for (Key& key : order) {
    const std::string_view after = keyOf(key).substr(shared);
    std::memcpy(&key.word, after.data(), std::min(kWord, after.size()));
    if constexpr (std::endian::native == std::endian::little)
      key.word = __builtin_bswap64(key.word);
  }
  auto rest = [&](const Key& key) {
    return keyOf(key).substr(std::min(key.length, shared + kWord));
  };
  std::sort(order.begin(), order.end(), [&](const Key& a, const Key& b) {
    if (a.word != b.word) return a.word < b.word;
    return keyLess(rest(a), entries[a.index].name, rest(b), entries[b.index].name);
  });
  std::vector<DirEntry> sorted;
  sorted.reserve(entries.size());
  for (const Key& key : order) sorted.push_back(std::move(entries[key.index]));
  entries = std::move(sorted);
}

}  // namespace

bool entryNameLess(const std::string& a, const std::string& b) {
  return keyLess(common::upperCase(a), a, common::upperCase(b), b);
}

Directory::~Directory() { close(); }

int Directory::open(const std::string& folder) {
  close();
  const int fd = syscalls().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return errno;
  DIR* dir = syscalls().fdopendir(fd);
  if (dir == nullptr) {
    const int e = errno;
    syscalls().close(fd);
    return e;
  }
  stream_ = dir;
  return 0;
}

int Directory::read(std::vector<DirEntry>& entries) {
  entries.clear();
  if (stream_ == nullptr) return EBADF;
  DIR* dir = asDir(stream_);
  const int fd = ::dirfd(dir);
  for (;;) {
    errno = 0;
    const dirent* d = syscalls().readdir(dir);
    if (d == nullptr) {
      if (errno != 0) return errno;
      break;
    }
    if (isDotOrDotDot(d->d_name) || isTransferTemporary(d->d_name)) continue;
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN) {
      // Some file systems do not fill d_type; ask for this entry only.
      struct stat st {};
      if (syscalls().fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) continue;  // removed while we read
        return errno;
      }
      type = IFTODT(st.st_mode);
    }
    if (type == DT_LNK) {
      // A link counts as what it leads to; one that leads nowhere is a file.
      struct stat st {};
      type = syscalls().fstatat(fd, d->d_name, &st, 0) == 0 ? IFTODT(st.st_mode)
                                                            : static_cast<unsigned>(DT_REG);
      if (type == DT_DIR) continue;
    }
    // Pipes, sockets and devices are not files a user sorts; opening one
    // could block the run.
    if (type != DT_DIR && type != DT_REG) continue;
    entries.push_back(DirEntry{d->d_name, type == DT_DIR});
  }
  sortByName(entries);
  return 0;
}

int Directory::fileSize(const std::string& name, int64_t& size) const {
  if (stream_ == nullptr) return EBADF;
  const int fd = ::dirfd(asDir(stream_));
  struct stat st {};
  if (syscalls().fstatat(fd, name.c_str(), &st, 0) != 0) {
    const int e = errno;
    // A link whose target cannot be reached still is an entry of the
    // folder: take the link itself.
    if (syscalls().fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
      return e;
  }
  size = static_cast<int64_t>(st.st_size);
  return 0;
}

void Directory::close() {
  if (stream_ != nullptr) {
    syscalls().closedir(asDir(stream_));
    stream_ = nullptr;
  }
}

bool entryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && syscalls().lstat(path.c_str(), &st) == 0;
}

}  // namespace msifter::platform
