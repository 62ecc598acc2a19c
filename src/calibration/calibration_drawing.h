#pragma once
// The look of the calibration window's tables: fonts, colours and text placement shared by
// the window and its cell and header drawing.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>

namespace velmora::calibration_drawing {

inline const QColor kSkyBlue(166, 202, 240);
inline const QColor kNavy(0, 0, 128);
inline const QColor kPurple(128, 0, 128);

inline QFont tableFont() {
  QFont f("MS Sans Serif");
  f.setPixelSize(13);
  f.setBold(true);
  return f;
}

inline QFont pointFont(int points, bool bold = true) {
  QFont f = tableFont();
  f.setPointSize(points);
  f.setBold(bold);
  return f;
}

inline void drawAt(QPainter* p, const QRect& cell, int x, int y, const QString& text) {
  p->drawText(QRect(cell.left() + x, cell.top() + y, 400, 100), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

}  // namespace velmora::calibration_drawing
