#pragma once
// How the chart's two axes are scaled: the three axis boxes (Ystart, Yrange, Xrange), the
// automatic switches, Catch, the horizontal scroll bar over the run, following the newest
// point, and the reaction to the chart's own zoom and pan. Works on an abstract view of the
// chart so that it runs without a display.

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

class MeasurementSeries;

enum class AxisBox { Ystart = 0, Yrange = 1, Xrange = 2 };

struct AxisScale {
  double min = 0;
  double max = 0;
  bool automatic = false;
};

class ChartView {
 public:
  virtual ~ChartView() = default;
  virtual AxisScale leftAxis() const = 0;
  virtual AxisScale bottomAxis() const = 0;
  virtual void setLeftRange(double min, double max) = 0;
  virtual void setBottomRange(double min, double max) = 0;
  virtual void setLeftAutomatic(bool on) = 0;
  virtual void setBottomAutomatic(bool on) = 0;
  virtual void setBottomLabelFormat(std::string_view format) = 0;  // "h:mm" or "h:mm:ss"
  virtual bool zoomed() const = 0;
  // Ends a zoom or pan as an undo would, without reporting it: the scales remembered before
  // it come back (with their automatic flags) and the chart is no longer zoomed.
  virtual void dropZoom() {}
  // Pixel ends of the axes in the chart area.
  virtual int leftAxisTop() const = 0;
  virtual int leftAxisBottom() const = 0;
  virtual int bottomAxisLeft() const = 0;
  virtual int bottomAxisRight() const = 0;
  virtual void redraw() = 0;
  virtual void showScrollBar(int position, bool enabled) = 0;
  virtual std::string boxText(AxisBox box) const = 0;
  virtual void setBoxText(AxisBox box, std::string_view text) = 0;
  virtual void placeBox(AxisBox box, int left, int top) = 0;
  virtual int boxWidth(AxisBox box) const = 0;
  virtual int boxHeight(AxisBox box) const = 0;
  virtual void setBoxVisible(AxisBox box, bool visible) = 0;
  virtual bool axisSetupChecked() const = 0;
  virtual void setAxisSetupChecked(bool checked) = 0;
  virtual void setAxisSetupEnabled(bool enabled) = 0;
  virtual void showError(std::string_view text) = 0;
};

class AxisRules {
 public:
  static constexpr double kMinute = 1.0 / 1440.0;

  AxisRules(ChartView& view, const MeasurementSeries& series) : m_view(view), m_series(series) {}

  // Re-reads the three boxes and rescales the axes. Returns false when a box did not
  // convert (the error was shown and the axes keep their scales). A zero range is not
  // taken: its box goes back to the range in force.
  bool UpdateChartAxis();
  // Places, fills and shows or hides the three boxes ("Axes setup" clicked, resize, zoom).
  void cbAxisClick();
  void ChartResize() { cbAxisClick(); }

  // The key filter of the three boxes: whether `key` may go into a box holding `text` with
  // `selected` of its characters selected (a typed key replaces them; at most 3
  // characters result). Backspace is '\b', Enter '\r'.
  static bool acceptsKey(std::string_view text, std::size_t selected, char key);
  static bool acceptsKey(std::string_view text, char key) { return acceptsKey(text, 0, key); }
  // Enter in a box: applies the boxes when the box holds a whole number (0 is refused for
  // the two ranges). Returns whether the axis update ran.
  bool boxEnter(AxisBox box);

  // The user moved the scroll bar.
  void sbXposChange(int position);
  // The program sets the position: like a user move when it differs (enables the bar).
  void setScrollPosition(int position);
  void setScrollEnabled(bool enabled);
  int scrollPosition() const { return m_scrollPos; }
  bool scrollEnabled() const { return m_scrollEnabled; }

  // After each new point: the Catch rule, then the follow rule.
  void afterPoint(double y);

  enum class Toggle { Catch, AutoY, AutoX };
  void miCatchClick(Toggle item, bool checked);

  void ChartZoom();
  void ChartUndoZoom();
  // The readings are replaced (a file opened, Clear): a zoom or pan in force ends first, so
  // that the axes, their automatic flags, "Axes setup" and the scroll bar are whole again.
  void endZoom();

  double Ystart() const { return m_ystart; }
  double Yrange() const { return m_yrange; }
  double Xrange() const { return m_xrange; }
  bool Catch() const { return m_catch; }
  void setCatch(bool on) { m_catch = on; }

  bool zoomArmed() const { return m_zoomArmed; }
  bool zoomActive() const { return m_zoomActive; }

 private:
  bool readBoxes();
  void placeTimeWindow(bool following);
  void syncScrollPosition();
  double windowWidth() const { return m_xrange * kMinute; }
  void applyScrollPosition();
  void publishScroll() { m_view.showScrollBar(m_scrollPos, m_scrollEnabled); }

  ChartView& m_view;
  const MeasurementSeries& m_series;
  double m_ystart = 0;
  double m_yrange = 350;
  double m_xrange = 30;
  bool m_catch = false;
  int m_scrollPos = 100;
  bool m_scrollEnabled = false;
  bool m_zoomArmed = true;
  bool m_zoomActive = false;
  bool m_savedAxisSetup = false;
  bool m_savedScrollEnabled = false;
};

// The time axis labels of a day-based value: "h:mm" or "h:mm:ss" (hours of the day).
std::string formatTimeOfDay(double days, std::string_view format);
// "hh:mm:ss" with the hours counted modulo 24 (point inspection).
std::string formatHhMmSs(double days);

}  // namespace velmora
