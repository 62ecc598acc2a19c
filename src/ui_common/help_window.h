#pragma once
// The user guide: Markdown pages in the user's language (docs/guide/<language>/ in the
// source tree, installed beside the program), shown with their contents, a search over
// every page and back/forward. One window for the program; F1 in a window opens its page.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "ui_common/translations.h"

class QLineEdit;
class QListWidget;
class QTextBrowser;
class QToolButton;

namespace velmora {

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  // The guide's pages in the order of the contents ("index" is the contents page itself).
  static const QStringList& pages();
  // The folder holding en/, ru/ and pictures/: $VELMORA_GUIDE_DIR, the installed guide
  // beside the program, or the source tree's.
  static QString guideFolder();
  // Opens (or brings up) the guide at `page` in the language of `tr`, above `near` (a modal
  // window's help must belong to it to take input while it is open).
  static HelpWindow* show(const Translator& tr, const QString& page, QWidget* near);
  static HelpWindow* instance();
  // After a language switch: an open guide shows the same page in the new language.
  static void followLanguage(const Translator& tr);

  QString currentPage() const;  // the file's base name: "statistics"
  QTextBrowser* browser() const { return m_browser; }
  // Pages whose text holds `words` (case aside), in contents order.
  QStringList search(const QString& words) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;  // Escape closes the guide

 private:
  explicit HelpWindow(QWidget* parent);
  void applyTexts(const Translator& tr);
  void open(const QString& language, const QString& page);
  void fillContents();
  void runSearch();
  QString pagePath(const QString& page) const;
  QString pageTitle(const QString& page) const;

  QString m_language;
  QLineEdit* m_search;
  QListWidget* m_list;
  QTextBrowser* m_browser;
  QToolButton* m_back;
  QToolButton* m_forward;
  QStringList m_listed;  // the pages the list shows, row by row
};

// F1 in `window` (and anything in it) opens the guide at `page`.
void addHelpKey(QWidget* window, const Translator& tr, const QString& page);

}  // namespace velmora
