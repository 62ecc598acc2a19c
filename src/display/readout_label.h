#pragma once
// The big readout on the toolbar (`lbTablo`): the text and colour of the readout, and a
// click that switches between temperature and resistance.

#include <QLabel>

#include "display/readout.h"

namespace velmora {

class ReadoutLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ReadoutLabel(QWidget* parent = nullptr);
  // Shows the readout's text in its colour.
  void show(const Readout& readout);
  // An old value (no reading for a while, reconnecting, no valid answers) is shown grey,
  // with the reason as its tooltip; false puts the readout's own colour back.
  void setStale(bool stale, const QString& why = {});
  bool stale() const { return m_stale; }
  // The instrument shown, drawn small above the value (with several instruments; empty: none).
  void setCaption(const QString& caption);
  QString caption() const { return m_caption; }

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void applyColor();
  QFont captionFont() const;
  QColor m_color = Qt::black;
  bool m_stale = false;
  QString m_caption;
};

}  // namespace velmora
