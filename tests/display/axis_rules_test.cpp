#include "display/axis_rules.h"

#include <gtest/gtest.h>

#include <cmath>

#include "display/measurement_display.h"
#include "fake_chart_view.h"

using namespace velmora;

namespace {
constexpr double kMinute = 1.0 / 1440.0;

struct FakeClock : Clock {
  double now = 0;
  double nowDays() const override { return now; }
};

struct AxisFixture : ::testing::Test {
  FakeClock clock;
  test::FakeChartView view;
  MeasurementDisplay display{view, clock};
  AxisRules& rules = display.rules();

  void SetUp() override { ASSERT_TRUE(rules.UpdateChartAxis()); }
  void recordMinutes(int minutes) {
    for (int m = 1; m <= minutes; ++m) display.AddPoint(m * kMinute, 20.0);
  }
};
}  // namespace

TEST_F(AxisFixture, ThirtyMinuteWindowFollowsTheNewestPoint) {
  recordMinutes(10);
  EXPECT_DOUBLE_EQ(view.bottom.min, 0);
  EXPECT_DOUBLE_EQ(view.bottom.max, 30 * kMinute);
  EXPECT_FALSE(view.scrollEnabled);
  recordMinutes(45);
  EXPECT_NEAR(view.bottom.min, 15 * kMinute, 1e-12);
  EXPECT_NEAR(view.bottom.max, 45 * kMinute, 1e-12);
  EXPECT_TRUE(view.scrollEnabled);
  EXPECT_EQ(view.scrollPos, 100);
  // An axis update keeps the window on the newest point.
  rules.UpdateChartAxis();
  EXPECT_NEAR(view.bottom.min, 15 * kMinute, 1e-12);
  EXPECT_EQ(view.scrollPos, 100);
}

TEST_F(AxisFixture, ScrollingBackStopsFollowingUntilTheRightEnd) {
  recordMinutes(90);
  rules.sbXposChange(0);
  EXPECT_NEAR(view.bottom.min, 0, 1e-12);
  display.AddPoint(91 * kMinute, 20);
  EXPECT_NEAR(view.bottom.max, 30 * kMinute, 1e-12);  // stays where the user put it
  rules.sbXposChange(50);
  EXPECT_NEAR(view.bottom.min, (91 - 30) * 0.5 * kMinute, 1e-12);
  rules.sbXposChange(100);
  display.AddPoint(92 * kMinute, 20);
  EXPECT_NEAR(view.bottom.max, 92 * kMinute, 1e-12);
}

TEST_F(AxisFixture, LabelFormatFollowsTheWindowWidth) {
  view.boxes[2] = "14";
  rules.UpdateChartAxis();
  EXPECT_EQ(view.format, "h:mm:ss");
  view.boxes[2] = "15";
  rules.UpdateChartAxis();
  EXPECT_EQ(view.format, "h:mm");
  view.bottom.automatic = true;
  view.boxes[2] = "5";
  rules.UpdateChartAxis();
  EXPECT_EQ(view.format, "h:mm");  // automatic axis: left as it was
  EXPECT_FALSE(view.scrollEnabled);
}

TEST_F(AxisFixture, CatchRecentresTheTemperatureAxis) {
  rules.setCatch(true);
  view.left = {0, 350, false};
  view.boxes[0] = "0";
  rules.UpdateChartAxis();
  display.AddPoint(kMinute, 412.6);
  EXPECT_EQ(view.boxes[0], "238");
  EXPECT_DOUBLE_EQ(view.left.min, 238);
  EXPECT_DOUBLE_EQ(view.left.max, 588);

  view.boxes[0] = "0";
  rules.UpdateChartAxis();
  display.AddPoint(2 * kMinute, 400);
  EXPECT_EQ(view.boxes[0], "225");
  EXPECT_DOUBLE_EQ(view.left.min, 225);
  EXPECT_DOUBLE_EQ(view.left.max, 575);

  display.AddPoint(3 * kMinute, 300);  // inside: nothing moves
  EXPECT_DOUBLE_EQ(view.left.min, 225);
}

TEST_F(AxisFixture, CatchLeavesAnAutomaticAxisAlone) {
  rules.setCatch(true);
  rules.miCatchClick(AxisRules::Toggle::AutoY, true);
  const auto before = view.left;
  display.AddPoint(kMinute, 1000);
  EXPECT_EQ(view.boxes[0], "0");
  EXPECT_EQ(view.left.min, before.min);
}

