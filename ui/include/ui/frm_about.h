// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// frmAbout: which program and version this is, one more line, its licence,
// and a link to the program's page.
#include <QDialog>
#include <string>

#include "ui/forms.h"

class QLabel;

namespace msifter::ui {

class ClickableLabel;

class FrmAbout : public QDialog, public Form {
 public:
  static constexpr const char* kCaption = "このソフトについて";
  static constexpr const char* kSecondLine = "写真などのファイルを整理します。";

  FrmAbout();
  ~FrmAbout() override;

  QWidget& widget() override { return *this; }

  // What the link opens: the configured page, else the README beside the
  // program.
  static std::string linkTarget();

  void lblHp_Click();
  void mnuContents_Click();

 protected:
  void formLoad() override;
  void done(int result) override;

 private:
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  ClickableLabel* lblHp_ = nullptr;
};

}  // namespace msifter::ui
