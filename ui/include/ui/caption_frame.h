// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A frame whose caption sits on its top line, with the children's positions
// counted from the frame's outer corner: the line runs through the middle of
// the caption's height, as the window's twip positions expect.
#include <QGroupBox>

namespace msifter::ui {

class CaptionFrame : public QGroupBox {
 public:
  CaptionFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace msifter::ui
