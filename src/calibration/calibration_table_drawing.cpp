#include "calibration/calibration_drawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QToolTip>

#include "calibration/calibration_window.h"

namespace velmora {

using namespace calibration_drawing;

void SymbolHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  painter->save();
  painter->fillRect(rect, palette().button());
  painter->setPen(palette().mid().color());
  painter->drawLine(rect.topRight(), rect.bottomRight());
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());
  painter->setPen(palette().buttonText().color());
  if (m_draw) m_draw(painter, rect, logicalIndex);
  painter->restore();
}

// ---------------------------------------------------------------- cells

QWidget* CalibrationCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                               const QModelIndex& index) const {
  QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
  if (editor) editor->installEventFilter(&m_window);
  return editor;
}

void CalibrationCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  const int column = index.column() + 1;  // the table's own column numbers (0 is the fixed one)
  const int row = index.row() + 1;
  QColor background = Qt::white;
  QColor textColor = Qt::black;
  QFont font = tableFont();
  const QTableWidget* table = m_cof ? m_window.m_sgCof : m_window.m_sgData;
  const bool current = table->currentIndex() == index && table->hasFocus();
  if (current) {
    background = QToolTip::palette().color(QPalette::ToolTipBase);
    textColor = kPurple;
  }
  if (!m_cof) {
    if (!m_window.dataCell(1, row).empty() && column >= 2) {
      font.setItalic(true);
      font.setBold(false);
    }
    if (m_window.m_highlightDataRow != 0 && row == m_window.m_highlightDataRow) {
      background = kSkyBlue;
      textColor = kNavy;
      font.setPointSize(12);
    }
  } else {
    if (m_window.dataType() == 0 && row == 1) {
      font.setItalic(true);
      font.setBold(false);
    }
    if (m_window.m_highlightCofRow != 0 && row == m_window.m_highlightCofRow) {
      background = kSkyBlue;
      textColor = kNavy;
      font.setPointSize(14);
    }
    if (row == 2 && m_window.cofMismatch(column - 1)) {
      textColor = QColor(176, 0, 0);
      font.setUnderline(true);
    }
    const Protocol* protocol = m_window.m_protocol;
    if (row == 1 && protocol && protocol->ReadingCof) background = kSkyBlue;
    if (row == 2 && protocol && protocol->WritingCof && column == protocol->pbWrite() + 1)
      background = kSkyBlue;
  }
  // Every digit a cell holds is shown: a text wider than its cell is drawn smaller.
  const QString text = index.data().toString();
  const int room = option.rect.width() - 10;
  for (QFontMetrics metrics(font); metrics.horizontalAdvance(text) > room; metrics = QFontMetrics(font)) {
    if (font.pixelSize() > 8)
      font.setPixelSize(font.pixelSize() - 1);
    else if (font.pixelSize() <= 0 && font.pointSizeF() > 6.5)
      font.setPointSizeF(font.pointSizeF() - 0.5);
    else
      break;
  }
  painter->save();
  painter->fillRect(option.rect, background);
  painter->setPen(textColor);
  painter->setFont(font);
  drawAt(painter, option.rect, 8, 2, text);
  painter->restore();
}

void TfmCalibr::drawDataHeader(QPainter* p, const QRect& r, int section) {
  const int column = section + 1;
  p->setFont(tableFont());
  const bool temperature = dataType() == 1;
  switch (column) {
    case 1:
      drawAt(p, r, 6, 14, "X");
      break;
    case 2:
      p->setFont(pointFont(10));
      drawAt(p, r, 22, 6, qs(m_tr.text("IDS_24")));
      if (!temperature) {
        drawAt(p, r, 22, 24, qs(m_tr.text("IDS_25")));
        p->setFont(pointFont(14));
        drawAt(p, r, 6, 0, "R");
      } else {
        drawAt(p, r, 22, 24, "[   C ]");
        drawAt(p, r, 30, 20, "o");
        p->setFont(pointFont(14));
        drawAt(p, r, 12, 0, "t");
      }
      break;
    case 3:
      p->setFont(pointFont(14));
      drawAt(p, r, 8, 0, "t");
      p->setFont(pointFont(10));
      drawAt(p, r, 18, 6, qs(m_tr.text("IDS_27")));
      drawAt(p, r, 22, 24, "[   C ]");
      drawAt(p, r, 30, 20, "o");
      break;
    case 4:
      p->setFont(pointFont(10));
      drawAt(p, r, 22, 24, "[   C ]");
      drawAt(p, r, 30, 20, "o");
      p->setFont(pointFont(14));
      drawAt(p, r, 32, 0, QString::fromUtf8("\u0394"));  // Greek capital Delta
      break;
    default:
      break;
  }
}

void TfmCalibr::drawCofHeader(QPainter* p, const QRect& r, int section) {
  const int column = section + 1;
  if (column == 1) {
    p->setFont(pointFont(12));
    drawAt(p, r, 28, 2, "R");
    p->setFont(pointFont(10));
    drawAt(p, r, 42, 6, "o");
    return;
  }
  static const char* kLetter[] = {"", "", "A", "B", "C"};
  static const char* kExponent[] = {"", "", "-3", "-7", "-12"};
  p->setFont(pointFont(12));
  drawAt(p, r, 12, 2, kLetter[column]);
  p->setFont(pointFont(10));
  drawAt(p, r, 30, 4, "x 10");
  p->setFont(pointFont(8));
  drawAt(p, r, 58, 2, kExponent[column]);
}

// ---------------------------------------------------------------- grid access

}  // namespace velmora
