#include "display/readout_label.h"

#include <QMouseEvent>

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

}  // namespace velmora
