#include "display/chart_panel.h"

#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "common/clock_text.h"

#include "display/measurement_display.h"
#include "display/reading_list_view.h"
#include "display/series_plottable.h"

using namespace velmora;

namespace {
constexpr double kMinute = 1.0 / 1440.0;

struct NullClock : Clock {
  double nowDays() const override { return 0; }
};

struct ChartFixture : ::testing::Test {
  MeasurementSeries series;
  ChartPanel panel{series};
  NullClock clock;
  MeasurementDisplay display{panel, clock, series};

  void SetUp() override {
    panel.resize(800, 500);
    panel.show();
    QObject::connect(&panel, &ChartPanel::boxEnter, [this](AxisBox b) { display.rules().boxEnter(b); });
    QObject::connect(&panel, &ChartPanel::zoomMade, [this] { display.rules().ChartZoom(); });
    QObject::connect(&panel, &ChartPanel::undone, [this] { display.rules().ChartUndoZoom(); });
    QObject::connect(&panel, &ChartPanel::axisSetupClicked, [this] { display.rules().cbAxisClick(); });
    display.rules().UpdateChartAxis();
  }
  void setBoxes(const char* ystart, const char* yrange, const char* xrange) {
    panel.setBoxText(AxisBox::Ystart, ystart);
    panel.setBoxText(AxisBox::Yrange, yrange);
    panel.setBoxText(AxisBox::Xrange, xrange);
    ASSERT_TRUE(display.rules().UpdateChartAxis());
  }
  // Rows of pixel column x (plot coordinates) painted in the series line's colour.
  static std::vector<int> lineRows(const QImage& image, int x) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
      if (image.pixelColor(x, y) == QColor(0, 128, 192)) rows.push_back(y);
    return rows;
  }
  QPoint pixel(std::size_t i) {
    return QPoint(static_cast<int>(panel.plot()->xAxis->coordToPixel(series.x(i))),
                  static_cast<int>(panel.plot()->yAxis->coordToPixel(series.y(i))));
  }
};
}  // namespace

TEST_F(ChartFixture, DrawsAMillionPointsAsTheSeriesLine) {
  for (int i = 0; i < 1000000; ++i) display.AddPoint(i * 0.5 / 86400, 150 + 100 * std::sin(i * 1e-4));
  panel.flushRedraw();
  const QImage image = panel.grab().toImage();
  image.save(QDir::temp().filePath("velmora-chart-1M.png"));
  int lineColoured = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == QColor(0, 128, 192)) ++lineColoured;
  EXPECT_GT(lineColoured, 500);
}

TEST_F(ChartFixture, TypingIntoAnAxisBoxAndEnter) {
  QLineEdit* box = panel.box(AxisBox::Xrange);
  box->clear();
  QTest::keyClicks(box, "1234");
  EXPECT_EQ(box->text(), "123");
  QTest::keyClicks(box, ".,e");
  EXPECT_EQ(box->text(), "123");
  QTest::keyClick(box, Qt::Key_Backspace);
  EXPECT_EQ(box->text(), "12");
  QTest::keyClicks(box, "3");
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_NEAR(panel.bottomAxis().max - panel.bottomAxis().min, 123 * kMinute, 1e-12);
}

TEST_F(ChartFixture, DragDownRightZoomsAndTheReverseUndoes) {
  for (int i = 0; i <= 45; ++i) display.AddPoint(i * kMinute, 20 + (i % 7));
  panel.axisSetupBox()->click();
  ASSERT_TRUE(panel.box(AxisBox::Xrange)->isVisible());
  panel.flushRedraw();
  const AxisScale before = panel.bottomAxis();
  ChartPlot* plot = panel.plot();
  const QRect r = plot->axisRect()->rect();
  QTest::mousePress(plot, Qt::LeftButton, {}, r.center() - QPoint(100, 50));
  QTest::mouseMove(plot, r.center() + QPoint(100, 50));
  QTest::mouseRelease(plot, Qt::LeftButton, {}, r.center() + QPoint(100, 50));
  EXPECT_TRUE(panel.zoomed());
  EXPECT_LT(panel.bottomAxis().max - panel.bottomAxis().min, before.max - before.min);
  EXPECT_FALSE(panel.axisSetupBox()->isEnabled());
  EXPECT_FALSE(panel.box(AxisBox::Xrange)->isVisible());
  QTest::mousePress(plot, Qt::LeftButton, {}, r.center() + QPoint(100, 50));
  QTest::mouseMove(plot, r.center() - QPoint(100, 50));
  QTest::mouseRelease(plot, Qt::LeftButton, {}, r.center() - QPoint(100, 50));
  EXPECT_FALSE(panel.zoomed());
  EXPECT_DOUBLE_EQ(panel.bottomAxis().min, before.min);
  EXPECT_TRUE(panel.axisSetupBox()->isEnabled());
  EXPECT_TRUE(panel.axisSetupBox()->isChecked());
  EXPECT_TRUE(panel.box(AxisBox::Xrange)->isVisible());
}

