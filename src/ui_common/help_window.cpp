#include "ui_common/help_window.h"

#include <QKeyEvent>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QShortcut>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui_common/ui_helpers.h"

namespace velmora {

namespace {
QPointer<HelpWindow> g_window;

QString readPage(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
}  // namespace

const QStringList& HelpWindow::pages() {
  static const QStringList kPages{"index",        "getting-started", "connecting", "recording", "files",
                                  "statistics",   "calibration",     "channels",   "bench",     "lab-network",
                                  "settings",     "troubleshooting"};
  return kPages;
}

QString HelpWindow::guideFolder() {
  const QString env = qEnvironmentVariable("VELMORA_GUIDE_DIR");
  if (!env.isEmpty()) return env;
  const QString app = QCoreApplication::applicationDirPath();
  for (const QString& candidate : {app + "/../share/velmora/guide", app + "/guide", QStringLiteral(VELMORA_SOURCE_GUIDE)})
    if (QFileInfo::exists(candidate + "/en/index.md")) return QDir(candidate).absolutePath();
  return QStringLiteral(VELMORA_SOURCE_GUIDE);
}

HelpWindow* HelpWindow::instance() { return g_window; }

HelpWindow* HelpWindow::show(const Translator& tr, const QString& page, QWidget* near) {
  QWidget* owner = near ? near->window() : nullptr;
  if (!g_window) {
    g_window = new HelpWindow(owner);
  } else if (g_window->parentWidget() != owner) {
    const QRect where = g_window->geometry();
    g_window->setParent(owner, Qt::Window);
    g_window->setGeometry(where);
  }
  g_window->setAttribute(Qt::WA_DeleteOnClose, false);
  // A page opened by F1 is shown whole: a search left from before no longer filters the list.
  if (!g_window->m_search->text().isEmpty()) g_window->m_search->clear();
  g_window->open(tr.language() == Language::Russian ? "ru" : "en", page);
  g_window->applyTexts(tr);
  g_window->QWidget::show();
  g_window->raise();
  g_window->activateWindow();
  return g_window;
}

void HelpWindow::applyTexts(const Translator& tr) {
  setWindowTitle(qs(tr.text("hlTitle")));
  m_search->setPlaceholderText(qs(tr.text("hlSearch")));
  m_back->setToolTip(qs(tr.text("hlBack")));
  m_forward->setToolTip(qs(tr.text("hlForward")));
}

void HelpWindow::followLanguage(const Translator& tr) {
  if (!g_window) return;
  const QString language = tr.language() == Language::Russian ? "ru" : "en";
  if (language != g_window->m_language) g_window->open(language, g_window->currentPage());
  g_window->applyTexts(tr);
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("fmHelp");
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  m_back = new QToolButton(this);
  m_back->setObjectName("btBack");
  m_back->setArrowType(Qt::LeftArrow);
  m_forward = new QToolButton(this);
  m_forward->setObjectName("btForward");
  m_forward->setArrowType(Qt::RightArrow);
  m_search = new QLineEdit(this);
  m_search->setObjectName("edSearch");
  m_search->setClearButtonEnabled(true);
  bar->addWidget(m_back);
  bar->addWidget(m_forward);
  bar->addWidget(m_search, 1);
  layout->addLayout(bar);
  auto* split = new QSplitter(this);
  m_list = new QListWidget(split);
  m_list->setObjectName("lwContents");
  m_browser = new QTextBrowser(split);
  m_browser->setObjectName("reHelp");
  m_browser->setOpenExternalLinks(true);
  split->addWidget(m_list);
  split->addWidget(m_browser);
  split->setStretchFactor(1, 1);
  split->setSizes({260, 620});
  layout->addWidget(split, 1);
  m_back->setEnabled(false);
  m_forward->setEnabled(false);
  connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
  connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
  connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QToolButton::setEnabled);
  connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QToolButton::setEnabled);
  connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    const int row = m_list->row(item);
    if (row < 0 || row >= m_listed.size()) return;
    m_browser->setSource(QUrl::fromLocalFile(pagePath(m_listed[row])));
    if (!m_search->text().trimmed().isEmpty()) m_browser->find(m_search->text().trimmed());
  });
  connect(m_list, &QListWidget::itemClicked, m_list, &QListWidget::itemActivated);
  connect(m_search, &QLineEdit::textChanged, this, &HelpWindow::runSearch);
  connect(m_search, &QLineEdit::returnPressed, this, [this] {
    if (m_list->count() > 0) emit m_list->itemActivated(m_list->item(0));
  });
  resize(880, 620);
}

QString HelpWindow::pagePath(const QString& page) const { return guideFolder() + "/" + m_language + "/" + page + ".md"; }

QString HelpWindow::pageTitle(const QString& page) const {
  const QString text = readPage(pagePath(page));
  for (const QString& line : text.split('\n'))
    if (line.startsWith("# ")) return line.mid(2).trimmed();
  return page;
}

void HelpWindow::open(const QString& language, const QString& page) {
  const bool languageChanged = language != m_language;
  m_language = language;
  if (languageChanged) {
    m_browser->clearHistory();
    m_search->clear();
    fillContents();
  }
  const QString name = pages().contains(page) ? page : QString("index");
  m_browser->setSource(QUrl::fromLocalFile(pagePath(name)));
}

QString HelpWindow::currentPage() const { return QFileInfo(m_browser->source().toLocalFile()).completeBaseName(); }

void HelpWindow::fillContents() {
  m_list->clear();
  m_listed.clear();
  for (const QString& p : pages()) {
    m_list->addItem(pageTitle(p));
    m_listed << p;
  }
}

QStringList HelpWindow::search(const QString& words) const {
  QStringList found;
  const QString w = words.trimmed();
  if (w.isEmpty()) return found;
  for (const QString& p : pages())
    if (readPage(pagePath(p)).contains(w, Qt::CaseInsensitive)) found << p;
  return found;
}

void HelpWindow::runSearch() {
  const QString words = m_search->text().trimmed();
  if (words.isEmpty()) {
    fillContents();
    return;
  }
  m_list->clear();
  m_listed.clear();
  for (const QString& p : search(words)) {
    m_list->addItem(pageTitle(p));
    m_listed << p;
  }
}

void addHelpKey(QWidget* window, const Translator& tr, const QString& page) {
  auto* key = new QShortcut(QKeySequence(Qt::Key_F1), window);
  key->setContext(Qt::WidgetWithChildrenShortcut);
  QObject::connect(key, &QShortcut::activated, window, [&tr, page, window] { HelpWindow::show(tr, page, window); });
}

}  // namespace velmora
