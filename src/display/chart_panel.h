#pragma once
// The chart panel `pnChart`: the time chart `Chart` with its series `Series1`, the three
// axis boxes, "Axes setup", the horizontal scroll bar and the menu button, the chart's own
// zoom / pan / undo gestures and the overlay drawn after every redraw. It is the chart view
// the axis rules work on.

#include <QCheckBox>
#include <QFrame>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>
#include <qcustomplot.h>

#include "display/axis_rules.h"
#include "display/chart_tickers.h"
#include "display/measurement_series.h"

namespace velmora {

class SeriesPlottable;
struct OverlayPen;

// The plot area: detects the mouse gestures and hands them to its panel.
//   left-drag down-right: zoom to the rectangle; left-drag the other way: undo the zoom;
//   right-drag: pan; left click: inspect the point under the pointer.
class ChartPlot : public QCustomPlot {
  Q_OBJECT
 public:
  using QCustomPlot::QCustomPlot;

  std::function<void(QPainter&)> afterDraw;
  std::function<void(const QRect&)> zoomTo;
  std::function<void()> undo;
  std::function<void(QPoint from, QPoint to)> panBy;
  std::function<void(QPointF)> click;
  std::function<bool(QPointF)> hitTest;
  std::function<void()> resized;
  // Shift-drag: a span of time between two pixel columns.
  std::function<void(int fromX, int toX)> spanTo;
  // The wheel: zoom the time axis (the temperature axis with Ctrl) around the pointer by
  // `factor` (below 1 zooms in).
  std::function<void(QPointF at, bool temperature, double factor)> wheelZoom;
  // The pointer came over the plot.
  std::function<void()> entered;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void enterEvent(QEnterEvent* event) override;

 private:
  QPoint m_pressPos;
  QPoint m_lastPos;
  QRect bandRect(QPoint to) const;

  Qt::MouseButton m_button = Qt::NoButton;
  bool m_spanning = false;
  QRubberBand* m_band = nullptr;
};

class ChartPanel : public QWidget, public ChartView {
  Q_OBJECT
 public:
  ChartPanel(const MeasurementSeries& series, QWidget* parent = nullptr);

  // ChartView
  AxisScale leftAxis() const override { return m_left; }
  AxisScale bottomAxis() const override { return m_bottom; }
  void setLeftRange(double min, double max) override;
  void setBottomRange(double min, double max) override;
  void setLeftAutomatic(bool on) override;
  void setBottomAutomatic(bool on) override;
  void setBottomLabelFormat(std::string_view format) override;
  bool zoomed() const override { return m_zoomed; }
  void dropZoom() override;
  int leftAxisTop() const override;
  int leftAxisBottom() const override;
  int bottomAxisLeft() const override;
  int bottomAxisRight() const override;
  void redraw() override { requestRedraw(); }
  void showScrollBar(int position, bool enabled) override;
  std::string boxText(AxisBox box) const override;
  void setBoxText(AxisBox box, std::string_view text) override;
  void placeBox(AxisBox box, int left, int top) override;
  int boxWidth(AxisBox box) const override;
  int boxHeight(AxisBox box) const override;
  void setBoxVisible(AxisBox box, bool visible) override;
  bool axisSetupChecked() const override { return m_cbAxis->isChecked(); }
  void setAxisSetupChecked(bool checked) override { m_cbAxis->setChecked(checked); }
  void setAxisSetupEnabled(bool enabled) override { m_cbAxis->setEnabled(enabled); }
  void showError(std::string_view text) override;

  // The data changed (points added, cleared or loaded): redraw soon, at most ~30 times a second.
  void requestRedraw();
  // Redraws now if a redraw is pending.
  void flushRedraw();
  // The wait before a requested redraw: ~30 a second at most, fewer when drawing is long.
  int redrawIntervalMs() const {
    return std::max({33, static_cast<int>(50 * m_lastReplotMs), 10 * static_cast<int>(m_more.size() + 1)});
  }
  double lastReplotMs() const { return m_lastReplotMs; }

