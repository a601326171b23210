// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the single instance, the end window, the About window and the
// window procedures.
#include "ui/lifecycle.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "ui/frm_about.h"
#include "ui/frm_end_program.h"
#include "ui/frm_menu.h"
#include "ui/ui_config.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

class LifecycleTest : public QtTest {
 protected:
  void TearDown() override {
    releaseInstanceLock();
    destroyForms();
  }
};

TEST_F(LifecycleTest, FormTitleModes) {
  QWidget window;
  window.setWindowTitle("本文");
  EXPECT_TRUE(gDspFormTitle(window, TitleMode::TitleLast));
  EXPECT_EQ(window.windowTitle().toStdString(), "本文     m_sifter");
  window.setWindowTitle("本文");
  EXPECT_TRUE(gDspFormTitle(window, TitleMode::TitleFirst));
  EXPECT_EQ(window.windowTitle().toStdString(), "m_sifter     本文");
  EXPECT_TRUE(gDspFormTitle(window, static_cast<TitleMode>(2)));
  EXPECT_EQ(window.windowTitle().toStdString(), "m_sifter     本文");
}

TEST_F(LifecycleTest, WindowPositionCentresOrRaisesTheWindow) {
  QWidget window;
  window.resize(301, 201);
  window.show();
  const QRect screen = window.screen()->geometry();
  const QRect outer = window.frameGeometry();
  ASSERT_TRUE(gDspWindowPosition(window, FormPosition::Centred));
  EXPECT_EQ(window.frameGeometry().topLeft(),
            screen.topLeft() + QPoint((screen.width() - outer.width()) / 2,
                                      (screen.height() - outer.height()) / 2));
  ASSERT_TRUE(gDspWindowPosition(window, FormPosition::High));
  EXPECT_EQ(window.frameGeometry().top(), screen.top() + (screen.height() - outer.height()) / 6);
  const QPoint before = window.pos();
  EXPECT_FALSE(gDspWindowPosition(window, static_cast<FormPosition>(2)));
  EXPECT_EQ(window.pos(), before);
  EXPECT_NE(env.errorLog().find("gDspWindowPosition (m_sifter)"), std::string::npos);
}

TEST_F(LifecycleTest, FormCountFollowsLoadAndUnload) {
  const int32_t before = gGetFormCount();
  {
    FrmMenu menu;
    EXPECT_EQ(gGetFormCount(), before);
    gDspForm(menu, FormPosition::AsPlaced, FormModal::Modeless, FormState::Normal);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(gGetFormCount(), before + 1);
  }
  EXPECT_EQ(gGetFormCount(), before);
}

// Reads the window that is showing modally once it is up. The look runs at
// most once and only while `alive` says the test is still there.
void whileModal(std::function<void(QWidget&)> look, std::shared_ptr<bool> alive,
                int triesLeft = 200) {
  QTimer::singleShot(20, [look, alive, triesLeft] {
    if (!*alive) return;
    if (QWidget* modal = QApplication::activeModalWidget())
      look(*modal);
    else if (triesLeft > 0)
      whileModal(look, alive, triesLeft - 1);
  });
}

// Where a window's outer frame belongs when it is centred on its screen.
QPoint centredFrame(const QWidget& window) {
  const QRect screen = window.screen()->geometry();
  const QRect outer = window.frameGeometry();
  return screen.topLeft() +
         QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2);
}

bool becomesCentred(const QWidget& window) {
  return QTest::qWaitFor([&] { return window.frameGeometry().topLeft() == centredFrame(window); },
                         2000);
}

// Notes what the end window shows at the moment it goes away.
class EndWindowWatch : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched->objectName() == "frmEndProgram") {
      auto* window = static_cast<QWidget*>(watched);
      title = window->windowTitle().toStdString();
      line1 = window->findChild<QLabel*>("Label1")->text().toStdString();
      line2 = window->findChild<QLabel*>("Label2")->text().toStdString();
      visibleFor = shownAt.elapsed();
      centred = window->frameGeometry().topLeft() == centredFrame(*window);
    }
    if (event->type() == QEvent::Show && watched->objectName() == "frmEndProgram") shownAt.start();
    return false;
  }
  std::string title;
  std::string line1;
  std::string line2;
  QElapsedTimer shownAt;
  qint64 visibleFor = -1;
  bool centred = false;
};

