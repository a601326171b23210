// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/path_pieces.h"

#include "common/failure.h"
#include "objects/path.h"

namespace msifter::engine {

using common::guardLog;

std::string gGetFileExt(const std::string& path) {
  return guardLog("gGetFileExt", std::string(), [&] { return objects::cPath(path).GetExt(); });
}

std::string gGetFileNameOnly(const std::string& path) {
  return guardLog("gGetFileNameOnly", std::string(" "),
                  [&] { return objects::cPath(path).GetFileNameOnly(); });
}

}  // namespace msifter::engine
