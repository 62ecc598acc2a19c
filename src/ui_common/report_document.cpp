#include "ui_common/report_document.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>

namespace velmora {

namespace {
QString esc(const QString& s) { return s.toHtmlEscaped().replace("\n", "<br>"); }
QString imageName(std::size_t i) { return QString("image%1.png").arg(i); }
}  // namespace

ReportDocument::ReportDocument(int pointSize) : m_pointSize(pointSize) {}

void ReportDocument::title(const QString& text) { m_body += "<h2>" + esc(text) + "</h2>"; }

void ReportDocument::heading(const QString& text) { m_body += "<h3>" + esc(text) + "</h3>"; }

void ReportDocument::fields(const std::vector<std::pair<QString, QString>>& rows) {
  m_body += "<table cellspacing='0' cellpadding='2'>";
  for (const auto& [label, value] : rows) m_body += "<tr><td><b>" + esc(label) + "</b></td><td>" + esc(value) + "</td></tr>";
  m_body += "</table>";
}

void ReportDocument::paragraph(const QString& text, Emphasis emphasis) {
  const QString open = emphasis == Emphasis::Italic ? "<i>" : emphasis == Emphasis::Bold ? "<b>" : "";
  const QString close = emphasis == Emphasis::Italic ? "</i>" : emphasis == Emphasis::Bold ? "</b>" : "";
  m_body += "<p>" + open + esc(text) + close + "</p>";
}

void ReportDocument::table(const std::vector<Column>& columns, const std::vector<QStringList>& rows, bool fullWidth, bool smaller) {
  m_body += "<table border='1' cellspacing='0' cellpadding='3'";
  if (fullWidth) m_body += " width='100%'";
  if (smaller) m_body += QString(" style='font-size: %1pt'").arg(m_pointSize - 1);
  m_body += "><tr>";
  for (const Column& c : columns)
    m_body += (c.percent > 0 ? QString("<th width='%1%'>").arg(c.percent) : QString("<th>")) + esc(c.header) + "</th>";
  m_body += "</tr>";
  for (const QStringList& row : rows) {
    m_body += "<tr>";
    for (qsizetype i = 0; i < row.size(); ++i) {
      const Column* c = i < static_cast<qsizetype>(columns.size()) ? &columns[static_cast<std::size_t>(i)] : nullptr;
      const QString cell = c && c->bold ? "<b>" + esc(row[i]) + "</b>" : esc(row[i]);
      m_body += (c && c->right ? "<td align='right'>" : "<td>") + cell + "</td>";
    }
    m_body += "</tr>";
  }
  m_body += "</table>";
}

void ReportDocument::image(const QImage& picture, int width) {
  m_body += QString("<p><img src='%1' width='%2'></p>").arg(imageName(m_images.size())).arg(width);
  m_images.push_back(picture);
}

QString ReportDocument::html() const {
  return QString("<html><body style='font-family: sans-serif; font-size: %1pt'>").arg(m_pointSize) + m_body + "</body></html>";
}

QByteArray ReportDocument::pdf(const QString& title, const QString& pageFooter) const {
  QTextDocument doc;
  for (std::size_t i = 0; i < m_images.size(); ++i) doc.addResource(QTextDocument::ImageResource, QUrl(imageName(i)), m_images[i]);
  doc.setHtml(html());
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setResolution(300);
  writer.setTitle(title);
  writer.setCreator("Velmora");
  if (pageFooter.isEmpty()) {
    doc.print(&writer);
    return out;
  }
  // Laid out on the pages' writing area less a footer line, each page drawn with its number.
  writer.setPageMargins(QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter);
  QPainter painter(&writer);
  doc.documentLayout()->setPaintDevice(&writer);
  doc.setDocumentMargin(0);
  const double width = writer.width(), height = writer.height(), footer = writer.resolution() * 0.35;
  doc.setPageSize(QSizeF(width, height - footer));
  const int pages = doc.pageCount();
  QFont small;
  small.setPointSizeF(std::max(6, m_pointSize - 1));
  for (int i = 0; i < pages; ++i) {
    if (i > 0) writer.newPage();
    const QRectF view(0, i * (height - footer), width, height - footer);
    painter.save();
    painter.translate(0, -view.top());
    painter.setClipRect(view);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = view;
    doc.documentLayout()->draw(&painter, context);
    painter.restore();
    painter.setFont(small);
    painter.drawText(QRectF(0, height - footer, width, footer), Qt::AlignRight | Qt::AlignBottom, pageFooter.arg(i + 1).arg(pages));
  }
  painter.end();
  return out;
}

}  // namespace velmora
