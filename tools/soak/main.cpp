// velmora-soak: Velmora (headless) against the thermometer simulator on a pseudo-terminal at
// 120 readings a minute for the given number of minutes, with injected faults (garbage
// answers, noise bursts, short silences), then a report of readings asked, answered,
// recorded and lost, and the program's peak memory.
//   velmora-soak [minutes]
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"
#include "device/serial_port.h"
#include "pty_front_end.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The recording journal of this run goes to a folder of its own, removed at the end, never
  // among the user's journals.
  QTemporaryDir journals;
  if (qEnvironmentVariableIsEmpty("VELMORA_JOURNAL_DIR")) qputenv("VELMORA_JOURNAL_DIR", journals.path().toLocal8Bit());
  Q_INIT_RESOURCE(velmora);
  const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
  velmora::sim::PtyThermometer thermometer(17);
  thermometer.withModel([](velmora::sim::ThermometerModel& m) {
    m.faults.garbageRate = 0.005;
    m.faults.noiseBurstRate = 0.005;
  });
  if (!thermometer.start()) {
    std::fprintf(stderr, "velmora-soak: no pseudo-terminal\n");
    return 1;
  }
  velmora::MemorySettingsBackend store;
  velmora::TfmMain w(store, velmora::MainWindowOptions::with(false, 1033));
  int errors = 0;
  w.messageHook = [&](velmora::MessageKind, const QString& text) {
    ++errors;
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
  };
  w.serialPort().setCommPort(thermometer.devicePath());
  w.findChild<QSpinBox*>("seFlow")->setValue(120);
  w.findChild<QAction*>("miRecord")->setChecked(true);
  w.miRecordClick();

  // A short silence once a minute: one lost answer, one retry.
  QTimer silence;
  QObject::connect(&silence, &QTimer::timeout, [&] {
    thermometer.withModel([](velmora::sim::ThermometerModel& m) { m.faults.silent = true; });
    QTimer::singleShot(1500, [&] {
      thermometer.withModel([](velmora::sim::ThermometerModel& m) { m.faults.silent = false; });
    });
  });
  silence.start(60000);
  QTimer::singleShot(static_cast<int>(minutes * 60000), [&] { app.quit(); });
  app.exec();
  const bool stillRecording = w.protocol().recording();
  w.findChild<QAction*>("miRecord")->setChecked(false);
  w.miRecordClick();

  long answered = 0;
  thermometer.withModel([&](velmora::sim::ThermometerModel& m) { answered = m.readings(); });
  const long asked = thermometer.commandsSeen();
  const auto recorded = static_cast<long>(w.display().series().size());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("minutes %.1f\nasked %ld\nanswered %ld\nrecorded %ld\nlost %ld\nmessages %d\nstill recording %s\n"
              "peak memory %.1f MiB\n",
              minutes, asked, answered, recorded, asked - recorded, errors, stillRecording ? "yes" : "no",
              usage.ru_maxrss / 1024.0);
  thermometer.stop();
  return stillRecording && errors == 0 ? 0 : 1;
}
