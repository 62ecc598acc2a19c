#include "files/clipboard_export.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QPainter>
#include <QSvgGenerator>
#include <stdexcept>

#include "display/chart_panel.h"

namespace velmora {

void copyChartToClipboard(ChartPanel& chart) {
  struct Dress {
    ChartPanel& chart;
    explicit Dress(ChartPanel& c) : chart(c) { chart.setPrintDress(true); }
    ~Dress() { chart.setPrintDress(false); }  // put back even when the copy fails
  } dress(chart);
  ChartPlot* plot = chart.plot();
  const int w = std::max(1, plot->width() - 1);
  const int h = std::max(1, plot->height() - 1);
  QBuffer svg;
  svg.open(QIODevice::WriteOnly);
  {
    QSvgGenerator generator;
    generator.setOutputDevice(&svg);
    generator.setSize(QSize(w, h));
    generator.setViewBox(QRect(0, 0, w, h));
    generator.setTitle("Velmora chart");
    QCPPainter painter(&generator);
    plot->toPainter(&painter, w, h);
    chart.ChartAfterDraw(painter);
  }
  QPixmap pixmap = plot->toPixmap(w, h);
  {
    QPainter painter(&pixmap);
    chart.ChartAfterDraw(painter);
  }
  QClipboard* clipboard = QApplication::clipboard();
  if (!clipboard) throw std::runtime_error("Cannot open clipboard");
  auto* mime = new QMimeData;
  mime->setData("image/svg+xml", svg.data());
  mime->setImageData(pixmap.toImage());
  clipboard->setMimeData(mime);
}

}  // namespace velmora
