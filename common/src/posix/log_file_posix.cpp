#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "log_file.h"

namespace msifter::common::detail {

bool appendToOwnFile(const std::string& path, const std::string& bytes) {
  // O_NONBLOCK: a pipe put in the log's place would otherwise hang the
  // report until someone reads it.
  const int fd =
      ::open(path.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0) return false;
  struct stat info {};
  // In a shared temporary folder, a file another user made in advance would
  // let that user read this one's reports.
  bool written = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0)
      written = false;
    else
      done += static_cast<std::size_t>(count);
  }
  // Don't retry close on EINTR: the descriptor is gone either way.
  if (::close(fd) != 0 && errno != EINTR) written = false;
  return written;
}

}  // namespace msifter::common::detail
