// SPDX-License-Identifier: GPL-3.0-or-later
// The history window over journals of real runs: the listing, the files of a
// run, undo with its confirmation and refusals, and how the main window
// reaches it.
#include "ui/history_window.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include "engine/journal.h"
#include "engine/mover.h"
#include "engine/run.h"
#include "platform/syscalls.h"
#include "settings/settings_store.h"
#include "ui/frm_menu.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows rowsOf(const QWidget& window, const char* list) {
  const QAbstractItemModel* model = window.findChild<QTableView*>(list)->model();
  Rows rows;
  for (int r = 0; r < model->rowCount(); ++r) {
    rows.emplace_back();
    for (int c = 0; c < model->columnCount(); ++c)
      rows.back().push_back(model->index(r, c).data().toString().toStdString());
  }
  return rows;
}

// Waits until the window has read and undone all it was asked to.
bool settled(const HistoryWindow& window) {
  return QTest::qWaitFor([&] { return window.isSettled(); }, 10000);
}

// "20240105-143000" names the moment shown as "2024/01/05 14:30:00".
std::string momentOf(const std::string& id) {
  return id.substr(0, 4) + "/" + id.substr(4, 2) + "/" + id.substr(6, 2) + " " + id.substr(9, 2) +
         ":" + id.substr(11, 2) + ":" + id.substr(13, 2);
}

class HistoryTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fs::create_directories(dst);
  }

  // Moves (or copies) `names`, 10 bytes each, from src into dst as a run
  // whose journal ends as `completed`; returns the run's name.
  std::string run(const std::vector<std::string>& names, bool copy, bool completed = true) {
    engine::RunJournal journal;
    transfer(journal, names, copy);
    EXPECT_EQ(journal.finish(completed), 0);
    return journal.id();
  }

  void transfer(engine::RunJournal& journal, const std::vector<std::string>& names, bool copy) {
    options.serverDir = src.string();
    options.receiveDir = dst.string();
    options.copyFiles = copy;
    options.renameMethod = engine::RenameMethod::SerialNumber;
    std::vector<std::string> sources;
    for (const std::string& name : names) sources.push_back(env.writeFile("src/" + name, 10));
    ASSERT_EQ(journal.begin(options), 0);
    ASSERT_TRUE(engine::mMoveFile(sources, options, &journal));
  }

  void open(HistoryWindow& window) {
    window.refresh();
    window.show();
    ASSERT_TRUE(settled(window));
  }

  void select(HistoryWindow& window, int row) {
    auto* list = window.findChild<QTableView*>("lstRuns");
    list->setCurrentIndex(list->model()->index(row, 0));
    ASSERT_TRUE(settled(window));
  }

  void pressUndo(HistoryWindow& window) {
    QTest::mouseClick(window.findChild<QPushButton*>("cmdUndo"), Qt::LeftButton);
    ASSERT_TRUE(settled(window));
  }

  fs::path src = env.root() / "src";
  fs::path dst = env.root() / "dst";
  engine::TransferOptions options;
};

