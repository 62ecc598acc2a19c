#pragma once
// Pieces of the main window that carry their own layout: the set-up panel, the status bar,
// and the port menu that shows the connection's entries.

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <vector>

namespace velmora {

class ConnectionController;
class Translator;

// The set-up panel `pnTune`: the rate `seFlow` with its label and the button that opens
// the calibration window. A double click on the panel opens it too.
class TunePanel : public QFrame {
  Q_OBJECT
 public:
  explicit TunePanel(QWidget* parent);
  QLabel* lbFlow;
  QSpinBox* seFlow;
  QPushButton* btClb;
  // Beyond the designed panel: reconnecting after a failed link, with its limit in minutes.
  QCheckBox* cbReconnect;
  QSpinBox* seReconnectLimit;
  QLabel* lbReconnectLimit;

 signals:
  void calibrationRequested();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// The status bar: the system version panel, the status text (the protocol's marks and the
// USB device texts), a panel of its own for point inspection, so that the next poll's mark
// does not erase an inspected point, and one for the link's warnings.
class MainStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit MainStatusBar(QWidget* parent);
  QLabel* osPanel;
  QLabel* statusText;
  QLabel* inspection;
  QLabel* journal;  // shown when the recording journal cannot be written
  // The link's state while it needs attention (reconnecting, no valid readings, waiting for
  // the adapter): a panel of its own, so that the poll marks never overwrite it.
  QLabel* link;
};

// The port menu `miPort`: one checkable entry per port of the connection, the chosen one
// checked, the ones that did not open disabled; the caption names the chosen port.
class PortMenu : public QObject {
  Q_OBJECT
 public:
  PortMenu(QAction& miPort, ConnectionController& connection, const Translator& tr, QWidget* window);
  void setPrefix(const QString& prefix) { m_prefix = prefix; }
  // The caption is kept to the room of a short port name ("ttyUSB10") in this font: a longer one is
  // shortened in its middle (the whole of it in the tool tip), so the readout keeps its place.
  void setCaptionFont(const QFont& font) { m_font = font; }
  void sync();
  void updateCaption();
  void miPortClick(QAction* entry);
  const std::vector<QAction*>& items() const { return m_items; }

 private:
  QAction& m_miPort;
  QMenu* m_menu;
  ConnectionController& m_connection;
  const Translator& m_tr;
  QString m_prefix;
  QFont m_font;
  std::vector<QAction*> m_items;
};

}  // namespace velmora
