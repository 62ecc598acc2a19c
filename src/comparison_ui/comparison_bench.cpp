// The bench's entry in the main window: the chart menu's item, the run's journal beside the
// recording journal (one per program), a cut-off run offered (this program's, or one left by a
// program that is gone), and the window closed with the program: quitting while a run is
// under way asks first.
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "channel/app_context.h"
#include "channel/channel.h"
#include "channel/channel_set.h"
#include "comparison_ui/comparison_window.h"

namespace velmora {

ComparisonBench::ComparisonBench(AppContext& app, QString folder) : QObject(&app), m_app(app), m_folder(std::move(folder)) {
  m_action = new QAction(this);
  m_action->setObjectName("miComparison");
  app.menu()->addAction(m_action);
  // Opened from the menu, a cut-off run is offered again (one put off with "Not now", or one
  // whose instruments have been added since).
  connect(m_action, &QAction::triggered, this, [this] {
    ComparisonWindow* w = open();
    if (!w->controller().running() && adoptLeftover()) w->offerResume();
  });
  auto retranslate = [this] { m_action->setText(qs(m_app.translator().text("miComparison"))); };
  connect(&app, &AppContext::languageChanged, this, retranslate);
  retranslate();
  // Quitting: a run under way is asked about first; once the main window has closed, the
  // bench's window closes too and the program ends.
  app.window()->installEventFilter(this);
  connect(&app, &AppContext::closedNormally, this, [this] {
    if (!m_window) return;
    if (m_window->controller().running()) m_window->controller().stop();
    m_window->hide();
  });
}

// The window and its run go with the bench, which goes with the program's context.
ComparisonBench::~ComparisonBench() { delete m_window.data(); }

bool ComparisonBench::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_app.window() && event->type() == QEvent::Close && m_window && m_window->controller().running() &&
      !m_window->confirmStopRun(true)) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------- closing the bench's window

bool ComparisonWindow::confirmStopRun(bool quitting) {
  if (!m_controller->running()) return true;
  const QString text = qs(m_tr.text(quitting ? "bnStopToQuit" : "bnStopToClose"));
  if (stopQuestionHook) return stopQuestionHook(text);
  return askQuestion(dialogParent(quitting ? m_app.window() : this), QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text,
                     {{qs(m_tr.text(quitting ? "bnStopAndQuit" : "bnStopAndClose")), QMessageBox::DestructiveRole},
                      {qs(m_tr.text("wCancel")), QMessageBox::RejectRole}},
                     1, 1) == 0;
}

void ComparisonWindow::closeEvent(QCloseEvent* event) {
  if (!confirmStopRun(false)) {
    event->ignore();
    return;
  }
  if (m_controller->running()) {
    m_controller->stop();
    refreshStatus();
  }
  event->accept();
}

void ComparisonWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------- the run's journal

QString ComparisonBench::journalPath() const {
  return QDir(m_folder).filePath(QString("bench-run-%1.txt").arg(QCoreApplication::applicationPid()));
}

// A run journal of a program that is gone (its recording journal's lock is free) becomes this
// program's, so that it is offered here; one of a program that still runs is left alone.
bool ComparisonBench::adoptLeftover() {
  QDir dir(m_folder);
  const QString own = journalPath();
  if (QFileInfo::exists(own)) return true;
  const QFileInfoList runs = dir.entryInfoList({"bench-run-*.txt", "bench-run.txt"}, QDir::Files, QDir::Time);
  for (const QFileInfo& info : runs) {
    const QString pid = info.completeBaseName().mid(QString("bench-run-").size());
    if (!pid.isEmpty()) {
      QLockFile lock(dir.filePath("journal-" + pid + ".lock"));
      lock.setStaleLockTime(0);
      if (!lock.tryLock(0)) continue;  // that program still runs
      lock.unlock();
    }
    if (QFile::rename(info.filePath(), own)) return true;
  }
  return false;
}

void ComparisonBench::offerAtStart() {
  m_app.offerRestore();
  offerResume();
}

void ComparisonBench::offerResume() {
  // Nothing to offer: no window is made.
  if (!adoptLeftover()) return;
  BenchController probe(m_app.channels(), journalPath(), m_app.translator());
  if (!probe.unfinished()) return;
  open()->offerResume();
}

ComparisonWindow* ComparisonBench::open() {
  if (!m_window) {
    QDir().mkpath(m_folder);
    m_window = new ComparisonWindow(m_app, journalPath());
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    // What each instrument holds, read now where nothing records (the first instrument's
    // factors are otherwise read only by the calibration window).
    ChannelSet& set = m_app.channels();
    for (std::size_t i = 0; i < set.size(); ++i)
      if (!set.at(i).factors() && !set.at(i).recording() && !set.at(i).port().empty()) set.at(i).readFactors();
  }
  m_window->show();
  m_window->raise();
  m_window->activateWindow();
  return m_window;
}

}  // namespace velmora
