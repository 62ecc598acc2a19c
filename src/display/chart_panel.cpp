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

// ---------------------------------------------------------------- panel

ChartPanel::ChartPanel(const MeasurementSeries& series, QWidget* parent) : QWidget(parent), m_series(series) {
  setObjectName("pnChart");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_plot = new ChartPlot(this);
  m_plot->setObjectName("Chart");
  m_plot->setMouseTracking(true);
  m_plot->setInteractions(QCP::Interactions());
  m_plot->setBackground(m_background);
  m_plot->axisRect()->setBackground(m_background);
  m_plot->setNoAntialiasingOnDrag(true);
  layout->addWidget(m_plot);

  m_timeTicker = QSharedPointer<TimeTicker>::create();
  m_plot->xAxis->setTicker(m_timeTicker);
  m_plot->yAxis->setTicker(QSharedPointer<MinStepTicker>::create(0.1));
  const QFont axisFont("MS Sans Serif", 9);
  m_plot->xAxis->setTickLabelFont(axisFont);
  m_plot->yAxis->setTickLabelFont(axisFont);
  m_plot->xAxis->setLabelFont(axisFont);
  for (QCPAxis* a : {m_plot->xAxis2, m_plot->yAxis2}) {
    a->setVisible(true);
    a->setTicks(false);
    a->setTickLabels(false);
    a->setBasePen(QPen(Qt::gray, 1));
  }
  m_series1 = new SeriesPlottable(m_plot->xAxis, m_plot->yAxis, series);
  m_series1->setObjectName("Series1");

  static const char* kBoxNames[3] = {"edYstart", "edYrange", "edXrange"};
  static const char* kBoxTexts[3] = {"0", "350", "30"};
  QFont boxFont("MS Sans Serif", 8);
  boxFont.setBold(true);
  for (int i = 0; i < 3; ++i) {
    auto* e = new QLineEdit(QString::fromLatin1(kBoxTexts[i]), m_plot);
    e->setObjectName(kBoxNames[i]);
    e->setFixedSize(28, 19);
    e->setFrame(false);
    e->setFont(boxFont);
    e->setContextMenuPolicy(Qt::NoContextMenu);
    e->setAlignment(Qt::AlignCenter);
    e->hide();
    e->installEventFilter(this);
    m_boxes[i] = e;
  }

  m_cbFrame = new QFrame(m_plot);
  m_cbFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_cbFrame->setFixedSize(113, 20);
  m_cbAxis = new QCheckBox("Axes setup", m_cbFrame);
  m_cbAxis->setObjectName("cbAxis");
  m_cbAxis->setGeometry(4, 2, 105, 15);
  QFont cbFont = m_cbAxis->font();
  cbFont.setPixelSize(10);  // both captions fit the designed 105 pixels
  m_cbAxis->setFont(cbFont);
  connect(m_cbAxis, &QCheckBox::clicked, this, &ChartPanel::axisSetupClicked);

  m_sbFrame = new QFrame(m_plot);
  m_sbFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  m_sbXpos = new QScrollBar(Qt::Horizontal, m_sbFrame);
  m_sbXpos->setObjectName("sbXpos");
  m_sbXpos->setRange(0, 100);
  m_sbXpos->setPageStep(10);  // a visible thumb; a click beside it moves a tenth
  m_sbXpos->setSingleStep(1);
  m_sbXpos->setValue(100);
  m_sbXpos->setEnabled(false);
  connect(m_sbXpos, &QScrollBar::valueChanged, this, [this](int v) {
    if (!m_sbXpos->signalsBlocked()) emit userScrolled(v);
  });

  m_btMenu = new QToolButton(m_plot);
  m_btMenu->setObjectName("btMenu");
  m_btMenu->setAutoRaise(true);
  m_btMenu->setFixedSize(23, 22);
  m_btMenu->move(0, 0);
  connect(m_btMenu, &QToolButton::clicked, this, &ChartPanel::menuButtonClicked);

  m_plot->afterDraw = [this](QPainter& p) { ChartAfterDraw(p); };
  m_plot->zoomTo = [this](const QRect& r) { onZoomRect(r); };
  m_plot->panBy = [this](QPoint from, QPoint to) { onPan(from, to); };
  m_plot->undo = [this] { onUndo(); };
  m_plot->spanTo = [this](int a, int b) { onSpan(a, b); };
  m_plot->wheelZoom = [this](QPointF at, bool temperature, double factor) { onWheel(at, temperature, factor); };
  m_plot->entered = [this] {
    if (!std::exchange(m_hovered, true)) emit firstHover();
  };
  m_plot->hitTest = [this](QPointF p) { return m_series1->hitIndex(p) >= 0; };
  m_plot->click = [this](QPointF p) {
    const long long i = m_series1->hitIndex(p);
    if (i >= 0) emit seriesClicked(i);
  };
  m_plot->resized = [this] {
    layoutControls();
    emit chartResized();
  };

  m_redrawTimer.setSingleShot(true);
  m_redrawTimer.setInterval(33);  // at most about 30 redraws a second
  connect(&m_redrawTimer, &QTimer::timeout, this, &ChartPanel::flushRedraw);
  pushRanges();
  layoutControls();
}

