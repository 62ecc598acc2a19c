#pragma once
// The "Instruments" panel (a dock beside the chart): one row per instrument — its colour
// (and whether it is drawn), name, port, link state, last reading and its age, stability —
// with Add (the serial ports present, the USB adapters by serial number, the next demo
// instrument) and Remove. Selecting a row shows that instrument in the readout, the list and
// the statistics panel. Names are edited in place; a click on the colour changes it.

#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

class Channel;
class ChannelSet;

class InstrumentsPanel : public QWidget {
  Q_OBJECT
 public:
  InstrumentsPanel(ChannelSet& channels, const Translator& tr, QWidget* parent = nullptr);

  QTableWidget* table() const { return m_table; }
  QPushButton* addButton() const { return m_add; }
  QPushButton* removeButton() const { return m_remove; }
  QMenu* addMenu() const { return m_addMenu; }

  // Rebuilds the rows (channels added or removed) / brings their texts up to date.
  void rebuild();
  void refresh();
  void retranslate();

  // What can be added: the serial ports present and the USB adapters' serial numbers.
  std::function<std::vector<std::string>()> serialPorts;
  std::function<std::vector<std::string>()> usbAdapters;
  // The stability rule the statistics panel uses (minutes, threshold °C).
  std::function<std::pair<double, double>()> stabilityRule;
  // A colour chosen for a channel (tests answer without the dialog); invalid: Cancel.
  std::function<QColor(const QColor& current)> colourDialogHook;
  // "Port by path…": the typed path (tests answer without the dialog; nothing: Cancel), and
  // where its refusal is said.
  std::function<std::optional<QString>()> portPathHook;
  std::function<void(MessageKind, const QString&)> messageHook;

 signals:
  void addRequested(const std::string& port);
  void removeRequested(velmora::Channel* channel);
  void channelEdited(velmora::Channel* channel);  // name, colour or shown

 private:
  void buildAddMenu();
  void addPortByPath();
  void cellClicked(int row, int column);
  void cellChanged(int row, int column);

  ChannelSet& m_channels;
  const Translator& m_tr;
  QTableWidget* m_table;
  QPushButton* m_add;
  QPushButton* m_remove;
  QMenu* m_addMenu;
  QTimer m_ages;
  bool m_filling = false;
  bool m_tickToggled = false;
};

}  // namespace velmora
