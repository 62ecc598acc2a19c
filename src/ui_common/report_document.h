#pragma once
// A printed document of the program's own: a title, blocks of labelled fields, headings,
// paragraphs, tables and a plot, laid out on A4 pages (the text flows onto further pages) and
// written as PDF. The calibration report and the bench's certificates are both made with it;
// every text given is plain text, escaped here.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace velmora {

class ReportDocument {
 public:
  struct Column {
    QString header;
    bool right = false;  // numbers: aligned right
    int percent = 0;     // share of the page's width; 0: as wide as its contents
    bool bold = false;   // a row's name
  };
  enum class Emphasis { None, Italic, Bold };

  explicit ReportDocument(int pointSize);

  void title(const QString& text);
  void heading(const QString& text);
  // Labels in bold beside their values, without rules.
  void fields(const std::vector<std::pair<QString, QString>>& rows);
  // A paragraph; its line ends are kept.
  void paragraph(const QString& text, Emphasis emphasis = Emphasis::None);
  // A ruled table; fullWidth spreads it over the page, smaller prints it a point smaller.
  void table(const std::vector<Column>& columns, const std::vector<QStringList>& rows, bool fullWidth = false, bool smaller = false);
  void image(const QImage& picture, int width);

  QString html() const;
  // With `pageFooter` ("page %1 of %2"), every page carries its number and the count.
  QByteArray pdf(const QString& title, const QString& pageFooter = QString()) const;

 private:
  int m_pointSize;
  QString m_body;
  std::vector<QImage> m_images;
};

}  // namespace velmora
