// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/number_field.h"

namespace msifter::ui {

NumberField::NumberField(int typingLimit, QWidget* parent)
    : QLineEdit(parent), typingLimit_(typingLimit) {
  setValidator(std::make_unique<Rules>(this).release());  // owned by this field
  connect(this, &QLineEdit::textChanged, this,
          [this](const QString& text) { acceptedLength_ = text.size(); });
}

void NumberField::setProgramText(const QString& text) {
  programText_ = true;
  setText(text);
  programText_ = false;
}

QValidator::State NumberField::Rules::validate(QString& input, int& /*position*/) const {
  if (field_->programText_) return Acceptable;
  for (const QChar c : input) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Invalid;
  }
  // Shortening a text that is already over the limit stays possible.
  if (input.size() > field_->typingLimit_ && input.size() > field_->acceptedLength_) return Invalid;
  return Acceptable;
}

}  // namespace msifter::ui
