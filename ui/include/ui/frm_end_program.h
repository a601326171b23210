// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// frmEndProgram: the small window shown for about 1.2 seconds while the
// program ends.
#include <QDialog>

#include "ui/forms.h"

namespace msifter::ui {

class FrmEndProgram : public QDialog, public Form {
 public:
  static constexpr const char* kCaption = "終了処理";

  FrmEndProgram();
  ~FrmEndProgram() override;

  QWidget& widget() override { return *this; }

 protected:
  void formLoad() override;
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void activate();
  bool activated_ = false;
};

}  // namespace msifter::ui