TEST_F(AxisFixture, ZoomSuspendsTheControlsAndUndoRestoresThem) {
  recordMinutes(45);
  view.axisSetup = true;
  rules.cbAxisClick();
  ASSERT_TRUE(view.boxVisible[0]);
  rules.ChartZoom();
  EXPECT_FALSE(view.axisSetup);
  EXPECT_FALSE(view.axisSetupEnabled);
  EXPECT_FALSE(view.boxVisible[0]);
  EXPECT_FALSE(view.scrollEnabled);
  // A second zoom before the undo changes nothing.
  view.axisSetupEnabled = true;
  rules.ChartZoom();
  EXPECT_TRUE(view.axisSetupEnabled);
  view.axisSetupEnabled = false;
  rules.ChartUndoZoom();
  EXPECT_TRUE(view.axisSetup);
  EXPECT_TRUE(view.axisSetupEnabled);
  EXPECT_TRUE(view.scrollEnabled);
  EXPECT_TRUE(view.boxVisible[2]);
  EXPECT_TRUE(rules.zoomArmed());
}

TEST_F(AxisFixture, ZoomedChartDoesNotFollow) {
  recordMinutes(40);
  view.isZoomed = true;
  const auto before = view.bottom;
  display.AddPoint(41 * kMinute, 20);
  EXPECT_EQ(view.bottom.max, before.max);
}

TEST(AxisKeyFilter, ThreeCharactersOfDigitsAndMinus) {
  std::string text;
  for (char c : {'1', '2', '3', '4'})
    if (AxisRules::acceptsKey(text, c)) text.push_back(c);
  EXPECT_EQ(text, "123");
  EXPECT_TRUE(AxisRules::acceptsKey("123", '\b'));
  EXPECT_TRUE(AxisRules::acceptsKey("123", '\r'));
  EXPECT_TRUE(AxisRules::acceptsKey("12", '-'));
  for (char c : {'.', ',', 'e', ' ', '+'}) EXPECT_FALSE(AxisRules::acceptsKey("", c)) << c;
  // Typing over a selection: the limit is on the text that results.
  EXPECT_TRUE(AxisRules::acceptsKey("350", 3, '2'));
  EXPECT_TRUE(AxisRules::acceptsKey("350", 1, '2'));
  EXPECT_FALSE(AxisRules::acceptsKey("350", 0, '2'));
  EXPECT_TRUE(AxisRules::acceptsKey("35", 0, '-'));
}

TEST_F(AxisFixture, EnterAppliesWholeNumbersAndRefusesZeroRanges) {
  view.boxes[2] = "123";
  EXPECT_TRUE(rules.boxEnter(AxisBox::Xrange));
  EXPECT_NEAR(view.bottom.max - view.bottom.min, 123 * kMinute, 1e-12);
  view.boxes[2] = "0";
  EXPECT_FALSE(rules.boxEnter(AxisBox::Xrange));
  view.boxes[1] = "0";
  EXPECT_FALSE(rules.boxEnter(AxisBox::Yrange));
  view.boxes[1] = "-";
  EXPECT_FALSE(rules.boxEnter(AxisBox::Yrange));
  view.boxes[1] = "-20";  // used by its absolute value
  EXPECT_TRUE(rules.boxEnter(AxisBox::Yrange));
  EXPECT_DOUBLE_EQ(rules.Yrange(), 20);
  view.boxes[0] = "0";
  EXPECT_TRUE(rules.boxEnter(AxisBox::Ystart));
  EXPECT_TRUE(view.errors.empty());
}

TEST_F(AxisFixture, ABoxThatIsNotANumberStopsTheUpdateWithAMessage) {
  const auto before = view.left;
  view.boxes[1] = "-";
  view.boxes[0] = "10";
  EXPECT_FALSE(rules.UpdateChartAxis());
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0], "'-' is not a valid floating point value");
  EXPECT_EQ(view.left.min, before.min);
}

TEST_F(AxisFixture, ClearWithTheWindowAwayFromZero) {
  recordMinutes(45);
  display.miClearClick();
  // Position was 100 and the window started above 0: the bar is enabled at 0 and the
  // window moves to [0, W].
  EXPECT_EQ(view.scrollPos, 0);
  EXPECT_TRUE(view.scrollEnabled);
  EXPECT_NEAR(view.bottom.min, 0, 1e-12);
  EXPECT_NEAR(view.bottom.max, 30 * kMinute, 1e-12);
}

