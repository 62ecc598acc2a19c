#pragma once
// The residual plot: a small window beside the calibration window showing each point's
// deviation from the fit (°C) against its reference temperature, with the zero line and
// each point labelled by its row. It does not change the calibration window's layout.

#include <QDialog>
#include <QImage>
#include <vector>

#include "calibration/calculations.h"
#include "ui_common/translations.h"

class QCustomPlot;

namespace velmora {

class ResidualWindow : public QDialog {
  Q_OBJECT
 public:
  ResidualWindow(const Translator& tr, QWidget* parent = nullptr);
  void setResiduals(const std::vector<Residual>& residuals);
  void retranslate();
  // The plot as a picture (for the report).
  QImage render(int width, int height);
  QCustomPlot* plot() const { return m_plot; }
  // The labels drawn beside the points, in point order (row numbers).
  QStringList pointLabels() const;

 private:
  const Translator& m_tr;
  QCustomPlot* m_plot;
};

}  // namespace velmora