void ChartPanel::layoutControls() {
  const int w = m_plot->width();
  const int h = m_plot->height();
  m_plot->plotLayout()->setMargins(QMargins(std::max(4, w * 2 / 100), std::max(4, h * 2 / 100),
                                            std::max(4, w * 2 / 100), std::max(36, h * 5 / 100)));
  m_cbFrame->move(4, h - 12 - m_cbFrame->height());
  const int sbWidth = std::max(20, w - 12 - 119);
  m_sbFrame->setGeometry(119, h - 12 - 19, sbWidth, 19);
  m_sbXpos->setGeometry(2, 2, sbWidth - 4, 15);
  m_timeTicker->setTickCount(std::max(2, (w - 80) / 90));
  requestRedraw();
}

void ChartPanel::ensureLayout() const {
  auto* layout = m_plot->plotLayout();
  layout->update(QCPLayoutElement::upPreparation);
  layout->update(QCPLayoutElement::upMargins);
  layout->update(QCPLayoutElement::upLayout);
}

int ChartPanel::leftAxisTop() const {
  ensureLayout();
  return m_plot->axisRect()->top();
}
int ChartPanel::leftAxisBottom() const {
  ensureLayout();
  return m_plot->axisRect()->bottom();
}
int ChartPanel::bottomAxisLeft() const {
  ensureLayout();
  return m_plot->axisRect()->left();
}
int ChartPanel::bottomAxisRight() const {
  ensureLayout();
  return m_plot->axisRect()->right();
}

void ChartPanel::pushRanges() {
  auto push = [](QCPAxis* axis, double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) return;
    if (!(hi > lo)) hi = lo + std::max(1e-9, std::fabs(lo) * 1e-9);  // zero extent: draw a sliver
    axis->setRange(lo, hi);
  };
  push(m_plot->yAxis, m_left.min, m_left.max);
  push(m_plot->xAxis, m_bottom.min, m_bottom.max);
}

void ChartPanel::autoScale() {
  // Every series drawn: the designed one and the further instruments' shown ones.
  std::vector<const MeasurementSeries*> all;
  if (!m_series.empty()) all.push_back(&m_series);
  for (const SeriesPlottable* p : m_more)
    if (p->visible() && !p->series().empty()) all.push_back(&p->series());
  if (all.empty()) return;
  if (m_left.automatic) {
    double lo = INFINITY, hi = -INFINITY;
    for (const auto* s : all) {
      const YRange r = s->yRange(0, s->size());
      lo = std::min(lo, r.min);
      hi = std::max(hi, r.max);
    }
    const double pad = hi > lo ? (hi - lo) * 0.02 : 0.5;
    m_left.min = lo - pad;
    m_left.max = hi + pad;
  }
  if (m_bottom.automatic) {
    double lo = INFINITY, hi = -INFINITY;
    for (const auto* s : all) {
      lo = std::min(lo, s->x(0));
      hi = std::max(hi, s->maxX());
    }
    m_bottom.min = lo;
    m_bottom.max = hi > lo ? hi : lo + 1.0 / 1440;
  }
}

