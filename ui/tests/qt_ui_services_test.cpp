// SPDX-License-Identifier: GPL-3.0-or-later
// The real message boxes: styles mapped onto Qt and the pressed button's code
// coming back.
#include "ui/qt_ui_services.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>

#include "common/ui_services.h"
#include "ui/frm_menu.h"
#include "window_test_support.h"

namespace msifter::ui::testing {
namespace {

using common::answer::Abort;
using common::answer::Cancel;
using common::answer::Ignore;
using common::answer::No;
using common::answer::Ok;
using common::answer::Retry;
using common::answer::Yes;
namespace mb = common::mb;

TEST(MessageBoxStyle, ButtonSetsIconsAndDefaults) {
  using B = QMessageBox;
  struct Row {
    int style;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton defaultButton;
  };
  const Row rows[] = {
      {mb::OkOnly, B::Ok, B::NoIcon, B::Ok},
      {mb::OkCancel | mb::Question, B::Ok | B::Cancel, B::Question, B::Ok},
      {mb::AbortRetryIgnore | mb::Critical | mb::DefaultButton3, B::Abort | B::Retry | B::Ignore,
       B::Critical, B::Ignore},
      {mb::YesNoCancel | mb::Exclamation | mb::DefaultButton2, B::Yes | B::No | B::Cancel,
       B::Warning, B::No},
      {mb::YesNo | mb::Information | mb::SystemModal, B::Yes | B::No, B::Information, B::Yes},
      {mb::RetryCancel | mb::DefaultButton2, B::Retry | B::Cancel, B::NoIcon, B::Cancel},
      {mb::OkOnly | mb::DefaultButton3, B::Ok, B::NoIcon, B::Ok},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.style);
    EXPECT_EQ(buttonsForStyle(row.style), row.buttons);
    EXPECT_EQ(iconForStyle(row.style), row.icon);
    EXPECT_EQ(defaultButtonForStyle(row.style), row.defaultButton);
  }
  EXPECT_EQ(answerForButton(B::Ok), Ok);
  EXPECT_EQ(answerForButton(B::Cancel), Cancel);
  EXPECT_EQ(answerForButton(B::Abort), Abort);
  EXPECT_EQ(answerForButton(B::Retry), Retry);
  EXPECT_EQ(answerForButton(B::Ignore), Ignore);
  EXPECT_EQ(answerForButton(B::Yes), Yes);
  EXPECT_EQ(answerForButton(B::No), No);
}

// What a box showed.
struct ShownBox {
  QString title;
  QString text;
  QMessageBox::Icon icon{};
};

// Presses `button` on the box as soon as it shows, noting what it showed.
void press(QMessageBox::StandardButton button, ShownBox* shown) {
  QTimer::singleShot(10, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      press(button, shown);
      return;
    }
    *shown = {box->windowTitle(), box->text(), box->icon()};
    box->button(button)->click();
  });
}

TEST(QtMessageBox, ShowsTheRealBoxAndReturnsThePressedButton) {
  QtUiServices services;
  ShownBox shown;
  press(QMessageBox::No, &shown);
  EXPECT_EQ(common::ui().messageBox("消しますか", mb::YesNoCancel | mb::Question, ""), No);
  EXPECT_EQ(shown.title.toStdString(), "m_sifter");  // no title of its own: the application's
  EXPECT_EQ(shown.text.toStdString(), "消しますか");
  EXPECT_EQ(shown.icon, QMessageBox::Question);

  press(QMessageBox::Retry, &shown);
  EXPECT_EQ(common::ui().messageBox("もう一度", mb::AbortRetryIgnore | mb::Critical, "gDispMsg"),
            Retry);
  EXPECT_EQ(shown.title.toStdString(), "gDispMsg");
  EXPECT_EQ(shown.icon, QMessageBox::Critical);
}

TEST(QtMessageBox, WorksFromAnotherThread) {
  QtUiServices services;
  ShownBox shown;
  press(QMessageBox::Ok, &shown);
  std::atomic<int> answer{0};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = common::ui().messageBox("別の処理から", mb::OkOnly | mb::Information, "");
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  worker.join();
  EXPECT_EQ(answer, Ok);
  EXPECT_EQ(shown.text.toStdString(), "別の処理から");
  EXPECT_EQ(shown.icon, QMessageBox::Information);
}

}  // namespace
}  // namespace msifter::ui::testing

namespace msifter::ui::testing {
namespace {

class RealServicesRun : public WindowTest {};

// The whole Execute with the real services: the rejected options' box is a
// real one, answered here, and a run leaves no hourglass behind.
TEST_F(RealServicesRun, ExecuteShowsRealBoxesAndRestoresThePointer) {
  FrmMenu window;
  window.load();
  window.show();
  QtUiServices services;

  ShownBox shown;
  press(QMessageBox::Ok, &shown);
  window.cmdExecute_Click();
  EXPECT_TRUE(shown.text.startsWith(QString::fromUtf8("移動元のフォルダを")))
      << shown.text.toStdString();
  EXPECT_EQ(shown.title.toStdString(), "m_sifter");

  const fs::path source = env.root() / "in";
  const fs::path destination = env.root() / "out";
  env.writeFile("in/one.jpg", 1);
  fs::create_directories(destination);
  settings::SettingsWindow& options = window.settingsView();
  options.setCaption(settings::FolderLabel::ServerDir, source.string());
  options.setCaption(settings::FolderLabel::ReceiveDir, destination.string());
  options.setValue(settings::Check::AllFile, 1);
  window.cmdExecute_Click();
  EXPECT_TRUE(fs::exists(source) && fs::is_empty(source));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(window.isEnabled());
}

}  // namespace
}  // namespace msifter::ui::testing
