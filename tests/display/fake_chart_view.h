#pragma once
#include <string>
#include <vector>

#include "display/axis_rules.h"

namespace velmora::test {

// A chart as plain state: axes, pixel ends, boxes, the scroll bar and "Axes setup".
struct FakeChartView : ChartView {
  AxisScale left{-50, 300, false};
  AxisScale bottom{0, 30.0 / 1440, false};
  std::string format = "h:mm";
  bool isZoomed = false;
  int T = 10, B = 410, L = 50, R = 750;
  std::string boxes[3] = {"0", "350", "30"};
  int boxLeft[3] = {}, boxTop[3] = {};
  bool boxVisible[3] = {};
  int scrollPos = 100;
  bool scrollEnabled = false;
  bool axisSetup = false;
  bool axisSetupEnabled = true;
  std::vector<std::string> errors;
  int redraws = 0;

  AxisScale leftAxis() const override { return left; }
  AxisScale bottomAxis() const override { return bottom; }
  void setLeftRange(double mn, double mx) override { left.min = mn, left.max = mx; }
  void setBottomRange(double mn, double mx) override { bottom.min = mn, bottom.max = mx; }
  void setLeftAutomatic(bool on) override { left.automatic = on; }
  void setBottomAutomatic(bool on) override { bottom.automatic = on; }
  void setBottomLabelFormat(std::string_view f) override { format = f; }
  bool zoomed() const override { return isZoomed; }
  int leftAxisTop() const override { return T; }
  int leftAxisBottom() const override { return B; }
  int bottomAxisLeft() const override { return L; }
  int bottomAxisRight() const override { return R; }
  void redraw() override { ++redraws; }
  void showScrollBar(int position, bool enabled) override { scrollPos = position, scrollEnabled = enabled; }
  std::string boxText(AxisBox b) const override { return boxes[int(b)]; }
  void setBoxText(AxisBox b, std::string_view t) override { boxes[int(b)] = t; }
  void placeBox(AxisBox b, int l, int t) override { boxLeft[int(b)] = l, boxTop[int(b)] = t; }
  int boxWidth(AxisBox) const override { return 28; }
  int boxHeight(AxisBox) const override { return 19; }
  void setBoxVisible(AxisBox b, bool v) override { boxVisible[int(b)] = v; }
  bool axisSetupChecked() const override { return axisSetup; }
  void setAxisSetupChecked(bool c) override { axisSetup = c; }
  void setAxisSetupEnabled(bool e) override { axisSetupEnabled = e; }
  void showError(std::string_view text) override { errors.emplace_back(text); }
};

}  // namespace velmora::test
