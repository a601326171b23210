// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/caption_frame.h"

#include <QPainter>

namespace msifter::ui {

namespace {
constexpr int kCaptionLeft = 6;
}

void CaptionFrame::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const int lineY = metrics.height() / 2;
  // An etched line: a dark one with a light one inside it.
  const QRect outer(0, lineY, width() - 2, height() - lineY - 2);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(outer);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawRect(outer.translated(1, 1));

  const QString caption = title();
  if (caption.isEmpty()) return;
  const QRect captionRect(kCaptionLeft, 0, metrics.horizontalAdvance(caption), metrics.height());
  painter.fillRect(captionRect, palette().color(QPalette::Window));
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, caption);
}

}  // namespace msifter::ui
