#pragma once
// The readings of a run, kept twice — as chart points and as list lines — and filled,
// emptied and reloaded together, with the recording clock that stamps each point and the
// axis follow-up of each new point.

#include <functional>
#include <string_view>

#include "display/axis_rules.h"
#include "display/measurement_series.h"
#include "display/reading_list.h"
#include "display/readout.h"
#include "display/recording_clock.h"

namespace velmora {

class MeasurementDisplay {
 public:
  MeasurementDisplay(ChartView& view, const Clock& clock) : MeasurementDisplay(view, clock, m_ownSeries) {}
  // With a series that lives elsewhere (the chart draws it).
  MeasurementDisplay(ChartView& view, const Clock& clock, MeasurementSeries& series)
      : MeasurementDisplay(view, clock, series, m_ownList, m_ownClock) {}
  // With the stores of an instrument (a channel) and the recording clock of all of them.
  MeasurementDisplay(ChartView& view, const Clock& clock, MeasurementSeries& series, ReadingList& list,
                     RecordingClock& recordingClock)
      : m_ownClock(clock), m_series(series), m_wallClock(clock), m_list(list), m_clock(recordingClock),
        m_rules(view, series) {}

  // One reading: a list line, a series point (with the resistance, when known, and the
  // clock time, taken once here), then Catch and follow.
  void AddPoint(double x, double y, double resistance = kNoValue);
  // The clock time of the last reading added.
  std::int64_t lastUtcMs() const { return m_lastUtcMs; }
  // Empties both stores, resets the clock to 0 elapsed, moves the scroll bar to its right
  // end, disables it and rescales the axes.
  void miClearClick();
  // Replaces every reading (a file was opened): the window shows its right end, the axes
  // rescale, and recording time goes on from the last reading. The readings are in their
  // file, so they count as saved.
  void replaceAll(ReadingList list, MeasurementSeries series);

  // Told before the stores are emptied or replaced, and after (views that show the stores
  // reset themselves around the change).
  std::function<void()> beforeReplace;
  std::function<void()> afterReplace;

  MeasurementSeries& series() { return m_series; }
  const MeasurementSeries& series() const { return m_series; }
  ReadingList& list() { return m_list; }
  const ReadingList& list() const { return m_list; }
  RecordingClock& clock() { return m_clock; }
  AxisRules& rules() { return m_rules; }
  Readout& readout() { return m_readout; }

  // Readings recorded or loaded and not saved since.
  bool unsaved() const { return m_unsaved; }
  void setUnsaved(bool unsaved) { m_unsaved = unsaved; }

 private:
  MeasurementSeries m_ownSeries;
  ReadingList m_ownList;
  RecordingClock m_ownClock;
  MeasurementSeries& m_series;
  const Clock& m_wallClock;
  std::int64_t m_lastUtcMs = kNoTime;
  ReadingList& m_list;
  RecordingClock& m_clock;
  AxisRules m_rules;
  Readout m_readout;
  std::string m_lineBuffer;
  bool m_unsaved = false;
};

}  // namespace velmora
