// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A text box for a whole number: digits only, and a typing limit that stops
// typing and pasting but not a longer text that the program itself puts in.
#include <QLineEdit>
#include <QValidator>

namespace msifter::ui {

class NumberField : public QLineEdit {
 public:
  NumberField(int typingLimit, QWidget* parent);

  // Puts a text in without the typing rules (the saved settings, the
  // initial "1000000").
  void setProgramText(const QString& text);
  int typingLimit() const { return typingLimit_; }

 private:
  class Rules : public QValidator {
   public:
    explicit Rules(NumberField* field) : QValidator(field), field_(field) {}
    State validate(QString& input, int& position) const override;

   private:
    NumberField* field_;
  };

  int typingLimit_;
  qsizetype acceptedLength_ = 0;
  bool programText_ = false;
};

}  // namespace msifter::ui
