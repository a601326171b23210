// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <exception>
#include <map>

#include "common/failure.h"
#include "common/ui_services.h"
#include "history_models.h"
#include "history_texts.h"
#include "run_history.h"
#include "ui/appearance.h"
#include "ui/forms.h"

namespace msifter::ui {

using history::RunRow;
using history::UndoTally;

template <class Result>
struct HistoryWindow::Outcome {
  std::optional<Result> value;
  std::exception_ptr failure;
};

namespace {

constexpr const char* kUnexpectedFailure =
    "予期しないエラーのため、元に戻す処理を終えられませんでした。エラーログに記録しました。";

QString u(const char* text) { return QString::fromUtf8(text); }
QString u(const std::string& text) { return QString::fromStdString(text); }

// Reports a failure of the worker under `name`, as a guard would have.
void reportFailure(const char* name, const std::exception_ptr& failure) {
  common::guardLog(name, false, [&] {
    std::rethrow_exception(failure);
    return true;
  });
}

QTableView* makeList(QWidget* parent, const char* name, QAbstractItemModel* model) {
  auto* list = child<QTableView>(parent);
  list->setObjectName(u(name));
  list->setModel(model);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setTabKeyNavigation(false);
  list->setWordWrap(false);
  list->setTextElideMode(Qt::ElideMiddle);
  list->verticalHeader()->hide();
  // Rows of one height, so that a million files need no measuring.
  list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 6);
  list->horizontalHeader()->setStretchLastSection(true);
  list->horizontalHeader()->setHighlightSections(false);
  return list;
}

void setWidths(QTableView* list, std::initializer_list<int> widths) {
  int column = 0;
  for (const int width : widths) list->setColumnWidth(column++, width);
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* owner) : QWidget(owner, Qt::Window), owner_(owner) {
  setObjectName(QStringLiteral("frmHistory"));
  setWindowTitle(u(kCaption));
  gDspFormTitle(*this, TitleMode::TitleLast);
  setWindowIcon(programIcon());
  setFont(gothicFont(9));
  worker_.setMaxThreadCount(1);
  auto* layout = child<QVBoxLayout>(this);
  setupLists(*layout);
  setupButtons(*layout);
  resize(twips(13500), twips(8100));
  auto* esc = child<QShortcut>(this, QKeySequence(Qt::Key_Escape));
  connect(esc, &QShortcut::activated, this, [this] { close(); });
}

HistoryWindow::~HistoryWindow() {
  worker_.clear();
  worker_.waitForDone();
}

void HistoryWindow::setupLists(QVBoxLayout& layout) {
  auto* lblRuns = child<QLabel>(this, u("実行の記録（新しい順）"));
  lblRuns->setObjectName(QStringLiteral("lblRuns"));
  runs_ = child<history::RunListModel>(this);
  lstRuns_ = makeList(this, "lstRuns", runs_);
  setWidths(lstRuns_, {140, 50, 70, 90, 50, 110, 200});
  lblFiles_ = child<QLabel>(this, u("実行の記録を読み込み中…"));
  lblFiles_->setObjectName(QStringLiteral("lblFiles"));
  files_ = child<history::FileListModel>(this);
  lstFiles_ = makeList(this, "lstFiles", files_);
  setWidths(lstFiles_, {340, 380});
  layout.addWidget(lblRuns);
  layout.addWidget(lstRuns_, 2);
  layout.addWidget(lblFiles_);
  layout.addWidget(lstFiles_, 3);
  connect(lstRuns_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { showSelectedRun(); });
}

void HistoryWindow::setupButtons(QVBoxLayout& layout) {
  auto owned = std::make_unique<QHBoxLayout>();
  QHBoxLayout* row = owned.get();
  layout.addLayout(owned.release());
  lblUndoNote_ = child<QLabel>(this);
  lblUndoNote_->setObjectName(QStringLiteral("lblUndoNote"));
  lblUndoNote_->setWordWrap(true);
  cmdUndo_ = child<QPushButton>(this, u("元に戻す"));
  cmdUndo_->setObjectName(QStringLiteral("cmdUndo"));
  auto* cmdClose = child<QPushButton>(this, u("閉じる"));
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  row->addWidget(lblUndoNote_, 1);
  row->addWidget(cmdUndo_);
  row->addWidget(cmdClose);
  connect(cmdUndo_, &QPushButton::clicked, this, [this] { undoSelectedRun(); });
  connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });
  setTabOrder(lstRuns_, lstFiles_);
  setTabOrder(lstFiles_, cmdUndo_);
  setTabOrder(cmdUndo_, cmdClose);
  lstRuns_->setFocus();
  updateUndoButton();
}