TEST_F(ChartFixture, OpeningOrClearingWhileZoomedEndsTheZoomWhole) {
  for (int i = 0; i <= 45; ++i) display.AddPoint(i * kMinute, 20 + (i % 7));
  display.rules().miCatchClick(AxisRules::Toggle::AutoY, true);
  panel.axisSetupBox()->click();
  panel.flushRedraw();
  const QRect r = panel.plot()->axisRect()->rect();
  for (int round = 0; round < 2; ++round) {
    QTest::mousePress(panel.plot(), Qt::LeftButton, {}, r.center() - QPoint(100, 50));
    QTest::mouseMove(panel.plot(), r.center() + QPoint(100, 50));
    QTest::mouseRelease(panel.plot(), Qt::LeftButton, {}, r.center() + QPoint(100, 50));
    ASSERT_TRUE(panel.zoomed());
    ASSERT_FALSE(panel.leftAxis().automatic);  // the zoom's own manual scales
    if (round == 0) {
      ReadingList list;
      MeasurementSeries loaded;
      for (int i = 0; i < 10; ++i) {
        list.append(listLine(i * kMinute, 30));
        loaded.add(i * kMinute, 30);
      }
      display.replaceAll(std::move(list), std::move(loaded));  // a file opened
    } else {
      display.miClearClick();
    }
    EXPECT_FALSE(panel.zoomed()) << round;
    EXPECT_FALSE(display.rules().zoomActive()) << round;
    EXPECT_TRUE(display.rules().zoomArmed()) << round;
    EXPECT_TRUE(panel.leftAxis().automatic) << round;  // Auto Y as it was before the zoom
    EXPECT_TRUE(panel.axisSetupBox()->isEnabled()) << round;
    EXPECT_TRUE(panel.axisSetupBox()->isChecked()) << round;
    for (int i = 0; i <= 45; ++i) display.AddPoint(i * kMinute, 20 + (i % 7));
    panel.flushRedraw();
  }
}

TEST(TimeAxis, LabelsNeverRepeatAndCountTheDaysBeyondTwentyFourHours) {
  TimeTicker ticker;
  ticker.setFormat("h:mm");
  const auto labels = [&](double lo, double hi) {
    QVector<double> ticks;
    QVector<QString> out;
    ticker.generate(QCPRange(lo, hi), QLocale::c(), 'g', 0, ticks, nullptr, &out);
    return out;
  };
  const double day = 1.0;
  struct Case {
    double lo, hi;
    QString first;  // the first label, to show the form
  } cases[] = {
      {0, 50 * kMinute, "0:00"},                                        // the designed h:mm
      {0, 2 * kMinute, "0:00:00"},                                      // finer than a minute: seconds
      {0, 58 * day, "0 d"},                                             // day steps: the day count
      {58 * day + 20 * 60 * kMinute + 20 * kMinute, 58 * day + 20 * 60 * kMinute + 50 * kMinute, "58 d 20:20"},
      {0.5 * day, 1.5 * day, "0 d 12:00"},                              // passing 24 h
  };
  for (const auto& c : cases) {
    const QVector<QString> l = labels(c.lo, c.hi);
    ASSERT_GE(l.size(), 2) << c.first.toStdString();
    EXPECT_EQ(l.front(), c.first);
    EXPECT_EQ(QSet<QString>(l.begin(), l.end()).size(), l.size()) << l.join(" | ").toStdString();
  }
  ticker.setDayText("сут");
  EXPECT_EQ(labels(0, 58 * day).front(), QString::fromUtf8("0 сут"));
}

