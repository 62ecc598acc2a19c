// The main window without a mouse: the shortcuts of the commands beyond the designed ones,
// the toolbar's menus opened by Alt and a letter (in both keyboard layouts), the shortcuts
// named in the tool tips, and the Tab order through the toolbar, the set-up panel, the chart
// and the statistics panel.
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QShortcut>
#include <QToolButton>

#include "app/analysis_tools.h"
#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "display/chart_panel.h"

namespace velmora {

namespace {
// A shortcut for the Latin letter and for the Cyrillic one on the same key.
void altKey(QWidget* window, Qt::Key latin, char32_t cyrillic, const std::function<void()>& action) {
  for (const QKeySequence& k : {QKeySequence(Qt::ALT | latin), QKeySequence(Qt::ALT | static_cast<int>(cyrillic))}) {
    auto* s = new QShortcut(k, window);
    QObject::connect(s, &QShortcut::activated, window, action);
  }
}
}  // namespace

void TfmMain::buildKeyboard() {
  // Shortcuts of the commands the design gives none.
  m_analysis->exportAllAction()->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
  m_analysis->exportVisibleAction()->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
  m_analysis->statsAction()->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  miReport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  miExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  for (QAction* a : {m_analysis->exportAllAction(), m_analysis->exportVisibleAction(), miReport, miExit}) addAction(a);

  // The toolbar's menus: File (Alt+F / Alt+Ф), Port (Alt+P / Alt+П), the chart's menu
  // (Alt+G / Alt+Г) and the language (Alt+L / Alt+Я).
  m_langMenu = new QMenu(this);
  m_langMenu->setObjectName("mnLanguage");
  m_langMenu->addAction(miLangRU->toolTip(), this, [this] { miLangRU->trigger(); });
  m_langMenu->addAction(miLangEN->toolTip(), this, [this] { miLangEN->trigger(); });
  altKey(this, Qt::Key_F, U'\u0424', [this] { openToolbarMenu(miFile, m_fileMenu); });
  altKey(this, Qt::Key_P, U'\u041F', [this] { openToolbarMenu(miPort, miPort->menu()); });
  altKey(this, Qt::Key_G, U'\u0413', [this] {
    btMenuClick();
    for (QAction* a : mnPopup->actions())
      if (a->isEnabled() && !a->isSeparator()) {
        mnPopup->setActiveAction(a);
        break;
      }
  });
  altKey(this, Qt::Key_L, U'\u042F', [this] { openToolbarMenu(miLangRU, m_langMenu); });

  // Tab goes through the toolbar, the set-up panel, the chart's controls and the statistics
  // panel, and round again.
  QList<QWidget*> chain;
  for (QAction* a : m_toolbar->actions()) {
    QWidget* w = m_toolbar->widgetForAction(a);
    if (!qobject_cast<QToolButton*>(w)) continue;
    w->setFocusPolicy(Qt::TabFocus);
    chain << w;
  }
  chain << pnTune->seFlow << pnTune->btClb << pnTune->cbReconnect << pnTune->seReconnectLimit;
  pnTune->btClb->setFocusPolicy(Qt::TabFocus);
  chain << m_chart->axisSetupBox() << m_chart->scrollBar() << m_chart->menuButton();
  m_chart->scrollBar()->setFocusPolicy(Qt::TabFocus);
  m_chart->menuButton()->setFocusPolicy(Qt::TabFocus);
  StatisticsPanel* stats = m_analysis->panel();
  chain << stats->clearSpanButton() << stats->table() << stats->addPointButton() << stats->windowMinutes()
        << stats->threshold();
  for (int i = 0; i + 1 < chain.size(); ++i) QWidget::setTabOrder(chain[i], chain[i + 1]);
  QWidget::setTabOrder(chain.last(), chain.first());
}

// A toolbar menu opened from the keyboard, below its button (or at the toolbar when the
// button is in the toolbar's overflow), with its first entry active.
void TfmMain::openToolbarMenu(QAction* item, QMenu* menu) {
  if (!menu || !item->isEnabled()) return;  // the port menu is closed while recording
  QWidget* button = m_toolbar->widgetForAction(item);
  const QPoint at = button && button->isVisible() ? button->mapToGlobal(QPoint(0, button->height()))
                                                  : m_toolbar->mapToGlobal(QPoint(0, m_toolbar->height()));
  menu->popup(at);
  for (QAction* a : menu->actions())
    if (a->isEnabled() && !a->isSeparator()) {
      menu->setActiveAction(a);
      break;
    }
}

void TfmMain::applyQtLanguage() {
  if (m_qtTranslator) {
    QCoreApplication::removeTranslator(m_qtTranslator.get());
    m_qtTranslator.reset();
  }
  if (m_tr.language() != Language::Russian) return;
  auto translator = std::make_unique<QTranslator>();
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  if (translator->load("qtbase_ru", folder) || translator->load("qt_ru", folder) ||
      translator->load("qtbase_ru", QCoreApplication::applicationDirPath() + "/translations")) {
    QCoreApplication::installTranslator(translator.get());
    m_qtTranslator = std::move(translator);
  }
}

// The tool tips name the shortcuts: "Record (Ctrl+R)".
void TfmMain::updateToolTips() {
  const auto tip = [](QAction* a, const QString& name, const QKeySequence& key) {
    a->setToolTip(key.isEmpty() ? name : name + " (" + key.toString(QKeySequence::NativeText) + ")");
  };
  for (QAction* a : {miTune, miSelectView, miRecord, miOpen, miSave, miToClipboard, miExit, miReport})
    tip(a, QString(a->text()).remove('&'), a->shortcut());
  if (m_analysis) tip(m_analysis->statsAction(), m_analysis->statsAction()->text(), m_analysis->statsAction()->shortcut());
  tip(miFile, miFile->text(), QKeySequence(Qt::ALT | Qt::Key_F));
  tip(miLangRU, QString::fromUtf8("Русский"), QKeySequence(Qt::ALT | Qt::Key_L));
  tip(miLangEN, "English", QKeySequence(Qt::ALT | Qt::Key_L));
  if (m_chart) m_chart->menuButton()->setToolTip(qs(m_tr.text("tipChartMenu")) + " (Alt+G)");
}

}  // namespace velmora