TEST_F(AxisFixture, AZeroRangeTypedWithoutEnterIsNotTaken) {
  recordMinutes(3);
  view.boxes[2] = "0";  // typed, then Catch or an Auto toggle runs the update
  view.boxes[1] = "0";
  EXPECT_TRUE(rules.UpdateChartAxis());
  EXPECT_DOUBLE_EQ(rules.Xrange(), 30);
  EXPECT_DOUBLE_EQ(rules.Yrange(), 350);
  EXPECT_EQ(view.boxes[2], "30");  // the box shows the range in force again
  EXPECT_EQ(view.boxes[1], "350");
  EXPECT_NEAR(view.bottom.max - view.bottom.min, 30 * kMinute, 1e-12);
  EXPECT_DOUBLE_EQ(view.left.max - view.left.min, 350);
  rules.sbXposChange(50);
  EXPECT_TRUE(std::isfinite(view.bottom.min));
  // A negative range is taken by its size, as before.
  view.boxes[2] = "-20";
  EXPECT_TRUE(rules.UpdateChartAxis());
  EXPECT_DOUBLE_EQ(rules.Xrange(), 20);
}

TEST_F(AxisFixture, AFollowingWindowKeepsFollowingThroughCatchAndAxisChanges) {
  // At one reading a minute the 30-minute window starts following at once; a Catch
  // re-centre must not compute the scroll position from the old window start.
  rules.setCatch(true);
  view.left = {0, 350, false};
  recordMinutes(40);
  ASSERT_EQ(view.scrollPos, 100);
  display.AddPoint(41 * kMinute, 500);  // Catch
  EXPECT_EQ(view.scrollPos, 100);
  EXPECT_NEAR(view.bottom.max, 41 * kMinute, 1e-12);
  display.AddPoint(42 * kMinute, 500);
  EXPECT_NEAR(view.bottom.max, 42 * kMinute, 1e-12);  // still following
  // Narrowing the window while following keeps its right end on the newest point.
  view.boxes[2] = "10";
  ASSERT_TRUE(rules.boxEnter(AxisBox::Xrange));
  EXPECT_EQ(view.scrollPos, 100);
  EXPECT_NEAR(view.bottom.max, 42 * kMinute, 1e-12);
  EXPECT_NEAR(view.bottom.min, 32 * kMinute, 1e-12);
  // Switching Auto X on and off again during the run.
  rules.miCatchClick(AxisRules::Toggle::AutoX, true);
  display.AddPoint(43 * kMinute, 500);
  rules.miCatchClick(AxisRules::Toggle::AutoX, false);
  EXPECT_EQ(view.scrollPos, 100);
  EXPECT_NEAR(view.bottom.max, 43 * kMinute, 1e-12);
  display.AddPoint(44 * kMinute, 500);
  EXPECT_NEAR(view.bottom.max, 44 * kMinute, 1e-12);
}

TEST_F(AxisFixture, AWindowScrolledBackStaysWhereItIsOnAnAxisChange) {
  recordMinutes(90);
  rules.sbXposChange(0);
  view.boxes[1] = "100";
  ASSERT_TRUE(rules.UpdateChartAxis());
  EXPECT_NEAR(view.bottom.min, 0, 1e-12);
  EXPECT_EQ(view.scrollPos, 0);
}

TEST_F(AxisFixture, CatchRecentresOnAReadingBelowTheAxis) {
  rules.setCatch(true);
  view.left = {0, 350, false};
  view.boxes[0] = "0";
  rules.UpdateChartAxis();
  display.AddPoint(kMinute, -100);  // below the minimum
  EXPECT_EQ(view.boxes[0], "-275");
  EXPECT_DOUBLE_EQ(view.left.min, -275);
  EXPECT_DOUBLE_EQ(view.left.max, 75);
  display.AddPoint(2 * kMinute, -275);  // exactly on the minimum: inside
  EXPECT_DOUBLE_EQ(view.left.min, -275);
}

TEST_F(AxisFixture, BoxPlacementFollowsTheAxes) {
  view.axisSetup = true;
  rules.cbAxisClick();
  EXPECT_EQ(view.boxLeft[0], 50 - 28);
  EXPECT_EQ(view.boxTop[0], 410);
  EXPECT_EQ(view.boxLeft[1], 74);
  EXPECT_EQ(view.boxTop[1], 210 - 9);
  EXPECT_EQ(view.boxLeft[2], 400 - 14);
  EXPECT_EQ(view.boxTop[2], 410 - 19 - 12);
  EXPECT_EQ(view.boxes[1], "350");
}

TEST(TimeTexts, LabelsAndPointInspection) {
  EXPECT_EQ(formatTimeOfDay(90 * kMinute, "h:mm"), "1:30");
  EXPECT_EQ(formatTimeOfDay(90 * kMinute + 5.0 / 86400, "h:mm:ss"), "1:30:05");
  EXPECT_EQ(formatHhMmSs((3600 + 120 + 3) / 86400.0), "01:02:03");
  EXPECT_EQ(formatHhMmSs(25.0 / 24), "01:00:00");
  EXPECT_EQ(formatHhMmSs(12.5 * kMinute), "00:12:30");
}
