// SPDX-License-Identifier: GPL-3.0-or-later
#include "undo_confinement.h"

#include <cerrno>
#include <string_view>

#include "platform/source_tree.h"

namespace msifter::engine::detail {

namespace {

int belowWithoutLinks(const std::string& path, std::string_view root) {
  while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
  if (root.empty()) return EXDEV;
  const std::string prefix = root == "/" ? std::string(root) : std::string(root) + "/";
  if (!path.starts_with(prefix)) return EXDEV;
  std::string_view beneath = std::string_view(path).substr(prefix.size());
  while (beneath.starts_with('/')) beneath.remove_prefix(1);
  const std::size_t slash = beneath.rfind('/');
  const std::string_view name =
      slash == std::string_view::npos ? beneath : beneath.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return EXDEV;
  const std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : beneath.substr(0, slash);
  const int e = platform::checkFoldersBeneath(std::string(root), folder).code();
  // A root that is gone holds no link; undo's own checks say what is missing.
  return e == ENOENT ? 0 : e;
}

}  // namespace

int confinementError(const TransferredFile& file, const std::string& sourceRoot,
                     const std::string& destinationRoot) {
  if (const int e = belowWithoutLinks(file.source, sourceRoot)) return e;
  return belowWithoutLinks(file.destination, destinationRoot);
}

int backupConfinementError(const BackupCopy& backup, const std::string& backupRoot) {
  return belowWithoutLinks(backup.path, backupRoot);
}

}  // namespace msifter::engine::detail