TEST_F(LifecycleTest, EndWindowShowsItsTwoLinesForAboutASecondAndAHalf) {
  EndWindowWatch watch;
  QApplication::instance()->installEventFilter(&watch);
  EXPECT_TRUE(gProcEndProgram());
  QApplication::instance()->removeEventFilter(&watch);
  EXPECT_GE(watch.visibleFor, 1150);
  EXPECT_LT(watch.visibleFor, 5000);
  EXPECT_EQ(watch.title, "終了処理     m_sifter");
  EXPECT_EQ(watch.line1, "終了処理をしています。");
  EXPECT_EQ(watch.line2, "しばらくお待ちください。");
  EXPECT_TRUE(watch.centred);
  EXPECT_EQ(frmEndProgram(), nullptr);  // its unload cleared the reference
}

TEST_F(LifecycleTest, WindowsAreCentredByTheirFrameOnceTheyAreFramed) {
  // Placed while hidden, when the window system has not told its frame yet.
  QWidget plain;
  plain.resize(301, 201);
  ASSERT_TRUE(gDspWindowPosition(plain, FormPosition::Centred));
  plain.show();
  EXPECT_TRUE(becomesCentred(plain))
      << plain.frameGeometry().x() << "," << plain.frameGeometry().y();

  FrmMenu menu;
  ASSERT_TRUE(gDspForm(menu, FormPosition::Centred, FormModal::Modeless, FormState::Normal));
  EXPECT_TRUE(becomesCentred(menu));

  auto alive = std::make_shared<bool>(true);
  bool aboutCentred = false;
  whileModal(
      [&](QWidget& about) {
        aboutCentred = becomesCentred(about);
        about.close();
      },
      alive);
  menu.mnuAbout_Click();
  *alive = false;
  EXPECT_TRUE(aboutCentred);
}