// ---- work off the window thread

template <class Result, class Job, class Then>
void HistoryWindow::inBackground(const char* name, Job job, Then then) {
  ++jobsPending_;
  // The worker touches nothing of the window: `this` only names where the
  // result goes, and the window outlives its worker.
  worker_.start([this, name, job, then] {
    auto outcome = std::make_shared<Outcome<Result>>();
    try {
      outcome->value.emplace(job());
    } catch (...) {
      outcome->failure = std::current_exception();
    }
    QMetaObject::invokeMethod(
        this,
        [this, name, then, outcome] {
          --jobsPending_;
          if (outcome->failure) reportFailure(name, outcome->failure);
          common::guardLog(name, false, [&] {
            then(*outcome);
            return true;
          });
        },
        Qt::QueuedConnection);
  });
}

bool HistoryWindow::isSettled() const { return jobsPending_ == 0; }

// ---- the list of runs and the files of one

void HistoryWindow::refresh() {
  if (listing_) {
    listAgain_ = true;
    return;
  }
  listing_ = true;
  inBackground<std::vector<RunRow>>(
      "listRunHistory", [] { return history::listRuns(); },
      [this](Outcome<std::vector<RunRow>>& listed) { runsListed(listed); });
}

void HistoryWindow::runsListed(Outcome<std::vector<RunRow>>& listed) {
  listing_ = false;
  if (listed.value) {
    const RunRow* selected = selectedRun();
    const std::string keep = selected != nullptr ? selected->id : std::string();
    runs_->setRows(std::move(*listed.value));
    int row = runs_->rowOf(keep);
    // Else the newest run: most often the one just made.
    if (row < 0 && runs_->rowCount() > 0) row = 0;
    if (row >= 0)
      lstRuns_->setCurrentIndex(runs_->index(row, 0));
    else
      showSelectedRun();
  }
  if (listAgain_) {
    listAgain_ = false;
    refresh();
  }
}

namespace {

bool sameState(const RunRow& a, const RunRow& b) {
  return a.id == b.id && a.files == b.files && a.bytes == b.bytes &&
         a.undoneFiles == b.undoneFiles && a.result == b.result && a.endWord == b.endWord &&
         a.notes == b.notes;
}

}  // namespace

void HistoryWindow::showSelectedRun() {
  updateUndoButton();
  const RunRow* run = selectedRun();
  if (run == nullptr) {
    ++filesGeneration_;
    shownRun_.reset();
    files_->setRows({});
    lblFiles_->setText(runs_->rowCount() == 0 ? u("実行の記録はありません。") : QString());
    return;
  }
  // A listing that changed nothing of this run does not read it again.
  if (shownRun_ && sameState(*shownRun_, *run)) return;
  shownRun_ = std::make_unique<RunRow>(*run);
  if (refusalsRun_ != run->id) {
    refusalsRun_.clear();
    files_->setRefusals({});
  }
  const uint64_t generation = ++filesGeneration_;
  lblFiles_->setText(u("実行 ") + u(run->id) + u(" のファイル： 読み込み中…"));
  inBackground<std::optional<history::RunFiles>>(
      "readRunHistory", [id = run->id] { return history::readRun(id); },
      [this, generation](Outcome<std::optional<history::RunFiles>>& read) {
        filesRead(generation, read);
      });
}

void HistoryWindow::filesRead(uint64_t generation,
                              Outcome<std::optional<history::RunFiles>>& read) {
  // Another run was selected meanwhile.
  if (generation != filesGeneration_ || !shownRun_) return;
  const QString run = u("実行 ") + u(shownRun_->id);
  if (!read.value || !read.value->has_value()) {
    files_->setRows({});
    lblFiles_->setText(
        run + (read.value ? u(" の記録はもうありません。") : u(" の記録を読めませんでした。")));
    shownRun_.reset();
    return;
  }
  history::RunFiles& files = **read.value;
  lblFiles_->setText(run + u(" のファイル： ") + QString::number(files.files.size()) + u(" 件"));
  files_->setRows(std::move(files.files));
}