  ChartPlot* plot() const { return m_plot; }
  SeriesPlottable* series1() const { return m_series1; }
  // Further instruments' series, drawn in their colours beside Series1 (with a legend while
  // there is more than one); the axes' automatic scales take them in.
  SeriesPlottable* addSeries(const MeasurementSeries& series, const QColor& colour, const QString& name);
  void removeSeries(SeriesPlottable* plottable);
  void setSeriesLook(SeriesPlottable* plottable, const QColor& colour, const QString& name, bool shown);
  QToolButton* menuButton() const { return m_btMenu; }
  QLineEdit* box(AxisBox b) const { return m_boxes[static_cast<int>(b)]; }
  QCheckBox* axisSetupBox() const { return m_cbAxis; }
  QScrollBar* scrollBar() const { return m_sbXpos; }

  // Message texts for the overlay (IDS_65, IDS_66, IDS_67) in the active language.
  std::function<std::string(std::string_view)> messageText;
  std::function<void(std::string_view)> errorSink;

  // The overlay of axis titles, dimension arrows and unit texts.
  void ChartAfterDraw(QPainter& painter);

  // The span chosen with Shift-drag (X from, to in days), if any.
  const std::optional<std::pair<double, double>>& span() const { return m_span; }
  void setSpan(double from, double to);
  void clearSpan();
  // The time axis in local clock time (from the readings' clock times) or elapsed time.
  void setClockTime(bool on);
  bool clockTime() const { return m_timeTicker->clockTime(); }
  TimeTicker& timeTicker() { return *m_timeTicker; }

  // Texts of the active language that the chart draws itself (the day count's unit).
  void retranslate();
  // The print dress for a copy: white background, right axis and bottom grid hidden,
  // bottom-axis fonts 12 pt; and back (fonts 9 pt).
  void setPrintDress(bool on);

 signals:
  void boxEnter(velmora::AxisBox box);
  void userScrolled(int position);
  void axisSetupClicked();
  void menuButtonClicked();
  void zoomMade();
  void undone();
  void seriesClicked(long long index);
  void chartResized();
  void spanChanged();
  // The pointer came over the plot for the first time (the gestures are named then).
  void firstHover();
  // The scales were brought up to the data (at most ~30 times a second, shown or not).
  void viewUpdated();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QString overlayText(std::string_view id) const;
  void drawTimeArrow(OverlayPen& pen, const QRect& area);
  void drawTemperatureArrow(OverlayPen& pen, const QRect& area);
  void layoutControls();
  void ensureLayout() const;
  void pushRanges();
  void autoScale();
  void rememberScales();
  void onZoomRect(const QRect& rect);
  void onPan(QPoint from, QPoint to);
  void onUndo();
  void onSpan(int fromPx, int toPx);
  void onWheel(QPointF at, bool temperature, double factor);
  void drawSpan(QPainter& p, const QRect& area);

  const MeasurementSeries& m_series;
  ChartPlot* m_plot;
  SeriesPlottable* m_series1;
  std::vector<SeriesPlottable*> m_more;
  double m_lastReplotMs = 0;
  QSharedPointer<TimeTicker> m_timeTicker;
  QLineEdit* m_boxes[3];
  QFrame* m_cbFrame;
  QCheckBox* m_cbAxis;
  QFrame* m_sbFrame;
  QScrollBar* m_sbXpos;
  QToolButton* m_btMenu;
  AxisScale m_left{-50, 300, false};
  AxisScale m_bottom{0, 30.0 / 1440.0, false};
  QTimer m_redrawTimer;
  bool m_dirty = false;
  QColor m_background{243, 243, 243};
  bool m_zoomed = false;
  bool m_remembered = false;
  bool m_panReported = false;
  bool m_hovered = false;
  AxisScale m_savedLeft, m_savedBottom;
  std::optional<std::pair<double, double>> m_span;
};

}  // namespace velmora
