#include "app/guide_pictures.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "comparison_ui/comparison_window.h"
#include "ui_common/help_window.h"

namespace velmora {

namespace {
struct Step {
  int waitMs;
  std::function<void()> run;
};

void save(QWidget* w, const QString& folder, const QString& name) {
  if (!w) return;
  w->grab().save(QDir(folder).filePath(name + ".png"));
}

void trigger(TfmMain& w, const char* action, bool checked) {
  if (auto* a = w.findChild<QAction*>(action); a && a->isChecked() != checked) a->trigger();
}
}  // namespace

void takeGuidePictures(TfmMain& w, ComparisonBench& bench, const QString& folder,
                       std::function<QWidget*(QWidget* parent)> networkDialog) {
  QDir().mkpath(folder);
  auto steps = std::make_shared<std::vector<Step>>();
  // The demo instruments record and the bench reads what they hold.
  steps->push_back({500, [&bench] {
                      ComparisonWindow* cw = bench.open();
                      cw->messageHook = [](MessageKind, const QString& text) { std::fprintf(stderr, "velmora: %s\n", text.toUtf8().constData()); };
                      cw->captureAnywayHook = [](const QString&) { return true; };  // nothing waits on a question
                      cw->hide();
                    }});
  steps->push_back({2500, [&w] {
                      trigger(w, "miYAuto", true);
                      w.setRecordAll(true);
                    }});
  for (const QString lang : {"en", "ru"}) {
    steps->push_back({lang == "en" ? 20000 : 500, [&w, lang] { trigger(w, lang == "en" ? "miLangEN" : "miLangRU", true); }});
    steps->push_back({800, [&w, folder, lang] { save(&w, folder, "main-" + lang); }});
    steps->push_back({0, [&w] { trigger(w, "miInstruments", true); }});
    steps->push_back({1500, [&w, folder, lang] {
                        save(&w, folder, "instruments-" + lang);
                        trigger(w, "miInstruments", false);
                        trigger(w, "miStats", true);
                      }});
    steps->push_back({1500, [&w, folder, lang] {
                        save(&w, folder, "statistics-" + lang);
                        trigger(w, "miStats", false);
                        w.calibrationWindow()->show();
                      }});
    steps->push_back({800, [&w, folder, lang] {
                        save(w.calibrationWindow(), folder, "calibration-" + lang);
                        w.calibrationWindow()->hide();
                      }});
    steps->push_back({0, [&bench] {
                        ComparisonWindow* cw = bench.open();
                        cw->findChild<QTabWidget*>("tcBench")->setCurrentIndex(0);
                      }});
    steps->push_back({800, [&bench, folder, lang] {
                        ComparisonWindow* cw = bench.open();
                        save(cw, folder, "bench-setup-" + lang);
                        if (!cw->controller().running()) {
                          // A run of one set point at the demo bath's temperature, confirmed by hand.
                          cw->findChild<QLineEdit*>("edSetPoints")->setText("21");
                          cw->btStartClick();
                          cw->btReachedClick();
                        }
                        cw->findChild<QTabWidget*>("tcBench")->setCurrentIndex(1);
                      }});
    steps->push_back({2500, [&bench, folder, lang] {
                        save(bench.open(), folder, "bench-run-" + lang);
                        bench.open()->hide();
                      }});
    steps->push_back({0, [&w, folder, lang, networkDialog] {
                        if (!networkDialog) return;
                        QWidget* d = networkDialog(&w);
                        d->show();
                        QTimer::singleShot(800, d, [d, folder, lang] {
                          save(d, folder, "network-" + lang);
                          d->deleteLater();
                        });
                      }});
    steps->push_back({1200, [&w] { HelpWindow::show(w.translator(), "index", &w); }});
    steps->push_back({800, [folder, lang] {
                        save(HelpWindow::instance(), folder, "help-" + lang);
                        HelpWindow::instance()->hide();
                      }});
  }
  steps->push_back({200, [&bench] {
                      bench.open()->controller().stop();
                      QCoreApplication::exit(0);  // no questions at the end: nothing is kept
                    }});
  // One step after another, each after its wait.
  auto next = std::make_shared<std::function<void(std::size_t)>>();
  *next = [steps, next, &w](std::size_t i) {
    if (i >= steps->size()) return;
    QTimer::singleShot((*steps)[i].waitMs, &w, [steps, next, i] {
      (*steps)[i].run();
      (*next)(i + 1);
    });
  };
  (*next)(0);
}

}  // namespace velmora
