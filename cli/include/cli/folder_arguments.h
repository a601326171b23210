// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folders of `run` as every Unix tool takes them: relative to the folder
// the command was started in, with "." and ".." as the system reads them.
#include <string>

#include "options/run_options.h"

namespace msifter::cli {

// `given` in the form the window's folder dialog gives and the window's
// folder check expects: absolute, without "." or empty components and
// without a trailing separator ("/" stays "/"). The part up to the last
// ".." is resolved as the system resolves it (".." after a link is the
// parent of the link's target); when that part cannot be resolved it stays
// as given, and the folder check finds it missing. "" stays "".
std::string folderArgument(const std::string& given);

// False, after saying why on standard error, when the source or the
// destination names something other than a folder: the window's check
// takes an existing file for a folder, as its dialog never gives one.
bool foldersAreFolders(const options::RunOptions& options);

}  // namespace msifter::cli