TEST_F(ChartFixture, ClickingThePointReportsItsIndex) {
  for (int i = 0; i <= 20; ++i) display.AddPoint(i * kMinute, 100 + 10 * (i % 3));
  panel.flushRedraw();
  QSignalSpy spy(&panel, &ChartPanel::seriesClicked);
  QTest::mouseClick(panel.plot(), Qt::LeftButton, {}, pixel(7));
  ASSERT_EQ(spy.size(), 1);
  EXPECT_EQ(spy[0][0].toLongLong(), 7);
  // Far from the line: nothing.
  QTest::mouseClick(panel.plot(), Qt::LeftButton, {}, pixel(7) + QPoint(0, 60));
  EXPECT_EQ(spy.size(), 1);
}

TEST_F(ChartFixture, PrintDressIsPutOnAndTakenOff) {
  panel.plot()->xAxis->setTickLabelFont(QFont("Arial", 20));
  panel.setPrintDress(true);
  EXPECT_EQ(panel.plot()->axisRect()->backgroundBrush().color(), QColor(Qt::white));
  EXPECT_FALSE(panel.plot()->yAxis2->visible());
  panel.setPrintDress(false);
  EXPECT_TRUE(panel.plot()->yAxis2->visible());
  EXPECT_TRUE(panel.plot()->xAxis->grid()->visible());
  EXPECT_EQ(panel.plot()->xAxis->tickLabelFont().pointSize(), 9);
}

TEST(ReadingListView, FollowsTheStoreAndCopiesPlainText) {
  ReadingList list;
  ReadingListView view(list);
  list.append("0.50 21.46");
  list.append("1.00 21.47");
  view.sync();
  EXPECT_EQ(view.model()->rowCount(), 2);
  view.selectAll();
  EXPECT_EQ(view.selectedText(), "0.50 21.46\r\n1.00 21.47");
  view.copyAllToClipboard();
  EXPECT_EQ(view.selectedCount(), 0u);
  view.listModel()->beginReplace();
  list.clear();
  view.sync();
  EXPECT_EQ(view.model()->rowCount(), 0);
}

TEST_F(ChartFixture, OverlayArrowsFrameTheAxisBoxes) {
  for (int i = 0; i <= 40; ++i) display.AddPoint(i * kMinute, 150 + 50 * std::sin(i * 0.3));
  panel.axisSetupBox()->click();
  panel.flushRedraw();
  QCoreApplication::processEvents();
  QImage image = panel.plot()->grab().toImage();
  image.save(QDir::temp().filePath("velmora-overlay.png"));
  const QRect area = panel.plot()->axisRect()->rect();
  QLineEdit* ex = panel.box(AxisBox::Xrange);
  QLineEdit* ey = panel.box(AxisBox::Yrange);
  const int y = ex->y() + 9;
  // The horizontal dimension arrow runs from the left end of the plot to the Xrange box.
  EXPECT_EQ(image.pixelColor(area.left() + 30, y), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(ex->x() - 5, y), QColor(Qt::black));
  // The vertical one runs along the plot's height through the Yrange box's middle.
  const int x = ey->x() + ey->width() / 2;
  EXPECT_EQ(image.pixelColor(x, area.top() + 30), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(x, area.bottom() - 30), QColor(Qt::black));
  // "Auto X": no horizontal arrow, the box hidden.
  display.rules().miCatchClick(AxisRules::Toggle::AutoX, true);
  panel.flushRedraw();
  QCoreApplication::processEvents();
  image = panel.plot()->grab().toImage();
  EXPECT_FALSE(ex->isVisible());
  EXPECT_NE(image.pixelColor(area.left() + 30, y), QColor(Qt::black));
}