SeriesPlottable* ChartPanel::addSeries(const MeasurementSeries& series, const QColor& colour, const QString& name) {
  auto* p = new SeriesPlottable(m_plot->xAxis, m_plot->yAxis, series);
  p->setGapThreshold(m_series1->gapThreshold());
  m_more.push_back(p);
  setSeriesLook(p, colour, name, true);
  return p;
}

void ChartPanel::removeSeries(SeriesPlottable* plottable) {
  const auto it = std::find(m_more.begin(), m_more.end(), plottable);
  if (it == m_more.end()) return;
  m_more.erase(it);
  m_plot->removePlottable(plottable);
  m_plot->legend->setVisible(!m_more.empty());
  requestRedraw();
}

void ChartPanel::setSeriesLook(SeriesPlottable* plottable, const QColor& colour, const QString& name, bool shown) {
  plottable->setPen(QPen(colour, 2));
  plottable->setName(name);
  plottable->setVisible(shown);
  // A legend only where there is more than the designed series to tell apart.
  m_plot->legend->setVisible(!m_more.empty());
  requestRedraw();
}

void ChartPanel::setLeftRange(double min, double max) {
  m_left.min = min;
  m_left.max = max;
  requestRedraw();
}

void ChartPanel::setBottomRange(double min, double max) {
  m_bottom.min = min;
  m_bottom.max = max;
  requestRedraw();
}

void ChartPanel::setLeftAutomatic(bool on) {
  m_left.automatic = on;
  if (on) autoScale();
  requestRedraw();
}

void ChartPanel::setBottomAutomatic(bool on) {
  m_bottom.automatic = on;
  if (on) autoScale();
  requestRedraw();
}

void ChartPanel::setBottomLabelFormat(std::string_view format) {
  m_timeTicker->setFormat(format);
  requestRedraw();
}

void ChartPanel::showScrollBar(int position, bool enabled) {
  const QSignalBlocker block(m_sbXpos);
  m_sbXpos->setValue(position);
  m_sbXpos->setEnabled(enabled);
}

std::string ChartPanel::boxText(AxisBox b) const { return box(b)->text().toStdString(); }
void ChartPanel::setBoxText(AxisBox b, std::string_view text) {
  box(b)->setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}
void ChartPanel::placeBox(AxisBox b, int left, int top) { box(b)->move(left, top); }
int ChartPanel::boxWidth(AxisBox b) const { return box(b)->width(); }
int ChartPanel::boxHeight(AxisBox b) const { return box(b)->height(); }
void ChartPanel::setBoxVisible(AxisBox b, bool visible) { box(b)->setVisible(visible); }

void ChartPanel::showError(std::string_view text) {
  if (errorSink) errorSink(text);
}

// At most about 30 redraws a second, and fewer when a redraw is long (many instruments, a
// slow machine): a fiftieth of the time at most goes to drawing. Several instruments' readings
// are drawn together: 10 ms of the interval for each instrument (sixteen: six redraws a
// second, however their polls fall).
void ChartPanel::requestRedraw() {
  m_dirty = true;
  if (!m_redrawTimer.isActive()) m_redrawTimer.start(redrawIntervalMs());
}

void ChartPanel::flushRedraw() {
  if (!m_dirty) return;
  m_redrawTimer.stop();
  autoScale();
  pushRanges();
  emit viewUpdated();
  // A hidden chart keeps its scales current and draws when it is shown again.
  if (!isVisible()) return;
  m_dirty = false;
  QElapsedTimer took;
  took.start();
  m_plot->replot(QCustomPlot::rpQueuedRefresh);
  m_lastReplotMs = static_cast<double>(took.nsecsElapsed()) / 1e6;
}

void ChartPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  flushRedraw();
}

