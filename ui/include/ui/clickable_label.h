// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A label that reacts to a click: the folder pictures of the main window and
// the home page link of the About window.
#include <QLabel>
#include <functional>

namespace msifter::ui {

class ClickableLabel : public QLabel {
 public:
  explicit ClickableLabel(QWidget* parent) : QLabel(parent) {}
  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace msifter::ui
