#pragma once
// One transfer run: the option snapshot, the run totals, gProcess1 and the
// Execute command as the window drives it.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/finder.h"
#include "engine/target_list.h"

namespace msifter::engine {

enum class RenameMethod : int { DateTime = 0, SerialNumber = 1 };

struct TransferOptions {
  std::string serverDir;
  std::string receiveDir;
  std::string targetList;
  bool subFolder = false;
  bool useMinSize = false;
  int64_t minSizeBytes = 0;
  bool useMaxSize = false;
  int64_t maxSizeBytes = 0;
  bool useCountLimit = false;
  int32_t countLimit = 0;
  bool copyFiles = false;
  RenameMethod renameMethod = RenameMethod::DateTime;
  bool extFix = false;
  bool slowly = false;
};

// Engine state kept between runs and read by the window. The run's worker
// thread holds it while a command runs; debug builds check that no other
// thread touches it meanwhile.
struct RunState {
  int32_t runFileCount = 0;
  int64_t runByteTotal = 0;
  int32_t serialNumber = 0;
  std::string lastExecute;             // "YYYY/MM/DD HH:NN:SS"
  std::vector<std::string> lstResult;  // full source paths, in search order
};
RunState& runState();

// What the Execute command needs from the main window. Every call comes from
// the run's worker thread, never from the window's own: an implementation
// carries what touches its controls over to the window thread.
class ExecuteWindow : public TargetTypeSource {
 public:
  // gChkSettingData: false after it has told the user what is wrong.
  virtual bool checkSettings() = 0;
  // Hourglass, list hidden, window disabled, both buttons hidden.
  virtual void enterBusyState() = 0;
  // gSetSettingData: returns only after saving (its failures end the program).
  virtual void saveSettings() = 0;
  // The rest of the snapshot, read from the controls; targetList is filled
  // by the engine. May throw RuntimeFailure (a number that does not fit).
  virtual TransferOptions takeSnapshot() = 0;
  virtual ProgressLabel* progressLabel() = 0;
  virtual void showSummary(const std::string& summary) = 0;
  virtual void leaveBusyState() = 0;
};

// A text box's number of KB as bytes: the text read as a number, rounded to
// the nearest whole number (a half to the even neighbour), times 1024.
// Throws RuntimeFailure on a text that is not a number.
int64_t kbTextToBytes(const std::string& text);

// The search a run makes with `options`: full paths into `list`, each folder
// shown on `label`, the destination folder left out where it lies inside the
// source.
FindRequest transferSearch(const TransferOptions& options, std::vector<std::string>* list,
                           ProgressLabel* label);

std::string formatSummary(int32_t files, int64_t bytes, int64_t seconds);

bool gProcess1(ExecuteWindow& window);
// The whole Execute command (cmdExecute_Click).
void executeCommand(ExecuteWindow& window);

}  // namespace msifter::engine