TEST_F(ChartFixture, EachColumnShowsTheMinimumAndMaximumOfItsPoints) {
  setBoxes("0", "300", "900");  // 0..300 °C over 900 minutes
  // 100,000 points over 833 minutes: alternating 100/200 °C in the first half, a steady
  // 250 °C in the second.
  const int n = 100000;
  for (int i = 0; i < n; ++i) display.AddPoint(i * 0.5 / 86400, i < n / 2 ? (i % 2 ? 100.0 : 200.0) : 250.0);
  panel.flushRedraw();
  const QImage image = panel.plot()->grab().toImage();
  auto px = [&](double minutes) { return static_cast<int>(panel.plot()->xAxis->coordToPixel(minutes / 1440.0)); };
  auto py = [&](double t) { return static_cast<int>(std::lround(panel.plot()->yAxis->coordToPixel(t))); };
  // A column in the first half: one vertical stroke from 200 down to 100 °C.
  auto rows = lineRows(image, px(200));
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR(rows.front(), py(200), 2);
  EXPECT_NEAR(rows.back(), py(100), 2);
  EXPECT_GE(static_cast<int>(rows.size()), py(100) - py(200) - 2);  // drawn all the way
  // A column in the second half: only at 250 °C, two pixels thick.
  rows = lineRows(image, px(600));
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR(rows.front(), py(250), 2);
  EXPECT_LE(rows.back() - rows.front(), 3);
  // Past the last point nothing is drawn.
  EXPECT_TRUE(lineRows(image, px(880)).empty());
}

TEST_F(ChartFixture, TheLineReachesTheLeftEdgeFromThePointBeforeTheWindow) {
  setBoxes("0", "300", "30");
  // A point every 7 minutes; the 30-minute window ends on the newest (63) and starts at 33,
  // between the points at 28 and 35.
  for (int m = 0; m <= 63; m += 7) display.AddPoint(m * kMinute, m % 14 ? 100.0 : 200.0);
  panel.flushRedraw();
  ASSERT_NEAR(panel.bottomAxis().min, 33 * kMinute, 1e-9);
  const QImage image = panel.plot()->grab().toImage();
  const int left = panel.plot()->axisRect()->rect().left();
  // The segment from 28 min (200 °C) to 35 min (100 °C) crosses the edge at 33 min.
  const double atEdge = 200 - 100 * (33.0 - 28.0) / 7.0;
  const auto rows = lineRows(image, left + 1);
  ASSERT_FALSE(rows.empty());
  const double y = panel.plot()->yAxis->coordToPixel(atEdge);
  EXPECT_LE(std::abs(rows.front() - y), 8.0);
}

TEST_F(ChartFixture, AutoYTakesInTheNewestReading) {
  display.rules().miCatchClick(AxisRules::Toggle::AutoY, true);
  for (int i = 0; i < 50; ++i) display.AddPoint(i * kMinute, 20 + 0.1 * i);
  panel.flushRedraw();
  EXPECT_GE(panel.leftAxis().max, 24.9);
  display.AddPoint(50 * kMinute, 480);  // the newest reading, far above the rest
  panel.flushRedraw();
  EXPECT_GE(panel.leftAxis().max, 480);
  display.AddPoint(51 * kMinute, -40);
  panel.flushRedraw();
  EXPECT_LE(panel.leftAxis().min, -40);
}

TEST(ReadingListView, FollowsTheNewestLineAndSelectsByMouseAndKeys) {
  ReadingList list;
  ReadingListView view(list);
  view.resize(200, 10 * view.rowHeight() + 4);
  view.show();
  for (int i = 0; i < 1000; ++i) list.append(listLine(i / 1440.0, 20 + i * 0.01));
  view.sync();
  EXPECT_EQ(view.rowCount(), 1000u);
  // At the end: the last lines are in sight, and the next batch keeps them there.
  EXPECT_GE(view.firstVisibleRow() + 10, 1000u);
  list.append("new line");
  view.sync();
  EXPECT_GE(view.firstVisibleRow() + 10, 1001u);
  // Scrolled back: new lines leave the view where it is.
  view.verticalScrollBar()->setValue(100);
  list.append("another");
  view.sync();
  EXPECT_EQ(view.firstVisibleRow(), 100u);
  // Click, Shift+Down twice, Ctrl+C.
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, view.rowHeight() / 2));
  QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(view.selectedCount(), 3u);
  EXPECT_EQ(view.selectedText(), "100.00 21.00\r\n101.00 21.01\r\n102.00 21.02");
  // Ctrl-click adds a line, Ctrl-click again removes it.
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5 * view.rowHeight() + 2));
  EXPECT_EQ(view.selectedCount(), 4u);
  EXPECT_TRUE(view.isSelected(105));
  QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5 * view.rowHeight() + 2));
  EXPECT_FALSE(view.isSelected(105));
  QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view.selectedCount(), 1002u);
}