TEST_F(LifecycleTest, AboutWindowTellsTitleVersionAndLinksTheHomePage) {
  FrmAbout& about = loadAboutForm();
  about.load();
  EXPECT_EQ(about.windowTitle().toStdString(), "このソフトについて     m_sifter");
  EXPECT_EQ(about.findChild<QLabel*>("Label1")->text().toStdString(), "m_sifter  version 1.0.1");
  EXPECT_EQ(about.findChild<QLabel*>("Label2")->text().toStdString(), FrmAbout::kSecondLine);
  EXPECT_EQ(about.findChild<QLabel*>("Label4")->text().toStdString(),
            "お問い合わせ、最新版の配布は");
  auto* label7 = about.findChild<QLabel*>("Label7");
  EXPECT_EQ(label7->text().toStdString(), "このページへ");
  EXPECT_TRUE(label7->alignment() & Qt::AlignRight);
  auto* link = about.findChild<QLabel*>("lblHp");
  EXPECT_EQ(link->text().toStdString(), kAboutLinkLabel);
  EXPECT_EQ(about.findChild<QLabel*>("lblLicense")->text().toStdString(),
            "ライセンス： GPL-3.0-or-later");
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(link->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(link->font().pointSizeF(), 11.25);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);

  const auto menus = about.findChild<QMenuBar*>()->actions();
  ASSERT_EQ(menus.size(), 1);
  EXPECT_EQ(menus[0]->text().toStdString(), "ヘルプ(&H)");
  ASSERT_EQ(menus[0]->menu()->actions().size(), 1);
  EXPECT_EQ(menus[0]->menu()->actions()[0]->text().toStdString(), "目次(&C)");

  about.show();
  QTest::mouseClick(link, Qt::LeftButton);
  ASSERT_EQ(recorder.shellRequests.size(), 1u);
  EXPECT_EQ(recorder.shellRequests[0],
            (std::pair<std::string, int>{FrmAbout::linkTarget(), common::show::Maximized}));
  // Without an address of its own the link opens the README shipped beside the program.
  if (std::string(MSIFTER_ABOUT_LINK_URL_FOR_TESTS).empty()) {
    EXPECT_TRUE(std::filesystem::is_regular_file(FrmAbout::linkTarget()));
  }
  EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(LifecycleTest, AboutLinkThatCannotOpenShowsMessage48AndStaysOpen) {
  ASSERT_TRUE(common::gMsgInit(MSIFTER_APP_DIR "/sys/msg", common::kMsgPassword));
  recorder.shellSucceeds = false;
  FrmAbout& about = loadAboutForm();
  about.load();
  about.show();
  about.lblHp_Click();
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_FALSE(recorder.boxes[0].text.empty());
  EXPECT_TRUE(about.isVisible());
  EXPECT_EQ(frmAbout(), &about);
}

TEST_F(LifecycleTest, AboutIsCreatedAfreshAfterItWasClosed) {
  FrmMenu menu;
  auto alive = std::make_shared<bool>(true);
  std::vector<std::string> titles;
  const auto lookAndClose = [&](QWidget& modal) {
    titles.push_back(modal.windowTitle().toStdString());
    modal.close();
  };
  whileModal(lookAndClose, alive);
  menu.mnuAbout_Click();
  EXPECT_EQ(frmAbout(), nullptr);
  whileModal(lookAndClose, alive);
  menu.mnuAbout_Click();
  EXPECT_EQ(frmAbout(), nullptr);
  *alive = false;
  // A second time the caption is built again from the plain one, not added to.
  EXPECT_EQ(titles, (std::vector<std::string>{"このソフトについて     m_sifter",
                                              "このソフトについて     m_sifter"}));
}

TEST_F(LifecycleTest, MissingMessageDatabaseEndsWithTheBuiltInMessage) {
  // This test program has no sys/msg beside it.
  common::gblnNoErrDialog = false;
  EXPECT_THROW(Main(), common::ProgramEnded);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  const std::string expected =
      std::string("必要とするメッセージデータベースが開けません") +
      "\r\n回避不可能なエラーが発生しました｡\r\n「m_sifter」を終了します。\r\n"
      "このアプリケーションの作者にエラー報告を\r\nして頂けると有り難いです｡\r\n"
      "報告方法は「説明書」に記載してあります。\r\n";
  EXPECT_EQ(recorder.boxes[0].text, expected);
  EXPECT_EQ(recorder.boxes[0].style, common::mb::Critical | common::mb::OkOnly);
  EXPECT_TRUE(common::gblnNoErrDialog);  // switched on before the failure: no report dialog
  EXPECT_EQ(recorder.endProcessingCalls, 1);
  EXPECT_EQ(recorder.endCodes.size(), 1u);
  const std::string log = env.errorLog();
  EXPECT_NE(log.find("必要とするメッセージマスタデータベースが開けません。"), std::string::npos);
  EXPECT_NE(log.find("Main (m_sifter)でエラーが発生しました。"), std::string::npos);
  EXPECT_EQ(frmMenu(), nullptr);
}

// ---- the single instance, against the real program

class InstanceTest : public LifecycleTest {
 protected:
  void SetUp() override {
    LifecycleTest::SetUp();
    processEnv = QProcessEnvironment::systemEnvironment();
    processEnv.insert("XDG_RUNTIME_DIR", QString::fromLocal8Bit(std::getenv("XDG_RUNTIME_DIR")));
    processEnv.insert("XDG_CONFIG_HOME", QString::fromLocal8Bit(std::getenv("XDG_CONFIG_HOME")));
    // The programs keep their error logs apart from this test's.
    const fs::path childTemp = env.root() / "child-tmp";
    fs::create_directories(childTemp);
    for (const char* name : {"TMPDIR", "TEMP", "TMP"})
      processEnv.insert(name, QString::fromStdString(childTemp.string()));
    processEnv.insert("QT_QPA_PLATFORM", "offscreen");
  }
  void TearDown() override {
    for (auto* p : {&first, &second}) {
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
    }
    LifecycleTest::TearDown();
  }

  void start(QProcess& process) {
    process.setProcessEnvironment(processEnv);
    process.start(QStringLiteral(MSIFTER_APP_DIR "/m_sifter"), {});
    ASSERT_TRUE(process.waitForStarted(5000));
  }

  // The first instance holds the lock once its file is there.
  bool waitForLock() {
    for (int i = 0; i < 200; ++i) {
      if (fs::exists(instanceLockPath())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  QProcessEnvironment processEnv;
  QProcess first;
  QProcess second;
};

TEST_F(InstanceTest, SecondProcessEndsAtOnceWithoutAWindow) {
  start(first);
  ASSERT_TRUE(waitForLock());
  start(second);
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  // Silent: no message, no report.
  EXPECT_EQ(second.readAllStandardError().toStdString(), "");
  EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(InstanceTest, SecondInstanceInProcessIsRefusedSilentlyOrWithTheMessage) {
  start(first);
  ASSERT_TRUE(waitForLock());
  try {
    gChkDoubleStarting(false);
    ADD_FAILURE() << "not refused";
  } catch (const common::ProgramEnded& end) {
    EXPECT_EQ(end.exitCode, 0);
  }
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_THROW(gChkDoubleStarting(true), common::ProgramEnded);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].text, "既に起動されています");
  EXPECT_EQ(recorder.boxes[0].style, common::mb::OkOnly);
  EXPECT_EQ(env.errorLog(), "");
}

TEST_F(InstanceTest, LockLeftByACrashedRunDoesNotBlock) {
  start(first);
  ASSERT_TRUE(waitForLock());
  first.kill();  // SIGKILL: no chance to give the lock back
  ASSERT_TRUE(first.waitForFinished(5000));
  ASSERT_TRUE(fs::exists(instanceLockPath()));

  start(second);
  EXPECT_FALSE(second.waitForFinished(1500)) << "the next start was refused";
  EXPECT_EQ(second.state(), QProcess::Running);
}

TEST_F(InstanceTest, LockIsTakenOverFromADeadOwnerInProcess) {
  start(first);
  ASSERT_TRUE(waitForLock());
  first.kill();
  ASSERT_TRUE(first.waitForFinished(5000));
  ASSERT_TRUE(fs::exists(instanceLockPath()));
  EXPECT_NO_THROW(gChkDoubleStarting(true));
  EXPECT_TRUE(recorder.boxes.empty());
}

// ---- what may and may not refuse a start (a live instance refuses, a killed
// one does not: InstanceTest above)

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class InstanceLockTest : public LifecycleTest {
 protected:
  bool startGoesOn() {
    try {
      gChkDoubleStarting(true);
      return true;
    } catch (const common::ProgramEnded&) {
      return false;
    }
  }
};

TEST_F(InstanceLockTest, LockThatNoLiveInstanceHoldsNeverRefuses) {
  const fs::path elsewhere = env.root() / "elsewhere";
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;
    std::size_t reports;  // a lock that cannot be taken at all is logged once
  };
  const Case cases[] = {
      {"empty file", [](const fs::path& p) { std::ofstream(p, std::ios::binary) << ""; }, 0},
      {"garbage",
       [](const fs::path& p) { std::ofstream(p, std::ios::binary) << "\x7f\x01 no pid\n\n"; }, 0},
      {"folder", [](const fs::path& p) { fs::create_directories(p / "inside"); }, 1},
      {"link", [&](const fs::path& p) { fs::create_symlink(elsewhere, p); }, 1},
      {"pipe", [](const fs::path& p) { ::mkfifo(p.c_str(), 0600); }, 1},
  };
  // A lock file the program makes is its user's alone.
  ASSERT_TRUE(startGoesOn());
  EXPECT_EQ(fs::status(instanceLockPath()).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  releaseInstanceLock();

  for (const Case& c : cases) {
    const fs::path path = instanceLockPath();
    fs::remove_all(path);
    c.make(path);
    const std::string logBefore = env.errorLog();
    EXPECT_TRUE(startGoesOn()) << c.what;
    EXPECT_TRUE(recorder.boxes.empty()) << c.what;
    const std::string logged = env.errorLog().substr(logBefore.size());
    EXPECT_EQ(countOf(logged, "gChkDoubleStarting (m_sifter)"), c.reports) << c.what;
    if (c.reports > 0) {
      EXPECT_NE(logged.find(path.string() + ": "), std::string::npos) << c.what << logged;
    }
    releaseInstanceLock();
  }
  EXPECT_FALSE(fs::exists(elsewhere)) << "the lock followed a link";
}

TEST_F(InstanceLockTest, AnotherUsersLockInTheSharedTempFolderDoesNotBlock) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // No runtime folder: the lock goes to the temporary folder all users share.
  env.setVar("XDG_RUNTIME_DIR", std::nullopt);
  const fs::path shared = env.root() / "shared";
  fs::create_directories(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  fs::permissions(env.root(), fs::perms::owner_all | fs::perms::others_exec);
  for (const char* name : {"TMPDIR", "TEMP", "TMP"}) env.setVar(name, shared.string());
  const auto startAsNobody = [this]() -> std::optional<int> {
    const pid_t child = ::fork();
    if (child == 0) {
      int result = 3;
      if (::setgid(65534) == 0 && ::setuid(65534) == 0) result = startGoesOn() ? 0 : 1;
      ::_exit(result);
    }
    int status = -1;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
  };
  const fs::path theirLog = shared / "m_sifter_ErrLog.txt";

  // A lock this user's instance left under the name all users once shared.
  std::ofstream(shared / "m_sifter.lock") << "1\nm_sifter\nthis-host\n";
  EXPECT_EQ(startAsNobody(), 0) << "the other user's start was refused";
  EXPECT_FALSE(fs::exists(theirLog));

  // A file this user put under the other user's own name is not taken, and
  // not obeyed either.
  fs::remove(shared / "m_sifter-65534.lock");
  std::ofstream(shared / "m_sifter-65534.lock") << "";
  EXPECT_EQ(startAsNobody(), 0) << "the other user's start was refused";
  EXPECT_EQ(countOf(readText(theirLog), "gChkDoubleStarting (m_sifter)"), 1u);
}

}  // namespace
}  // namespace msifter::ui::testing
