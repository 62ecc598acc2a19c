#pragma once
// Copies to the clipboard: the reading list as text, or the chart as a picture (a vector
// copy and a bitmap) dressed for printing, with the overlay drawn on both.

namespace velmora {

class ChartPanel;

// Throws when there is no clipboard (the general error report shows it).
void copyChartToClipboard(ChartPanel& chart);

}  // namespace velmora