TEST(ReadingListView, AHiddenViewKeepsCountAndGoesToTheEndWhenShown) {
  ReadingList list;
  QWidget holder;
  ReadingListView view(list, &holder);
  view.resize(200, 10 * view.rowHeight());
  view.hide();
  holder.show();
  for (int i = 0; i < 5000; ++i) list.append("0.00 20.00");
  view.sync();
  EXPECT_EQ(view.rowCount(), 5000u);
  EXPECT_EQ(view.model()->rowCount(), 5000);
  view.show();
  EXPECT_GE(view.firstVisibleRow() + 10, 5000u);
  // The lines in sight are drawn.
  const QImage image = view.grab().toImage();
  int inked = 0;
  for (int x = 0; x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y)
      if (image.pixelColor(x, y).lightness() < 100) ++inked;
  EXPECT_GT(inked, 100);
}

TEST_F(ChartFixture, AnOutageLongerThanTheGapIsNotBridged) {
  setBoxes("0", "300", "30");
  for (int m = 0; m <= 10; ++m) display.AddPoint(m * kMinute, 100);
  for (int m = 20; m <= 29; ++m) display.AddPoint(m * kMinute, 200);  // ten minutes without readings
  auto columnAt = [&](double minutes) {
    panel.requestRedraw();
    panel.flushRedraw();
    const QImage image = panel.plot()->grab().toImage();
    return lineRows(image, static_cast<int>(panel.plot()->xAxis->coordToPixel(minutes / 1440.0)));
  };
  EXPECT_FALSE(columnAt(15).empty());  // the designed look joins every point
  panel.series1()->setGapThreshold(3 * kMinute);
  EXPECT_TRUE(columnAt(15).empty());
  EXPECT_FALSE(columnAt(5).empty());  // readings a minute apart stay joined
  EXPECT_FALSE(columnAt(25).empty());
}

// ---------------------------------------------------------------- clock time and spans

namespace {
struct ZoneGuard {
  explicit ZoneGuard(const char* tz) {
    if (const char* old = std::getenv("TZ")) m_saved = old, m_had = true;
    qputenv("TZ", tz);
    tzset();
  }
  ~ZoneGuard() {
    if (m_had)
      qputenv("TZ", m_saved.c_str());
    else
      qunsetenv("TZ");
    tzset();
  }
  std::string m_saved;
  bool m_had = false;
};

std::int64_t utcOf(const char* iso) { return *parseUtcIso(iso); }
}  // namespace

TEST(ClockAxis, TicksFallOnRoundLocalTimesAndTheDateShowsWhereTheDayChanges) {
  ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
  TimeTicker ticker;
  // X = 0 is 23:37:10 local on 7 December.
  const std::int64_t t0 = utcOf("2026-12-07T22:37:10.000Z");
  ticker.setClock([t0](double x) { return t0 + static_cast<std::int64_t>(std::llround(x * 86400000.0)); });
  const QVector<double> ticks = ticker.ticksFor(15 * kMinute, QCPRange(0, 50 * kMinute));
  ASSERT_EQ(ticks.size(), 3);
  EXPECT_EQ(ticker.labelsFor(ticks),
            (QVector<QString>{"23:45\n2026-12-07", "00:00\n2026-12-08", "00:15"}));
  // Under 15 minutes with seconds.
  ticker.setFormat("h:mm:ss");
  EXPECT_EQ(ticker.labelsFor(ticker.ticksFor(30.0 / 86400, QCPRange(0, 1.5 * kMinute))).front(), "23:37:30\n2026-12-07");
  // Spring forward: hourly ticks stay on whole local hours and 02:00 never shows.
  ticker.setFormat("h:mm");
  const std::int64_t spring = utcOf("2026-03-28T23:10:00.000Z");  // 00:10 CET
  ticker.setClock([spring](double x) { return spring + static_cast<std::int64_t>(std::llround(x * 86400000.0)); });
  const QVector<QString> labels = ticker.labelsFor(ticker.ticksFor(60 * kMinute, QCPRange(0, 200 * kMinute)));
  EXPECT_EQ(labels, (QVector<QString>{"01:00\n2026-03-29", "03:00", "04:00"}));
  // Steps of 3 h and more east of UTC fall on whole local hours (00, 06, 12, 18 at 6 h).
  {
    ZoneGuard east("MSK-3");
    const std::int64_t noonUtc = utcOf("2026-12-08T10:17:00.000Z");  // 13:17 local
    ticker.setClock([noonUtc](double x) { return noonUtc + static_cast<std::int64_t>(std::llround(x * 86400000.0)); });
    EXPECT_EQ(ticker.labelsFor(ticker.ticksFor(0.25, QCPRange(0, 1))),
              (QVector<QString>{"18:00\n2026-12-08", "00:00\n2026-12-09", "06:00", "12:00"}));
    EXPECT_EQ(ticker.labelsFor(ticker.ticksFor(0.125, QCPRange(0, 0.5))).front(), "15:00\n2026-12-08");
  }
  // Off: the designed elapsed labels.
  ticker.setClock({});
  EXPECT_EQ(ticker.labelsFor({0, 90 * kMinute}), (QVector<QString>{"0:00", "1:30"}));
}