TEST_F(HistoryTest, ListsEveryRunNewestFirstAndTheFilesOfTheSelectedOne) {
  const std::string moved = run({"a.jpg", "b.jpg"}, false);
  const std::string failed = run({"c.jpg"}, true, false);
  // Killed before its end was written.
  engine::RunJournal killed;
  transfer(killed, {"d.jpg"}, false);
  const std::string killedPath = killed.path(), cut = killed.id();
  killed.finish(true);
  // Its last two lines (the end and the close) never reached the disk.
  std::string text = readText(killedPath);
  for (int line = 0; line < 2; ++line) text.resize(text.rfind('\n', text.size() - 2) + 1);
  std::ofstream(killedPath, std::ios::binary | std::ios::trunc) << text;
  engine::RunJournal running;
  transfer(running, {"e.jpg"}, false);

  HistoryWindow window;
  open(window);
  const std::string s = src.string(), d = dst.string();
  EXPECT_EQ(rowsOf(window, "lstRuns"),
            (Rows{{momentOf(running.id()), "移動", "0", "0", "実行中", "未取り消し", s, d},
                  {momentOf(cut), "移動", "1", "10", "中断", "未取り消し", s, d},
                  {momentOf(failed), "コピー", "1", "10", "失敗", "未取り消し", s, d},
                  {momentOf(moved), "移動", "2", "20", "完了", "未取り消し", s, d}}));

  // The newest run is selected; still being written, it shows no file as
  // done before its journal says so, and it cannot be undone.
  auto* undo = window.findChild<QPushButton*>("cmdUndo");
  EXPECT_EQ(rowsOf(window, "lstFiles"), Rows{});
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_NE(undo->toolTip().toStdString().find("書き込み中"), std::string::npos);
  EXPECT_EQ(window.findChild<QLabel*>("lblUndoNote")->text(), undo->toolTip());
  window.undoSelectedRun();
  ASSERT_TRUE(settled(window));
  EXPECT_TRUE(recorder.boxes.empty());

  // The killed run, settled by the look, lists the file it moved.
  select(window, 1);
  EXPECT_EQ(rowsOf(window, "lstFiles"), (Rows{{s + "/d.jpg", d + "/0000000000_d.jpg", ""}}));

  select(window, 3);
  EXPECT_EQ(rowsOf(window, "lstFiles"), (Rows{{s + "/a.jpg", d + "/0000000000_a.jpg", ""},
                                              {s + "/b.jpg", d + "/0000000001_b.jpg", ""}}));
  EXPECT_NE(window.findChild<QLabel*>("lblFiles")->text().toStdString().find(moved),
            std::string::npos);
  EXPECT_TRUE(undo->isEnabled());

  // Each list under its headings, across the top only.
  const auto headings = [&](const char* list) {
    const QAbstractItemModel* model = window.findChild<QTableView*>(list)->model();
    std::vector<std::string> texts;
    for (int c = 0; c <= model->columnCount(); ++c)
      texts.push_back(model->headerData(c, Qt::Horizontal).toString().toStdString());
    EXPECT_FALSE(model->headerData(0, Qt::Vertical).isValid()) << list;
    return texts;
  };
  EXPECT_EQ(headings("lstRuns"),
            (std::vector<std::string>{"日時", "操作", "ファイル数", "バイト数", "結果", "取り消し",
                                      "移動元", "移動先", ""}));
  EXPECT_EQ(headings("lstFiles"),
            (std::vector<std::string>{"移動元", "新しいパス", "取り消し", ""}));

  // Its end is written: the next look finds it free, the selection stays.
  running.finish(true);
  open(window);
  EXPECT_EQ(rowsOf(window, "lstRuns")[0][4], "完了");
  EXPECT_EQ(rowsOf(window, "lstFiles").size(), 2u);
}

// A move cut short whose file is now at its source and, other bytes, at its
// new path: the look that settles the run keeps both, and the window says so
// in the command line's words.
TEST_F(HistoryTest, ARunSettledWithAFileInTwoPlacesSaysWhatToCheck) {
  const std::string source = env.writeFile("src/a.jpg", 5);
  const fs::path made = dst / "0000000000_a.jpg";
  std::ofstream(made) << "another";
  struct stat st {};
  ASSERT_EQ(::stat(source.c_str(), &st), 0);
  fs::create_directories(engine::journalFolder());
  char time[48];
  std::snprintf(time, sizeof time, "%lld.%09ld", static_cast<long long>(st.st_mtim.tv_sec),
                st.st_mtim.tv_nsec);
  std::ofstream(fs::path(engine::journalFolder()) / "20240105-143000.journal")
      << "m_sifter journal 1\nstarted\t1704465000\noperation\tmove\nsource\t" << src.string()
      << "\ndestination\t" << dst.string() << "\nmount\t" << st.st_dev << "\t/"
      << "\nintent\t0\tmove\t" << source << "\t" << made.string() << "\t5\t" << time << "\t"
      << st.st_dev << "\t" << st.st_ino << "\n";
  HistoryWindow window;
  open(window);
  ASSERT_EQ(rowsOf(window, "lstRuns").size(), 1u);
  EXPECT_EQ(rowsOf(window, "lstRuns")[0][4], "中断（1 ファイルは移動元と移動先を確かめて下さい）");
  EXPECT_TRUE(fs::exists(source));
  EXPECT_TRUE(fs::exists(made));
}

