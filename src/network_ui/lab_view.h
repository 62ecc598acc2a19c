#pragma once
// The lab view: every station and instrument publishing to the broker, from the messages
// alone — the last reading, its age (red when stale), stability, status — and the chart of
// the selected instrument drawn from its readings as they come (historical ones in their
// place). `velmora --lab-view URL` opens it alone; the main window's menu opens it with the
// lab network's settings.
#include <QLabel>
#include <QMainWindow>
#include <QTableWidget>
#include <QTimer>
#include <memory>

#include "network/lab_board.h"
#include "network/lab_subscriber.h"
#include "ui_common/translations.h"

class QCustomPlot;

namespace velmora {

class LabView : public QMainWindow {
  Q_OBJECT
 public:
  LabView(const MqttSettings& settings, const Translator& tr, QWidget* parent = nullptr);
  ~LabView() override;

  const LabBoard& board() const { return m_board; }
  QTableWidget* table() const { return m_table; }
  QCustomPlot* plot() const { return m_plot; }
  QLabel* stateLabel() const { return m_state; }
  // Takes what came from the broker and brings the table and chart up to date (the timer
  // does so four times a second).
  void poll();
  void retranslate();
  // The stability rule (minutes, peak-to-peak °C).
  double windowMinutes = 10, threshold = 0.01;

 protected:
  void showEvent(QShowEvent* event) override;  // the window opens inside the screen

 private:
  void refreshTable();
  void fitTimeAxis();
  void drawSelected(bool fromScratch);

  MqttSettings m_settings;
  const Translator& m_tr;
  std::unique_ptr<LabSubscriber> m_subscriber;
  LabBoard m_board;
  QTableWidget* m_table;
  QCustomPlot* m_plot;
  QLabel* m_state;
  QTimer m_timer;
  bool m_everConnected = false;     // the lab view's own link: lost after it was up
  int m_drawn = -1;                 // the instrument on the chart
  std::size_t m_drawnPoints = 0;    // how many of its readings are drawn
  std::uint64_t m_drawnReorders = 0;
};

}  // namespace velmora
