// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The history window: every run the journals hold, newest first, the files
// of the selected run, and 元に戻す, which takes that run back. It lists the
// command line's runs as well as the window's.
//
// Journals are read and undone on a worker of the window's own, so that a
// run of a million files neither freezes the window nor its owner.
#include <QThreadPool>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableView;
class QVBoxLayout;

namespace msifter::ui {

namespace history {
class RunListModel;
class FileListModel;
struct RunRow;
struct RunFiles;
struct UndoTally;
}  // namespace history

class HistoryWindow : public QWidget {
 public:
  static constexpr const char* kCaption = "実行履歴";

  // `owner`, the main window, waits disabled while an undo works; the
  // history window stays in front of it.
  explicit HistoryWindow(QWidget* owner = nullptr);
  ~HistoryWindow() override;

  // Reads the list of runs again; the selected run stays selected.
  void refresh();
  // 元に戻す: a dry run, the confirmation, the undo, its result.
  void undoSelectedRun();

  // From the press of 元に戻す until its result is shown.
  bool isUndoing() const { return undoing_; }
  // Nothing is being read or undone, and nothing waits to be.
  bool isSettled() const;

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  template <class Result>
  struct Outcome;

  void setupLists(QVBoxLayout& layout);
  void setupButtons(QVBoxLayout& layout);
  void runsListed(Outcome<std::vector<history::RunRow>>& listed);
  void showSelectedRun();
  void filesRead(uint64_t generation, Outcome<std::optional<history::RunFiles>>& read);
  // Undoes `run` on the worker, or with `preview` only looks at what undo
  // would do; previewed() or undone() has the outcome.
  void startUndo(const history::RunRow& run, bool preview);
  void previewed(const history::RunRow& run, Outcome<history::UndoTally>& preview);
  void undone(const history::RunRow& run, Outcome<history::UndoTally>& done);
  // Ends the busy state of an undo or of its look and tells the user of one
  // that failed or could not run; true when it ran.
  bool undoRan(const history::RunRow& run, const Outcome<history::UndoTally>& outcome);
  void rememberRefusals(const std::string& id, const history::UndoTally& tally);
  const history::RunRow* selectedRun() const;
  void updateUndoButton();
  void setUndoing(bool undoing);
  // Runs `job` on the worker and `then` with its outcome on the window
  // thread; a failure of either is reported under `name`.
  template <class Result, class Job, class Then>
  void inBackground(const char* name, Job job, Then then);

  QWidget* owner_;
  history::RunListModel* runs_ = nullptr;    // owned by the window
  history::FileListModel* files_ = nullptr;  // owned by the window
  QTableView* lstRuns_ = nullptr;
  QTableView* lstFiles_ = nullptr;
  QLabel* lblFiles_ = nullptr;
  QLabel* lblUndoNote_ = nullptr;
  QPushButton* cmdUndo_ = nullptr;

  bool listing_ = false;
  bool listAgain_ = false;
  int jobsPending_ = 0;
  bool undoing_ = false;
  uint64_t filesGeneration_ = 0;
  std::unique_ptr<history::RunRow> shownRun_;  // whose files the list shows
  std::string refusalsRun_;                    // whose refusals the files list shows

  // Last, so that it is gone, its jobs finished, before anything they use.
  QThreadPool worker_;
};

}  // namespace msifter::ui
