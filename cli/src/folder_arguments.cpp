// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/folder_arguments.h"

#include <cstdio>
#include <vector>

#include "cli/texts.h"
#include "common/text.h"
#include "platform/folders.h"

namespace msifter::cli {

namespace {

// "/" and `parts[from, to)` joined by "/"; "" for no parts.
std::string joined(const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
  std::string path;
  for (std::size_t i = from; i < to; ++i) path.append(1, '/').append(parts[i]);
  return path;
}

bool isFolder(const std::string& path, const char* role) {
  if (platform::entryKind(path) != platform::EntryKind::Other) return true;
  std::fprintf(stderr, "%sに指定した「%s」はフォルダではありません。フォルダを指定して下さい。\n",
               role, displayPath(path).c_str());
  return false;
}

}  // namespace

std::string folderArgument(const std::string& given) {
  if (given.empty()) return given;
  std::string path = given;
  if (path.front() != '/') {
    const std::string cwd = platform::currentFolder();
    if (cwd.empty()) return given;
    path = cwd + "/" + given;
  }
  std::vector<std::string> parts;
  std::size_t throughParent = 0;  // parts up to the last ".."
  for (std::string& part : common::splitAt(path, "/")) {
    if (part.empty() || part == ".") continue;
    parts.push_back(std::move(part));
    if (parts.back() == "..") throughParent = parts.size();
  }
  std::string folder;
  if (throughParent > 0) {
    if (platform::resolvedPath(joined(parts, 0, throughParent), folder)) throughParent = 0;
    if (folder == "/") folder.clear();
  }
  folder += joined(parts, throughParent, parts.size());
  return folder.empty() ? "/" : folder;
}

bool foldersAreFolders(const options::RunOptions& options) {
  return isFolder(options.serverDir, "移動元") && isFolder(options.receiveDir, "移動先");
}

}  // namespace msifter::cli