TEST_F(ChartFixture, ClockTimeLabelsComeFromTheReadingsAndUnknownTimesStayElapsed) {
  ZoneGuard zone("UTC0");
  series.add(0, 20, 100, utcOf("2026-12-08T10:00:00.000Z"));
  series.add(30 * kMinute, 21, 100, utcOf("2026-12-08T10:30:00.000Z"));
  panel.setClockTime(true);
  EXPECT_TRUE(panel.clockTime());
  EXPECT_EQ(panel.timeTicker().labelsFor({15 * kMinute}), (QVector<QString>{"10:15\n2026-12-08"}));
  MeasurementSeries noClock;
  noClock.add(0, 20);
  TimeTicker ticker;
  ticker.setClock([&noClock](double x) { return noClock.utcMsAt(x); });
  EXPECT_EQ(ticker.labelsFor({15 * kMinute}), (QVector<QString>{"0:15"}));
  panel.setClockTime(false);
  EXPECT_FALSE(panel.clockTime());
}

TEST_F(ChartFixture, ShiftDragChoosesASpanAndShiftClickClearsIt) {
  for (int i = 0; i <= 60; ++i) display.AddPoint(i * kMinute, 20 + i * 0.01);
  panel.setBottomAutomatic(false);
  panel.setBottomRange(0, 60 * kMinute);
  panel.flushRedraw();
  QSignalSpy spans(&panel, &ChartPanel::spanChanged);
  QCustomPlot* plot = panel.plot();
  const int x10 = static_cast<int>(plot->xAxis->coordToPixel(10 * kMinute));
  const int x40 = static_cast<int>(plot->xAxis->coordToPixel(40 * kMinute));
  const int y = plot->axisRect()->rect().center().y();
  // Dragged right to left: the span is the same.
  QTest::mousePress(plot, Qt::LeftButton, Qt::ShiftModifier, QPoint(x40, y));
  QTest::mouseMove(plot, QPoint(x10, y + 30));
  QTest::mouseRelease(plot, Qt::LeftButton, Qt::ShiftModifier, QPoint(x10, y + 30));
  ASSERT_TRUE(panel.span().has_value());
  EXPECT_NEAR(panel.span()->first * 1440, 10, 0.2);
  EXPECT_NEAR(panel.span()->second * 1440, 40, 0.2);
  EXPECT_EQ(spans.count(), 1);
  EXPECT_FALSE(panel.zoomed());  // not a zoom
  // The span is drawn: the band's tint is in the picture between the two columns only.
  const QImage image = plot->grab().toImage();
  const QColor inside = image.pixelColor((x10 + x40) / 2, y - 40), outside = image.pixelColor(x40 + 40, y - 40);
  EXPECT_NE(inside, outside);
  EXPECT_LT(inside.red(), outside.red());
  QTest::mouseClick(plot, Qt::LeftButton, Qt::ShiftModifier, QPoint(x10, y));
  EXPECT_FALSE(panel.span().has_value());
  EXPECT_EQ(spans.count(), 2);
}