// Text and arrow drawing of the overlay at the design's pixel positions.
struct OverlayPen {
  QPainter& p;
  QFont normal{"Arial", 10};
  QFont small{"Arial", 8};
  QPen thin{Qt::black, 1};
  QPen thick{Qt::black, 2};
  explicit OverlayPen(QPainter& painter) : p(painter) {
    normal.setBold(true);
    small.setBold(true);
  }
  void draw(int x, int y, const QString& s) {
    p.drawText(QRect(x, y, 400, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, s);
  }
  void triangle(QPoint a, QPoint b, QPoint c) {
    const QPoint pts[3] = {a, b, c};
    p.setPen(thin);
    p.drawPolygon(pts, 3);
  }
  // A raised "o" (the degree sign) at (x, y).
  void degree(int x, int y) {
    p.setPen(Qt::black);
    p.setFont(small);
    draw(x, y, "o");
    p.setFont(normal);
  }
};

void ChartPanel::ChartAfterDraw(QPainter& p) {
  const QRect area = m_plot->axisRect()->rect();
  drawSpan(p, area);
  OverlayPen pen(p);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::black);
  p.setBrush(Qt::black);
  p.setFont(pen.normal);
  pen.draw(area.left() + 5, area.top() + 2, QString::fromUtf8("T, \u0421"));  // the last letter is Cyrillic Es
  pen.degree(area.left() + 16, area.top() - 1);
  pen.draw(area.right() - 45, area.bottom() - 17, overlayText(m_timeTicker->clockTime() ? "msgClockAxis" : "IDS_65"));
  if (!m_cbAxis->isChecked()) return;
  drawTimeArrow(pen, area);
  drawTemperatureArrow(pen, area);
}

QString ChartPanel::overlayText(std::string_view id) const {
  return messageText ? QString::fromStdString(messageText(id)) : QString::fromUtf8(id.data(), int(id.size()));
}

// The double arrow along the time axis through the Xrange box, or "auto".
void ChartPanel::drawTimeArrow(OverlayPen& pen, const QRect& area) {
  QPainter& p = pen.p;
  const int L = area.left(), R = area.right();
  QLineEdit* ex = box(AxisBox::Xrange);
  const int y = ex->y() + 9;
  QString s;
  if (m_bottom.automatic) {
    s = overlayText("IDS_66");
  } else {
    s = overlayText("IDS_67");
    pen.triangle({L, y}, {L + 14, y + 3}, {L + 14, y - 4});
    p.setPen(pen.thick);
    p.drawLine(L + 2, y, ex->x(), y);
    p.drawLine(ex->x() + ex->width() + 27, y, R - 2, y);
    pen.triangle({R, y}, {R - 14, y + 3}, {R - 14, y - 4});
  }
  p.setPen(Qt::black);
  pen.draw(ex->x() + ex->width() + 2, y - 8, s);
}

// The double arrow along the temperature axis through the Yrange box, or "auto", and the
// unit beside the Ystart box.
void ChartPanel::drawTemperatureArrow(OverlayPen& pen, const QRect& area) {
  QPainter& p = pen.p;
  const int T = area.top(), B = area.bottom();
  QLineEdit* ey = box(AxisBox::Yrange);
  QLineEdit* es = box(AxisBox::Ystart);
  const int x = ey->x() + ey->width() / 2;
  QString s;
  if (m_left.automatic) {
    s = overlayText("IDS_66");
  } else {
    s = " C";
    pen.triangle({x, T}, {x - 4, T + 14}, {x + 3, T + 14});
    p.setPen(pen.thick);
    p.drawLine(x, T + 2, x, ey->y());
    p.drawLine(x, ey->y() + ey->height(), x, B - 2);
    pen.triangle({x, B - 2}, {x - 4, B - 16}, {x + 3, B - 16});
    pen.degree(ey->x() + ey->width() + 2, ey->y() - 2);
  }
  p.setPen(Qt::black);
  pen.draw(ey->x() + ey->width() + 3, ey->y(), s);
  if (m_left.automatic) return;
  pen.degree(es->x() + es->width() + 2, es->y() - 2);
  pen.draw(es->x() + es->width() + 7, es->y(), "C");
}

void ChartPanel::setPrintDress(bool on) {
  const QColor bg = on ? QColor(Qt::white) : m_background;
  m_plot->setBackground(bg);
  m_plot->axisRect()->setBackground(bg);
  m_plot->yAxis2->setVisible(!on);
  m_plot->xAxis->grid()->setVisible(!on);
  QFont f = m_plot->xAxis->tickLabelFont();
  f.setPointSize(on ? 12 : 9);
  m_plot->xAxis->setTickLabelFont(f);
  m_plot->xAxis->setLabelFont(f);
  m_plot->replot(QCustomPlot::rpImmediateRefresh);
}

}  // namespace velmora
