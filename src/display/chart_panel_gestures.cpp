// The chart's gestures: the plot's mouse and wheel events, and what the panel makes of them —
// zoom by a dragged rectangle, pan, the wheel's zoom, and undoing them.
#include "display/chart_panel.h"
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>
#include "display/series_plottable.h"

namespace velmora {

// ---------------------------------------------------------------- plot gestures

void ChartPlot::paintEvent(QPaintEvent* event) {
  QCustomPlot::paintEvent(event);
  if (afterDraw) {
    QPainter painter(this);
    afterDraw(painter);
  }
}

void ChartPlot::mousePressEvent(QMouseEvent* event) {
  m_pressPos = m_lastPos = event->pos();
  m_button = event->button();
  m_spanning = m_button == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) && spanTo;
  if (m_button == Qt::LeftButton) {
    if (!m_band) m_band = new QRubberBand(QRubberBand::Rectangle, this);
    m_band->setGeometry(bandRect(m_pressPos));
    m_band->show();
  }
  event->accept();
}

// A span being chosen (Shift) covers the plot's whole height.
QRect ChartPlot::bandRect(QPoint to) const {
  if (!m_spanning) return QRect(m_pressPos, to).normalized();
  const QRect area = axisRect()->rect();
  return QRect(QPoint(std::min(m_pressPos.x(), to.x()), area.top()), QPoint(std::max(m_pressPos.x(), to.x()), area.bottom()));
}

void ChartPlot::mouseMoveEvent(QMouseEvent* event) {
  if (m_button == Qt::LeftButton && m_band) {
    m_band->setGeometry(bandRect(event->pos()));
  } else if (m_button == Qt::RightButton) {
    if (panBy && event->pos() != m_lastPos) panBy(m_lastPos, event->pos());
    m_lastPos = event->pos();
  } else if (m_button == Qt::NoButton && hitTest) {
    if (hitTest(event->position()))
      setCursor(Qt::CrossCursor);
    else
      unsetCursor();
  }
  event->accept();
}

void ChartPlot::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != m_button) return;
  const QPoint end = event->pos();
  if (m_button == Qt::LeftButton) {
    if (m_band) m_band->hide();
    const QPoint d = end - m_pressPos;
    if (m_spanning) {
      spanTo(m_pressPos.x(), end.x());  // a Shift-click without a drag clears the span
    } else if (std::abs(d.x()) < 3 && std::abs(d.y()) < 3) {
      if (click) click(event->position());
    } else if (d.x() > 0 && d.y() > 0) {
      if (zoomTo) zoomTo(QRect(m_pressPos, end).normalized());
    } else if (undo) {
      undo();
    }
  }
  m_button = Qt::NoButton;
  event->accept();
}

void ChartPlot::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps == 0 || !wheelZoom) {
    event->ignore();
    return;
  }
  // One notch (120) zooms by 15 %.
  wheelZoom(event->position(), event->modifiers() & Qt::ControlModifier, std::pow(0.85, steps / 120.0));
  event->accept();
}

void ChartPlot::enterEvent(QEnterEvent* event) {
  QCustomPlot::enterEvent(event);
  if (entered) entered();
}

void ChartPlot::resizeEvent(QResizeEvent* event) {
  QCustomPlot::resizeEvent(event);
  if (resized) resized();
}

// ---------------------------------------------------------------- the panel's gestures

bool ChartPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
  for (int i = 0; i < 3; ++i) {
    if (watched != m_boxes[i]) continue;
    auto* ke = static_cast<QKeyEvent*>(event);
    if (ke->matches(QKeySequence::Paste)) return true;
    char key;
    if (ke->key() == Qt::Key_Backspace) {
      key = '\b';
    } else if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
      key = '\r';
    } else {
      const QString text = ke->text();
      if (text.isEmpty() || text.at(0).unicode() < 0x20 || text.at(0).unicode() == 0x7f) return false;  // navigation
      key = text.at(0).unicode() < 0x80 ? static_cast<char>(text.at(0).unicode()) : '\0';
    }
    const auto selected = static_cast<std::size_t>(m_boxes[i]->selectedText().size());
    if (!AxisRules::acceptsKey(m_boxes[i]->text().toStdString(), selected, key)) return true;
    if (key == '\r') {
      emit boxEnter(static_cast<AxisBox>(i));
      return true;
    }
    return false;
  }
  return QWidget::eventFilter(watched, event);
}

void ChartPanel::rememberScales() {
  if (m_remembered) return;
  m_savedLeft = m_left;
  m_savedBottom = m_bottom;
  m_remembered = true;
}

void ChartPanel::onZoomRect(const QRect& r) {
  rememberScales();
  const double x0 = m_plot->xAxis->pixelToCoord(r.left());
  const double x1 = m_plot->xAxis->pixelToCoord(r.right());
  const double y0 = m_plot->yAxis->pixelToCoord(r.bottom());
  const double y1 = m_plot->yAxis->pixelToCoord(r.top());
  m_left = {std::min(y0, y1), std::max(y0, y1), false};
  m_bottom = {std::min(x0, x1), std::max(x0, x1), false};
  m_zoomed = true;
  requestRedraw();
  emit zoomMade();
}

void ChartPanel::onPan(QPoint from, QPoint to) {
  rememberScales();
  const double dx = m_plot->xAxis->pixelToCoord(from.x()) - m_plot->xAxis->pixelToCoord(to.x());
  const double dy = m_plot->yAxis->pixelToCoord(from.y()) - m_plot->yAxis->pixelToCoord(to.y());
  m_left = {m_left.min + dy, m_left.max + dy, false};
  m_bottom = {m_bottom.min + dx, m_bottom.max + dx, false};
  pushRanges();
  m_plot->replot(QCustomPlot::rpQueuedRefresh);
  emit zoomMade();  // a pan suspends the controls like a zoom (once, while armed)
}

// The wheel zooms like a zoom box: the scales before are remembered for the undo drag, and
// the program's controls are suspended until then.
void ChartPanel::onWheel(QPointF at, bool temperature, double factor) {
  rememberScales();
  if (temperature) {
    const double c = m_plot->yAxis->pixelToCoord(at.y());
    m_left = {c - (c - m_left.min) * factor, c + (m_left.max - c) * factor, false};
  } else {
    const double c = m_plot->xAxis->pixelToCoord(at.x());
    m_bottom = {c - (c - m_bottom.min) * factor, c + (m_bottom.max - c) * factor, false};
  }
  m_zoomed = true;
  pushRanges();
  m_plot->replot(QCustomPlot::rpQueuedRefresh);
  emit zoomMade();
}

void ChartPanel::dropZoom() {
  if (m_remembered) {
    m_left = m_savedLeft;
    m_bottom = m_savedBottom;
    m_remembered = false;
  }
  m_zoomed = false;
  pushRanges();
  requestRedraw();
}

void ChartPanel::retranslate() {
  if (messageText) m_timeTicker->setDayText(messageText("axDays"));
  m_plot->replot(QCustomPlot::rpQueuedRefresh);
}

void ChartPanel::onUndo() {
  if (m_remembered) {
    m_left = m_savedLeft;
    m_bottom = m_savedBottom;
    m_remembered = false;
  }
  requestRedraw();
  emit undone();
  m_zoomed = false;
}

}  // namespace velmora
