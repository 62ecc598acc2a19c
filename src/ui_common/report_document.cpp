#include "ui_common/report_document.h"

#include <QBuffer>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

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

QByteArray ReportDocument::pdf(const QString& title) const {
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
  doc.print(&writer);
  return out;
}

}  // namespace velmora