const RunRow* HistoryWindow::selectedRun() const {
  const QModelIndex current = lstRuns_->selectionModel()->currentIndex();
  if (!current.isValid() || current.row() >= runs_->rowCount()) return nullptr;
  return &runs_->at(current.row());
}

// ---- 元に戻す

void HistoryWindow::updateUndoButton() {
  const RunRow* run = selectedRun();
  const QString why = run != nullptr ? u(history::undoUnavailableReason(*run)) : QString();
  cmdUndo_->setEnabled(run != nullptr && why.isEmpty() && !undoing_);
  lblUndoNote_->setText(why);
  cmdUndo_->setToolTip(why.isEmpty() ? u("選んだ実行で移動・コピーしたファイルを元に戻します")
                                     : why);
}

void HistoryWindow::setUndoing(bool undoing) {
  undoing_ = undoing;
  common::ui().setBusyCursor(undoing);
  // Nothing else starts meanwhile: no run in the main window, no second undo.
  if (owner_ != nullptr) owner_->setEnabled(!undoing);
  setEnabled(!undoing);
  updateUndoButton();
}

void HistoryWindow::undoSelectedRun() {
  const RunRow* selected = selectedRun();
  if (undoing_ || selected == nullptr || !history::undoUnavailableReason(*selected).empty()) return;
  // A copy: the list may be read again while the undo runs.
  const RunRow run = *selected;
  startUndo(run, true);
}

void HistoryWindow::startUndo(const RunRow& run, bool preview) {
  setUndoing(true);
  inBackground<UndoTally>(
      "undoRunFromHistory", [id = run.id, preview] { return history::undoRun(id, preview); },
      [this, run, preview](Outcome<UndoTally>& outcome) {
        preview ? previewed(run, outcome) : undone(run, outcome);
      });
}

bool HistoryWindow::undoRan(const RunRow& run, const Outcome<UndoTally>& outcome) {
  setUndoing(false);
  if (!outcome.value) {
    common::ui().messageBox(kUnexpectedFailure, common::mb::Exclamation, "");
    return false;
  }
  if (outcome.value->status != history::UndoStatus::Done) {
    common::ui().messageBox(history::undoStatusText(run.id, *outcome.value),
                            common::mb::Exclamation, "");
    return false;
  }
  return true;
}

void HistoryWindow::previewed(const RunRow& run, Outcome<UndoTally>& preview) {
  if (!undoRan(run, preview)) {
    // A look that could not run changed nothing; one that found the run
    // changed meanwhile shows the list as it now is.
    if (preview.value) refresh();
    return;
  }
  const UndoTally& tally = *preview.value;
  rememberRefusals(run.id, tally);
  if (tally.movedBack + tally.copiesRemoved == 0) {
    common::ui().messageBox(history::nothingToUndoText(tally), common::mb::Information, "");
    refresh();
    return;
  }
  if (common::ui().messageBox(history::undoConfirmationText(run, tally),
                              common::mb::OkCancel | common::mb::Question,
                              "") != common::answer::Ok)
    return;
  startUndo(run, false);
}

void HistoryWindow::undone(const RunRow& run, Outcome<UndoTally>& done) {
  if (undoRan(run, done)) {
    const UndoTally& tally = *done.value;
    rememberRefusals(run.id, tally);
    const bool whole = tally.refused.empty() && tally.markFailure.empty();
    common::ui().messageBox(history::undoResultText(run, tally),
                            whole ? common::mb::Information : common::mb::Exclamation, "");
  }
  refresh();
}

void HistoryWindow::rememberRefusals(const std::string& id, const UndoTally& tally) {
  std::map<int64_t, std::string> reasons;
  for (const history::UndoRefusal& refusal : tally.refused)
    reasons.emplace(refusal.number, refusal.reason);
  if (!shownRun_ || shownRun_->id != id) return;
  refusalsRun_ = id;
  files_->setRefusals(std::move(reasons));
}

// ---- window events

void HistoryWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // A run of the command line may have ended meanwhile.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) refresh();
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
  // An undo is not left half-way.
  if (undoing_) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace msifter::ui