TEST_F(HistoryTest, UndoAsksFirstThenTakesBackAllButTheChangedFile) {
  const std::string id = run({"a.jpg", "b.jpg", "c.jpg"}, false);
  std::ofstream(dst / "0000000001_b.jpg", std::ios::app) << "edited";
  HistoryWindow window;
  open(window);
  const std::string s = src.string(), d = dst.string();

  recorder.answers = {common::answer::Cancel};
  pressUndo(window);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].style, common::mb::OkCancel | common::mb::Question);
  EXPECT_EQ(
      recorder.boxes[0].text,
      "実行 " + id + "（" + momentOf(id) + "、移動）を元に戻します。\n移動先「" + d +
          "」から移動元「" + s +
          "」へ 2 ファイルを戻します。\n戻せない 1 ファイルはそのまま残します。\n元に戻せません: " +
          d + "/0000000001_b.jpg → " + s +
          "/b.jpg（実行の後で変更されています）\nよろしいですか？");
  EXPECT_EQ(msifter::testing::namesIn(dst).size(), 3u);
  // What the dry run found already shows beside the file.
  EXPECT_EQ(rowsOf(window, "lstFiles")[1][2], "実行の後で変更されています");

  recorder.boxes.clear();
  recorder.busyChanges.clear();
  pressUndo(window);
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.boxes[1].style, common::mb::Exclamation);
  EXPECT_EQ(recorder.boxes[1].text,
            "取り消し結果： 実行 " + id +
                "   元に戻した 2 ファイル   戻せなかった 1 ファイル\n元に戻せません: " + d +
                "/0000000001_b.jpg → " + s + "/b.jpg（実行の後で変更されています）");
  // The dry run and the undo each held the program busy.
  EXPECT_EQ(recorder.busyChanges, (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(msifter::testing::namesIn(src), (std::vector<std::string>{"a.jpg", "c.jpg"}));
  EXPECT_EQ(msifter::testing::namesIn(dst), std::vector<std::string>{"0000000001_b.jpg"});
  EXPECT_EQ(rowsOf(window, "lstRuns")[0][5], "一部取り消し済み");
  EXPECT_EQ(rowsOf(window, "lstFiles"),
            (Rows{{s + "/a.jpg", d + "/0000000000_a.jpg", "取り消し済み"},
                  {s + "/b.jpg", d + "/0000000001_b.jpg", "実行の後で変更されています"},
                  {s + "/c.jpg", d + "/0000000002_c.jpg", "取り消し済み"}}));
  EXPECT_TRUE(window.isEnabled());
}

TEST_F(HistoryTest, UndoOfACopyDeletesOnlyTheCopiesAndThenHasNothingLeft) {
  const std::string id = run({"a.jpg", "b.jpg"}, true);
  HistoryWindow window;
  open(window);
  pressUndo(window);
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_NE(recorder.boxes[0].text.find(
                "移動先「" + dst.string() +
                "」のコピー 2 ファイルを削除します（コピー元は移動元に残っています）。"),
            std::string::npos)
      << recorder.boxes[0].text;
  EXPECT_EQ(recorder.boxes[1].style, common::mb::Information);
  EXPECT_TRUE(fs::is_empty(dst));
  EXPECT_EQ(msifter::testing::namesIn(src), (std::vector<std::string>{"a.jpg", "b.jpg"}));

  auto* undo = window.findChild<QPushButton*>("cmdUndo");
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_EQ(undo->toolTip().toStdString(), "この実行はすべて元に戻してあります。");
  EXPECT_EQ(rowsOf(window, "lstRuns")[0][5], "取り消し済み");
}

TEST_F(HistoryTest, NothingToTakeBackOrARunTakenMeanwhileIsSaidWithoutAConfirmation) {
  const std::string id = run({"a.jpg"}, false);
  HistoryWindow window;
  open(window);

  // An undo elsewhere (the command line) holds the journal.
  const std::string journal = engine::listRuns().at(0).path;
  const int fd = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  pressUndo(window);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].text, "実行「" + id + "」は実行中か、ほかで取り消しの最中です。");
  // The list was read again and says so.
  EXPECT_EQ(rowsOf(window, "lstRuns")[0][4], "実行中");
  EXPECT_FALSE(window.findChild<QPushButton*>("cmdUndo")->isEnabled());
  ::close(fd);

  fs::remove(dst / "0000000000_a.jpg");
  recorder.boxes.clear();
  open(window);
  pressUndo(window);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].style, common::mb::Information);
  EXPECT_EQ(recorder.boxes[0].text,
            "元に戻せるファイルはありません。\n元に戻せません: " + dst.string() +
                "/0000000000_a.jpg → " + src.string() + "/a.jpg（移動先にファイルがありません）");
}

// The run taken elsewhere while the confirmation was shown: the undo says
// so and takes nothing back.
TEST_F(HistoryTest, ARunTakenWhileTheConfirmationIsShownIsSaidAndLeftAlone) {
  const std::string id = run({"a.jpg"}, false);
  HistoryWindow window;
  open(window);
  const int fd = ::open(engine::listRuns().at(0).path.c_str(), O_RDONLY | O_CLOEXEC);
  {
    struct LockingAtConfirmation : msifter::testing::RecordingUi {
      int fd = -1;
      int messageBox(const std::string& text, int style, const std::string& title) override {
        if ((style & common::mb::Question) != 0) {
          EXPECT_EQ(::flock(fd, LOCK_EX), 0);
        }
        return RecordingUi::messageBox(text, style, title);
      }
    } answering;
    answering.fd = fd;
    pressUndo(window);
    ASSERT_EQ(answering.boxes.size(), 2u);
    EXPECT_EQ(answering.boxes[1].text, "実行「" + id + "」は実行中か、ほかで取り消しの最中です。");
    EXPECT_EQ(answering.boxes[1].style, common::mb::Exclamation);
  }
  common::setUi(&recorder);
  // The list was read again, the journal still held.
  EXPECT_EQ(rowsOf(window, "lstRuns")[0][4], "実行中");
  EXPECT_FALSE(window.findChild<QPushButton*>("cmdUndo")->isEnabled());
  ::close(fd);
  EXPECT_TRUE(fs::exists(dst / "0000000000_a.jpg"));
  EXPECT_FALSE(fs::exists(src / "a.jpg"));
}

