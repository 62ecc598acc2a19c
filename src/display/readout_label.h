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

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace velmora
