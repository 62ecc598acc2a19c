// The user guide: every message the program can show is explained on the troubleshooting page
// in its own language; every page exists in both languages and is in the contents; every link
// and picture a page names is there; F1 opens the right page in each window.
#include <QApplication>
#include <QWheelEvent>
#include <QDoubleSpinBox>
#include <QComboBox>
#include <QTabWidget>
#include <QSet>
#include <QAbstractButton>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "app/instruments_panel.h"
#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "comparison_ui/comparison_window.h"
#include "display/chart_panel.h"
#include "ui_common/help_window.h"
#ifdef VELMORA_HAVE_MQTT
#include "network/network_settings.h"
#include "network_ui/network_dialog.h"
#endif

using namespace velmora;

namespace {
QString page(const QString& lang, const QString& name) {
  QFile f(HelpWindow::guideFolder() + "/" + lang + "/" + name + ".md");
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
QString collapsed(QString s) { return s.replace(QRegularExpression("\\s+"), " "); }
}  // namespace

TEST(Guide, EveryMessageIsExplainedOnTheTroubleshootingPageInItsLanguage) {
  for (const Language lang : {Language::English, Language::Russian}) {
    Translator tr;
    tr.setLanguage(lang);
    const QString text = collapsed(page(lang == Language::Russian ? "ru" : "en", "troubleshooting"));
    ASSERT_FALSE(text.isEmpty());
    for (std::string_view id : messageIds()) {
      // As the program shows it: its first plural form, "…" where it fills something in.
      QString shown = qs(tr.text(id)).section('|', 0, 0);
      ASSERT_FALSE(shown.isEmpty()) << id;
      shown.replace(QRegularExpression("%\\d"), QString::fromUtf8("…"));
      EXPECT_TRUE(text.contains(collapsed(shown).trimmed())) << (lang == Language::Russian ? "ru " : "en ") << id << ": "
                                                              << shown.toStdString();
    }
  }
}

TEST(Guide, EveryPageIsInBothLanguagesAndEveryLinkAndPictureResolves) {
  const QRegularExpression link("\\]\\(([^)#\\s]+)(#[^)]*)?\\)");
  for (const QString lang : {"en", "ru"}) {
    const QString index = page(lang, "index");
    for (const QString& name : HelpWindow::pages()) {
      const QString text = page(lang, name);
      ASSERT_FALSE(text.isEmpty()) << lang.toStdString() << "/" << name.toStdString();
      EXPECT_TRUE(text.startsWith("# ")) << name.toStdString();
      if (name != "index") {
        EXPECT_TRUE(index.contains("(" + name + ".md)")) << name.toStdString() << " is not in the contents";
      }
      for (auto it = link.globalMatch(text); it.hasNext();) {
        const QString target = it.next().captured(1);
        if (target.contains("://")) continue;
        EXPECT_TRUE(QFile::exists(HelpWindow::guideFolder() + "/" + lang + "/" + target))
            << lang.toStdString() << "/" << name.toStdString() << " names " << target.toStdString();
        if (target.endsWith(".png")) {
          EXPECT_TRUE(target.endsWith("-" + lang + ".png")) << target.toStdString();
        }
      }
    }
  }
}

TEST(Guide, F1OpensThePageOfTheWindowTheUserIsIn) {
  MemorySettingsBackend store;
  TfmMain w(store, MainWindowOptions::with(false, 1033));
  w.messageHook = [](MessageKind, const QString&) {};
  w.findChild<QAction*>("miLangRU")->trigger();  // the guide follows the program's language
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto f1 = [](QWidget* target) {
    QApplication::setActiveWindow(target->window());
    target->setFocus();
    QTest::keyClick(target, Qt::Key_F1);
    HelpWindow* h = HelpWindow::instance();
    return h && h->isVisible() ? h->currentPage() : QString();
  };
  EXPECT_EQ(f1(w.chart()), "index");
  // The Russian pages, in a window that speaks Russian.
  EXPECT_TRUE(HelpWindow::instance()->browser()->toPlainText().startsWith(QString::fromUtf8("Содержание")));
  w.findChild<QAction*>("miStats")->trigger();
  auto* stats = w.findChild<QDockWidget*>("dkStats");
  ASSERT_TRUE(stats && stats->isVisible());
  EXPECT_EQ(f1(stats->findChild<QTableWidget*>()), "statistics");
  // A modal window: the guide belongs to it, so it takes input while the window is open.
  w.calibrationWindow()->show();
  EXPECT_EQ(f1(w.calibrationWindow()), "calibration");
  EXPECT_EQ(HelpWindow::instance()->parentWidget(), w.calibrationWindow());
  w.calibrationWindow()->hide();
  QTemporaryDir folder;
  ComparisonBench bench(w.context(), folder.path());
  EXPECT_EQ(f1(bench.open()), "bench");
  bench.open()->hide();
#ifdef VELMORA_HAVE_MQTT
  NetworkDialog network(MqttSettings{}, w.translator(), &w);
  network.show();
  EXPECT_EQ(f1(&network), "lab-network");
#endif
  // The search finds the page that explains a message, back returns to the last page.
  HelpWindow* h = HelpWindow::instance();
  EXPECT_TRUE(h->search(QString::fromUtf8("не удалось открыть")).contains("troubleshooting"));
  h->browser()->setSource(QUrl::fromLocalFile(HelpWindow::guideFolder() + "/ru/files.md"));
  h->browser()->backward();
  EXPECT_EQ(h->currentPage(), "lab-network");
  // A search left in the box no longer filters the list once F1 opens another page.
  auto* box = h->findChild<QLineEdit*>();
  box->setText(QString::fromUtf8("мост"));
  EXPECT_EQ(f1(w.chart()), "index");
  EXPECT_TRUE(box->text().isEmpty());
  EXPECT_EQ(h->findChild<QListWidget*>()->count(), HelpWindow::pages().size());
  // A language switch: the open guide shows its page in the new language; Escape closes it.
  w.findChild<QAction*>("miLangEN")->trigger();
  EXPECT_TRUE(h->browser()->toPlainText().startsWith("Contents")) << h->browser()->toPlainText().left(40).toStdString();
  QTest::keyClick(h, Qt::Key_Escape);
  EXPECT_FALSE(h->isVisible());
}

namespace {
// The main window shown with the bench's entry.
struct BenchWindow : ::testing::Test {
  MemorySettingsBackend store;
  TfmMain w{store, MainWindowOptions::with(false, 1033)};
  QTemporaryDir folder;
  ComparisonBench bench{w.context(), folder.path()};
  void SetUp() override {
    w.messageHook = [](MessageKind, const QString&) {};
    w.show();
  }
};
}  // namespace

// The new windows without a mouse, in both languages: every button, tab and labelled field has
// an Alt-key of its own, and the key at the same place in the other layout does the same.
TEST_F(BenchWindow, AltKeysInTheBenchAndThePanelInBothLayouts) {
  // The letters each window's controls are marked with: none twice (a letter and the one on
  // its key in the other layout count as one).
  const auto letters = [](QWidget* window) {
    QStringList marks;
    const auto mark = [&](const QString& text) {
      const int at = QString(text).replace("&&", "").indexOf('&');
      if (at >= 0) marks << QString(text).replace("&&", "").mid(at + 1, 1).toLower();
    };
    for (auto* tabs : window->findChildren<QTabWidget*>())
      for (int i = 0; i < tabs->count(); ++i) mark(tabs->tabText(i));
    for (auto* b : window->findChildren<QAbstractButton*>())
      if (!b->text().isEmpty()) mark(b->text());
    return marks;
  };
  for (const char* language : {"miLangEN", "miLangRU"}) {
    w.findChild<QAction*>(language)->trigger();
    ComparisonWindow* cw = bench.open();
    const QStringList marks = letters(cw);
    EXPECT_GE(marks.size(), 10) << language;
    EXPECT_EQ(QSet<QString>(marks.begin(), marks.end()).size(), marks.size()) << marks.join(",").toStdString();
    // The Run tab by the key its letter sits on in the other layout.
    auto* tabs = cw->findChild<QTabWidget*>();
    const QString run = tabs->tabText(1);
    const QChar letter = run.at(run.indexOf('&') + 1).toLower();
    const QString latin = QString::fromUtf8("qwertyuiop[]asdfghjkl;'zxcvbnm,.");
    const QString cyrillic = QString::fromUtf8("йцукенгшщзхъфывапролджэячсмитьбю");
    const int at = latin.indexOf(letter) >= 0 ? latin.indexOf(letter) : cyrillic.indexOf(letter);
    ASSERT_GE(at, 0) << language;
    const QChar other = latin.indexOf(letter) >= 0 ? cyrillic.at(at) : latin.at(at);
    tabs->setCurrentIndex(0);
    QApplication::setActiveWindow(cw);
    ASSERT_TRUE(QTest::qWaitForWindowActive(cw));
    QTest::sendKeyEvent(QTest::Click, cw, static_cast<Qt::Key>(other.toUpper().unicode()), QString(other), Qt::AltModifier);
    EXPECT_EQ(tabs->currentIndex(), 1) << language << " Alt+" << QString(other).toStdString();
    cw->hide();
    // The Instruments panel's Add and Remove.
    const QStringList panel = letters(w.findChild<QDockWidget*>("dkInstruments")->widget());
    EXPECT_EQ(panel.size(), 2) << language;
  }
}

// Settings do not change by themselves: a typed bath port survives a language switch, a wheel
// rolled over an unfocused spin box leaves its value alone, and ticking "drawn" in the colour
// cell opens no colour dialog (a click on the cell itself does).
TEST_F(BenchWindow, NothingChangesUnasked) {
  ComparisonWindow* cw = bench.open();
  cw->findChild<QComboBox*>("cbBathPort")->setEditText("/dev/pts/77");
  w.findChild<QAction*>("miLangRU")->trigger();
  QString why;
  const auto s = cw->setupFromForm(&why);
  ASSERT_TRUE(s) << why.toStdString();
  EXPECT_EQ(s->bathPort, "/dev/pts/77");
  auto* soak = cw->findChild<QDoubleSpinBox*>("seSoak");
  const double before = soak->value();
  cw->findChild<QLineEdit*>("edSetPoints")->setFocus();
  QWheelEvent roll(QPointF(5, 5), soak->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QApplication::sendEvent(soak, &roll);
  EXPECT_EQ(soak->value(), before);
  // The colour cell of the second instrument: its tick, then a click of its own.
  w.addInstrument("", "second");
  auto* panel = w.findChild<InstrumentsPanel*>();
  int dialogs = 0;
  panel->colourDialogHook = [&](const QColor&) {
    ++dialogs;
    return QColor();
  };
  panel->table()->item(1, 0)->setCheckState(Qt::Unchecked);  // the tick's click: the state changes …
  emit panel->table()->cellClicked(1, 0);                     // … and the click itself reaches the cell
  EXPECT_EQ(dialogs, 0);
  EXPECT_FALSE(w.channels().at(1).shown);
  QApplication::processEvents();
  emit panel->table()->cellClicked(1, 0);
  EXPECT_EQ(dialogs, 1);
}
