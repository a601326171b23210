#pragma once
// The move and copy wrappers as the mover uses them: a destination name that
// is already taken is told apart from a failure, so that the mover can take
// the next name instead of ending the run.
#include <string>

namespace msifter::engine {

// As gMoveFile / gCopyFile. When `targetTaken` is given and the destination
// already exists, the result is false without a report and *targetTaken is
// set. `error` receives the system's reason of a failure.
bool moveFileChecked(const std::string& source, const std::string& destination, bool interactive,
                     bool* targetTaken, int* error);
bool copyFileChecked(const std::string& source, const std::string& destination, bool* targetTaken,
                     int* error);

}  // namespace msifter::engine
