#include "calibration/residual_window.h"

#include <QVBoxLayout>
#include <algorithm>
#include <qcustomplot.h>

#include "ui_common/ui_helpers.h"

namespace velmora {

ResidualWindow::ResidualWindow(const Translator& tr, QWidget* parent) : QDialog(parent), m_tr(tr) {
  setObjectName("fmResiduals");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  m_plot = new QCustomPlot(this);
  m_plot->setObjectName("ResidualPlot");
  m_plot->addGraph();
  m_plot->graph(0)->setLineStyle(QCPGraph::lsNone);
  m_plot->graph(0)->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, QColor(45, 95, 160), 7));
  auto* zero = new QCPItemStraightLine(m_plot);
  zero->setObjectName("zeroLine");
  zero->point1->setCoords(0, 0);
  zero->point2->setCoords(1, 0);
  zero->setPen(QPen(QColor(176, 58, 46), 1));
  layout->addWidget(m_plot);
  resize(460, 300);
  retranslate();
}

void ResidualWindow::retranslate() {
  setWindowTitle(qs(m_tr.text("fmResiduals")));
  m_plot->xAxis->setLabel(qs(m_tr.text("axActual")));
  m_plot->yAxis->setLabel(qs(m_tr.text("axResidual")));
  m_plot->replot();
}

void ResidualWindow::setResiduals(const std::vector<Residual>& residuals) {
  QVector<double> xs, ys;
  for (const auto& r : residuals) {
    xs << r.actual;
    ys << r.deviation;
  }
  m_plot->graph(0)->setData(xs, ys);
  for (int i = m_plot->itemCount() - 1; i >= 0; --i)
    if (m_plot->item(i)->objectName() == "rowLabel") m_plot->removeItem(i);
  double lo = 0, hi = 0, left = 0, right = 1;
  if (!residuals.empty()) {
    left = right = residuals.front().actual;
    for (const auto& r : residuals) {
      lo = std::min(lo, r.deviation);
      hi = std::max(hi, r.deviation);
      left = std::min(left, r.actual);
      right = std::max(right, r.actual);
    }
  }
  const double dx = std::max(1.0, (right - left) * 0.08), dy = std::max(1e-3, (hi - lo) * 0.15);
  m_plot->xAxis->setRange(left - dx, right + dx);
  m_plot->yAxis->setRange(lo - dy, hi + dy);
  for (const auto& r : residuals) {
    auto* label = new QCPItemText(m_plot);
    label->setObjectName("rowLabel");
    label->position->setCoords(r.actual, r.deviation);
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
    label->setPadding(QMargins(4, 0, 0, 2));
    label->setText(QString::number(r.row));
  }
  m_plot->replot();
}

QStringList ResidualWindow::pointLabels() const {
  QStringList labels;
  for (int i = 0; i < m_plot->itemCount(); ++i)
    if (auto* t = qobject_cast<QCPItemText*>(m_plot->item(i)); t && t->objectName() == "rowLabel") labels << t->text();
  return labels;
}

QImage ResidualWindow::render(int width, int height) {
  return m_plot->toPixmap(width, height).toImage();
}

}  // namespace velmora
