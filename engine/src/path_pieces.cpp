// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/path_pieces.h"

#include "common/failure.h"
#include "objects/path.h"

namespace msifter::engine {

using common::guardLog;

std::string gGetFileExt(const std::string& path) {
  return guardLog("gGetFileExt", std::string(), [&] {
    objects::cPath p;
    p.setFileName(path);
    return p.GetExt();
  });
}

std::string gGetFileNameOnly(const std::string& path) {
  return guardLog("gGetFileNameOnly", std::string(" "), [&] {
    objects::cPath p;
    p.setFileName(path);
    return p.GetFileNameOnly();
  });
}

}  // namespace msifter::engine
