// SPDX-License-Identifier: GPL-3.0-or-later
// Opening targets, the help page, the folder pictures and the folder dialog.
#include "ui/shell.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

#include "common/app.h"
#include "ui/frm_menu.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

class ShellTest : public WindowTest {};

TEST(WebAddress, TellsAddressesFromPaths) {
  const std::pair<const char*, bool> cases[] = {{"https://m-sifter.example.org/", true},
                                                {"http://x", true},
                                                {"mailto:someone@example.org", true},
                                                {"/home/user/index.html", false},
                                                {"relative/file", false},
                                                {"://nothing", false},
                                                {"/tmp/a://b", false},
                                                {"", false}};
  for (const auto& [target, expected] : cases) EXPECT_EQ(isWebAddress(target), expected) << target;
}

TEST_F(ShellTest, MissingLocalTargetFailsWithoutLaunchingAnything) {
  EXPECT_FALSE(gShellExecute((env.root() / "missing.txt").string(), common::show::Maximized));
  EXPECT_TRUE(recorder.shellRequests.empty());
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(env.errorLog(), "");
  EXPECT_FALSE(openWithDesktop((env.root() / "missing.txt").string()));
}

TEST_F(ShellTest, ExistingTargetsAndAddressesGoToTheDesktop) {
  const auto file = env.writeFile("page.html", 3);
  EXPECT_TRUE(gShellExecute(file.string(), common::show::NoActivate));
  EXPECT_TRUE(gShellExecute("https://m-sifter.example.org/", common::show::Maximized));
  recorder.shellSucceeds = false;
  EXPECT_FALSE(gShellExecute(file.string(), common::show::Minimized));
  EXPECT_EQ(recorder.shellRequests,
            (std::vector<std::pair<std::string, int>>{
                {file.string(), 4}, {"https://m-sifter.example.org/", 3}, {file.string(), 2}}));
}

TEST_F(ShellTest, HelpOpensTheIndexBesideTheProgramMaximized) {
  EXPECT_TRUE(gDspHelp());
  ASSERT_EQ(recorder.shellRequests.size(), 1u);
  const std::string page = recorder.shellRequests[0].first;
  EXPECT_EQ(page, common::applicationFolder() + "/index.html");
  EXPECT_EQ(recorder.shellRequests[0].second, common::show::Maximized);
  // The page that ships explains the window in Japanese.
  const std::string html = readText(page);
  EXPECT_NE(html.find("lang=\"ja\""), std::string::npos);
  for (const char* option :
       {"フォルダの選択", "サブフォルダも対象にする", "件移動したら終了する",
        "KB以下は対象にしない", "KB以上は対象にしない", "ゆっくり移動する", "移動ではなくコピー",
        "全てのファイルを対象にする", "画像ファイル", "その他のファイル", "移動日時をつける",
        "通し番号をつける", "拡張子を整える", "実 行", "終 了", "処理結果"}) {
    EXPECT_NE(html.find(option), std::string::npos) << option;
  }
  EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(ShellTest, HelpThatCannotBeOpenedShowsMessage14AndLogs) {
  recorder.shellSucceeds = false;
  EXPECT_FALSE(gDspHelp());
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_FALSE(recorder.boxes[0].text.empty());
  EXPECT_NE(env.errorLog().find("gDspHelp (m_sifter)でエラーが発生しました。"), std::string::npos);
}

TEST_F(ShellTest, FolderPicturesOpenTheFolderOrSayWhatIsWrong) {
  FrmMenu window;
  // Empty label: message 59 about that folder.
  window.imgServerDir_Click();
  window.imgReceiveDir_Click();
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.boxes[0].text.rfind("移動元のフォルダが", 0), 0u);
  EXPECT_EQ(recorder.boxes[1].text.rfind("移動先のフォルダが", 0), 0u);
  const std::string emptyMessage =
      recorder.boxes[0].text.substr(std::string("移動元のフォルダが").size());

  // A folder that has gone: message 58, a different text.
  window.settingsView().setCaption(settings::FolderLabel::ServerDir,
                                   (env.root() / "gone").string());
  window.imgServerDir_Click();
  ASSERT_EQ(recorder.boxes.size(), 3u);
  EXPECT_EQ(recorder.boxes[2].text.rfind("移動元のフォルダが", 0), 0u);
  EXPECT_NE(recorder.boxes[2].text.substr(std::string("移動元のフォルダが").size()), emptyMessage);
  EXPECT_TRUE(recorder.shellRequests.empty());

  // An existing folder opens without taking the focus.
  window.settingsView().setCaption(settings::FolderLabel::ReceiveDir, env.root().string());
  window.imgReceiveDir_Click();
  ASSERT_EQ(recorder.shellRequests.size(), 1u);
  EXPECT_EQ(recorder.shellRequests[0],
            (std::pair<std::string, int>{env.root().string(), common::show::NoActivate}));
  EXPECT_EQ(env.errorLog(), "");

  // When the desktop refuses, only the log hears of it.
  recorder.shellSucceeds = false;
  window.imgReceiveDir_Click();
  EXPECT_EQ(recorder.boxes.size(), 3u);
  EXPECT_NE(env.errorLog().find("imgReceiveDir_Click (m_sifter)でエラーが発生しました。"),
            std::string::npos);
}

// Answers the folder dialog as soon as it is up.
void answerFolderDialog(std::function<void(QFileDialog&)> answer) {
  QTimer::singleShot(0, [answer] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      answerFolderDialog(answer);  // not up yet
      return;
    }
    answer(*dialog);
  });
}

// The program keeps no configuration beyond its own settings store: the
// dialog's history and last folder are not left behind.
void expectNoDialogSettingsLeft(const msifter::testing::TempEnv& env) {
  EXPECT_FALSE(fs::exists(env.configHome() / "QtProject.conf"));
  const QString dialogSettings =
      QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName();
  EXPECT_FALSE(QFileInfo::exists(dialogSettings)) << dialogSettings.toStdString();
}

TEST_F(ShellTest, FolderDialogCancelKeepsTheLabel) {
  FrmMenu window;
  window.settingsView().setCaption(settings::FolderLabel::ServerDir, "/kept");
  QString title;
  answerFolderDialog([&](QFileDialog& dialog) {
    title = dialog.windowTitle();
    EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
    dialog.reject();
  });
  window.cmdServerSelect_Click();
  EXPECT_EQ(title.toStdString(), "ﾌｫﾙﾀﾞを選択してください");
  EXPECT_EQ(window.settingsView().caption(settings::FolderLabel::ServerDir), "/kept");
  expectNoDialogSettingsLeft(env);
}

TEST_F(ShellTest, FolderDialogChoiceBecomesTheCaption) {
  FrmMenu window;
  const fs::path chosen = env.root() / "chosen";
  fs::create_directories(chosen);
  answerFolderDialog([&](QFileDialog& dialog) {
    dialog.setDirectory(QString::fromStdString(chosen.string()));
    dialog.selectFile(QString::fromStdString(chosen.string()));
    static_cast<QDialog&>(dialog).accept();  // public as a QDialog
  });
  window.cmdReceiveSelect_Click();
  EXPECT_EQ(window.settingsView().caption(settings::FolderLabel::ReceiveDir), chosen.string());
  expectNoDialogSettingsLeft(env);
}

}  // namespace
}  // namespace msifter::ui::testing