class HistoryFromMenuTest : public HistoryTest {};

TEST_F(HistoryFromMenuTest, AltTOpensItAndItFollowsTheRunsOfBothWindows) {
  FrmMenu menu;
  menu.load();
  menu.show();
  menu.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&menu));
  QTest::keyClick(&menu, Qt::Key_T, Qt::AltModifier);
  auto* tools = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(tools->objectName(), "Tools");
  QTest::keyClick(tools, Qt::Key_R);
  HistoryWindow* history = menu.historyWindow();
  ASSERT_NE(history, nullptr);
  ASSERT_TRUE(history->isVisible());
  ASSERT_TRUE(settled(*history));
  EXPECT_EQ(history->windowTitle().toStdString(), "実行履歴     m_sifter");
  EXPECT_EQ(history->font().family().toStdString(), "ＭＳ ゴシック");
  EXPECT_EQ(history->font().pointSizeF(), 9.0);
  EXPECT_TRUE(rowsOf(*history, "lstRuns").empty());

  // A run of the main window is listed as it ends.
  env.writeFile("src/a.jpg", 10);
  settings::SettingsWindow& values = menu.settingsView();
  values.setCaption(settings::FolderLabel::ServerDir, src.string());
  values.setCaption(settings::FolderLabel::ReceiveDir, dst.string());
  values.setValue(settings::Check::AllFile, 1);
  menu.targetType_Click();
  menu.cmdExecute_Click();
  ASSERT_TRUE(settled(*history));
  ASSERT_EQ(rowsOf(*history, "lstRuns").size(), 1u);

  // One of the command line's, when the window is looked at again.
  run({"b.jpg"}, false);
  // The user was in a terminal meanwhile.
  QWidget terminal;
  terminal.show();
  terminal.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&terminal));
  history->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(history));
  ASSERT_TRUE(settled(*history));
  EXPECT_EQ(rowsOf(*history, "lstRuns").size(), 2u);
  EXPECT_EQ(rowsOf(*history, "lstRuns")[0][2], "1");

  // Closing the main window takes the history window along and ends the program.
  EXPECT_TRUE(menu.close());
  EXPECT_FALSE(history->isVisible());
  EXPECT_EQ(recorder.endProcessingCalls, 1);
}

// Holds the undo's first look at `path` until released.
class HeldLook : public platform::Syscalls {
 public:
  explicit HeldLook(std::string path) : path_(std::move(path)) {}
  int lstat(const char* path, struct stat* out) override {
    if (path_ == path) {
      reached = true;
      while (held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Syscalls::lstat(path, out);
  }
  std::atomic<bool> held{true};
  std::atomic<bool> reached{false};

 private:
  std::string path_;
};

TEST_F(HistoryFromMenuTest, WhileAnUndoWorksNeitherWindowTakesInputOrCloses) {
  run({"a.jpg"}, false);
  FrmMenu menu;
  menu.load();
  menu.show();
  menu.mnuHistory_Click();
  HistoryWindow& history = *menu.historyWindow();
  ASSERT_TRUE(settled(history));

  HeldLook calls((dst / "0000000000_a.jpg").string());
  {
    platform::ScopedSyscalls scoped(calls);
    history.undoSelectedRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls.reached.load(); }, 10000));
    QTest::qWait(50);
    EXPECT_TRUE(history.isUndoing());
    EXPECT_FALSE(menu.isEnabled());
    EXPECT_FALSE(history.isEnabled());
    EXPECT_FALSE(history.close());
    EXPECT_FALSE(menu.close());
    EXPECT_EQ(recorder.endProcessingCalls, 0);
    calls.held = false;
    ASSERT_TRUE(settled(history));
  }
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.busyChanges, (std::vector<bool>{true, false, true, false}));
  EXPECT_TRUE(menu.isEnabled());
  EXPECT_TRUE(history.isVisible());
  EXPECT_EQ(msifter::testing::namesIn(src), std::vector<std::string>{"a.jpg"});
}

}  // namespace
}  // namespace msifter::ui::testing
