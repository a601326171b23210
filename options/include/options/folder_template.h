#pragma once
// Subfolders of the destination named from a file's stamp: "%Y/%m/%d" files
// a photo taken on 1 May 2024 under 2024/05/01.
#include <ctime>
#include <string>
#include <string_view>

namespace msifter::options {

// True for a template a run can file by: the fields %Y %m %d %H %M %S and
// %%, other text as it stands, "/" between levels. Refused: an empty text,
// a level that is empty, "." or "..", a leading "/", any other "%" field.
bool folderTemplateValid(std::string_view text);
// The folders below the destination for `stamp` ("2024/05/01"); only for a
// valid template.
std::string folderPathFor(std::string_view text, const std::tm& stamp);

}  // namespace msifter::options
