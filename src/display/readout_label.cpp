#include "display/readout_label.h"

#include <QMouseEvent>
#include <QPainter>

namespace velmora {

ReadoutLabel::ReadoutLabel(QWidget* parent) : QLabel("0.0", parent) {
  setObjectName("lbTablo");
  QFont font("MS Sans Serif", 12);
  font.setBold(true);
  setFont(font);
  setMinimumWidth(140);
  setAlignment(Qt::AlignCenter);
  setAutoFillBackground(false);
  // A label inside a toolbar would otherwise paint with the button text colour and never
  // show the readout's own colours.
  setForegroundRole(QPalette::WindowText);
}

void ReadoutLabel::show(const Readout& readout) {
  setText(QString::fromStdString(readout.text()));
  m_color = readout.color() == ReadoutColor::Purple ? QColor(128, 0, 128)
            : readout.color() == ReadoutColor::White ? QColor(Qt::white)
                                                     : QColor(Qt::black);
  applyColor();
}

void ReadoutLabel::setStale(bool stale, const QString& why) {
  setToolTip(stale ? why : QString());
  if (stale == m_stale) return;
  m_stale = stale;
  applyColor();
}

void ReadoutLabel::applyColor() {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, m_stale ? QColor(150, 150, 150) : m_color);
  setPalette(pal);
}

void ReadoutLabel::mousePressEvent(QMouseEvent* event) {
  event->accept();
  emit clicked();
}

void ReadoutLabel::setCaption(const QString& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  // Room above the value for the caption's line.
  const int line = caption.isEmpty() ? 0 : QFontMetrics(captionFont()).height();
  setContentsMargins(0, line, 0, 0);
  update();
}

QFont ReadoutLabel::captionFont() const {
  QFont f = font();
  f.setBold(false);
  f.setPointSizeF(f.pointSizeF() * 0.6);
  return f;
}

void ReadoutLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (m_caption.isEmpty()) return;
  QPainter p(this);
  p.setFont(captionFont());
  p.setPen(QColor(90, 90, 90));
  const QRect r(0, 0, width(), QFontMetrics(captionFont()).height());
  p.drawText(r, Qt::AlignHCenter | Qt::AlignTop, QFontMetrics(captionFont()).elidedText(m_caption, Qt::ElideMiddle, width()));
}

}  // namespace velmora
